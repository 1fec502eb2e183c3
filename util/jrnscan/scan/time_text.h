// Timestamps as the report shows them: "%Y-%m-%d %H:%M:%S" in local time,
// or in UTC.
#pragma once

#include <cstdint>

namespace jrn {

struct time_text {
  char text[40];
  const char* c_str() const { return text; }
};

time_text format_time(uint32_t t, bool utc);
// "2023-11-16T05:13:38Z".
time_text format_iso_utc(uint32_t t);

// Shown tags often share a second: keeps the last conversion.
class time_formatter {
 public:
  explicit time_formatter(bool utc) : utc_(utc) {}
  const char* operator()(uint32_t t) {
    if (!have_ || t != last_) {
      text_ = format_time(t, utc_);
      last_ = t;
      have_ = true;
    }
    return text_.text;
  }

 private:
  bool utc_;
  bool have_ = false;
  uint32_t last_ = 0;
  time_text text_{};
};

}  // namespace jrn
