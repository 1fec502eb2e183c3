#include "output/hexdump.h"

#include "output/out.h"

namespace jrn {

namespace {

// " xx" for every byte value, and the character shown for it.
struct hex_tables {
  char hex[256][3];
  char shown[256];
  hex_tables() {
    const char digits[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
      hex[b][0] = ' ';
      hex[b][1] = digits[b >> 4];
      hex[b][2] = digits[b & 15];
      shown[b] = (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
    }
  }
};
const hex_tables tables;

// "%03x:" without printf: at least three digits, more when needed.
char* put_offset(char* p, uint32_t offset) {
  const char digits[] = "0123456789abcdef";
  int width = 3;
  while (width < 8 && (offset >> (4 * width)) != 0) ++width;
  for (int i = width - 1; i >= 0; --i) *p++ = digits[(offset >> (4 * i)) & 15];
  *p++ = ':';
  return p;
}

}  // namespace

void dump_hex(const uint8_t* data, uint32_t length) {
  // Longest line: 8 offset digits, ':', 48 hex columns, " |", 16, "|\n".
  constexpr size_t max_line = 9 + 48 + 2 + 16 + 2;
  for (uint32_t start = 0; start < length; start += 16) {
    const uint32_t n = length - start < 16 ? length - start : 16;
    const uint8_t* row = data + start;
    char* const line = out_reserve(max_line);
    char* p = put_offset(line, start);
    for (uint32_t i = 0; i < n; ++i) {
      const char* h = tables.hex[row[i]];
      p[0] = h[0];
      p[1] = h[1];
      p[2] = h[2];
      p += 3;
    }
    for (uint32_t i = n; i < 16; ++i) {
      p[0] = p[1] = p[2] = ' ';
      p += 3;
    }
    *p++ = ' ';
    *p++ = '|';
    for (uint32_t i = 0; i < n; ++i) *p++ = tables.shown[row[i]];
    for (uint32_t i = n; i < 16; ++i) *p++ = ' ';
    *p++ = '|';
    *p++ = '\n';
    out_commit(static_cast<size_t>(p - line));
  }
}

}  // namespace jrn
