// JSON Lines: one object per log header and per shown tag, every decoded
// field under its own name. Texts from the log are escaped so that every
// line is valid JSON and valid UTF-8 (bytes above 0x7f are taken as
// ISO 8859-1 characters).
#pragma once

#include <string>

#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/report.h"
#include "scan/time_text.h"

namespace jrn {

class json_sink : public report_sink {
 public:
  json_sink(const filter_settings& f, const node_map& names) : filter_(f), names_(names) {}

  bool wants_lines() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, const char* key, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void words(bool text_shown, const char* key, const uint8_t* p, uint32_t count) override;
  void list_begin(const char* key) override;
  void list_item() override;
  void list_end() override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

 private:
  void key(const char* k);
  void put(const field& f);
  // Ends the open tag object, and a list left open in it; length < 0 for
  // a tag whose body could not be read to its end.
  void close_tag(int64_t length);

  const filter_settings& filter_;
  const node_map& names_;
  std::string log_name_;  // already as a JSON string
  bool tag_open_ = false;
  bool list_open_ = false;
  bool item_open_ = false;
  bool item_empty_ = true;
  int64_t tag_offset_ = 0;     // of the open tag
  std::string malformed_;      // of the open tag: the text of its malformed item
  int64_t early_offset_ = -1;  // a malformed item met before its tag was shown
  std::string early_malformed_;
  std::string scratch_;
  std::string plain_;
  bool have_time_ = false;
  uint32_t time_of_ = 0;
  time_text time_text_{};
};

// Appends s[0, n) to out as the inside of a JSON string.
void append_json_string(const char* s, size_t n, std::string& out);

}  // namespace jrn
