// The ring of blocks behind a produced_source: a reader thread fills the
// free blocks in turn while the scan decodes the block it holds. The scan
// holds one block at a time and gives it back when it asks for the next,
// which is when nothing points into it any more.
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "io/source.h"

namespace jrn {

namespace {

constexpr size_t block_align = 64;

}  // namespace

class block_ring {
 public:
  block_ring(block_producer& producer, const read_ahead_settings& how)
      : producer_(producer), block_bytes_(how.block_bytes > 0 ? how.block_bytes : 1) {
    const size_t count = how.threaded && how.blocks >= 2 ? how.blocks : 1;
    for (size_t i = 0; i < count; ++i) {
      // Each block starts on a cache line (reads into it are copied
      // faster), with a spare byte in front of it for the push-back.
      memory_.emplace_back(new uint8_t[block_bytes_ + block_align]);
      uint8_t* const after_spare = memory_.back().get() + 1;
      slots_.push_back(slot{
          after_spare + (-reinterpret_cast<uintptr_t>(after_spare) & (block_align - 1)), 0, 0});
    }
    if (count > 1) start();
  }

  ~block_ring() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    has_room_.notify_one();
    producer_.interrupt();
    thread_.join();
  }

  // Returns the next block as byte_source::next_block() does, and gives
  // the one held so far back; wait(ctx) is called before waiting for an
  // input that has nothing ready.
  ssize_t next(uint8_t** data, void (*wait)(void*), void* ctx) {
    if (!thread_.joinable()) {
      if (producer_.would_wait()) wait(ctx);
      *data = slots_[0].data;
      return producer_.produce(slots_[0].data, block_bytes_);
    }
    std::unique_lock<std::mutex> lock(m_);
    bool told = false;
    // The reader has the other blocks to fill meanwhile.
    while (filled_ == 0) {
      if (finished_) return 0;
      if (input_waits_ && !told) {
        // The reader waits for a pipe: what was printed goes out first.
        lock.unlock();
        wait(ctx);
        lock.lock();
        told = true;
        continue;
      }
      has_data_.wait(lock);
    }
    const slot& s = slots_[read_at_];
    read_at_ = (read_at_ + 1) % slots_.size();
    --filled_;
    // The block held so far is given back for a block of bytes; at the
    // end (or a failure) it stays as it is, for the scan's last bytes.
    if (s.count > 0 && held_) has_room_.notify_one();
    held_ = true;
    *data = s.data;
    if (s.count < 0) errno = s.err;
    return s.count;
  }

 private:
  struct slot {
    uint8_t* data;
    ssize_t count;
    int err;
  };

  void start() {
    // The reader thread takes no signals: they stay with the scan.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // No thread to be had: the blocks are read when the scan needs them.
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }

  void run() {
    for (;;) {
      size_t at;
      {
        std::unique_lock<std::mutex> lock(m_);
        has_room_.wait(lock, [this] { return stop_ || filled_ + (held_ ? 1 : 0) < slots_.size(); });
        if (stop_) return;
        at = write_at_;
      }
      if (producer_.would_wait()) {
        {
          std::lock_guard<std::mutex> lock(m_);
          input_waits_ = true;
        }
        has_data_.notify_one();
      }
      ssize_t n;
      do n = producer_.produce(slots_[at].data, block_bytes_);
      while (n < 0 && errno == EINTR);
      const int err = n < 0 ? errno : 0;
      {
        std::lock_guard<std::mutex> lock(m_);
        input_waits_ = false;
        slots_[at].count = n;
        slots_[at].err = err;
        write_at_ = (write_at_ + 1) % slots_.size();
        ++filled_;
        if (n <= 0) finished_ = true;
      }
      has_data_.notify_one();
      if (n <= 0) return;
    }
  }

  block_producer& producer_;
  const size_t block_bytes_;
  std::vector<std::unique_ptr<uint8_t[]>> memory_;
  std::vector<slot> slots_;
  std::mutex m_;
  std::condition_variable has_data_;  // a block was filled, or the input waits
  std::condition_variable has_room_;  // a block was given back, or stop
  size_t filled_ = 0;                 // filled blocks not handed out yet
  size_t read_at_ = 0;                // the next filled block to hand out
  size_t write_at_ = 0;               // the next block to fill
  bool held_ = false;                 // the scan holds the block before read_at_
  bool stop_ = false;
  bool finished_ = false;     // the last block (end or failure) was filled
  bool input_waits_ = false;  // the reader waits for a pipe
  std::thread thread_;        // last: started once everything else is set
};

produced_source::produced_source(std::unique_ptr<block_producer> producer,
                                 const read_ahead_settings& how, int64_t size)
    : byte_source(own_blocks{}),
      producer_(std::move(producer)),
      ring_(std::make_unique<block_ring>(*producer_, how)) {
  set_size(size);
}

produced_source::~produced_source() {
  // The reader thread uses the producer: it stops first.
  ring_.reset();
  producer_.reset();
}

ssize_t produced_source::next_block(uint8_t** data) {
  const ssize_t n = ring_->next(
      data, [](void* self) { static_cast<produced_source*>(self)->about_to_wait(); }, this);
  if (n < 0) {
    // The reader has stopped after its failure: the producer is the
    // scan's to ask now.
    const int err = errno;
    if (const char* why = producer_->failure_text()) {
      failure_ = why;
      set_failure_text(failure_.c_str());
    }
    errno = err;
  }
  return n;
}

}  // namespace jrn
