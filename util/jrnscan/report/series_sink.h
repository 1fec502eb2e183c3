// The analysis modes' view of the archive: a back-end between the scan and
// the mode's own, which places every log in its series (series_model) and
// tells the mode where what it knows cannot be carried on.
//
// Before a log that does not follow the log read before it (file
// sequences of its series missing, an earlier file sequence than one read,
// a log of another series) the mode is told series_gap, right behind
// begin_log. A log whose series and file sequence were read before is not
// passed on: its tags are only digested, and at its end compared with the
// first copy's. The same tags are one warning (the file is read once),
// other tags an error that fails the run (the copies are not merged).
// Every other call, and the record and audit events, go to the mode's
// back-end as they come.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/series.h"
#include "report/relay_sink.h"
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

class series_sink : public relay_sink, public record_observer, public audit_observer {
 public:
  // records, audits: the inner back-end's followers (or null).
  // first_logs_unique: the caller knows that the first log of every input
  // has a series and file sequence of its own among the inputs, so that
  // only a further log of an input can repeat one; those first logs are
  // then not digested (a digest costs a fold per tag).
  series_sink(std::unique_ptr<report_sink> inner, record_observer* records, audit_observer* audits,
              diagnostics& diag, bool first_logs_unique = false);

  void begin_input(const char* name, int64_t size) override {
    first_in_input_ = true;
    relay_sink::begin_input(name, size);
  }
  int exit_status() const override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  // The calls made for every tag go straight on (the relay's own asks
  // passes() first): what the back-end wants is asked once.
  bool wants_lines() const override { return lines_; }
  bool wants_all_problems() const override { return all_problems_; }
  void show_tag(const tag_summary& t) override {
    if (!muted_) first_->show_tag(t);
  }
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override {
    if (!muted_) first_->line(text_shown, fmt, fields);
  }
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;

  void record(const tag_summary& t, const record_event& e) override {
    if (!muted_ && records_) records_->record(t, e);
  }
  void set_items(const tag_summary& t, int32_t node_id,
                 const std::vector<set_item_decl>& items) override {
    if (!muted_ && records_) records_->set_items(t, node_id, items);
  }
  void audit(const tag_summary& t, const audit_event& e) override {
    if (!muted_ && audits_) audits_->audit(t, e);
  }

 protected:
  // The calls about the tags of a copy read before are not passed on.
  bool passes(int, relay kind) const override { return kind == relay::always || !muted_; }

 private:
  void tell_gap(const series_placement& p, int64_t offset);
  std::string log_text(uint64_t log_number) const;

  record_observer* records_;
  audit_observer* audits_;
  diagnostics& diag_;
  bool lines_, all_problems_;
  series_model model_;
  // Names of the logs read ("t.fwlog", "t.fwlog at offset 512"), by log
  // number, while the model remembers logs.
  std::vector<std::string> names_;
  uint64_t logs_ = 0;
  bool have_previous_ = false;
  series_key previous_;  // of the last log passed on
  // The log being read: its digest, and whether it is a copy read before
  // (then nothing of it is passed on).
  uint64_t digest_ = 0;
  bool digesting_ = true;
  bool first_logs_unique_;
  bool first_in_input_ = false;
  bool in_log_ = false;
  bool muted_ = false;
  series_placement copy_;
  std::string copy_name_;
  int64_t copy_offset_ = 0;
  bool differing_ = false;
  std::string reason_;
};

}  // namespace jrn
