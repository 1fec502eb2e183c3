// --transaction ID: one transaction in full. The scan's filters select its
// records and before-images (every kind, as -x ID:ID -a does) and the report
// back-end (text or JSON) shows them as always; around them:
//
//   a who-line before its first tag: the session and its sign-on entries,
//     as the sign-ons met so far tell them;
//   the header of each log that holds a tag of it, before the first such
//     tag (logs without one, and end tags, are not shown);
//   its summary line (a --txns line) once it has ended, or at the end of
//     the input when it has not: what it did is known only then, and the
//     tags are not held back for it, so memory stays bounded.
//
// An id that is used again (a BEGIN while it is open, or another series)
// gives a who-line, tags and a summary line for each transaction. The
// text ends with a line that says so when the input holds none; JSON ends
// with a transaction_total object that counts them.
#pragma once

#include <memory>
#include <string>

#include "model/txn_table.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "report/relay_sink.h"
#include "report/txns_sink.h"
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

class transaction_sink : public relay_sink, public audit_observer, private txn_listener {
 public:
  // report: the back-end that shows the tags (its filters select the
  // transaction). Its output goes to out, as the lines added here do.
  transaction_sink(std::unique_ptr<report_sink> report, output& out, diagnostics& diag,
                   const node_map& names, uint32_t id, const txns_options& o);

  // Every item is validated, shown or not: a malformed record fails the run
  // as it does in every mode.
  bool wants_all_problems() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  // The transaction, if open, ends at a gap in its series.
  void series_gap(const series_gap_info& g) override;
  void finish() override;
  void audit(const tag_summary& t, const audit_event& e) override;

 protected:
  // The lines of a tag go on only when the tag is the transaction's.
  bool passes(int, relay kind) const override { return kind != relay::lines || passing_; }

 private:
  void txn_done(const txn_info& x) override;
  void write_who(uint32_t session, const who_ptr& who, bool lost);

  output& out_;
  diagnostics& diag_;
  const node_map& names_;
  uint32_t id_;
  txns_options opt_;
  txn_print::writer text_;
  json_writer w_;
  session_table sessions_;
  txn_table txns_;
  std::string log_name_ = "(input)";
  fwlog_header header_;
  bool header_pending_ = false;  // the current log's header is not shown yet
  bool passing_ = false;         // the shown tag is one of the transaction's
  tag_summary shown_;            // ... and what its opening told
  bool who_written_ = false;     // of the transaction under way
  bool stopped_ = false;
  uint64_t found_ = 0;
  std::string line_;
};

}  // namespace jrn
