#include "scan/time_text.h"

#include <cstring>
#include <ctime>

namespace jrn {

namespace {

// Two decimal digits of v (0 to 99).
char* two(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

// "%Y-%m-%d %H:%M:%S" of tm for four-digit years (every time a 32-bit
// timestamp gives), written directly: strftime costs as much as the rest
// of a shown tag's header.
bool put_date_time(const struct tm& tm, char* p) {
  const int year = tm.tm_year + 1900;
  if (year < 1000 || year > 9999 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 ||
      tm.tm_mday > 31 || tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 || tm.tm_min > 59 ||
      tm.tm_sec < 0 || tm.tm_sec > 60)
    return false;
  p = two(p, year / 100);
  p = two(p, year % 100);
  *p++ = '-';
  p = two(p, tm.tm_mon + 1);
  *p++ = '-';
  p = two(p, tm.tm_mday);
  *p++ = ' ';
  p = two(p, tm.tm_hour);
  *p++ = ':';
  p = two(p, tm.tm_min);
  *p++ = ':';
  p = two(p, tm.tm_sec);
  *p = '\0';
  return true;
}

}  // namespace

time_text format_time(uint32_t t, bool utc) {
  time_text out;
  time_t wide = static_cast<time_t>(t);  // widened without sign extension
  struct tm tm;
  if ((utc ? gmtime_r(&wide, &tm) : localtime_r(&wide, &tm)) == nullptr)
    out.text[0] = '\0';
  else if (!put_date_time(tm, out.text) &&
           std::strftime(out.text, sizeof out.text, "%Y-%m-%d %H:%M:%S", &tm) == 0)
    out.text[0] = '\0';
  return out;
}

time_text format_iso_utc(uint32_t t) {
  time_text out;
  time_t wide = static_cast<time_t>(t);
  struct tm tm;
  if (gmtime_r(&wide, &tm) == nullptr ||
      std::strftime(out.text, sizeof out.text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
    out.text[0] = '\0';
  return out;
}

void time_formatter::convert(uint32_t t) {
  const uint32_t minute = t - t % 60;
  // A second minute-mate of the last second: if the minute runs evenly
  // (its first second shows :00, its last :59, with the same date, hour
  // and minute), its other seconds are written without a conversion.
  if (have_ && last_ - last_ % 60 == minute && minute <= UINT32_MAX - 59) {
    const time_text first = format_time(minute, utc_);
    const time_text end = format_time(minute + 59, utc_);
    if (std::strlen(first.text) == 19 && std::memcmp(first.text, end.text, 17) == 0 &&
        std::memcmp(first.text + 17, "00", 3) == 0 && std::memcmp(end.text + 17, "59", 3) == 0) {
      text_ = first;
      length_ = 19;
      minute_ = minute;
      minute_ok_ = true;
      const uint32_t s = t - minute;
      text_.text[17] = static_cast<char>('0' + s / 10);
      text_.text[18] = static_cast<char>('0' + s % 10);
      last_ = t;
      return;
    }
  }
  minute_ok_ = false;
  text_ = format_time(t, utc_);
  length_ = std::strlen(text_.text);
  last_ = t;
  have_ = true;
}

}  // namespace jrn
