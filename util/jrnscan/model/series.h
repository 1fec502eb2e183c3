// The series of an archive and where each log read lies in it. A series
// is the logs of one volume set id and volume generation; each log carries
// its file sequence. Fed each log's header as it is read, the model places
// the log: the first of its series in the input, the file sequence after
// the highest one read, one after a gap (the file sequences between were
// not read), a repeat of a (series, file sequence) read before, or one
// earlier than a file sequence already read (read out of order). It keeps
// each series' first tag time in the input, and for each log read a digest
// of its tags, so that a repeat can be told apart from a differing copy.
//
// Values only. Memory: one entry per series and per log read, up to
// logs_remembered logs; further logs are placed against their series'
// highest file sequence only (a repeat among them is not recognized).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "scan/report.h"

namespace jrn {

struct series_key {
  uint32_t volume_set = 0;
  uint32_t generation = 0;
  bool operator<(const series_key& o) const {
    return volume_set != o.volume_set ? volume_set < o.volume_set : generation < o.generation;
  }
  bool operator==(const series_key& o) const {
    return volume_set == o.volume_set && generation == o.generation;
  }
  bool operator!=(const series_key& o) const { return !(*this == o); }
};

// "series 0x5eed generation 3"
std::string series_label(const series_key& s);

enum class series_place : uint8_t {
  first,      // the first log of its series in the input
  next,       // the file sequence after the highest one read of the series
  after_gap,  // file sequences between the highest one read and it are missing
  repeat,     // its (series, file sequence) was read before
  earlier,    // lower than one read of the series, and not read before
};

struct series_placement {
  series_place place = series_place::first;
  series_key series;
  int32_t file_sequence = 0;
  // after_gap: the file sequences missing, from..to; earlier: the highest
  // one read of the series (in missing_to).
  int64_t missing_from = 0, missing_to = 0;
  // repeat: the log that read it first (a number the caller gave) and the
  // digest of its tags.
  uint64_t first_log = 0;
  uint64_t first_digest = 0;
  bool first_complete = false;  // that log's digest was finished
};

// A log's digest: every tag's letter, sequence, time, size and record
// fields, and how the log ended, folded in order.
// Every tag of every log of an analysis mode is folded in: inline.
// A multiply and a shift, so that every bit of the value and the order of
// the values count.
inline uint64_t digest_fold(uint64_t h, uint64_t v) {
  h = (h ^ v) * 0x9e3779b97f4a7c15u;
  return h ^ (h >> 29);
}
inline uint64_t digest_tag(uint64_t h, const tag_summary& t) {
  h = digest_fold(h, uint64_t{t.letter} << 32 | t.sequence);
  h = digest_fold(h, uint64_t{t.timestamp} << 32 ^ static_cast<uint64_t>(t.bytes));
  if (t.is_record) {
    h = digest_fold(h, uint64_t{t.opcode} << 40 | uint64_t{t.txn_state} << 32 | t.transaction_id);
    h = digest_fold(h, uint64_t{t.session_id} << 32 | static_cast<uint32_t>(t.node_id));
  }
  return h;
}
inline uint64_t digest_end(uint64_t h, log_end how) {
  return digest_fold(h, static_cast<uint64_t>(how) + 1);
}

class series_model {
 public:
  static constexpr size_t logs_remembered = size_t{1} << 20;

  // Places the log log_number (any number the caller uses to name its
  // logs) of a header's series and file sequence, and remembers it.
  series_placement place(uint32_t volume_set, uint32_t generation, int32_t file_sequence,
                         uint64_t log_number);
  // The digest of the log placed last, once it has ended.
  void log_digest(uint64_t digest);
  // A tag of the log placed last: keeps its series' first tag time.
  void tag_time(uint32_t timestamp) {
    if (current_ && !current_->have_time) {
      current_->have_time = true;
      current_->first_time = timestamp;
    }
  }
  // The first tag time of a series in the input; false before it has one.
  bool first_time(const series_key& s, uint32_t* timestamp) const;

 private:
  struct series_state {
    int32_t highest = 0;
    bool have_time = false;
    uint32_t first_time = 0;
  };
  struct log_state {
    uint64_t log_number = 0;
    uint64_t digest = 0;
    bool complete = false;
  };
  std::map<series_key, series_state> series_;
  std::map<std::pair<series_key, int32_t>, log_state> logs_;
  series_state* current_ = nullptr;
  log_state* current_log_ = nullptr;
};

}  // namespace jrn
