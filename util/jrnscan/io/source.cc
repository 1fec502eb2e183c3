#include "io/source.h"

#include <sys/stat.h>

#include <cerrno>

#include "io/stream.h"

namespace jrn {

namespace {

// Blocks start on a cache line: reads into them are copied faster.
constexpr size_t block_align = 64;

}  // namespace

// One spare byte in front of the block keeps a push-back possible right
// after a refill.
byte_source::byte_source() : block_(new uint8_t[block_size + block_align]), blocks_(true) {
  uint8_t* const after_spare = block_.get() + 1;
  front_ = after_spare + (-reinterpret_cast<uintptr_t>(after_spare) & (block_align - 1));
  cur_ = end_ = block_start_ = front_;
  spare_ = front_ - 1;
}

byte_source::byte_source(const uint8_t* data, size_t len) : at_end_(true) {
  cur_ = block_start_ = data;
  end_ = data + len;
}

byte_source::byte_source(own_blocks) : blocks_(true) {}

ssize_t byte_source::next_block(uint8_t** data) {
  *data = front_;
  return fill(front_, block_size);
}

bool byte_source::refill() {
  if (at_end_ || !blocks_) return false;
  for (;;) {
    uint8_t* data = front_;
    const ssize_t n = next_block(&data);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A failed read ends the input too, but is said: what follows in
      // the log was not read, which is not the same as its end. The last
      // block stays as it was.
      at_end_ = true;
      if (n < 0) {
        error_ = errno;
        if (hook_) hook_(hook_ctx_, error_, position());
      }
      return false;
    }
    base_ += end_ - block_start_;
    cur_ = block_start_ = data;
    end_ = data + n;
    spare_ = data - 1;
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
  if (blocks_) {
    if (spare_ != nullptr && cur_ > spare_) {
      --cur_;
      *const_cast<uint8_t*>(cur_) = byte;
    }
  } else if (cur_ > block_start_) {
    --cur_;
  }
}

read_ahead_settings read_ahead_for(int fd) {
  read_ahead_settings how;
  struct stat st;
  // A terminal or a socket is read when the scan needs its bytes, as
  // typed or sent.
  how.threaded = fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
  // A file that one block holds is read at once: a thread to read it ahead
  // would cost more than it saves (a directory of many small logs).
  if (how.threaded && S_ISREG(st.st_mode) && st.st_size <= static_cast<off_t>(how.block_bytes))
    how.threaded = false;
  return how;
}

namespace {

class fd_producer : public block_producer {
 public:
  fd_producer(int fd, const uint8_t* prefix, size_t prefix_len) : in_(fd, prefix, prefix_len) {}
  ssize_t produce(uint8_t* dst, size_t cap) override { return in_.read(dst, cap); }
  bool would_wait() override { return in_.would_wait(); }
  void interrupt() override { in_.interrupt(); }

 private:
  fd_reader in_;
};

}  // namespace

fd_source::fd_source(int fd, const uint8_t* prefix, size_t prefix_len)
    : fd_source(fd, prefix, prefix_len, read_ahead_for(fd)) {}

fd_source::fd_source(int fd, const uint8_t* prefix, size_t prefix_len,
                     const read_ahead_settings& how)
    : produced_source(std::make_unique<fd_producer>(fd, prefix, prefix_len), how,
                      fd_reader::input_size(fd, prefix_len)) {}

}  // namespace jrn
