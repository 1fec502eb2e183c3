// --undo TXN (or --undo with -x F:T): what undoing the transactions would
// take (model/undo_table.h follows the records), written when the input
// ends as text (undo_text.cc) or JSON Lines (undo_json.cc), and with
// --save DIR as files with a manifest line per record. The report itself
// is not printed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/undo_table.h"
#include "report/json_writer.h"
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

class undo_sink : public report_sink, public record_observer {
 public:
  // Conflicts kept per record (the text shows ten of them, -v all); the
  // rest are counted.
  static constexpr size_t conflicts_listed = undo_table::conflicts_listed;

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
  int exit_status() const override { return table_.not_followed() ? 1 : -1; }

  // record_observer.
  void record(const tag_summary& t, const record_event& e) override;

 private:
  using followed = undo_record;
  using action = undo_action;

  std::string node_text(int32_t node_id) const;
  // Text (undo_text.cc).
  void print_text(const followed& r, action a);
  void print_summary_text(const uint64_t count[4], uint64_t records, uint64_t with_conflicts);
  std::string place_text(const undo_place& p) const;
  // JSON (undo_json.cc).
  void print_json(const followed& r, action a);
  void print_summary_json(const uint64_t count[4], uint64_t records, uint64_t with_conflicts);
  void save(const followed& r, action a);
  void put_record(json_writer& w, const followed& r, action a) const;

  output& out_;
  diagnostics& diag_;
  const node_map& names_;
  undo_options opt_;
  undo_table table_;
  std::unique_ptr<record_files> files_;
  // The --save manifest's line, written by manifest_w_ through manifest_out_.
  std::string manifest_line_;
  std::unique_ptr<output> manifest_out_;
  std::string scratch_;
};

}  // namespace jrn
