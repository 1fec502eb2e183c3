#include "scan/time_text.h"

#include <ctime>

namespace jrn {

time_text format_time(uint32_t t, bool utc) {
  time_text out;
  time_t wide = static_cast<time_t>(t);  // widened without sign extension
  struct tm tm;
  if ((utc ? gmtime_r(&wide, &tm) : localtime_r(&wide, &tm)) == nullptr ||
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

}  // namespace jrn
