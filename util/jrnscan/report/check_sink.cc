#include "report/check_sink.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "log/scan.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "report/stats_sink.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// An unrecognized letter starts no tag: its sequence and time are not
// judged.
bool letter_known(uint8_t letter) { return tag_kind_of(letter).handler || is_end_tag(letter); }

}  // namespace

check_sink::check_sink(output& out, diagnostics& diag, const check_options& o)
    : out_(out), diag_(diag), opt_(o), progress_(o.progress) {
  diag.on_before_message([](void* p) { static_cast<progress_meter*>(p)->clear(); }, &progress_);
}

void check_sink::begin_input(const char* name, int64_t size) {
  input_name_ = name;
  input_names_.push_back(name);
  log_index_ = 0;
  progress_.begin_input(name, size);
}

void check_sink::input_failed(const char* name) {
  ++inputs_failed_;
  ++all_errors_;
  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(json_key("type"), "check_input");
    w.string(json_key("input"), name, std::strlen(name));
    w.ascii(json_key("verdict"), "not_opened");
    w.end_object();
    w.end_line();
  }
}

int check_sink::exit_status() const {
  return (all_errors_ > 0 || (opt_.strict && all_warnings_ > 0)) ? 1 : 0;
}

// Through the run's message path: the progress line is erased and what
// was said on standard output goes out first.
void check_sink::say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  diag_.vsay(fmt, ap);
  va_end(ap);
}

void check_sink::finding(const char* level, int64_t offset, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  say("%s: check: %s at offset %lld: %s\n", log_label_.c_str(), level,
      static_cast<long long>(offset), text);
  keep_finding(level, offset, text);
}

void check_sink::keep_finding(const char* level, int64_t offset, const char* text) {
  if (!opt_.json) return;
  if (findings_.size() < findings_kept)
    findings_.push_back({level, offset, text});
  else
    ++findings_dropped_;
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
  tags_end_ = log_start_ = 0;
  last_letter_ = 0;
  unread_ = 0;
  have_header_ = false;
  errors_ = warnings_ = 0;
  sequence_breaks_ = times_back_ = 0;
  findings_.clear();
  findings_dropped_ = 0;
}

void check_sink::begin_log(const char* log_name, const fwlog_header& h) {
  input_name_ = log_name;
  start_log();
  log_start_ = h.start;
  tags_end_ = h.start + h.bytes;
  have_header_ = true;
  volume_set_ = h.volume_set_id;
  generation_ = h.volume_generation;
  file_sequence_ = h.file_sequence;

  // Only logs of one series follow each other: the same volume set id and
  // volume generation.
  const series_key series(h.volume_set_id, h.volume_generation);
  const auto seen = seen_.find({series, h.file_sequence});
  if (seen != seen_.end()) {
    ++warnings_;
    const std::string& where = input_names_[seen->second.first];
    const uint32_t n = seen->second.second;
    warning(h.start, "file sequence %d of volume set 0x%x generation %u was read before, as %s%s",
            h.file_sequence, h.volume_set_id, h.volume_generation, where.c_str(),
            n > 1 ? (" (log " + std::to_string(n) + ")").c_str() : "");
  } else if (seen_.size() < logs_remembered) {
    seen_.emplace(std::make_pair(series, h.file_sequence),
                  std::make_pair(static_cast<uint32_t>(input_names_.size() - 1), log_index_));
  } else if (remembered_all_) {
    remembered_all_ = false;
    say("%s: check: more than %zu logs read; logs read again are no longer found\n",
        log_label_.c_str(), logs_remembered);
  }
  const auto last = series_last_.find(series);
  if (last != series_last_.end()) {
    if (seen == seen_.end() &&
        h.file_sequence != static_cast<int32_t>(static_cast<uint32_t>(last->second) + 1)) {
      ++warnings_;
      warning(h.start, "file sequence %d does not follow the previous log's %d", h.file_sequence,
              last->second);
    }
    last->second = h.file_sequence;
  } else if (series_last_.size() < logs_remembered) {
    series_last_.emplace(series, h.file_sequence);
  }
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
  progress_.tick(tags_end_);
  if (!letter_known(t.letter)) return;
  last_letter_ = t.letter;
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
  if (kind == problem_kind::malformed) {
    ++errors_;
    keep_finding("error", offset, text);
  } else {
    error(offset, "%s", text);
  }
}

void check_sink::unread(int64_t offset, int64_t count) {
  // Behind a refused header or an unknown letter the log's end was an
  // error already; behind an end tag, bytes that are no further log are
  // one: the log may have ended early (a damaged letter reading as an end
  // tag), and what they hold was not checked. The tool's message said
  // where and how many.
  if (!log_open_ || !is_end_tag(last_letter_)) return;
  unread_ = count;
  ++errors_;
  char text[160];
  if (count >= 0)
    std::snprintf(text, sizeof text, "%lld bytes after the end of the log are not a log",
                  static_cast<long long>(count));
  else
    std::snprintf(text, sizeof text, "the input goes on after the end of the log");
  keep_finding("error", offset, text);
}

void check_sink::end_log(log_end how, int64_t offset) {
  if (!log_open_ && how == log_end::stopped) return;  // nothing of a further log read
  if (!log_open_) start_log();
  log_open_ = false;
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
  if (opt_.json)
    print_log_json(how, offset);
  else
    print_log_text(how);
}

void check_sink::print_log_text(log_end how) {
  out_.printf("%s: ", log_label_.c_str());
  if (errors_ == 0 && warnings_ == 0) {
    out_.str("ok");
  } else {
    if (errors_ > 0)
      out_.printf("%llu %s", static_cast<unsigned long long>(errors_),
                  plural(errors_, "error", "errors"));
    if (errors_ > 0 && warnings_ > 0) out_.str(", ");
    if (warnings_ > 0)
      out_.printf("%llu %s", static_cast<unsigned long long>(warnings_),
                  plural(warnings_, "warning", "warnings"));
  }
  out_.printf(", %llu %s", static_cast<unsigned long long>(tags_), plural(tags_, "tag", "tags"));
  if (tags_ > 0) {
    const time_text first = format_time(first_ts_, opt_.utc);
    const time_text last = format_time(last_ts_, opt_.utc);
    out_.printf(", sequence %u to %u, %s to %s", first_seq_, last_seq_, first.c_str(),
                last.c_str());
  }
  out_.printf(", %s", log_end_text(how));
  if (unread_ > 0)
    out_.printf(", then %lld bytes that are not a log", static_cast<long long>(unread_));
  else if (unread_ < 0)
    out_.str(", then more bytes that are not a log");
  out_.str("\n");
}

void check_sink::print_log_json(log_end how, int64_t offset) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check");
  w.string(json_key("log"), input_name_.data(), input_name_.size());
  w.u64(json_key("log_index"), log_index_);
  w.i64(json_key("offset"), log_start_);
  w.ascii(json_key("verdict"), errors_ > 0 ? "errors" : warnings_ > 0 ? "warnings" : "ok");
  w.u64(json_key("errors"), errors_);
  w.u64(json_key("warnings"), warnings_);
  w.u64(json_key("tags"), tags_);
  if (have_header_) {
    w.u64(json_key("volume_set_id"), volume_set_);
    w.u64(json_key("volume_generation"), generation_);
    w.i64(json_key("file_sequence"), file_sequence_);
  }
  if (tags_ > 0) {
    w.u64(json_key("first_sequence"), first_seq_);
    w.u64(json_key("last_sequence"), last_seq_);
    w.u64(json_key("first_timestamp"), first_ts_);
    w.iso_time(json_key("first_time"), first_ts_);
    w.u64(json_key("last_timestamp"), last_ts_);
    w.iso_time(json_key("last_time"), last_ts_);
  }
  w.ascii(json_key("end"), log_end_key(how));
  w.i64(json_key("end_offset"), offset);
  if (unread_ > 0)
    w.i64(json_key("unread_bytes"), unread_);
  else if (unread_ < 0)
    w.null(json_key("unread_bytes"));
  w.u64(json_key("sequence_breaks"), sequence_breaks_);
  w.u64(json_key("timestamps_back"), times_back_);
  w.begin_array(json_key("findings"));
  for (const kept_finding& f : findings_) {
    w.begin_object();
    w.ascii(json_key("level"), f.level);
    w.i64(json_key("offset"), f.offset);
    w.string(json_key("text"), f.text.data(), f.text.size());
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("findings_omitted"), findings_dropped_);
  w.end_object();
  w.end_line();
}

void check_sink::flush() {
  progress_.clear();
  out_.flush();
}

void check_sink::finish() {
  progress_.end_input();
  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(json_key("type"), "check_run");
    w.u64(json_key("logs"), logs_);
    w.u64(json_key("errors"), all_errors_ - inputs_failed_);
    w.u64(json_key("logs_with_errors"), logs_with_errors_);
    w.u64(json_key("warnings"), all_warnings_);
    w.u64(json_key("inputs_not_opened"), inputs_failed_);
    w.boolean(json_key("strict"), opt_.strict);
    w.ascii(json_key("verdict"), exit_status() != 0 ? "failed" : "ok");
    w.end_object();
    w.end_line();
    out_.flush();
    return;
  }
  // "check: 3 logs: 2 errors in 1 log, 1 warning, 1 input not opened: failed"
  out_.printf("check: %llu %s", static_cast<unsigned long long>(logs_),
              plural(logs_, "log", "logs"));
  const uint64_t log_errors = all_errors_ - inputs_failed_;
  const char* sep = ": ";
  if (log_errors > 0) {
    out_.printf("%s%llu %s in %llu %s", sep, static_cast<unsigned long long>(log_errors),
                plural(log_errors, "error", "errors"),
                static_cast<unsigned long long>(logs_with_errors_),
                plural(logs_with_errors_, "log", "logs"));
    sep = ", ";
  }
  if (all_warnings_ > 0) {
    out_.printf("%s%llu %s", sep, static_cast<unsigned long long>(all_warnings_),
                plural(all_warnings_, "warning", "warnings"));
    sep = ", ";
  }
  if (inputs_failed_ > 0) {
    out_.printf("%s%llu %s not opened", sep, static_cast<unsigned long long>(inputs_failed_),
                plural(inputs_failed_, "input", "inputs"));
  }
  out_.str(exit_status() != 0 ? ": failed\n" : ": ok\n");
  out_.flush();
}

}  // namespace jrn
