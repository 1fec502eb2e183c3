#include "io/source.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace jrn {

// One spare byte in front of the block keeps a push-back possible right
// after a refill.
byte_source::byte_source() : block_(new uint8_t[block_size + 1]) {
  front_ = block_.get() + 1;
  cur_ = end_ = block_start_ = front_;
}

byte_source::byte_source(const uint8_t* data, size_t len) : at_end_(true) {
  cur_ = block_start_ = data;
  end_ = data + len;
}

bool byte_source::refill() {
  if (at_end_ || !block_) return false;
  for (;;) {
    const ssize_t n = fill(front_, block_size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A failed read ends the input too, but is said: what follows in
      // the log was not read, which is not the same as its end.
      at_end_ = true;
      if (n < 0) {
        error_ = errno;
        base_ += end_ - block_start_;
        cur_ = end_ = block_start_ = front_;
        if (hook_) hook_(hook_ctx_, error_, position());
      }
      return false;
    }
    base_ += end_ - block_start_;
    cur_ = block_start_ = front_;
    end_ = front_ + n;
    return true;
  }
}

size_t byte_source::read_slow(uint8_t* dst, size_t n) {
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

const uint8_t* byte_source::view_slow(size_t n) {
  if (side_.size() < n) side_.resize(n);
  return read_slow(side_.data(), n) == n ? side_.data() : nullptr;
}

size_t byte_source::skip(size_t n) {
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

void byte_source::unget(uint8_t byte) {
  // The byte was just read, so it stands right before cur_, or, right
  // after a refill, it goes to the spare byte in front of the block. A
  // memory source is never written to: its byte is already there.
  if (block_) {
    if (cur_ > block_.get()) {
      --cur_;
      *const_cast<uint8_t*>(cur_) = byte;
    }
  } else if (cur_ > block_start_) {
    --cur_;
  }
}

fd_source::fd_source(int fd) : fd_(fd) {
  struct stat st;
  may_wait_ = fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
  // A regular file is read from where the descriptor stands to its end.
  if (!may_wait_) {
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= 0 && at <= st.st_size) set_size(static_cast<int64_t>(st.st_size - at));
  }
}

ssize_t fd_source::fill(uint8_t* dst, size_t cap) {
  if (may_wait_) {
    // Nothing ready yet: let what was printed out before waiting.
    struct pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, 0) == 0) about_to_wait();
  }
  return ::read(fd_, dst, cap);
}

}  // namespace jrn
