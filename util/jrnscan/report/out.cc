#include "report/out.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace jrn {

out_buffer out_buf;

// A report that cannot be written is a failed run: the reader would take
// a cut report for a whole one. The run ends at once (a reader that went
// away must not make the tool read the rest of a huge log for nothing).
[[noreturn]] static void write_failed(int err) {
  out_buf.len = 0;
  std::fprintf(stderr, "jrnscan: write error: %s\n", std::strerror(err));
  std::exit(1);
}

static void write_all(int fd, const char* p, size_t n) {
  if (fd < 0) return;
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      write_failed(errno);
    }
    if (w == 0) write_failed(EIO);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void out_flush() {
  if (out_buf.len == 0) return;
  write_all(out_buf.fd, out_buf.data, out_buf.len);
  out_buf.len = 0;
}

char* out_slow_reserve(size_t n) {
  if (!out_buf.data) {
    out_buf.data = static_cast<char*>(std::malloc(out_buf.capacity));
    if (!out_buf.data) {
      std::perror("malloc");
      std::exit(1);
    }
  }
  if (out_buf.capacity - out_buf.len < n) out_flush();
  return out_buf.data + out_buf.len;
}

void out_write_slow(const char* p, size_t n) {
  if (n >= out_buf.capacity / 2) {
    out_flush();
    write_all(out_buf.fd, p, n);
    return;
  }
  std::memcpy(out_reserve(n), p, n);
  out_commit(n);
}

void out_printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char* dst = out_reserve(256);
  size_t room = out_buf.capacity - out_buf.len;
  int n = std::vsnprintf(dst, room, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<size_t>(n) < room) {
    out_commit(static_cast<size_t>(n));
    return;
  }
  // Longer than what is left of the buffer: again into an empty buffer,
  // or, for a text larger than the whole buffer, on its own.
  if (static_cast<size_t>(n) < out_buf.capacity) {
    out_flush();
    va_start(ap, fmt);
    std::vsnprintf(out_buf.data, out_buf.capacity, fmt, ap);
    va_end(ap);
    out_commit(static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  out_write(big.data(), static_cast<size_t>(n));
}

void out_set_fd(int fd) {
  out_flush();
  out_buf.fd = fd;
}

}  // namespace jrn
