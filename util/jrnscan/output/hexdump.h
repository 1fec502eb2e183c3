// Classic offset / hex / character listing of raw bytes, 16 to a line.
#pragma once

#include <cstdint>

namespace jrn {

void dump_hex(const uint8_t* data, uint32_t length);

}  // namespace jrn
