#include "log/stream.h"

#include <unistd.h>

#include <cerrno>

namespace jrn {

// One spare byte in front of the block keeps a push-back possible right
// after a refill.
log_stream::log_stream(int fd) : fd_(fd), block_(new uint8_t[block_size + 1]) {
  front_ = block_.get() + 1;
  cur_ = end_ = front_;
}

log_stream::log_stream(const uint8_t* data, size_t len) : mem_start_(data), at_end_(true) {
  cur_ = data;
  end_ = data + len;
}

bool log_stream::refill() {
  if (at_end_) return false;
  for (;;) {
    ssize_t n = ::read(fd_, front_, block_size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A failed read ends the input too, but is said: what follows in
      // the log was not read, which is not the same as its end.
      at_end_ = true;
      if (n < 0) {
        error_ = errno;
        if (hook_) hook_(error_, position());
      }
      return false;
    }
    base_ += end_ - front_;
    cur_ = front_;
    end_ = front_ + n;
    return true;
  }
}

size_t log_stream::read_slow(uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (cur_ == end_ && !refill()) break;
    size_t take = static_cast<size_t>(end_ - cur_);
    if (take > n - done) take = n - done;
    std::memcpy(dst + done, cur_, take);
    cur_ += take;
    done += take;
  }
  return done;
}

size_t log_stream::skip(size_t n) {
  size_t done = 0;
  while (done < n) {
    if (cur_ == end_ && !refill()) break;
    size_t take = static_cast<size_t>(end_ - cur_);
    if (take > n - done) take = n - done;
    cur_ += take;
    done += take;
  }
  return done;
}

void log_stream::unget(uint8_t byte) {
  // The byte was just read, so it still stands right before cur_ (a memory
  // stream is never written to: its byte is already there).
  if (block_) {
    if (cur_ > block_.get()) {
      --cur_;
      *const_cast<uint8_t*>(cur_) = byte;
    }
  } else if (cur_ > mem_start_) {
    --cur_;
  }
}

}  // namespace jrn
