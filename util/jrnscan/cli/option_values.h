// Conversions of option values as the options have always read them, and
// the warnings for values that do not convert completely: a value such as
// "0x7a" still reads as 0, but the user is told so before the report.
#pragma once

#include <cstdint>

namespace jrn {

// Whether the option texts echoed in warnings are escaped (standard error
// is a terminal).
void escape_option_values(bool on);

// Decimal value of a signed setting (-n): strtol, then cut to 32 bits.
int32_t read_signed(const char* option, const char* text, const char* zero_means);
// Decimal value of an unsigned setting (-p, -r): the signed reading taken
// as unsigned.
uint32_t read_unsigned(const char* option, const char* text, const char* zero_means);
// "f:t" as scanned with "%u:%u": a side that does not convert keeps the
// value it had.
void read_range(const char* option, const char* text, uint32_t* from, uint32_t* to);
// Warns when a range's lower bound lies above its upper bound.
void check_range_order(const char* option, const char* text, uint32_t from, uint32_t to);

// A size with an optional K, M or G suffix (powers of 1024); false when
// the text is not one.
bool parse_size(const char* text, uint64_t* bytes);

}  // namespace jrn
