#include "report/tee_sink.h"

#include <algorithm>
#include <utility>

namespace jrn {

tee_sink::tee_sink(std::unique_ptr<report_sink> first, std::unique_ptr<report_sink> second)
    : a_(std::move(first)),
      b_(std::move(second)),
      lines_a_(a_->wants_lines()),
      lines_b_(b_->wants_lines()) {}

void tee_sink::begin_input(const char* name, int64_t size) {
  a_->begin_input(name, size);
  b_->begin_input(name, size);
}

void tee_sink::input_failed(const char* name) {
  a_->input_failed(name);
  b_->input_failed(name);
}

void tee_sink::input_damaged(const char* name, const char* why) {
  a_->input_damaged(name, why);
  b_->input_damaged(name, why);
}

void tee_sink::input_skipped(const char* name, int64_t size, uint32_t first_ts, uint32_t last_ts) {
  a_->input_skipped(name, size, first_ts, last_ts);
  b_->input_skipped(name, size, first_ts, last_ts);
}

int tee_sink::exit_status() const { return std::max(a_->exit_status(), b_->exit_status()); }

void tee_sink::begin_log(const char* log_name, const fwlog_header& h) {
  a_->begin_log(log_name, h);
  b_->begin_log(log_name, h);
}

void tee_sink::show_tag(const tag_summary& t) {
  a_->show_tag(t);
  b_->show_tag(t);
}

void tee_sink::line(bool text_shown, const char* fmt, std::initializer_list<field> fields) {
  if (lines_a_) a_->line(text_shown, fmt, fields);
  if (lines_b_) b_->line(text_shown, fmt, fields);
}

void tee_sink::data(bool text_shown, fid key, const uint8_t* p, uint32_t n, uint32_t text_n,
                    bool ellipsis) {
  if (lines_a_) a_->data(text_shown, key, p, n, text_n, ellipsis);
  if (lines_b_) b_->data(text_shown, key, p, n, text_n, ellipsis);
}

void tee_sink::words(bool text_shown, fid key, const uint8_t* p, uint32_t count) {
  if (lines_a_) a_->words(text_shown, key, p, count);
  if (lines_b_) b_->words(text_shown, key, p, count);
}

void tee_sink::list_begin(fid key) {
  if (lines_a_) a_->list_begin(key);
  if (lines_b_) b_->list_begin(key);
}

void tee_sink::list_item() {
  if (lines_a_) a_->list_item();
  if (lines_b_) b_->list_item();
}

void tee_sink::list_end() {
  if (lines_a_) a_->list_end();
  if (lines_b_) b_->list_end();
}

void tee_sink::tag_done(const tag_summary& t) {
  a_->tag_done(t);
  b_->tag_done(t);
}

void tee_sink::end_log(log_end how, int64_t offset) {
  a_->end_log(how, offset);
  b_->end_log(how, offset);
}

void tee_sink::unread(int64_t offset, int64_t count) {
  a_->unread(offset, count);
  b_->unread(offset, count);
}

void tee_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  a_->problem(kind, offset, text);
  b_->problem(kind, offset, text);
}

void tee_sink::flush() {
  a_->flush();
  b_->flush();
}

void tee_sink::finish() {
  a_->finish();
  b_->finish();
}

}  // namespace jrn
