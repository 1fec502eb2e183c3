// A back-end in front of one or two others: every call of report_sink is
// passed on here, to the first and then the second, so that a back-end
// built on it forwards a new call without being told. One that acts on a
// call overrides it and passes it on with relay_sink's own; one that
// holds calls back says which in passes().
#pragma once

#include <algorithm>
#include <memory>
#include <utility>

#include "scan/report.h"

namespace jrn {

class relay_sink : public report_sink {
 public:
  explicit relay_sink(std::unique_ptr<report_sink> first,
                      std::unique_ptr<report_sink> second = nullptr)
      : first_(std::move(first)), second_(std::move(second)) {}

  bool wants_lines() const override {
    return first_->wants_lines() || (second_ && second_->wants_lines());
  }
  bool wants_all_problems() const override {
    return first_->wants_all_problems() || (second_ && second_->wants_all_problems());
  }
  // The stricter of the two: a failure from either fails the run.
  int exit_status() const override {
    return second_ ? std::max(first_->exit_status(), second_->exit_status())
                   : first_->exit_status();
  }
  void begin_input(const char* name, int64_t size) override {
    each(relay::always, [&](report_sink& s) { s.begin_input(name, size); });
  }
  void input_failed(const char* name) override {
    each(relay::always, [&](report_sink& s) { s.input_failed(name); });
  }
  void input_damaged(const char* name, const char* why) override {
    each(relay::always, [&](report_sink& s) { s.input_damaged(name, why); });
  }
  void input_skipped(const char* name, int64_t size, uint32_t first_ts, uint32_t last_ts) override {
    each(relay::always, [&](report_sink& s) { s.input_skipped(name, size, first_ts, last_ts); });
  }
  void begin_log(const char* log_name, const fwlog_header& h) override {
    each(relay::always, [&](report_sink& s) { s.begin_log(log_name, h); });
  }
  void series_gap(const series_gap_info& g) override {
    each(relay::always, [&](report_sink& s) { s.series_gap(g); });
  }
  void show_tag(const tag_summary& t) override {
    each(relay::tag, [&](report_sink& s) { s.show_tag(t); });
  }
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override {
    each(relay::lines, [&](report_sink& s) { s.line(text_shown, fmt, fields); });
  }
  void data(bool text_shown, fid id, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override {
    each(relay::lines, [&](report_sink& s) { s.data(text_shown, id, p, n, text_n, ellipsis); });
  }
  void words(bool text_shown, fid id, const uint8_t* p, uint32_t count) override {
    each(relay::lines, [&](report_sink& s) { s.words(text_shown, id, p, count); });
  }
  void list_begin(fid id) override {
    each(relay::lines, [&](report_sink& s) { s.list_begin(id); });
  }
  void list_item() override {
    each(relay::lines, [&](report_sink& s) { s.list_item(); });
  }
  void list_end() override {
    each(relay::lines, [&](report_sink& s) { s.list_end(); });
  }
  void tag_done(const tag_summary& t) override {
    each(relay::always, [&](report_sink& s) { s.tag_done(t); });
  }
  void end_log(log_end how, int64_t offset) override {
    each(relay::always, [&](report_sink& s) { s.end_log(how, offset); });
  }
  void unread(int64_t offset, int64_t count) override {
    each(relay::tag, [&](report_sink& s) { s.unread(offset, count); });
  }
  void problem(problem_kind kind, int64_t offset, const char* text) override {
    each(relay::tag, [&](report_sink& s) { s.problem(kind, offset, text); });
  }
  void flush() override {
    each(relay::always, [&](report_sink& s) { s.flush(); });
  }
  void finish() override {
    each(relay::always, [&](report_sink& s) { s.finish(); });
  }

 protected:
  // The kinds of call, for passes(): the lines of a shown tag, the other
  // calls about the tag being read (its showing, its problems, the bytes
  // behind a log), and the rest.
  enum class relay : uint8_t { always, tag, lines };
  // Whether a call of this kind goes on to the first (0) or the second (1)
  // back-end.
  virtual bool passes(int /*which*/, relay /*kind*/) const { return true; }

  std::unique_ptr<report_sink> first_, second_;

 private:
  template <typename Call>
  void each(relay kind, Call call) {
    if (passes(0, kind)) call(*first_);
    if (second_ && passes(1, kind)) call(*second_);
  }
};

}  // namespace jrn
