// Continuity across the files of a series, as the check judges it once
// all logs are read: each log read leaves a small record (its series, file
// sequence, tag sequence and time range, a digest of its tags, how it
// ended), and the records of one series, sorted by file sequence whatever
// order they were read in, give its judgement: file sequences missing (an
// error per gap), a file sequence read more than once (a warning per
// further copy that gave the same tags, else an error), between
// consecutive file sequences a tag sequence that does not go on by one or
// a time that goes back (warnings), and a series whose last log ends with
// EOF_CONT (a warning: the file that continues it was not read).
//
// Values only: the findings are kept as what was found, not as text. Of
// each kind only the first listed_per_kind are kept, the rest counted.
// Memory: one 48-byte record per log, up to logs_remembered; further logs
// are only counted per series that has records.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/series.h"
#include "scan/report.h"

namespace jrn {

// What continuity across files is judged on: one per log read in series
// mode, in the order read.
struct check_log_record {
  uint64_t digest;  // of the tag stream and the log's end
  uint32_t volume_set, generation;
  int32_t file_sequence;
  uint32_t name;       // into the names of check_continuity
  uint32_t log_index;  // 1 for the first log of its input
  uint32_t first_seq, last_seq, first_ts, last_ts;
  log_end how;
  bool has_tags, had_errors;
};  // 48 bytes: a million of them take 48 MiB

// One finding of a series, in the order found.
struct series_finding {
  enum kind_t : uint8_t {
    gap,        // file sequences from..to are missing between prev and at
    break_,     // prev ends with a tag sequence that at does not go on from
    time_back,  // at begins earlier than prev ends
    copy,       // at is copy number `copy_number` of the file sequence first read as prev
    ends_cont,  // the series ends with EOF_CONT at prev
  } kind;
  const check_log_record* prev;
  const check_log_record* at;
  int64_t from = 0, to = 0;  // gap
  uint32_t copy_number = 0;  // copy: 2 for the second read
  bool same = false;         // copy: the same tags as the first read

  bool is_error() const { return kind == gap || (kind == copy && !same); }
};

struct series_judgement {
  struct duplicate {
    int32_t file_sequence;
    uint32_t copies;
    bool identical;  // every copy gave the first copy's tags
  };
  series_key key;
  const check_log_record *begin = nullptr, *end = nullptr;  // the series' records
  uint64_t not_judged = 0;  // its logs read once the records were full
  uint64_t errors = 0, warnings = 0;
  // Each kind in all (of which the first listed_per_kind are findings).
  uint64_t gaps = 0, missing = 0, copies = 0, breaks = 0, backs = 0;
  uint64_t duplicated = 0;  // file sequences read more than once
  std::vector<series_finding> findings;
  // For the JSON: the missing ranges and the duplicates, each up to a
  // bound, the rest counted.
  std::vector<std::pair<int32_t, int32_t>> missing_ranges;
  std::vector<duplicate> duplicates;
  uint64_t missing_omitted = 0, duplicates_omitted = 0;

  uint64_t logs() const { return static_cast<uint64_t>(end - begin) + not_judged; }
  uint64_t logs_with_errors() const;
};

class check_continuity {
 public:
  static constexpr size_t logs_remembered = size_t{1} << 20;
  static constexpr uint32_t listed_per_kind = 5;
  static constexpr size_t kept_per_kind = 100;  // missing ranges, duplicates

  enum class remembered { yes, no, full_now };
  // Remembers a log of the input name (r.name is set here); full_now the
  // first time the records are full, no for each log after.
  remembered remember(check_log_record r, const std::string& input_name);
  // "t.fwlog", "t.fwlog (log 2)"
  std::string label(const check_log_record& r) const;
  // Judges every series with records, in the order of their keys, and
  // gives each judgement to f. With stopped (a run ended by a signal),
  // gaps and the series' end are not judged, as with logs not remembered.
  template <class F>
  void judge_all(bool stopped, F f) {
    sort();
    for (size_t i = 0, j; i < records_.size(); i = j) {
      j = series_end(i);
      f(judge(i, j, stopped));
    }
  }

 private:
  void sort();
  size_t series_end(size_t i) const;
  series_judgement judge(size_t i, size_t j, bool stopped) const;

  std::vector<check_log_record> records_;
  std::vector<std::string> names_;
  std::vector<series_key> recorded_series_;  // sorted, made when the records fill up
  std::map<series_key, uint64_t> not_remembered_;
  bool remembered_all_ = true;
};

}  // namespace jrn
