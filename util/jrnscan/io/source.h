// Where a log's bytes come from: a file descriptor or a block of memory,
// read in large blocks. The source counts its own position, keeps the
// one-byte push-back that hands the first byte of a following log back to
// the next header read, and hands out fields that lie inside the current
// block as views into it, without a copy.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace jrn {

class byte_source {
 public:
  static constexpr size_t block_size = 1 << 20;

  virtual ~byte_source() = default;

  // Copies up to n bytes to dst and returns how many were delivered; fewer
  // than n only at the end of the input or after a failed read.
  size_t read(void* dst, size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) {
      std::memcpy(dst, cur_, n);
      cur_ += n;
      return n;
    }
    return read_slow(static_cast<uint8_t*>(dst), n);
  }
  // Consumes n bytes and returns where they can be read: inside the block
  // when they lie wholly there, otherwise assembled once in a side buffer.
  // Null when the input ended first (what there was is consumed). What it
  // points to stays valid until the next read, view or skip that goes past
  // the current block.
  const uint8_t* view(size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) {
      const uint8_t* p = cur_;
      cur_ += n;
      return p;
    }
    return view_slow(n);
  }
  // Consumes up to n bytes without copying them; returns how many.
  size_t skip(size_t n);
  // Puts the byte just read back in front of the input.
  void unget(uint8_t byte);

  // Bytes delivered so far, counted from the start of the input.
  int64_t position() const { return base_ + (cur_ - block_start_); }
  // The errno of a read that failed, or 0; a failed read ends the input.
  int error() const { return error_; }
  bool at_end() const { return at_end_ && cur_ == end_; }
  // The input's whole size in bytes when it is known not to grow (a
  // regular file read once, a block of memory), else -1.
  int64_t size() const { return size_; }

  // Called once when a read fails, with the errno and the position.
  using error_hook = void (*)(void* ctx, int err, int64_t position);
  void on_error(error_hook hook, void* ctx) {
    hook_ = hook;
    hook_ctx_ = ctx;
  }
  // Called before a read that would wait for its data (a pipe or a
  // terminal with nothing ready), so that what was printed is seen.
  using wait_hook = void (*)(void* ctx);
  void on_wait(wait_hook hook, void* ctx) {
    wait_ = hook;
    wait_ctx_ = ctx;
  }

  // Following a log that is still being written: only a following source
  // waits between tags, catches up with its writer or is stopped.
  //
  // Every byte read so far has been delivered.
  bool drained() const { return cur_ == end_; }
  // At a tag boundary, reads the next block when the current one is used
  // up; a source that waits may stop there at once. False when the input
  // ended there because the run is to stop. For other sources this is the
  // read that the next field would make anyway.
  bool fetch_between_tags() {
    if (cur_ != end_) return true;
    at_boundary_ = true;
    refill();
    at_boundary_ = false;
    return !stopped_;
  }
  // Every byte written so far has been read and the next one would have to
  // be waited for (a followed file that has not grown yet).
  bool caught_up() { return cur_ == end_ && !at_end_ && nothing_new(); }
  // From now on the input ends where what was written so far ends.
  virtual void stop_following() {}
  // A stop was asked for (a signal); the run ends at the next tag boundary.
  bool stop_requested() const { return stop_flag_ != nullptr && *stop_flag_ != 0; }
  // The input ended because of such a stop, not at its end.
  bool stopped() const { return stopped_; }
  // What ended the input when the source itself refused to go on (error()
  // is set then too), or null: said instead of the system's error text.
  const char* failure_text() const { return failure_text_; }

 protected:
  // A source whose blocks are filled into the source's own block (fill()).
  byte_source();
  // A source over memory that is all there is.
  explicit byte_source(const uint8_t* data, size_t len);
  // A source that hands out blocks of its own (next_block()).
  struct own_blocks {};
  explicit byte_source(own_blocks);

  // Fills dst with up to cap bytes: the count, 0 at the end of the input,
  // -1 with errno set after a failure.
  virtual ssize_t fill(uint8_t*, size_t) { return 0; }
  // The next block of a source with blocks of its own: *data is set to
  // bytes that stay valid and writable until the next call, with one
  // writable spare byte in front of them (for the push-back). Returns the
  // count as fill() does.
  virtual ssize_t next_block(uint8_t** data);
  void about_to_wait() {
    if (wait_) wait_(wait_ctx_);
  }
  // Whether the file has nothing beyond what was read (caught_up()).
  virtual bool nothing_new() { return false; }
  // fill() is called from fetch_between_tags(): nothing of a tag is pending.
  bool at_tag_boundary() const { return at_boundary_; }
  void watch_stop_flag(const volatile sig_atomic_t* flag) { stop_flag_ = flag; }
  void set_stopped() { stopped_ = true; }
  void set_failure_text(const char* text) { failure_text_ = text; }
  void set_size(int64_t size) { size_ = size; }

 private:
  size_t read_slow(uint8_t* dst, size_t n);
  const uint8_t* view_slow(size_t n);
  bool refill();

  std::unique_ptr<uint8_t[]> block_;
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* block_start_ = nullptr;  // start of the block as last filled
  uint8_t* front_ = nullptr;              // where fill() writes
  uint8_t* spare_ = nullptr;              // the writable byte in front of block_start_, or null
  bool blocks_ = false;                   // refilled block by block (not all in memory)
  std::vector<uint8_t> side_;             // fields that straddle two blocks
  int64_t base_ = 0;                      // input position of block_start_
  bool at_end_ = false;
  int error_ = 0;
  error_hook hook_ = nullptr;
  void* hook_ctx_ = nullptr;
  wait_hook wait_ = nullptr;
  void* wait_ctx_ = nullptr;
  const volatile sig_atomic_t* stop_flag_ = nullptr;
  bool stopped_ = false;
  bool at_boundary_ = false;
  const char* failure_text_ = nullptr;
  int64_t size_ = -1;
};

// Produces an input's bytes block by block, for a produced_source: on a
// reader thread of its own, or on the scanning thread.
class block_producer {
 public:
  virtual ~block_producer() = default;
  // Fills dst with up to cap bytes: the count, 0 at the end of the input,
  // -1 with errno set after a failure. May wait for its input.
  virtual ssize_t produce(uint8_t* dst, size_t cap) = 0;
  // Whether produce() would wait for its input now (a pipe with nothing
  // ready).
  virtual bool would_wait() { return false; }
  // Cuts a produce() that waits short, from another thread: the source
  // goes away. What is read after it is of no concern.
  virtual void interrupt() {}
  // Why the input ended after produce() failed, when the producer itself
  // says so; null for the system's text of errno.
  virtual const char* failure_text() const { return nullptr; }
};

// How a produced_source reads.
struct read_ahead_settings {
  // A reader thread fills a ring of blocks while the scan decodes the
  // current one; otherwise a block is produced when the scan needs it.
  bool threaded = true;
  // Blocks of this size: a scan of a plain log is as fast with 256 KiB to
  // 1 MiB ones, and larger ones mean fewer hand-overs between the threads.
  size_t block_bytes = 1 << 20;
  size_t blocks = 4;
};

class block_ring;

// Hands out the blocks of a producer, read ahead on a thread of its own
// (when threaded): the scan works on one block while the next ones are
// read. The producer is used from one thread at a time; the source is used
// from the scanning thread only, where its hooks are called.
class produced_source : public byte_source {
 public:
  // size: the input's whole size when known (size()), else -1.
  produced_source(std::unique_ptr<block_producer> producer, const read_ahead_settings& how,
                  int64_t size = -1);
  // Stops the reader thread after the block it is filling.
  ~produced_source() override;
  produced_source(const produced_source&) = delete;
  produced_source& operator=(const produced_source&) = delete;

 protected:
  ssize_t next_block(uint8_t** data) override;

 private:
  std::unique_ptr<block_producer> producer_;
  std::unique_ptr<block_ring> ring_;
  std::string failure_;
};

// A file descriptor (a file, a pipe, standard input); not closed here.
// Regular files and pipes are read ahead on a thread of their own; other
// descriptors (a terminal) when the scan needs the bytes. prefix: bytes
// already read from fd that come first.
class fd_source : public produced_source {
 public:
  explicit fd_source(int fd, const uint8_t* prefix = nullptr, size_t prefix_len = 0);
  fd_source(int fd, const uint8_t* prefix, size_t prefix_len, const read_ahead_settings& how);
};

// A block of memory that stays valid while the source is used.
class memory_source : public byte_source {
 public:
  memory_source(const uint8_t* data, size_t len) : byte_source(data, len) {
    set_size(static_cast<int64_t>(len));
  }
};

// The way fd_source reads a descriptor of this kind: threaded for regular
// files and pipes.
read_ahead_settings read_ahead_for(int fd);

}  // namespace jrn
