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
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

class series_sink : public report_sink, public record_observer, public audit_observer {
 public:
  // records, audits: the inner back-end's followers (or null).
  // first_logs_unique: the caller knows that the first log of every input
  // has a series and file sequence of its own among the inputs, so that
  // only a further log of an input can repeat one; those first logs are
  // then not digested (a digest costs a fold per tag).
  series_sink(std::unique_ptr<report_sink> inner, record_observer* records, audit_observer* audits,
              diagnostics& diag, bool first_logs_unique = false);

  bool wants_lines() const override { return lines_; }
  bool wants_all_problems() const override { return inner_->wants_all_problems(); }
  void begin_input(const char* name, int64_t size) override {
    first_in_input_ = true;
    inner_->begin_input(name, size);
  }
  void input_failed(const char* name) override { inner_->input_failed(name); }
  void input_damaged(const char* name, const char* why) override {
    inner_->input_damaged(name, why);
  }
  void input_skipped(const char* name, int64_t size, uint32_t first_ts, uint32_t last_ts) override {
    inner_->input_skipped(name, size, first_ts, last_ts);
  }
  int exit_status() const override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override {
    if (!muted_) inner_->show_tag(t);
  }
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override {
    if (!muted_) inner_->line(text_shown, fmt, fields);
  }
  void data(bool text_shown, fid id, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override {
    if (!muted_) inner_->data(text_shown, id, p, n, text_n, ellipsis);
  }
  void words(bool text_shown, fid id, const uint8_t* p, uint32_t count) override {
    if (!muted_) inner_->words(text_shown, id, p, count);
  }
  void list_begin(fid id) override {
    if (!muted_) inner_->list_begin(id);
  }
  void list_item() override {
    if (!muted_) inner_->list_item();
  }
  void list_end() override {
    if (!muted_) inner_->list_end();
  }
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void unread(int64_t offset, int64_t count) override {
    if (!muted_) inner_->unread(offset, count);
  }
  void problem(problem_kind kind, int64_t offset, const char* text) override {
    if (!muted_) inner_->problem(kind, offset, text);
  }
  void flush() override { inner_->flush(); }
  void finish() override { inner_->finish(); }

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

 private:
  void tell_gap(const series_placement& p, int64_t offset);
  std::string log_text(uint64_t log_number) const;

  std::unique_ptr<report_sink> inner_;
  record_observer* records_;
  audit_observer* audits_;
  diagnostics& diag_;
  bool lines_;
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
