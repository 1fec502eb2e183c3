// The text report: every line as its format renders with its values, the
// hex dumps, the tag openings, the file header print-out.
#pragma once

#include <string>

#include "scan/filter.h"
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
  text_sink(const filter_settings& f, const node_map& names, const text_options& o)
      : filter_(f), names_(names), opt_(o), times_(o.utc) {}

  bool wants_lines() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, const char* key, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void words(bool text_shown, const char* key, const uint8_t* p, uint32_t count) override;
  void flush() override;

 private:
  void put_field(char conv, bool zero, int width, int precision, const field& f);

  const filter_settings& filter_;
  const node_map& names_;
  text_options opt_;
  time_formatter times_;
  std::string scratch_;
};

}  // namespace jrn
