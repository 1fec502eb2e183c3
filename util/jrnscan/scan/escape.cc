#include "scan/escape.h"

#include <unistd.h>

namespace jrn {

namespace {

const char hex_digits[] = "0123456789abcdef";

void append_hex_escape(uint8_t b, std::string& out) {
  const char esc[4] = {'\\', 'x', hex_digits[b >> 4], hex_digits[b & 15]};
  out.append(esc, 4);
}

bool continuation(uint8_t b) { return (b & 0xc0) == 0x80; }

// The length of the UTF-8 character at s[0, n), or 0 when the bytes there
// are not one (a stray byte, an overlong form, a surrogate, beyond U+10FFFF).
size_t utf8_length(const uint8_t* s, size_t n) {
  const uint8_t b = s[0];
  size_t len;
  uint8_t lo = 0x80, hi = 0xbf;  // the range of the second byte
  if (b >= 0xc2 && b <= 0xdf) {
    len = 2;
  } else if (b >= 0xe0 && b <= 0xef) {
    len = 3;
    if (b == 0xe0) lo = 0xa0;
    if (b == 0xed) hi = 0x9f;
  } else if (b >= 0xf0 && b <= 0xf4) {
    len = 4;
    if (b == 0xf0) lo = 0x90;
    if (b == 0xf4) hi = 0x8f;
  } else {
    return 0;
  }
  if (n < len || s[1] < lo || s[1] > hi) return 0;
  for (size_t i = 2; i < len; ++i)
    if (!continuation(s[i])) return 0;
  return len;
}

}  // namespace

bool escapes_for(escape_mode mode, int fd) {
  switch (mode) {
    case escape_mode::always: return true;
    case escape_mode::never: return false;
    default: return isatty(fd) == 1;
  }
}

void append_escaped(const char* s, size_t n, std::string& out) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    if (terminal_acts_on(b))
      append_hex_escape(b, out);
    else
      out += static_cast<char>(b);
  }
}

const char* safe_text(const char* s, size_t n, bool on, std::string& buf, size_t* out_len) {
  if (on) {
    for (size_t i = 0; i < n; ++i) {
      if (terminal_acts_on(static_cast<uint8_t>(s[i]))) {
        buf.clear();
        append_escaped(s, n, buf);
        *out_len = buf.size();
        return buf.c_str();
      }
    }
  }
  *out_len = n;
  return s;
}

void append_json_text(const char* s, size_t n, std::string& out) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    switch (b) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      default: break;
    }
    if (b < 0x20 || (b >= 0x7f && b <= 0x9f)) {
      const char esc[6] = {'\\', 'u', '0', '0', hex_digits[b >> 4], hex_digits[b & 15]};
      out.append(esc, 6);
    } else if (b >= 0xa0) {
      // An ISO 8859-1 character as UTF-8.
      out += static_cast<char>(0xc0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3f));
    } else {
      out += static_cast<char>(b);
    }
  }
}

void append_in_form(const char* s, size_t n, text_form form, std::string& out) {
  switch (form) {
    case text_form::terminal: append_escaped(s, n, out); return;
    case text_form::json: append_json_text(s, n, out); return;
    default: out.append(s, n); return;
  }
}

void append_escaped_file_name(const char* s, size_t n, std::string& out) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s);
  for (size_t i = 0; i < n;) {
    const uint8_t b = p[i];
    const size_t len = b < 0x80 ? 0 : utf8_length(p + i, n - i);
    if (len == 0) {
      if (terminal_acts_on(b))
        append_hex_escape(b, out);
      else
        out += static_cast<char>(b);
      ++i;
    } else if (b == 0xc2 && p[i + 1] <= 0x9f) {  // U+0080 to U+009F
      append_hex_escape(b, out);
      append_hex_escape(p[i + 1], out);
      i += 2;
    } else {
      out.append(s + i, len);
      i += len;
    }
  }
}

}  // namespace jrn
