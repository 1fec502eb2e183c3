#include "report/out.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scan/diag.h"

namespace jrn {

namespace {

// Where a report goes that has no buffer of its own (its allocation
// failed): written into and thrown away.
char spill[output::capacity];

}  // namespace

output::output(int fd, diagnostics* diag) : fd_(fd), diag_(diag) {
  data_ = static_cast<char*>(std::malloc(capacity));
  if (!data_) {
    data_ = spill;
    fail("malloc", ENOMEM);
  }
  cur_ = data_;
  end_ = data_ + capacity;
}

output::~output() {
  flush();
  if (data_ != spill) std::free(data_);
}

// A report that cannot be written is a failed run: the reader would take
// a cut report for a whole one. The run halts at the next tag (a reader
// that went away must not make the tool read the rest of a huge log for
// nothing); what is printed from here on is dropped.
void output::write_failed(int err) {
  cur_ = data_;
  if (!failed_) fail("jrnscan: write error", err);
}

void output::fail(const char* what, int err) {
  failed_ = true;
  if (!diag_) {
    std::fprintf(stderr, "%s: %s\n", what, std::strerror(err));
    return;
  }
  diag_->say("%s: %s\n", what, std::strerror(err));
  diag_->halt();
}

void output::write_all(const char* p, size_t n) {
  if (collect_) {
    collect_->append(p, n);
    return;
  }
  if (fd_ < 0 || failed_ || (diag_ && diag_->halted())) return;
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return write_failed(errno);
    }
    if (w == 0) return write_failed(EIO);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void output::flush() {
  if (cur_ == data_) return;
  const size_t n = static_cast<size_t>(cur_ - data_);
  cur_ = data_;  // before the write: a failure says a message, which flushes
  write_all(data_, n);
}

char* output::slow_reserve(size_t) {
  flush();
  return cur_;
}

void output::write_slow(const char* p, size_t n) {
  if (n >= capacity / 2) {
    flush();
    write_all(p, n);
    return;
  }
  std::memcpy(reserve(n), p, n);
  commit(n);
}

void output::printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char* dst = reserve(256);
  size_t room = this->room();
  int n = std::vsnprintf(dst, room, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<size_t>(n) < room) {
    commit(static_cast<size_t>(n));
    return;
  }
  // Longer than what is left of the buffer: again into an empty buffer,
  // or, for a text larger than the whole buffer, on its own.
  if (static_cast<size_t>(n) < capacity) {
    flush();
    va_start(ap, fmt);
    std::vsnprintf(cur_, capacity, fmt, ap);
    va_end(ap);
    commit(static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  write(big.data(), static_cast<size_t>(n));
}

}  // namespace jrn
