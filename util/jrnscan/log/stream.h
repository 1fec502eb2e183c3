// The log input: a file descriptor (or a block of memory) read in large
// blocks, with the one-byte push-back that the tag loop needs to hand the
// first byte of a following log back to the next header read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace jrn {

class log_stream {
 public:
  static constexpr size_t block_size = 1 << 20;

  explicit log_stream(int fd);
  log_stream(const uint8_t* data, size_t len);

  // Copies up to n bytes to dst and returns how many were delivered; fewer
  // than n only at the end of the input or after a read error.
  size_t read(void* dst, size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) {
      std::memcpy(dst, cur_, n);
      cur_ += n;
      return n;
    }
    return read_slow(static_cast<uint8_t*>(dst), n);
  }
  // Consumes up to n bytes without copying them; returns how many.
  size_t skip(size_t n);
  // Puts the byte just read back in front of the input.
  void unget(uint8_t byte);

 private:
  size_t read_slow(uint8_t* dst, size_t n);
  bool refill();

  int fd_ = -1;
  std::unique_ptr<uint8_t[]> block_;
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint8_t* front_ = nullptr;  // start of the block as last filled
  const uint8_t* mem_start_ = nullptr;
  bool at_end_ = false;
};

}  // namespace jrn
