// Byte streams under the sources: a descriptor, a decompression of another
// stream, bytes already read put in front of a stream. Each is read from
// one thread at a time (a reader thread, or the scan's).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jrn {

class byte_reader {
 public:
  virtual ~byte_reader() = default;
  // Up to cap bytes into dst: the count, 0 at the end, -1 after a failure.
  // A failure stays: every later read fails the same way.
  virtual ssize_t read(uint8_t* dst, size_t cap) = 0;
  // Whether the next read would wait for its input (a pipe with nothing
  // ready), so that what there is can be handed over first.
  virtual bool would_wait() { return false; }
  // After a failure: its errno and what to say of it.
  int err() const { return err_; }
  const std::string& why() const { return why_; }

 protected:
  ssize_t fail(int err, std::string why);

  int err_ = 0;
  std::string why_;
};

// A file descriptor, not closed here: bytes already taken from it (to tell
// what the input is) come first, and a read that waits for a pipe can be
// cut short from another thread.
class fd_reader : public byte_reader {
 public:
  fd_reader(int fd, const uint8_t* prefix, size_t prefix_len);
  ~fd_reader() override;
  fd_reader(const fd_reader&) = delete;
  fd_reader& operator=(const fd_reader&) = delete;

  // A pipe is read as far as it has bytes ready, a regular file as far as
  // cap. Fails with errno set too (ECANCELED once interrupted).
  ssize_t read(uint8_t* dst, size_t cap) override;
  bool would_wait() override;
  // Makes a waiting read, and every later one, fail. Any thread.
  void interrupt();
  // The bytes an input has in all when it is a regular file read from
  // where the descriptor stands, behind prefix_len bytes already taken from
  // it; else -1.
  static int64_t input_size(int fd, size_t prefix_len);

 private:
  // One read(2), with an interruptible wait first for a pipe.
  ssize_t read_once(uint8_t* dst, size_t cap);

  int fd_;
  bool may_wait_;  // a pipe, terminal or socket: reads can wait
  std::vector<uint8_t> prefix_;
  size_t prefix_at_ = 0;
  int wake_[2] = {-1, -1};  // written to by interrupt(); polled beside fd_
  std::atomic<bool> interrupted_{false};
};

// The bytes of head, then those of rest.
class head_reader : public byte_reader {
 public:
  head_reader(std::vector<uint8_t> head, byte_reader& rest) : head_(std::move(head)), rest_(rest) {}
  ssize_t read(uint8_t* dst, size_t cap) override;
  bool would_wait() override { return at_ == head_.size() && rest_.would_wait(); }

 private:
  std::vector<uint8_t> head_;
  size_t at_ = 0;
  byte_reader& rest_;
};

// What the first bytes of a stream say it is compressed with ("gzip",
// "zstd", "xz", "bzip2"), or null; magic_bytes of them tell.
const char* compression_of(const uint8_t* p, size_t n);
constexpr size_t magic_bytes = 6;

// The decompression of the compressed stream in (kept in use), by the
// name compression_of() gives. A damaged or cut stream fails with what is
// wrong with it, after the bytes before the damage.
std::unique_ptr<byte_reader> make_decoder(const char* compression, byte_reader& in);

}  // namespace jrn
