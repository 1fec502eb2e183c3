// JSON Lines: one object per log header and per shown tag, every decoded
// field under its own name. Texts from the log are escaped so that every
// line is valid JSON and valid UTF-8 (bytes above 0x7f are taken as
// ISO 8859-1 characters).
#pragma once

#include <string>

#include "report/json_writer.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

class json_sink : public report_sink {
 public:
  // The report goes to out.
  json_sink(output& out, const filter_settings& f, const node_map& names)
      : out_(out), filter_(f), names_(names), w_(out) {}

  bool wants_lines() const override { return true; }
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
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

 private:
  void key(const char* k);
  void put(const field& f);
  // The qualified name of a node as a JSON value: a string, or null.
  const std::string& node_name(int32_t id);
  // Ends the open tag object, and a list left open in it; length < 0 for
  // a tag whose body could not be read to its end.
  void close_tag(int64_t length);

  output& out_;
  const filter_settings& filter_;
  const node_map& names_;
  json_writer w_;
  std::string log_name_;  // already as a JSON string
  std::string tag_head_;  // {"type":"tag","log":<log name>
  bool tag_open_ = false;
  bool list_open_ = false;
  bool item_open_ = false;
  int64_t tag_offset_ = 0;     // of the open tag
  std::string malformed_;      // of the open tag: the text of its malformed item
  int64_t early_offset_ = -1;  // a malformed item met before its tag was shown
  std::string early_malformed_;
  // The names of the nodes met last, by the number's low bits, as they
  // were while the map had `entries` entries taking `bytes` (names are
  // only ever added while the log is read, and a name changes only when
  // one is added: a parent's).
  struct name_slot {
    bool used = false;
    int32_t id = 0;
    size_t entries = 0;
    uint64_t bytes = 0;
    std::string json;
  };
  static constexpr uint32_t name_slots = 16;
  name_slot names_seen_[name_slots];
};

// Appends s[0, n) to out as the inside of a JSON string.
void append_json_string(const char* s, size_t n, std::string& out);

}  // namespace jrn
