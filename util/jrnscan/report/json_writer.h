// Writes JSON straight into the report's output buffer (report/out.h):
// objects and arrays with their commas, member names, integers, texts from
// the log, bytes as hexadecimal pairs, null, booleans and times. Each value
// (with its member name) is written through one reservation of the buffer;
// nothing is built elsewhere first.
//
// Texts from the log are written as json_put_text says, so that every
// string is valid JSON in valid UTF-8 whatever bytes the log holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "report/out.h"

namespace jrn {

// s[0, n) as the inside of a JSON string, behind q; returns the end. Quote,
// backslash, newline, tab and carriage return take their two-character
// escapes, other control characters (C0, DEL) and the C1 controls 0x80 to
// 0x9f \u00XX (so that no terminal acts on them), other bytes above 0x7f
// are ISO 8859-1 characters written in UTF-8. At most 6 bytes per byte.
char* json_put_text(char* q, const uint8_t* s, size_t n);
// p[0, n) as lower-case hexadecimal pairs behind q; returns the end.
char* json_put_hex(char* q, const uint8_t* p, size_t n);

namespace json_detail {
extern const char digit_pairs[201];  // "00" to "99"
extern const uint64_t powers_of_ten[20];
}  // namespace json_detail

// The decimal digits of v behind q (at most 20); returns the end.
inline char* json_put_u64(char* q, uint64_t v) {
  using json_detail::digit_pairs;
  if (v < 10) {
    *q = static_cast<char>('0' + v);
    return q + 1;
  }
  // The number of digits from the number of bits: 1233 / 4096 is just
  // above log10(2).
  const unsigned bits = 64 - static_cast<unsigned>(__builtin_clzll(v));
  unsigned digits = (bits * 1233) >> 12;
  digits += v >= json_detail::powers_of_ten[digits];
  char* const end = q + digits;
  char* p = end;
  if (v <= UINT32_MAX) {  // 32-bit arithmetic is cheaper
    uint32_t w = static_cast<uint32_t>(v);
    while (w >= 100) {
      p -= 2;
      std::memcpy(p, digit_pairs + 2 * (w % 100), 2);
      w /= 100;
    }
    if (w >= 10)
      std::memcpy(p - 2, digit_pairs + 2 * w, 2);
    else
      p[-1] = static_cast<char>('0' + w);
    return end;
  }
  while (v >= 100) {
    p -= 2;
    std::memcpy(p, digit_pairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10)
    std::memcpy(p - 2, digit_pairs + 2 * v, 2);
  else
    p[-1] = static_cast<char>('0' + v);
  return end;
}

// Called for a json_key name that breaks its rules: never returns (and is
// not constexpr, so that a constant name that breaks them does not compile).
[[noreturn]] void json_key_refused(const char* name);

// A member name that needs no escaping (printable ASCII without quote or
// backslash), kept ready to be written with the comma before it.
class json_key {
 public:
  static constexpr size_t max_length = 28;
  constexpr json_key() : json_key("") {}
  // name: at most max_length bytes, none of which needs escaping (other
  // names go through json_writer::key(const char*)).
  constexpr explicit json_key(const char* name) : text_{',', '"'} {
    size_t n = 0;
    for (; name[n]; ++n) {
      if (n == max_length || name[n] < 0x20 || name[n] > 0x7e || name[n] == '"' || name[n] == '\\')
        json_key_refused(name);
      text_[n + 2] = name[n];
    }
    text_[n + 2] = '"';
    text_[n + 3] = ':';
    size_ = static_cast<uint8_t>(n + 4);
  }

 private:
  friend class json_writer;
  static constexpr size_t span = max_length + 4;  // ,"name":
  char text_[span + 1];                           // ,"name": and zeros up to span + 1 bytes
  uint8_t size_ = 0;                              // of ,"name":
};

class json_writer {
 public:
  // Texts and bytes longer than this are written in pieces of this size;
  // shorter ones in one reservation.
  static constexpr size_t piece = 16384;

  // Writes into the run's report.
  explicit json_writer(output& out) : out_(out) {}

  // Containers, as a value or as a member of the enclosing object.
  void begin_object() { opener('{'); }
  void begin_array() { opener('['); }
  void begin_object(const json_key& k) { opener(k, '{'); }
  void begin_array(const json_key& k) { opener(k, '['); }
  void end_object() { closer('}'); }
  void end_array() { closer(']'); }
  // Ends a line of JSON Lines (behind its top-level value).
  void end_line() {
    out_.put('\n');
    comma_ = false;
  }

  // A member name; its value follows.
  void key(const json_key& k) {
    char* q = open(k, 0);
    out_.commit_to(q);
    comma_ = false;
  }
  // The same for a name that needs no escaping, of any length.
  void key(const char* name);

  void null() { literal("null", 4); }
  void null(const json_key& k) { literal(k, "null", 4); }
  void boolean(bool b) { b ? literal("true", 4) : literal("false", 5); }
  void boolean(const json_key& k, bool b) { b ? literal(k, "true", 4) : literal(k, "false", 5); }
  void u64(uint64_t v) { close(put_u64(open(20), v)); }
  void i64(int64_t v) { close(put_i64(open(20), v)); }
  void u64(const json_key& k, uint64_t v) { close(put_u64(open(k, 20), v)); }
  void i64(const json_key& k, int64_t v) { close(put_i64(open(k, 20), v)); }
  // Bytes from the log as a string (see json_put_text).
  void string(const char* s, size_t n);
  void string(const json_key& k, const char* s, size_t n) {
    if (n > piece) {
      key(k);
      string(s, n);
      return;
    }
    char* q = open(k, 6 * n + 2);
    *q++ = '"';
    q = json_put_text(q, reinterpret_cast<const uint8_t*>(s), n);
    *q++ = '"';
    close(q);
  }
  // A text known to need no escaping (names from the tool's own tables).
  void ascii(const char* s) { ascii(s, std::strlen(s)); }
  void ascii(const char* s, size_t n);
  void ascii(const json_key& k, const char* s) {
    const size_t n = std::strlen(s);
    if (n > piece) {
      key(k);
      ascii(s, n);
      return;
    }
    char* q = open(k, n + 2);
    *q++ = '"';
    std::memcpy(q, s, n);
    q += n;
    *q++ = '"';
    close(q);
  }
  // Bytes as a string of hexadecimal pairs.
  void hex(const uint8_t* p, size_t n);
  // "2023-11-16T05:13:38Z": t in UTC, ISO 8601.
  void iso_time(uint32_t t) { close(put_time(open(time_room), t)); }
  void iso_time(const json_key& k, uint32_t t) { close(put_time(open(k, time_room), t)); }
  // A number with this many decimals, as printf's "%.*f" writes it.
  void fixed(double v, int decimals);
  void fixed(const json_key& k, double v, int decimals) {
    key(k);
    fixed(v, decimals);
  }
  // A value that is JSON already (a string written before, kept); also
  // the start of an object with its first members, which a comma follows.
  void raw(const char* s, size_t n);
  void raw(const json_key& k, const char* s, size_t n) {
    if (n > piece) {
      key(k);
      raw(s, n);
      return;
    }
    char* q = open(k, n);
    std::memcpy(q, s, n);
    close(q + n);
  }

 private:
  static constexpr size_t time_room = 42;  // a time_text and its quotes

  // Room for a comma and n bytes of a value; the comma is written when a
  // value came before in the same container.
  char* open(size_t n) {
    char* q = out_.reserve(n + 1);
    *q = ',';
    return q + comma_;
  }
  // Room for the member name and n bytes of its value, the name written.
  char* open(const json_key& k, size_t n) {
    const size_t skip = !comma_, size = k.size_;  // read before the bytes are stored
    char* q = out_.reserve(n + json_key::span);
    std::memcpy(q, k.text_ + skip, json_key::span);
    return q + size - skip;
  }
  // A string value of n bytes that put (q, p, n) -> end encodes, at most
  // grow output bytes for each input byte: in one piece when it is short,
  // else piece by piece.
  template <size_t grow, typename Put>
  void quoted(const uint8_t* p, size_t n, Put put);
  // The value ends at end.
  void close(char* end) {
    out_.commit_to(end);
    comma_ = true;
  }
  void opener(char c) {
    char* q = open(1);
    *q++ = c;
    out_.commit_to(q);
    comma_ = false;
  }
  void opener(const json_key& k, char c) {
    char* q = open(k, 1);
    *q++ = c;
    out_.commit_to(q);
    comma_ = false;
  }
  void closer(char c) {
    *out_.reserve(1) = c;
    out_.commit(1);
    comma_ = true;
  }
  void literal(const char* s, size_t n) {
    char* q = open(n);
    std::memcpy(q, s, n);
    close(q + n);
  }
  void literal(const json_key& k, const char* s, size_t n) {
    char* q = open(k, n);
    std::memcpy(q, s, n);
    close(q + n);
  }
  static char* put_u64(char* q, uint64_t v) { return json_put_u64(q, v); }
  static char* put_i64(char* q, int64_t v) {
    if (v >= 0) return json_put_u64(q, static_cast<uint64_t>(v));
    *q = '-';
    return json_put_u64(q + 1, uint64_t{0} - static_cast<uint64_t>(v));
  }
  // The quoted time text: the last second's text is kept, and within its
  // day only the time of day changes.
  char* put_time(char* q, uint32_t t);

  output& out_;
  bool comma_ = false;
  bool have_time_ = false;
  bool same_day_ok_ = false;  // the kept text's day holds for its whole day
  uint32_t time_ = 0;
  uint32_t time_size_ = 0;
  char time_text_[40] = {};
};

}  // namespace jrn
