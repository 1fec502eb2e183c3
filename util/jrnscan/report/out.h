// The report writer: everything a run prints on standard output goes
// through one large buffer that is written out in big blocks. The run owns
// it and hands it to the back-ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace jrn {

class diagnostics;

class output {
 public:
  static constexpr size_t capacity = 1 << 20;

  // fd -1 discards the report (used by the fuzzer). A failure to write is
  // said through diag (on standard error when there is none) and halts the
  // run there.
  explicit output(int fd = 1, diagnostics* diag = nullptr);
  // A report kept in memory: what is flushed is appended to collect.
  explicit output(std::string& collect) : output(-1) { collect_ = &collect; }
  ~output();
  output(const output&) = delete;
  output& operator=(const output&) = delete;

  void flush();
  // The report could not be written (said once); what follows is dropped.
  bool failed() const { return failed_; }

  // Makes room for n more bytes (n is small: one formatted line) and
  // returns where they go; commit tells how many were written, or
  // commit_to where they ended.
  char* reserve(size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) return cur_;
    return slow_reserve(n);
  }
  void commit(size_t n) { cur_ += n; }
  void commit_to(char* end) { cur_ = end; }
  // Where the next byte goes, and the room left behind it.
  char* cursor() const { return cur_; }
  size_t room() const { return static_cast<size_t>(end_ - cur_); }

  // Writes n bytes: into the buffer when they fit in what is left of it,
  // else through write_slow (which writes very large texts on their own).
  void write(const char* p, size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) {
      std::memcpy(cur_, p, n);
      cur_ += n;
      return;
    }
    write_slow(p, n);
  }
  void str(const char* s) { write(s, std::strlen(s)); }
  void put(char c) {
    *reserve(1) = c;
    commit(1);
  }
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

 private:
  char* slow_reserve(size_t n);
  void write_slow(const char* p, size_t n);
  void write_all(const char* p, size_t n);
  void write_failed(int err);
  // Says "<what>: <system's text>" and drops the rest of the report.
  void fail(const char* what, int err);

  char* cur_;   // the buffer's first free byte
  char* end_;   // the end of the buffer
  char* data_;  // the buffer
  int fd_;
  bool failed_ = false;
  diagnostics* diag_;
  std::string* collect_ = nullptr;
};

}  // namespace jrn
