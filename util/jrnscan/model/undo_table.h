// What undoing a range of transactions would take. For every fixed record
// that they changed: its content before their first change of it (from the
// before-image; none when that change is a PUT, so the undo deletes it;
// unknown, with the reason, when the log does not tell), its content after
// their last change of it, and every change of it by another transaction
// after their first one, up to the end of the input: a conflict, which
// putting the old content back would undo too.
//
// A record is followed from the transactions' first change of it (or
// their before-image of that change) on, never before: memory is bounded
// by the records they touched, at most max_records of them, each with up
// to three copies of its content (before, after, and as the later changes
// left it; at most 64 KiB each) and at most conflicts_listed conflicts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/record_content.h"
#include "model/tag_continuity.h"
#include "scan/diag.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

// Where a change (or a gap in the log) lies, and who made it.
struct undo_place {
  const char* log = "";
  int64_t offset = 0;
  uint32_t sequence = 0;  // 0: a gap with no tag of its own
  uint32_t timestamp = 0;
  uint32_t transaction_id = 0;
  uint32_t session_id = 0;
  uint8_t operation = 0;
  // A gap: no change read here, but one cannot be ruled out (why).
  const char* gap = nullptr;
};

// What undoing the transactions does to a record.
enum class undo_action : uint8_t { put_back, remove, unchanged, cannot };

// A record that the transactions touched.
struct undo_record {
  int32_t node_id = 0;
  uint32_t recno = 0;
  record_tracker content;
  // A change by the transactions was read: the record is theirs to undo
  // (until then it is followed from their before-image on).
  bool started = false;
  uint64_t order = 0;      // started as the order-th record
  uint64_t changes = 0;    // by the transactions
  undo_place first, last;  // their first and last change of it
  undo_place image;        // the before-image that it is followed from
  // The content before their first change, and where it comes from
  // (null: not known, before_why says why).
  record_content before;
  const char* before_source = nullptr;
  content_origin before_origin;
  std::string before_why;
  // The content after their last change, once a later change or a gap
  // moved the followed content on; until then it is the tracker's.
  bool after_held = false;
  record_content after;
  std::string after_why;
  std::vector<undo_place> conflicts;  // the first conflicts_listed
  uint64_t conflict_count = 0;
  uint16_t charset = 65535;  // of the log of their first change
};

class undo_table {
 public:
  // Conflicts kept per record; the rest are counted.
  static constexpr size_t conflicts_listed = 100;

  // The transactions from_txn to to_txn (0: no bound on that side).
  undo_table(diagnostics& diag, uint32_t from_txn, uint32_t to_txn, uint32_t max_records);

  void begin_input(const char* name) { log_ = name; }
  void begin_log(const char* log_name, const fwlog_header& h);
  void record(const tag_summary& t, const record_event& e);
  void tag_done(const tag_summary& t);
  void end_log(log_end how, int64_t offset);
  // A gap in the series of the transactions: their changes and others'
  // may lie in it.
  void series_gap(const series_gap_info& g);

  // The records followed, in the order the transactions first touched them
  // (a change or a before-image).
  const std::vector<std::unique_ptr<undo_record>>& records() const { return records_; }
  // The content after the transactions' last change, and what undoing
  // them takes.
  static undo_action settle(undo_record& r);

  uint64_t not_followed() const { return not_followed_; }  // changes beyond max_records
  bool bound_reached() const { return bound_said_; }
  // Changes of the transactions that the log hides: why (the first), and
  // how many.
  const std::string& incomplete() const { return incomplete_; }
  uint64_t incomplete_count() const { return incomplete_count_; }

 private:
  using place = undo_place;
  bool selected(uint32_t txn) const {
    return txn != 0 && (from_txn_ == 0 || txn >= from_txn_) && (to_txn_ == 0 || txn <= to_txn_);
  }
  undo_record* find(int32_t node_id, uint32_t recno);
  undo_record* follow(const tag_summary& t, const record_event& e);
  void own_change(undo_record& r, const tag_summary& t, const record_event& e);
  static void other_change(undo_record& r, const place& p);
  static void hold_after(undo_record& r);
  static void lose(undo_record& r, const place& p, bool own);
  void lose_all(const place& p);
  // Asked twice a tag: the usual tag, which goes on from the one before,
  // costs a compare.
  void sequence_break(const tag_summary& t) {
    if (!continuity_.goes_on(t.sequence)) sequence_broken(t);
  }
  void sequence_broken(const tag_summary& t);
  // Where a tag lies, with its transaction and session; place_of: with
  // those of the record's event and its operation.
  static place place_at(const tag_summary& t, const char* log);
  static place place_of(const tag_summary& t, const record_event& e, const char* log);

  diagnostics& diag_;
  uint32_t from_txn_, to_txn_, max_records_;
  std::vector<std::unique_ptr<undo_record>> records_;
  std::unordered_map<uint64_t, undo_record*> by_key_;
  // One bit per hash of a followed record's key: most events are of
  // records that are not followed, and are dropped on one look here.
  std::vector<uint64_t> seen_bits_;
  uint64_t not_followed_ = 0;
  uint64_t started_ = 0;  // records with a change by the transactions
  bool bound_said_ = false;
  std::string incomplete_;
  uint64_t incomplete_count_ = 0;

  const char* log_ = "";
  uint16_t charset_ = 65535;
  // The transactions are those of one series: the series of the log where
  // the first was met; logs of other series are passed over.
  bool have_series_ = false;
  uint32_t volume_set_ = 0, generation_ = 0;
  bool other_series_ = false;                         // the log being read is of another series
  uint32_t volume_set_now_ = 0, generation_now_ = 0;  // of the log being read
  std::vector<std::unique_ptr<std::string>> gap_reasons_;  // the gaps' reasons, kept
  int64_t last_event_offset_ = -1;                         // the tag of the last record event
  uint32_t last_timestamp_ = 0;
  tag_continuity continuity_;
  record_step step_;
};

}  // namespace jrn
