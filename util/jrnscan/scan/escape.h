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

// Appends s[0, n) as the inside of a JSON string: quote, backslash and
// control characters escaped, bytes above 0x7f taken as ISO 8859-1
// characters and written in UTF-8, except the C1 controls 0x80 to 0x9f,
// which are written as \u0080 to \u009f so that no terminal acts on them.
void append_json_text(const char* s, size_t n, std::string& out);

// The ways a text from the log is written: as it is, for a terminal (see
// append_escaped), or as the inside of a JSON string (append_json_text).
enum class text_form { raw, terminal, json };

// Output bytes that byte b takes in the form: each byte is written as one
// unit (itself, an escape sequence or a UTF-8 character), so a text can be
// cut between any two bytes without cutting a unit.
inline size_t form_size(uint8_t b, text_form form) {
  switch (form) {
    case text_form::terminal: return terminal_acts_on(b) ? 4 : 1;
    case text_form::json:
      if (b == '"' || b == '\\' || b == '\n' || b == '\t' || b == '\r' || b >= 0xa0) return 2;
      return (b < 0x20 || b >= 0x7f) ? 6 : 1;
    default: return 1;
  }
}
// Appends s[0, n) to out in the form.
void append_in_form(const char* s, size_t n, text_form form, std::string& out);

// Appends a file name for messages and the report: control bytes (C0, DEL)
// as \xNN, and so any byte from 0x80 to 0x9f that is not part of a UTF-8
// character, and the UTF-8 characters U+0080 to U+009F (C1 controls), byte
// by byte. Other UTF-8 characters stay as they are, so that names in the
// system's own character set stay readable.
void append_escaped_file_name(const char* s, size_t n, std::string& out);

}  // namespace jrn
