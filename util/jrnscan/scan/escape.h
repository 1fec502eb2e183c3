// Texts taken from a log or a map file may hold bytes that a terminal acts
// on (escape sequences can set the window title, write the clipboard or
// clear the screen). Where the text goes to a terminal, such bytes are
// shown as \xNN instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jrn {

enum class escape_mode { automatic, always, never };

// C0 controls, DEL and the C1 range 0x80 to 0x9f.
inline bool terminal_acts_on(uint8_t b) {
  return b < 0x20 || b == 0x7f || (b >= 0x80 && b <= 0x9f);
}

// Whether a stream gets escaped texts under the mode (automatic: when the
// descriptor is a terminal).
bool escapes_for(escape_mode mode, int fd);

// Appends s[0, n) to out, with every byte a terminal acts on as \xNN.
void append_escaped(const char* s, size_t n, std::string& out);
// s[0, n) as it is when on is false or nothing needs escaping; otherwise
// the escaped copy in buf. The result points into s or buf.
const char* safe_text(const char* s, size_t n, bool on, std::string& buf, size_t* out_len);

}  // namespace jrn
