// Conversions of option values as the options have always read them, and
// the warnings for values that do not convert completely: a value such as
// "0x7a" still reads as 0, but the user is told so before the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jrn {

// Whether the option texts echoed in warnings are escaped (standard error
// is a terminal).
void escape_option_values(bool on);

// Decimal value of a node number (-n), cut to 32 bits: a number from
// -2147483648 to 4294967295 converts completely, one above 2147483647
// naming the same 32-bit node number as its negative (4294967291 is -5).
int32_t read_signed(const char* option, const char* text, const char* zero_means);
// Decimal value of an unsigned setting (-p, -r), cut to 32 bits: a number
// from 0 to 4294967295 converts completely.
uint32_t read_unsigned(const char* option, const char* text, const char* zero_means);
// "f:t" as scanned with "%u:%u": a side that does not convert keeps the
// value it had.
void read_range(const char* option, const char* text, uint32_t* from, uint32_t* to);
// Warns when a range's lower bound lies above its upper bound.
void check_range_order(const char* option, const char* text, uint32_t from, uint32_t to);

// Warns that the -o pattern matches none of the names that records show,
// naming the closest of the given opcode names by edit distance.
void warn_unmatched_pattern(const char* option, const char* pattern, int32_t pattern_len,
                            const std::vector<std::string>& opcode_names);
// The names among opcode_names closest to text (ASCII case ignored) by
// edit distance, at most three, in their given order; none when even the
// closest is too far to be a slip of the keyboard.
std::vector<std::string> closest_names(const std::string& text,
                                       const std::vector<std::string>& opcode_names);

// A size with an optional K, M or G suffix (powers of 1024); false when
// the text is not one.
bool parse_size(const char* text, uint64_t* bytes);

}  // namespace jrn
