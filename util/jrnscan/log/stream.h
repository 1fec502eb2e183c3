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

  // Bytes delivered or skipped so far, counted from the start of the input.
  int64_t position() const { return base_ + (cur_ - start_of_block()); }
  // The errno of a read that failed, or 0; a failed read ends the input.
  int error() const { return error_; }
  // Called once when a read fails, with the errno and the input position
  // at which it failed; the driver turns it into a message.
  using error_hook = void (*)(int err, int64_t position);
  void on_error(error_hook hook) { hook_ = hook; }

 private:
  size_t read_slow(uint8_t* dst, size_t n);
  bool refill();
  const uint8_t* start_of_block() const { return block_ ? front_ : mem_start_; }

  int fd_ = -1;
  std::unique_ptr<uint8_t[]> block_;
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint8_t* front_ = nullptr;  // start of the block as last filled
  const uint8_t* mem_start_ = nullptr;
  bool at_end_ = false;
  int64_t base_ = 0;  // input position of the block's first byte
  int error_ = 0;
  error_hook hook_ = nullptr;
};

}  // namespace jrn
