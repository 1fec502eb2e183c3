// Timestamps as the report shows them: "%Y-%m-%d %H:%M:%S" in local time,
// or in UTC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace jrn {

struct time_text {
  char text[40];
  const char* c_str() const { return text; }
};

time_text format_time(uint32_t t, bool utc);
// "2023-11-16T05:13:38Z".
time_text format_iso_utc(uint32_t t);

// Shown tags often share a second, and a minute: keeps the last
// conversion, and within a minute that the clock runs through evenly
// (no change of UTC offset or leap second in it) writes only the seconds.
class time_formatter {
 public:
  explicit time_formatter(bool utc) : utc_(utc) {}
  const char* operator()(uint32_t t) {
    if (have_ && t == last_) return text_.text;
    if (minute_ok_ && t - minute_ < 60) {  // only the seconds differ
      const uint32_t s = t - minute_;
      text_.text[17] = static_cast<char>('0' + s / 10);
      text_.text[18] = static_cast<char>('0' + s % 10);
      last_ = t;
      return text_.text;
    }
    convert(t);
    return text_.text;
  }
  // The length of the text the last call returned.
  size_t length() const { return length_; }

 private:
  void convert(uint32_t t);

  bool utc_;
  bool have_ = false;
  uint32_t last_ = 0;
  size_t length_ = 0;
  time_text text_{};
  bool minute_ok_ = false;  // text_ is of a second of the minute from minute_ on
  uint32_t minute_ = 0;
};

}  // namespace jrn
