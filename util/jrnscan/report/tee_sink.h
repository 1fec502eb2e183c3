// Two back-ends fed by one scan: the report and the page saver of --save.
// Every call goes to both, the first one first; the lines of shown tags
// go only to those that want them.
#pragma once

#include <memory>

#include "scan/report.h"

namespace jrn {

class tee_sink : public report_sink {
 public:
  tee_sink(std::unique_ptr<report_sink> first, std::unique_ptr<report_sink> second);

  bool wants_lines() const override { return lines_a_ || lines_b_; }
  bool wants_all_problems() const override {
    return a_->wants_all_problems() || b_->wants_all_problems();
  }
  void begin_input(const char* name, int64_t size) override;
  void input_failed(const char* name) override;
  void input_damaged(const char* name, const char* why) override;
  void input_skipped(const char* name, int64_t size, uint32_t first_ts, uint32_t last_ts) override;
  // The stricter of the two: a failure from either fails the run.
  int exit_status() const override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, fid id, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void words(bool text_shown, fid id, const uint8_t* p, uint32_t count) override;
  void list_begin(fid id) override;
  void list_item() override;
  void list_end() override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void unread(int64_t offset, int64_t count) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

 private:
  std::unique_ptr<report_sink> a_, b_;
  bool lines_a_, lines_b_;
};

}  // namespace jrn
