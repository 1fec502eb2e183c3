// Messages on standard error, every one of a run through here. A progress
// line drawn on standard error is erased first and the report is flushed,
// so a message starts a line of its own and a combined capture of both
// streams keeps the order in which things happened.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

namespace jrn {

class report_sink;

class diagnostics {
 public:
  void message(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // The same, for the back-ends' messages.
  void say(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void vsay(const char* fmt, va_list ap);
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
  // Called before every message (the owner of a progress line erases it).
  void on_before_message(void (*hook)(void*), void* arg) {
    hook_ = hook;
    hook_arg_ = arg;
  }

  // A back-end that cannot go on (its output cannot be written) halts the
  // run: the scan stops at the next tag, no further input is read, what
  // the report would still print is dropped, no further message is said,
  // and the run fails.
  void halt() { halted_ = true; }
  bool halted() const { return halted_; }

  // A table bound (an option such as "--txn-table") was reached and cut an
  // answer. The first time for that option: one warning, the message of
  // fmt followed by "; raise <option>", and reason kept as why the answer
  // is incomplete; later calls for it do nothing. The run then ends with
  // exit status 1, in every mode.
  void bound_reached(const char* option, const std::string& reason, const char* fmt, ...)
      __attribute__((format(printf, 4, 5)));
  bool bounds_reached() const { return !cuts_.empty(); }
  // The reasons, in the order the bounds were reached, joined by "; ".
  std::string cut_reason() const;

 private:
  void flush();
  report_sink* sink_ = nullptr;
  void (*hook_)(void*) = nullptr;
  void* hook_arg_ = nullptr;
  bool halted_ = false;
  const char* log_name_ = "";
  int64_t last_reported_ = -1;
  bool malformed_seen_ = false;
  struct cut {
    const char* option;
    std::string reason;
  };
  std::vector<cut> cuts_;
};

}  // namespace jrn
