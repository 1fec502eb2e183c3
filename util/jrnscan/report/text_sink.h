// The text report: every line as its format renders with its values, the
// hex dumps, the tag openings, the file header print-out.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "report/out.h"
#include "scan/filter.h"
#include "scan/format_check.h"
#include "scan/node_map.h"
#include "scan/report.h"
#include "scan/time_text.h"

namespace jrn {

struct text_options {
  bool escape = false;   // texts from the log are escaped (a terminal reads them)
  bool utc = false;      // times in UTC rather than local time
  bool offsets = false;  // "offset = N" behind each shown tag's timestamp
};

class text_sink : public report_sink {
 public:
  // The report goes to out.
  text_sink(output& out, const filter_settings& f, const node_map& names, const text_options& o);

  bool wants_lines() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  // fmt is a string that stays as it is for the whole run (the report-line
  // macros pass literals): its parsed form is kept by its address.
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, fid id, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void words(bool text_shown, fid id, const uint8_t* p, uint32_t count) override;
  void flush() override;

 private:
  // A format split into literal runs, each followed by the conversion that
  // takes the next value (or by none: the end, or a "%%"). The runs are
  // copied into text, with room behind them to copy them 16 bytes at a time.
  struct piece {
    uint32_t at;  // the run: text[at, at + len)
    uint32_t len;
    uint32_t room;  // bytes the piece may write, as reserved
    bool takes_value;
    format_conv conv;
  };
  struct parsed_format {
    const char* fmt = nullptr;
    std::string text;
    std::vector<piece> pieces;
  };
  static constexpr size_t format_slots = 256;
  static constexpr size_t format_probes = 8;
  // A longer literal run is split (a piece's room stays small).
  static constexpr uint32_t max_run = 4096;
  // A node's display, kept while the name map has the same number of
  // entries (during a scan it only grows, as names are learnt).
  struct node_text {
    bool valid = false;
    int32_t id = 0;
    size_t names = 0;
    std::string text;
  };
  static constexpr size_t node_slots = 32;

  // The parsed form of fmt: looked for from the slot its address hashes to
  // over a few slots; parsed into the first free one, or into the first
  // slot when none is free.
  const parsed_format& parsed(const char* fmt) {
    const uint64_t h =
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(fmt)) * UINT64_C(0x9e3779b97f4a7c15);
    const size_t home = static_cast<size_t>(h >> 56) & (format_slots - 1);
    for (size_t k = 0; k < format_probes; ++k) {
      parsed_format& slot = formats_[(home + k) & (format_slots - 1)];
      if (slot.fmt == fmt) return slot;
      if (!slot.fmt) {
        parse(fmt, slot);
        return slot;
      }
    }
    parse(fmt, formats_[home]);
    return formats_[home];
  }
  static void parse(const char* fmt, parsed_format& into);
  const std::string& node_display(int32_t id);
  static char* put_number(char* p, const format_conv& c, const field& f);
  void put_string(const format_conv& c, const field& f);

  output& out_;
  const filter_settings& filter_;
  const node_map& names_;
  text_options opt_;
  time_formatter times_;
  std::string scratch_;
  std::unique_ptr<parsed_format[]> formats_;
  std::unique_ptr<node_text[]> nodes_;
};

}  // namespace jrn
