// Classic offset / hex / character listing of raw bytes, 16 to a line.
#pragma once

#include <cstdint>

namespace jrn {

class output;

// Into the report out.
void dump_hex(output& out, const uint8_t* data, uint32_t length);

// Full lines are formatted with SSSE3 where the processor has it; tests
// switch to the portable formatter to compare the two.
void dump_hex_use_simd(bool on);

}  // namespace jrn
