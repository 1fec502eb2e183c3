// Messages on standard error. The report is flushed first, so a combined
// capture of both streams keeps the order in which things happened.
#pragma once

#include <cstdint>

namespace jrn {

class report_sink;

class diagnostics {
 public:
  void message(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void perror(const char* prefix);
  // One line "<log name>: malformed <what> at offset <n>: <detail>" for an
  // item that breaks a size rule of the format (once per item, even if
  // two tests find it). The run then ends with exit status 1, after
  // everything else was read.
  void malformed(const char* what, int64_t offset, const char* fmt, ...)
      __attribute__((format(printf, 4, 5)));
  // Offsets restart with every log in the stream.
  void new_log(const char* log_name) {
    log_name_ = log_name;
    last_reported_ = -1;
  }
  const char* log_name() const { return log_name_; }
  bool malformed_seen() const { return malformed_seen_; }
  void set_sink(report_sink* sink) { sink_ = sink; }

 private:
  void flush();
  report_sink* sink_ = nullptr;
  const char* log_name_ = "";
  int64_t last_reported_ = -1;
  bool malformed_seen_ = false;
};

}  // namespace jrn
