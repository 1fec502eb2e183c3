// The printf conversions that a report line's format may hold: exactly
// those that the text report renders itself, byte for byte as printf
// would. The report-line macros check every format at compile time
// (formats there are string literals), and the text report parses its
// formats with the same function, so what is checked is what is rendered.
//
//   %d %u %x      the value as a 32-bit number; with "ll" (%lld %llu
//                 %llx) as a 64-bit one
//   %s            a name, a text or a node's display
//   %%            a percent sign
//
// A conversion may have a '0' flag (numbers only: zeros between the sign
// and the digits) and a width of up to four digits (right-aligned); %s may
// have a precision of up to four digits (at most that many bytes of the
// value). Everything else (the flags '-', '+', ' ', '#', '\'', '*' widths
// and precisions, the length modifiers h, hh, l, j, z, t, L and the
// conversions c, i, o, X, p, n, f, e, g, a ...) is refused.
#pragma once

#include <cstdint>

namespace jrn {

// One conversion of a format.
struct format_conv {
  char conv = 0;       // 'd', 'u', 'x' or 's'
  bool zero = false;   // '0' flag
  bool wide = false;   // "ll": the value is a 64-bit number
  int width = 0;       // 0 = none
  int precision = -1;  // -1 = none
};

namespace format_detail {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Up to four digits at fmt[i]; advances i. -1 when there are more.
constexpr int number(const char* fmt, int& i) {
  int v = 0, n = 0;
  while (is_digit(fmt[i])) {
    if (++n > 4) return -1;
    v = v * 10 + (fmt[i++] - '0');
  }
  return v;
}

}  // namespace format_detail

// Parses the conversion that begins at fmt[i], just behind its '%' (not
// "%%"). Returns the index behind it, or -1 when the text report cannot
// render it.
constexpr int parse_conversion(const char* fmt, int i, format_conv& c) {
  c = format_conv{};
  if (fmt[i] == '0') {
    c.zero = true;
    ++i;
  }
  c.width = format_detail::number(fmt, i);
  if (c.width < 0) return -1;
  if (fmt[i] == '.') {
    ++i;
    if (!format_detail::is_digit(fmt[i])) return -1;
    c.precision = format_detail::number(fmt, i);
    if (c.precision < 0) return -1;
  }
  if (fmt[i] == 'l' && fmt[i + 1] == 'l') {
    c.wide = true;
    i += 2;
  }
  c.conv = fmt[i];
  switch (c.conv) {
    case 'd':
    case 'u':
    case 'x':
      if (c.precision >= 0) return -1;
      break;
    case 's':
      if (c.zero || c.wide) return -1;
      break;
    default: return -1;
  }
  return i + 1;
}

// The kinds of value a conversion takes: what a report line value gives
// printf (its arg()).
enum class value_class : uint8_t { i32, u32, i64, str, other };

template <class T>
struct value_class_of {
  static constexpr value_class value = value_class::other;
};
template <>
struct value_class_of<int> {
  static constexpr value_class value = value_class::i32;
};
template <>
struct value_class_of<unsigned> {
  static constexpr value_class value = value_class::u32;
};
template <>
struct value_class_of<long long> {
  static constexpr value_class value = value_class::i64;
};
template <>
struct value_class_of<const char*> {
  static constexpr value_class value = value_class::str;
};

// Whether a conversion renders a value of the class as printf does. %d
// takes a signed number only: the text report would show an unsigned one
// above 2^31 as it is, printf as negative. %u and %x show a signed one in
// two's complement, as printf does.
constexpr bool conversion_takes(const format_conv& c, value_class v) {
  switch (c.conv) {
    case 'd': return c.wide ? v == value_class::i64 : v == value_class::i32;
    case 'u':
    case 'x':
      return c.wide ? v == value_class::i64 : v == value_class::i32 || v == value_class::u32;
    case 's': return v == value_class::str;
    default: return false;
  }
}

// -1 when the text report renders fmt, else where it fails: the index of
// the '%' of the first conversion it cannot render, or (given the classes
// of the n values) of the first conversion that does not fit its value or
// has none, or fmt's length when there are values left over.
constexpr int format_error(const char* fmt, const value_class* classes = nullptr, int n = 0) {
  int i = 0, k = 0;
  while (fmt[i] != '\0') {
    if (fmt[i] != '%') {
      ++i;
      continue;
    }
    if (fmt[i + 1] == '%') {
      i += 2;
      continue;
    }
    format_conv c;
    const int next = parse_conversion(fmt, i + 1, c);
    if (next < 0) return i;
    if (classes && (k == n || !conversion_takes(c, classes[k]))) return i;
    ++k;
    i = next;
  }
  return classes && k < n ? i : -1;
}

// Whether the text report renders fmt with values whose arg() types are
// Args (the report-line macros pass void first, then one per value).
template <class Void, class... Args>
constexpr bool format_fits(const char* fmt) {
  constexpr value_class classes[sizeof...(Args) + 1] = {value_class_of<Args>::value...,
                                                        value_class::other};
  return format_error(fmt, classes, static_cast<int>(sizeof...(Args))) == -1;
}

}  // namespace jrn
