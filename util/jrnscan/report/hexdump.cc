#include "report/hexdump.h"

#include <cstring>

#include "report/out.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define JRN_HEX_SIMD 1
#endif

namespace jrn {

namespace {

// Everything a line needs, looked up rather than formatted: " xx" for each
// byte value (padded to four bytes so that it is stored in one move), the
// character shown for it, and the offset field of the first 256 lines.
struct hex_tables {
  char hex[256][4];
  char shown[256];
  char offset[256][4];  // "000:" to "ff0:"
  char pair[256][2];    // "00" to "ff"
  hex_tables() {
    const char digits[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
      hex[b][0] = ' ';
      hex[b][1] = digits[b >> 4];
      hex[b][2] = digits[b & 15];
      hex[b][3] = ' ';
      shown[b] = (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
      offset[b][0] = digits[b >> 4];
      offset[b][1] = digits[b & 15];
      offset[b][2] = '0';
      offset[b][3] = ':';
      pair[b][0] = digits[b >> 4];
      pair[b][1] = digits[b & 15];
    }
  }
};
const hex_tables tables;

// "%03x:" of a line's offset: at least three digits, more when needed.
inline char* put_offset(char* p, uint32_t offset) {
  if (offset < 0x1000) {
    std::memcpy(p, tables.offset[offset >> 4], 4);
    return p + 4;
  }
  if (offset < 0x10000) {
    std::memcpy(p, tables.pair[offset >> 8], 2);
    std::memcpy(p + 2, tables.pair[offset & 0xff], 2);
    p[4] = ':';
    return p + 5;
  }
  const char digits[] = "0123456789abcdef";
  int width = 5;
  while (width < 8 && (offset >> (4 * width)) != 0) ++width;
  for (int i = width - 1; i >= 0; --i) *p++ = digits[(offset >> (4 * i)) & 15];
  *p++ = ':';
  return p;
}

// Longest line: 8 offset digits, ':', 48 hex columns, " |", 16, "|\n",
// and one spare byte for the last four-byte move.
constexpr size_t max_line = 9 + 48 + 2 + 16 + 2 + 1;

// The 48 hex columns, " |", the 16 characters and "|\n" of a full line;
// returns the end. Writes up to one byte beyond it.
inline char* full_line_plain(char* p, const uint8_t* row) {
  for (int i = 0; i < 16; ++i) std::memcpy(p + 3 * i, tables.hex[row[i]], 4);
  p += 48;
  p[0] = ' ';
  p[1] = '|';
  p += 2;
  for (int i = 0; i < 16; ++i) p[i] = tables.shown[row[i]];
  p[16] = '|';
  p[17] = '\n';
  return p + 18;
}

#ifdef JRN_HEX_SIMD
// The same with byte shuffles: the nibbles become digits by table lookup,
// and three shuffles spread the 32 digits over the 48 columns with their
// blanks. Chosen at run time on processors that have SSSE3.
__attribute__((target("ssse3"))) inline char* full_line_ssse3(char* p, const uint8_t* row) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const __m128i digits =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
  const __m128i hi = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
  const __m128i lo = _mm_shuffle_epi8(digits, _mm_and_si128(v, nibble));
  const __m128i a = _mm_unpacklo_epi8(hi, lo);  // digit pairs of bytes 0 to 7
  const __m128i b = _mm_unpackhi_epi8(hi, lo);  // and of bytes 8 to 15
  const char z = -128;                          // shuffle index that yields 0
  const __m128i c0 =
      _mm_shuffle_epi8(a, _mm_setr_epi8(z, 0, 1, z, 2, 3, z, 4, 5, z, 6, 7, z, 8, 9, z));
  const __m128i c1 = _mm_or_si128(
      _mm_shuffle_epi8(a, _mm_setr_epi8(10, 11, z, 12, 13, z, 14, 15, z, z, z, z, z, z, z, z)),
      _mm_shuffle_epi8(b, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, 0, 1, z, 2, 3, z, 4)));
  const __m128i c2 =
      _mm_shuffle_epi8(b, _mm_setr_epi8(5, z, 6, 7, z, 8, 9, z, 10, 11, z, 12, 13, z, 14, 15));
  const __m128i blanks0 = _mm_setr_epi8(' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ');
  const __m128i blanks1 = _mm_setr_epi8(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0);
  const __m128i blanks2 = _mm_setr_epi8(0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(c0, blanks0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_or_si128(c1, blanks1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), _mm_or_si128(c2, blanks2));
  p[48] = ' ';
  p[49] = '|';
  // Printable bytes (0x20 to 0x7e) stand for themselves, all others as '.':
  // adding 0x60 moves that range to -128..-34 as signed bytes.
  const __m128i moved = _mm_add_epi8(v, _mm_set1_epi8(0x60));
  const __m128i printable = _mm_cmplt_epi8(moved, _mm_set1_epi8(-33));
  const __m128i shown =
      _mm_or_si128(_mm_and_si128(printable, v), _mm_andnot_si128(printable, _mm_set1_epi8('.')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 50), shown);
  p[66] = '|';
  p[67] = '\n';
  return p + 68;
}
#endif

// count full lines of rows, the first at offset, written at p; returns the
// end.
using full_lines_fn = char* (*)(char* p, const uint8_t* rows, uint32_t offset, uint32_t count);

char* full_lines_plain(char* p, const uint8_t* rows, uint32_t offset, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    p = put_offset(p, offset + 16 * i);
    p = full_line_plain(p, rows + 16 * i);
  }
  return p;
}

#ifdef JRN_HEX_SIMD
__attribute__((target("ssse3"))) char* full_lines_ssse3(char* p, const uint8_t* rows,
                                                        uint32_t offset, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    p = put_offset(p, offset + 16 * i);
    p = full_line_ssse3(p, rows + 16 * i);
  }
  return p;
}
#endif

full_lines_fn best_full_lines() {
#ifdef JRN_HEX_SIMD
  if (__builtin_cpu_supports("ssse3")) return full_lines_ssse3;
#endif
  return full_lines_plain;
}

full_lines_fn full_lines = best_full_lines();

}  // namespace

void dump_hex_use_simd(bool on) { full_lines = on ? best_full_lines() : full_lines_plain; }

void dump_hex(output& out_, const uint8_t* data, uint32_t length) {
  // Full lines go in batches, as many as the report buffer has room for.
  const uint32_t full = length / 16;
  for (uint32_t line_no = 0; line_no < full;) {
    char* const start = out_.reserve(max_line);
    const size_t room = out_.room() / max_line;
    const uint32_t count = full - line_no < room ? full - line_no : static_cast<uint32_t>(room);
    char* const end = full_lines(start, data + 16 * line_no, 16 * line_no, count);
    out_.commit_to(end);
    line_no += count;
  }
  const uint32_t n = length % 16;
  if (n == 0) return;
  // A short last line: formatted as a full one of its bytes and zeros, then
  // blanks stand in for the missing bytes, so the closing bar stays in its
  // column.
  uint8_t row[16] = {};
  std::memcpy(row, data + 16 * full, n);
  char* const line = out_.reserve(max_line);
  char* const end = full_lines(line, row, 16 * full, 1);
  char* const hex = end - 68;  // 48 hex columns, " |", 16 characters, "|\n"
  std::memset(hex + 3 * n, ' ', 48 - 3 * n);
  std::memset(hex + 50 + n, ' ', 16 - n);
  out_.commit_to(end);
}

}  // namespace jrn
