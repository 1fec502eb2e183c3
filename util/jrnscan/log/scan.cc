#include "log/scan.h"

#include <string.h>

#include <cstring>

#include "scan/context.h"
#include "scan/format.h"

namespace jrn {

namespace {

int log_ended(scan_context& c, log_end how) {
  if (c.in->error() != 0) how = log_end::read_failure;
  if (how == log_end::stopped) c.stop = true;
  c.out.end_log(how, c.input_pos());
  return 1;
}

// A look for a further log behind an end tag goes this far into bytes that
// cannot be one, so that trailing garbage (or an endless stream) is not
// read to its end.
constexpr size_t trailing_look = size_t{1} << 20;

// What is left of the input from `from` on is not read: the back-ends are
// told how much when the input's size says so.
// A read that failed behind an end tag (a damaged or cut compressed
// stream, a failing disk) was said where it happened; the back-ends are
// told too, as the log's end is then not known to be the input's.
void failed_behind_end(scan_context& c, int64_t end_at) {
  if (c.in->error() != 0)
    c.out.problem(problem_kind::failure, end_at,
                  "the input could not be read on behind the end of the log");
}

void rest_unread(scan_context& c, int64_t from) {
  const int64_t size = c.in->size();
  if (size >= 0 && size > from) c.out.unread(from, size - from);
}

// The end of the input between tags or inside a tag's opening bytes: the
// message of the format, unless a failed read (already reported) ended it.
int input_ended(scan_context& c, const char* what, bool inside) {
  // A stop asked for while a followed log was waited for is no cut.
  if (c.in->stopped()) return log_ended(c, log_end::stopped);
  if (c.in->error() == 0) c.diag.message("Unexpected EOF reading tag %s\n", what);
  return log_ended(c, inside ? log_end::input_inside : log_end::input_between);
}

void tag_done(scan_context& c) {
  c.tag.bytes = c.input_pos() - c.tag.offset;
  c.out.tag_done(c.tag);
}

// An end tag: a following log may start right behind it.
int end_of_log(scan_context& c) {
  c.show(true);
  tag_done(c);
  const log_end how =
      c.tag.letter == tag_letter::eof_finish ? log_end::eof_finish : log_end::eof_cont;
  const int64_t end_at = c.input_pos();
  if (c.limit_reached()) {
    c.stop = true;
    c.out.end_log(how, end_at);
    return 1;
  }
  // A followed log ends here unless the writer already began another.
  if (c.in->caught_up() || !c.in->fetch_between_tags()) {
    if (c.in->stopped()) c.stop = true;
    c.out.end_log(how, end_at);
    return 1;
  }
  uint8_t next;
  if (c.in->read(&next, 1) != 1) {
    failed_behind_end(c, end_at);
    c.out.end_log(how, end_at);
    return 1;
  }
  if (next == signature_start) {
    c.in->unget(next);
    c.log_continues = true;
    c.out.end_log(how, end_at);
    return 1;
  }
  // Anything else behind an end tag is not read as a log, but the reader
  // is told how much was left out: from the file's size, or by reading on
  // for a bounded stretch (what was written so far, if followed).
  c.in->stop_following();
  int64_t rest = c.in->size() >= 0 ? c.in->size() - end_at : -1;
  if (rest < 0) {
    const size_t got = c.in->skip(trailing_look);
    uint8_t more;
    if (got < trailing_look || c.in->read(&more, 1) == 0) rest = 1 + static_cast<int64_t>(got);
  }
  if (c.in->error() != 0) {
    // The failed read was said; what lies behind it is unknown.
    failed_behind_end(c, end_at);
  } else if (rest >= 0)
    c.diag.message(
        "%s: %lld bytes after the end of the log at offset %lld are not a log; ignored\n",
        c.log_name, static_cast<long long>(rest), static_cast<long long>(end_at));
  else
    c.diag.message(
        "%s: the input goes on after the end of the log at offset %lld with more than %lld "
        "bytes that are not a log; the rest is not read\n",
        c.log_name, static_cast<long long>(end_at), static_cast<long long>(trailing_look));
  c.out.unread(end_at, rest);
  c.out.end_log(how, end_at);
  return 1;
}

}  // namespace

int scan_log(scan_context& c) {
  c.log_start = c.in->position();
  c.log_continues = false;
  c.diag.new_log(c.log_name);
  c.tag = tag_summary();
  c.lines = false;
  if (!c.in->fetch_between_tags()) return log_ended(c, log_end::stopped);
  fwlog_header h;
  if (read_fwlog_header(c, &h) != 0) {
    if (c.in->error() == 0) rest_unread(c, c.log_start);
    c.out.end_log(c.in->error() ? log_end::read_failure : log_end::header_failure, c.input_pos());
    return -1;
  }
  c.major = h.major;
  c.minor = h.minor;
  c.out.begin_log(c.log_name, h);
  const bool old_layout = h.minor < 1;

  for (;;) {
    // A back-end that cannot go on halts the run here, between tags.
    if (c.stop || c.diag.halted() || c.in->stop_requested() || !c.in->fetch_between_tags())
      return log_ended(c, log_end::stopped);
    c.tag = tag_summary();
    c.lines = false;
    c.tag.offset = c.input_pos();
    uint8_t type = 0;
    if (!old_layout) {
      if (c.in->read(&type, 1) != 1) return input_ended(c, "opcode", false);
      if (type == signature_start) {
        c.in->unget(type);
        c.log_continues = true;
        return log_ended(c, log_end::next_log);
      }
    }
    uint8_t head[8];
    const size_t got = c.in->read(head, 8);
    if (got != 8) return input_ended(c, "header", !old_layout || got > 0);
    if (old_layout && c.in->read(&type, 1) != 1) return input_ended(c, "opcode", true);
    c.tag.letter = type;
    std::memcpy(&c.tag.sequence, head, 4);
    std::memcpy(&c.tag.timestamp, head + 4, 4);
    c.tag.body_offset = c.file_pos();

    const tag_kind& kind = tag_kind_of(type);
    if (kind.handler) {
      const int r = kind.handler(c);
      if (r != 0) {
        if (c.in->stopped()) return log_ended(c, log_end::stopped);
        log_ended(c, log_end::body_failure);
        return r;
      }
      tag_done(c);
      if (c.limit_reached()) c.stop = true;
      continue;
    }
    if (is_end_tag(type)) return end_of_log(c);
    // An unknown letter: its body length is unknown, so nothing behind it
    // can be read.
    c.show(true);
    tag_done(c);
    c.diag.message(
        "%s: unrecognized tag type 0x%02x at offset %lld; the rest of the input is not read\n",
        c.log_name, type, static_cast<long long>(c.tag.offset));
    // The log is known up to the letter: from it on nothing is read.
    rest_unread(c, c.tag.offset);
    c.out.end_log(log_end::unknown_letter, c.tag.offset);
    return 1;
  }
}

namespace {

void report_read_error(void* ctx, int err, int64_t position) {
  scan_context& c = *static_cast<scan_context*>(ctx);
  if (const char* why = c.in->failure_text()) {
    c.diag.message("%s: %s\n", c.log_name, why);
    return;
  }
  c.diag.message("%s: read error at offset %lld: %s\n", c.log_name,
                 static_cast<long long>(position), strerror(err));
}

// The report is flushed before the input is waited for. A run halted by a
// back-end (the report could not be written) waits no longer: the followed
// input ends where what was written so far ends.
void flush_before_wait(void* ctx) {
  scan_context& c = *static_cast<scan_context*>(ctx);
  c.out.flush();
  if (c.diag.halted()) c.in->stop_following();
}

}  // namespace

int scan_input(scan_context& c, byte_source& in, const char* log_name) {
  c.in = &in;
  c.log_name = log_name;
  in.on_error(report_read_error, &c);
  in.on_wait(flush_before_wait, &c);
  const int status = scan_stream(c);
  c.in = nullptr;
  return status;
}

int scan_stream(scan_context& c) {
  int result;
  do {
    result = scan_log(c);
  } while (result >= 0 && c.log_continues && !c.stop);
  c.out.flush();
  return (result < 0 || c.in->error() != 0) ? 1 : 0;
}

}  // namespace jrn
