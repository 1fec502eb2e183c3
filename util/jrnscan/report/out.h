// The report writer: everything the tool prints on standard output goes
// through one large buffer that is written out in big blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace jrn {

struct out_buffer {
  static constexpr size_t capacity = 1 << 20;
  char* data = nullptr;
  size_t len = 0;
  int fd = 1;  // -1 discards the report (used by the fuzzer)
};
extern out_buffer out_buf;

void out_flush();
// Makes room for n more bytes (n is small: one formatted line) and returns
// where they go; out_commit tells how many were written.
char* out_slow_reserve(size_t n);
inline char* out_reserve(size_t n) {
  if (out_buf.data && out_buf.capacity - out_buf.len >= n) return out_buf.data + out_buf.len;
  return out_slow_reserve(n);
}
inline void out_commit(size_t n) { out_buf.len += n; }

// Writes n bytes: into the buffer when they fit in what is left of it,
// else through out_write_slow (which writes very large texts on their own).
void out_write_slow(const char* p, size_t n);
inline void out_write(const char* p, size_t n) {
  if (out_buf.data && out_buf.capacity - out_buf.len >= n) {
    std::memcpy(out_buf.data + out_buf.len, p, n);
    out_buf.len += n;
    return;
  }
  out_write_slow(p, n);
}
inline void out_str(const char* s) { out_write(s, std::strlen(s)); }
inline void out_char(char c) {
  *out_reserve(1) = c;
  out_commit(1);
}
void out_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Redirects the report (tests and the fuzzer); -1 throws it away.
void out_set_fd(int fd);

}  // namespace jrn
