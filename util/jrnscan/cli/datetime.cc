#include "cli/datetime.h"

#include <cstring>
#include <ctime>

namespace jrn {

namespace {

// Exactly n digits at *p; advances past them.
bool digits(const char*& p, int n, int* value) {
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    v = v * 10 + (p[i] - '0');
  }
  p += n;
  *value = v;
  return true;
}

}  // namespace

bool parse_datetime(const char* text, bool zoneless_is_utc, bool date_is_end, uint32_t* seconds) {
  const char* p = text;
  int year, month, day, hour = 0, minute = 0, second = 0;
  if (!digits(p, 4, &year) || *p++ != '-' || !digits(p, 2, &month) || *p++ != '-' ||
      !digits(p, 2, &day))
    return false;
  if (*p != ' ' && *p != 'T' && date_is_end) {
    hour = 23;
    minute = 59;
    second = 59;
  } else if (*p == ' ' || *p == 'T') {
    ++p;
    if (!digits(p, 2, &hour) || *p++ != ':' || !digits(p, 2, &minute)) return false;
    if (*p == ':' && (++p, !digits(p, 2, &second))) return false;
  }
  enum { local, utc, offset } zone = local;
  int offset_seconds = 0;
  if (*p == 'Z') {
    zone = utc;
    ++p;
  } else if (*p == '+' || *p == '-') {
    const int sign = *p++ == '-' ? -1 : 1;
    int oh, om;
    if (!digits(p, 2, &oh) || *p++ != ':' || !digits(p, 2, &om) || oh > 23 || om > 59) return false;
    zone = offset;
    offset_seconds = sign * (oh * 3600 + om * 60);
  }
  if (*p != '\0') return false;
  if (zone == local && zoneless_is_utc) zone = utc;
  // A leap second (:60) cannot be told apart from the next minute's first
  // second in the log's timestamps, so it is refused like other seconds
  // that do not exist.
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return false;
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  time_t t = zone == local ? mktime(&tm) : timegm(&tm);
  if (t == static_cast<time_t>(-1) && !(zone != local && year == 1969)) return false;
  // A day that does not exist (31 April) comes back normalised: refuse it.
  if (tm.tm_mday != day || tm.tm_mon != month - 1) return false;
  const long long value = static_cast<long long>(t) - offset_seconds;
  if (value < 0 || value > 0xffffffffLL) return false;
  *seconds = static_cast<uint32_t>(value);
  return true;
}

}  // namespace jrn
