#include "scan/escape.h"

#include <unistd.h>

namespace jrn {

bool escapes_for(escape_mode mode, int fd) {
  switch (mode) {
    case escape_mode::always: return true;
    case escape_mode::never: return false;
    default: return isatty(fd) == 1;
  }
}

void append_escaped(const char* s, size_t n, std::string& out) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    if (!terminal_acts_on(b)) {
      out += static_cast<char>(b);
      continue;
    }
    const char esc[4] = {'\\', 'x', digits[b >> 4], digits[b & 15]};
    out.append(esc, 4);
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

}  // namespace jrn
