// Date-times for --since and --until.
#pragma once

#include <cstdint>

namespace jrn {

// YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS, with a blank or a
// 'T' between date and time; local time, or UTC with a trailing Z, or with
// a +HH:MM / -HH:MM offset. False when the text is not one of those or the
// moment lies outside the log's 32-bit timestamps.
bool parse_datetime(const char* text, uint32_t* seconds);

}  // namespace jrn
