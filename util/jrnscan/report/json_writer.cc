#include "report/json_writer.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "scan/time_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jrn {

namespace json_detail {

// clang-format off
#define JRN_PAIRS_(d) d "0" d "1" d "2" d "3" d "4" d "5" d "6" d "7" d "8" d "9"
const char digit_pairs[201] = {JRN_PAIRS_("0") JRN_PAIRS_("1") JRN_PAIRS_("2") JRN_PAIRS_("3")
                               JRN_PAIRS_("4") JRN_PAIRS_("5") JRN_PAIRS_("6") JRN_PAIRS_("7")
                               JRN_PAIRS_("8") JRN_PAIRS_("9")};
#undef JRN_PAIRS_

// 10^0 to 10^19: the guess of the digits from the bits is at most 19.
const uint64_t powers_of_ten[20] = {
    1ull,                 10ull,                 100ull,                 1000ull,
    10000ull,             100000ull,             1000000ull,             10000000ull,
    100000000ull,         1000000000ull,         10000000000ull,         100000000000ull,
    1000000000000ull,     10000000000000ull,     100000000000000ull,     1000000000000000ull,
    10000000000000000ull, 100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull};
// clang-format on

}  // namespace json_detail

namespace {

const char hex_digits[] = "0123456789abcdef";

// How json_put_text writes each byte value.
enum : uint8_t { as_is, short_escape, unicode_escape, latin1 };

struct text_table {
  uint8_t how[256];
  char letter[256];  // of a short escape
  text_table() {
    for (int b = 0; b < 256; ++b) {
      letter[b] = 0;
      if (b < 0x20 || (b >= 0x7f && b <= 0x9f))
        how[b] = unicode_escape;
      else if (b >= 0xa0)
        how[b] = latin1;
      else
        how[b] = as_is;
    }
    const char* const shorts = "\"\"\\\\\nn\tt\rr";
    for (const char* p = shorts; *p; p += 2) {
      how[static_cast<uint8_t>(p[0])] = short_escape;
      letter[static_cast<uint8_t>(p[0])] = p[1];
    }
  }
};
const text_table text_bytes;

// Whether all eight bytes of x are written as they are: from 0x20 to 0x7e,
// neither quote nor backslash.
inline bool plain8(uint64_t x) {
  constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const uint64_t below_space = (x - 0x20 * ones) & ~x & highs;
  // 0x7f and above (a carry out of a byte at 0xff is beside a byte found).
  const uint64_t high = ((x + ones) | x) & highs;
  const uint64_t q = x ^ (0x22 * ones), b = x ^ (0x5c * ones);
  const uint64_t quote = (q - ones) & ~q & highs, backslash = (b - ones) & ~b & highs;
  return (below_space | high | quote | backslash) == 0;
}

// "xx" for every byte value.
struct hex_pairs {
  char pair[256][2];
  hex_pairs() {
    for (int b = 0; b < 256; ++b) {
      pair[b][0] = hex_digits[b >> 4];
      pair[b][1] = hex_digits[b & 15];
    }
  }
};
const hex_pairs pairs;

const char* pairs_of_decimal(uint32_t v) { return json_detail::digit_pairs + 2 * v; }

}  // namespace

char* json_put_text(char* q, const uint8_t* s, size_t n) {
  const uint8_t* const end = s + n;
  for (;;) {
    // Bytes written as they are: eight at a time, then one by one up to
    // the next byte to escape.
    while (end - s >= 8) {
      uint64_t x;
      std::memcpy(&x, s, 8);
      if (!plain8(x)) break;
      std::memcpy(q, &x, 8);
      q += 8;
      s += 8;
    }
    while (s != end && text_bytes.how[*s] == as_is) *q++ = static_cast<char>(*s++);
    if (s == end) return q;
    const uint8_t b = *s++;
    switch (text_bytes.how[b]) {
      case short_escape:
        q[0] = '\\';
        q[1] = text_bytes.letter[b];
        q += 2;
        break;
      case unicode_escape:
        std::memcpy(q, "\\u00", 4);
        q[4] = hex_digits[b >> 4];
        q[5] = hex_digits[b & 15];
        q += 6;
        break;
      default:  // an ISO 8859-1 character as UTF-8
        q[0] = static_cast<char>(0xc0 | (b >> 6));
        q[1] = static_cast<char>(0x80 | (b & 0x3f));
        q += 2;
        break;
    }
  }
}

char* json_put_hex(char* q, const uint8_t* p, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: each nibble n becomes '0' + n, plus
  // 'a' - '0' - 10 where n > 9, and the high and low nibbles interleave.
  const __m128i low_nibble = _mm_set1_epi8(0x0f), nine = _mm_set1_epi8(9);
  const __m128i zero_char = _mm_set1_epi8('0'), letter_gap = _mm_set1_epi8('a' - '0' - 10);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i hi = _mm_and_si128(_mm_srli_epi16(v, 4), low_nibble);
    const __m128i lo = _mm_and_si128(v, low_nibble);
    const __m128i hi_c = _mm_add_epi8(_mm_add_epi8(hi, zero_char),
                                      _mm_and_si128(_mm_cmpgt_epi8(hi, nine), letter_gap));
    const __m128i lo_c = _mm_add_epi8(_mm_add_epi8(lo, zero_char),
                                      _mm_and_si128(_mm_cmpgt_epi8(lo, nine), letter_gap));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_unpacklo_epi8(hi_c, lo_c));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), _mm_unpackhi_epi8(hi_c, lo_c));
    q += 32;
  }
#endif
  for (; i < n; ++i) {
    std::memcpy(q, pairs.pair[p[i]], 2);
    q += 2;
  }
  return q;
}

void json_key_refused(const char* name) {
  std::fprintf(stderr, "jrnscan: internal error: \"%s\" cannot be a ready JSON key\n", name);
  std::abort();
}

void json_writer::key(const char* name) {
  const size_t n = std::strlen(name);
  if (n > piece) {  // not a name any caller has; written all the same
    if (comma_) out_.put(',');
    out_.put('"');
    out_.write(name, n);
    out_.write("\":", 2);
    comma_ = false;
    return;
  }
  char* q = open(n + 3);
  *q++ = '"';
  std::memcpy(q, name, n);
  q += n;
  *q++ = '"';
  *q++ = ':';
  out_.commit_to(q);
  comma_ = false;
}

template <size_t grow, typename Put>
void json_writer::quoted(const uint8_t* p, size_t n, Put put) {
  if (n <= piece) {
    char* q = open(grow * n + 2);
    *q++ = '"';
    q = put(q, p, n);
    *q++ = '"';
    close(q);
    return;
  }
  char* q = open(1);
  *q++ = '"';
  out_.commit_to(q);
  for (size_t done = 0; done < n;) {
    const size_t run = n - done < piece ? n - done : piece;
    q = put(out_.reserve(grow * run), p + done, run);
    out_.commit_to(q);
    done += run;
  }
  closer('"');
}

void json_writer::string(const char* s, size_t n) {
  quoted<6>(reinterpret_cast<const uint8_t*>(s), n, json_put_text);
}

void json_writer::ascii(const char* s, size_t n) {
  if (n > piece) {
    if (comma_) out_.put(',');
    out_.put('"');
    out_.write(s, n);
    out_.put('"');
    comma_ = true;
    return;
  }
  char* q = open(n + 2);
  *q++ = '"';
  std::memcpy(q, s, n);
  q += n;
  *q++ = '"';
  close(q);
}

void json_writer::hex(const uint8_t* p, size_t n) { quoted<2>(p, n, json_put_hex); }

void json_writer::fixed(double v, int decimals) {
  // Room for any double in fixed notation with up to 17 decimals.
  if (decimals < 0) decimals = 0;
  if (decimals > 17) decimals = 17;
  char* q = open(330);
  close(std::to_chars(q, q + 330, v, std::chars_format::fixed, decimals).ptr);
}

void json_writer::raw(const char* s, size_t n) {
  if (n > piece) {
    if (comma_) out_.put(',');
    out_.write(s, n);
    comma_ = true;
    return;
  }
  char* q = open(n);
  std::memcpy(q, s, n);
  close(q + n);
}

char* json_writer::put_time(char* q, uint32_t t) {
  if (!have_time_ || t != time_) {
    constexpr uint32_t day = 86400;
    if (have_time_ && same_day_ok_ && t / day == time_ / day) {
      // Only the time of day changes: "YYYY-MM-DDTHH:MM:SSZ".
      const uint32_t s = t % day;
      std::memcpy(time_text_ + 11, pairs_of_decimal(s / 3600), 2);
      std::memcpy(time_text_ + 14, pairs_of_decimal(s / 60 % 60), 2);
      std::memcpy(time_text_ + 17, pairs_of_decimal(s % 60), 2);
    } else {
      const time_text text = format_iso_utc(t);
      time_size_ = static_cast<uint32_t>(strnlen(text.text, sizeof text.text));
      std::memcpy(time_text_, text.text, time_size_);
      // The day's other seconds differ only in the time of day when the
      // text has the form expected and its time of day is t's.
      const uint32_t s = t % day;
      same_day_ok_ = time_size_ == 20 && time_text_[10] == 'T' && time_text_[19] == 'Z' &&
                     std::memcmp(time_text_ + 11, pairs_of_decimal(s / 3600), 2) == 0 &&
                     time_text_[13] == ':' &&
                     std::memcmp(time_text_ + 14, pairs_of_decimal(s / 60 % 60), 2) == 0 &&
                     time_text_[16] == ':' &&
                     std::memcmp(time_text_ + 17, pairs_of_decimal(s % 60), 2) == 0;
    }
    time_ = t;
    have_time_ = true;
  }
  *q++ = '"';
  std::memcpy(q, time_text_, time_size_);
  q += time_size_;
  *q++ = '"';
  return q;
}

}  // namespace jrn
