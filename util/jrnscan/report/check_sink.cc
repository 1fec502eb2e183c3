#include "report/check_sink.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "log/scan.h"
#include "report/out.h"
#include "report/stats_sink.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// An unrecognized letter starts no tag: its sequence and time are not
// judged.
bool letter_known(uint8_t letter) {
  return tag_kind_of(letter).handler || letter == 'C' || letter == 'F';
}

}  // namespace

check_sink::check_sink(const check_options& o) : opt_(o), progress_(o.progress) {}

void check_sink::begin_input(const char* name, int64_t size) {
  input_name_ = name;
  input_base_ = 0;
  log_index_ = 0;
  progress_.begin_input(name, size);
}

void check_sink::input_failed(const char*) {
  ++inputs_failed_;
  ++all_errors_;
}

int check_sink::exit_status() const {
  return (all_errors_ > 0 || (opt_.strict && all_warnings_ > 0)) ? 1 : 0;
}

void check_sink::say(const char* fmt, ...) {
  progress_.clear();
  out_flush();  // what was said on standard output comes first
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
}

void check_sink::finding(const char* level, int64_t offset, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  say("%s: check: %s at offset %lld: %s\n", log_label_.c_str(), level,
      static_cast<long long>(offset), text);
}

void check_sink::error(int64_t offset, const char* fmt, ...) {
  ++errors_;
  va_list ap;
  va_start(ap, fmt);
  finding("error", offset, fmt, ap);
  va_end(ap);
}

void check_sink::warning(int64_t offset, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  finding("warning", offset, fmt, ap);
  va_end(ap);
}

void check_sink::start_log() {
  ++log_index_;
  log_open_ = true;
  log_label_ = input_name_;
  if (log_index_ > 1) log_label_ += " (log " + std::to_string(log_index_) + ")";
  tags_ = 0;
  first_seq_ = last_seq_ = first_ts_ = last_ts_ = 0;
  tags_end_ = 0;
  errors_ = warnings_ = 0;
  sequence_breaks_ = times_back_ = 0;
}

void check_sink::begin_log(const char* log_name, const fwlog_header& h) {
  input_name_ = log_name;
  start_log();
  tags_end_ = h.bytes;
  if (have_file_sequence_ &&
      h.file_sequence != static_cast<int32_t>(static_cast<uint32_t>(file_sequence_) + 1)) {
    ++warnings_;
    warning(0, "file sequence %d does not follow the previous log's %d", h.file_sequence,
            file_sequence_);
  }
  have_file_sequence_ = true;
  file_sequence_ = h.file_sequence;
}

void check_sink::sequence_break(const tag_summary& t) {
  ++warnings_;
  if (++sequence_breaks_ > listed_per_kind) return;
  warning(t.offset, "tag sequence %u follows %u (expected %u)", t.sequence, last_seq_,
          last_seq_ + 1);
}

void check_sink::time_back(const tag_summary& t) {
  ++warnings_;
  if (++times_back_ > listed_per_kind) return;
  const time_text now = format_time(t.timestamp, opt_.utc);
  const time_text before = format_time(last_ts_, opt_.utc);
  warning(t.offset, "timestamp %s (%u) is earlier than the previous tag's %s (%u)", now.c_str(),
          t.timestamp, before.c_str(), last_ts_);
}

void check_sink::tag_done(const tag_summary& t) {
  tags_end_ = t.offset + t.bytes;
  progress_.tick(input_base_ + tags_end_);
  if (!letter_known(t.letter)) return;
  if (tags_ == 0) {
    first_seq_ = t.sequence;
    first_ts_ = t.timestamp;
  } else {
    if (t.sequence != last_seq_ + 1) sequence_break(t);
    if (t.timestamp < last_ts_) time_back(t);
  }
  ++tags_;
  last_seq_ = t.sequence;
  last_ts_ = t.timestamp;
}

void check_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  // A malformed item was said with the log's name and offset already.
  if (kind == problem_kind::malformed)
    ++errors_;
  else
    error(offset, "%s", text);
}

void check_sink::end_log(log_end how, int64_t offset) {
  if (!log_open_ && how == log_end::stopped) return;  // nothing of a further log read
  if (!log_open_) start_log();
  log_open_ = false;
  input_base_ += offset;
  switch (how) {
    case log_end::eof_finish:
    case log_end::eof_cont:
    case log_end::stopped: break;
    case log_end::next_log:
      error(offset, "a further log begins here without an end tag before it");
      break;
    case log_end::input_between:
      error(offset, "the input ends between tags, without an end tag");
      break;
    case log_end::input_inside:
      error(tags_end_, "the input ends inside the tag that begins here (%lld of its bytes read)",
            static_cast<long long>(offset - tags_end_));
      break;
    case log_end::body_failure:
      error(tags_end_,
            "the body of the tag that begins here could not be read (%lld bytes of the tag "
            "read)",
            static_cast<long long>(offset - tags_end_));
      break;
    case log_end::header_failure: error(offset, "the file header is refused"); break;
    // The tool's own message gave the log's name and the offset.
    case log_end::unknown_letter:
    case log_end::read_failure: ++errors_; break;
  }
  if (sequence_breaks_ > listed_per_kind)
    say("%s: check: %llu tag sequence breaks in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(sequence_breaks_), listed_per_kind);
  if (times_back_ > listed_per_kind)
    say("%s: check: %llu timestamps going back in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(times_back_), listed_per_kind);

  ++logs_;
  all_errors_ += errors_;
  all_warnings_ += warnings_;
  if (errors_ > 0) ++logs_with_errors_;

  progress_.clear();
  out_printf("%s: ", log_label_.c_str());
  if (errors_ == 0 && warnings_ == 0) {
    out_str("ok");
  } else {
    if (errors_ > 0)
      out_printf("%llu %s", static_cast<unsigned long long>(errors_),
                 plural(errors_, "error", "errors"));
    if (errors_ > 0 && warnings_ > 0) out_str(", ");
    if (warnings_ > 0)
      out_printf("%llu %s", static_cast<unsigned long long>(warnings_),
                 plural(warnings_, "warning", "warnings"));
  }
  out_printf(", %llu %s", static_cast<unsigned long long>(tags_), plural(tags_, "tag", "tags"));
  if (tags_ > 0) {
    const time_text first = format_time(first_ts_, opt_.utc);
    const time_text last = format_time(last_ts_, opt_.utc);
    out_printf(", sequence %u to %u, %s to %s", first_seq_, last_seq_, first.c_str(), last.c_str());
  }
  out_printf(", %s\n", log_end_text(how));
}

void check_sink::flush() {
  progress_.clear();
  out_flush();
}

void check_sink::finish() {
  progress_.end_input();
  // "check: 3 logs: 2 errors in 1 log, 1 warning, 1 input not opened: failed"
  out_printf("check: %llu %s", static_cast<unsigned long long>(logs_),
             plural(logs_, "log", "logs"));
  const uint64_t log_errors = all_errors_ - inputs_failed_;
  const char* sep = ": ";
  if (log_errors > 0) {
    out_printf("%s%llu %s in %llu %s", sep, static_cast<unsigned long long>(log_errors),
               plural(log_errors, "error", "errors"),
               static_cast<unsigned long long>(logs_with_errors_),
               plural(logs_with_errors_, "log", "logs"));
    sep = ", ";
  }
  if (all_warnings_ > 0) {
    out_printf("%s%llu %s", sep, static_cast<unsigned long long>(all_warnings_),
               plural(all_warnings_, "warning", "warnings"));
    sep = ", ";
  }
  if (inputs_failed_ > 0) {
    out_printf("%s%llu %s not opened", sep, static_cast<unsigned long long>(inputs_failed_),
               plural(inputs_failed_, "input", "inputs"));
  }
  out_str(exit_status() != 0 ? ": failed\n" : ": ok\n");
  out_flush();
}

}  // namespace jrn
