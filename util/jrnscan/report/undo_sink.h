// --undo TXN (or --undo with -x F:T): what undoing the transactions would
// take. For every fixed record that they changed: its content before their
// first change of it (from the before-image; none when that change is a
// PUT, so the undo deletes it; unknown, with the reason, when the log does
// not tell), its content after their last change of it, and every change
// of it by another transaction after their first one, up to the end of the
// input: a conflict, which putting the old content back would undo too.
// Written when the input ends, as text or JSON Lines, and with --save DIR
// as files with a manifest line per record. The report itself is not
// printed.
//
// A record is followed from the transactions' first change of it (or
// their before-image of that change) on, never before: memory is bounded
// by the records they touched, at most max_records of them, each with up
// to three copies of its content (before, after, and as the later changes
// left it; at most 64 KiB each) and at most 100 conflicts listed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/record_content.h"
#include "model/tag_continuity.h"
#include "report/out.h"
#include "report/record_files.h"
#include "scan/diag.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

struct undo_options {
  // The transactions undone: from_txn to to_txn (0: no bound on that side).
  uint32_t from_txn = 0;
  uint32_t to_txn = 0;
  uint32_t max_records = 100000;  // --undo-records: the most records followed
  bool json = false;              // JSON Lines
  bool utc = false;               // text: times in UTC
  bool escape = false;            // text: names escaped for a terminal
  int detail_level = 0;           // text: -v shows values whole and dumps contents
  std::string save_dir;           // --save: the contents as files here
};

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

class undo_sink : public report_sink, public record_observer {
 public:
  // Conflicts kept per record (the text shows ten of them, -v all); the
  // rest are counted.
  static constexpr size_t conflicts_listed = 100;

  undo_sink(output& out, diagnostics& diag, const node_map& names, const undo_options& o);
  ~undo_sink() override;
  // Opens the --save directory when there is one; false after a message.
  bool open();

  // report_sink: nothing counted, no lines.
  // Every item is validated, shown or not: a malformed record fails the run
  // as it does in every mode.
  bool wants_all_problems() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  // A gap in the series of the transactions: their changes and others'
  // may lie in it.
  void series_gap(const series_gap_info& g) override;
  void flush() override;
  void finish() override;
  // 1 when records beyond max_records were left out: the undo is not whole.
  int exit_status() const override { return not_followed_ ? 1 : -1; }

  // record_observer.
  void record(const tag_summary& t, const record_event& e) override;

 private:
  using place = undo_place;
  struct followed;
  enum class action : uint8_t { put_back, remove, unchanged, cannot };

  bool selected(uint32_t txn) const {
    return txn != 0 && (opt_.from_txn == 0 || txn >= opt_.from_txn) &&
           (opt_.to_txn == 0 || txn <= opt_.to_txn);
  }
  followed* find(int32_t node_id, uint32_t recno);
  followed* follow(const tag_summary& t, const record_event& e);
  void own_change(followed& r, const tag_summary& t, const record_event& e);
  void other_change(followed& r, const place& p);
  void hold_after(followed& r);
  void lose(followed& r, const place& p, bool own);
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

  // Output.
  action settle(followed& r);
  void print_text(const followed& r, action a);
  void print_json(const followed& r, action a);
  void save(const followed& r, action a);
  void print_summary();
  std::string node_text(int32_t node_id) const;
  void put_record(std::string& s, const followed& r, action a) const;
  std::string place_text(const place& p) const;

  output& out_;
  diagnostics& diag_;
  const node_map& names_;
  undo_options opt_;
  std::unique_ptr<record_files> files_;

  // The records followed, in the order the transactions first touched
  // them (a change or a before-image), and by node and number.
  std::vector<std::unique_ptr<followed>> records_;
  std::unordered_map<uint64_t, followed*> by_key_;
  // One bit per hash of a followed record's key: most events are of
  // records that are not followed, and are dropped on one look here.
  std::vector<uint64_t> seen_bits_;
  uint64_t not_followed_ = 0;  // changes of records beyond max_records
  uint64_t started_ = 0;       // records with a change by the transactions
  bool bound_said_ = false;
  // Changes of the transactions that the log hides: why (the first), and
  // how many.
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
  std::string scratch_;
};

}  // namespace jrn
