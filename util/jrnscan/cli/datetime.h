// Date-times for --since and --until.
#pragma once

#include <cstdint>

namespace jrn {

// YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS, with a blank or a
// 'T' between date and time; UTC with a trailing Z, or with a +HH:MM /
// -HH:MM offset, and otherwise local time (UTC when zoneless_is_utc). A
// date alone is the first second of that day, or its last (23:59:59) when
// date_is_end, as an upper bound wants. False when the text is not one of
// those or the moment lies outside the log's 32-bit timestamps.
bool parse_datetime(const char* text, bool zoneless_is_utc, bool date_is_end, uint32_t* seconds);

}  // namespace jrn
