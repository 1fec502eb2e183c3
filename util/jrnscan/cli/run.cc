// The run driver: the command line into settings, the back-end, the
// announcements, every operand in order, and the exit status.
#include "cli/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/follow.h"
#include "cli/options.h"
#include "io/follow_source.h"
#include "io/source.h"
#include "log/scan.h"
#include "report/check_sink.h"
#include "report/json_sink.h"
#include "report/out.h"
#include "report/save_sink.h"
#include "report/stats_sink.h"
#include "report/tee_sink.h"
#include "report/text_sink.h"
#include "scan/context.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

void announce_filters(output& out_, const filter_settings& f, bool utc) {
  if (f.node_id) out_.printf("** Filter node id: #%d\n", f.node_id);
  if (f.from_time)
    out_.printf("** Filter from time: %s (%d)\n", format_time(f.from_time, utc).c_str(),
                static_cast<int>(f.from_time));
  if (f.to_time)
    out_.printf("** Filter to time: %s (%d)\n", format_time(f.to_time, utc).c_str(),
                static_cast<int>(f.to_time));
  if (f.from_txn) out_.printf("** Filter from txn: %u\n", f.from_txn);
  if (f.to_txn) out_.printf("** Filter to txn: %u\n", f.to_txn);
  if (f.from_seq) out_.printf("** Filter from seq: %u\n", f.from_seq);
  if (f.to_seq) out_.printf("** Filter to seq: %u\n", f.to_seq);
  if (f.page) out_.printf("** Filter page: %u (0x%x)\n", f.page, f.page);
  if (f.recno) out_.printf("** Filter record number: %u\n", f.recno);
  if (f.pattern) out_.printf("** Filter opcode by pattern: \"%s\"\n", f.pattern);
}

std::unique_ptr<report_sink> make_sink(const run_options& o, const node_map& names, output& out,
                                       diagnostics& diag) {
  if (o.mode == output_mode::stats) {
    stats_options s;
    s.json = o.json;
    s.utc = o.utc;
    s.escape = !o.json && escapes_for(o.escape, 1);
    s.top = o.top;
    s.progress = o.progress;
    s.filter = o.filter;
    s.series = o.order == read_order::sequence;
    return std::make_unique<stats_sink>(out, diag, s, names);
  }
  if (o.mode == output_mode::check) {
    check_options k;
    k.strict = o.strict;
    k.utc = o.utc;
    k.progress = o.progress;
    k.json = o.json;
    k.series = o.order == read_order::sequence;
    return std::make_unique<check_sink>(out, diag, k);
  }
  if (o.json) return std::make_unique<json_sink>(out, o.filter, names);
  text_options t;
  t.escape = escapes_for(o.escape, 1);
  t.utc = o.utc;
  t.offsets = o.offsets;
  return std::make_unique<text_sink>(out, o.filter, names, t);
}

// The run's back-end: the one the mode chooses, and beside it the saver of
// --save. Null when the save directory cannot be used (already said).
std::unique_ptr<report_sink> make_run_sink(const run_options& o, const node_map& names, output& out,
                                           diagnostics& diag) {
  std::unique_ptr<report_sink> sink = make_sink(o, names, out, diag);
  if (o.save_dir.empty()) return sink;
  auto saver = std::make_unique<save_sink>(names, diag);
  if (!saver->open(o.save_dir)) return nullptr;
  return std::make_unique<tee_sink>(std::move(sink), std::move(saver));
}

// An operand's name as messages and the report show it. A file name may
// hold bytes a terminal acts on; they are escaped when standard error or
// the text report escapes (one name serves both, as the back-ends write it
// to either). JSON escapes control characters itself, so there only
// standard error counts.
std::string shown_name(const run_options& o, const char* operand) {
  if (std::strcmp(operand, "-") == 0) return "(stdin)";
  std::string name;
  if (escapes_for(o.escape, 2) || (!o.json && escapes_for(o.escape, 1)))
    append_escaped_file_name(operand, std::strlen(operand), name);
  else
    name = operand;
  return name;
}

// Reads one operand as its own input, shown as name; returns its exit
// status.
int scan_operand(scan_context& c, const char* operand, const char* name) {
  if (std::strcmp(operand, "-") == 0) {
    c.out.begin_input(name, -1);
    fd_source in(0);
    return scan_input(c, in, name);
  }
  const int fd = ::open(operand, O_RDONLY);
  if (fd < 0) {
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  struct stat st;
  const bool have_stat = fstat(fd, &st) == 0;
  if (have_stat && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  c.out.begin_input(name, have_stat && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1);
  fd_source in(fd);
  const int status = scan_input(c, in, name);
  ::close(fd);
  return status;
}

}  // namespace

namespace {

// The end of a run: the back-ends' last words, unless a back-end halted
// the run (what they would print is dropped then), and the exit status.
int end_run(int status, diagnostics& diag, report_sink& sink, output& out) {
  if (!diag.halted()) sink.finish();
  out.flush();
  // The back-end goes before the message path does.
  diag.set_sink(nullptr);
  diag.on_before_message(nullptr, nullptr);
  const bool failed = status != 0 || diag.halted() || diag.malformed_seen();
  // A back-end with a verdict of its own (the check) can fail the run too.
  return (failed || sink.exit_status() > 0) ? 1 : 0;
}

// size: of the input in bytes, or -1 when unknown.
int scan_one(const run_options& o, node_map& names, byte_source& in, const char* log_name,
             int64_t size, int out_fd) {
  diagnostics diag;
  output out(out_fd, &diag);
  std::unique_ptr<report_sink> sink = make_run_sink(o, names, out, diag);
  if (!sink) return 1;
  diag.set_sink(sink.get());
  auto c = std::make_unique<scan_context>(o.filter, names, diag, *sink);
  c->limit = o.limit;
  sink->begin_input(log_name, size);
  const int status = scan_input(*c, in, log_name);
  return end_run(status, diag, *sink, out);
}

}  // namespace

int scan_bytes(const run_options& o, node_map& names, const uint8_t* data, size_t size,
               const char* log_name, int out_fd) {
  memory_source in(data, size);
  return scan_one(o, names, in, log_name, static_cast<int64_t>(size), out_fd);
}

int scan_fd(const run_options& o, node_map& names, int fd, const char* log_name, int out_fd) {
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  fd_source in(fd);
  return scan_one(o, names, in, log_name, regular ? static_cast<int64_t>(st.st_size) : -1, out_fd);
}

int jrnscan_main(int argc, char** argv) {
  node_map names;
  run_options o;
  const int parsed = parse_command_line(argc, argv, o, names);
  if (parsed >= 0) return parsed;

  diagnostics diag;
  output out(1, &diag);
  std::unique_ptr<report_sink> sink = make_run_sink(o, names, out, diag);
  if (!sink) return 1;
  diag.set_sink(sink.get());
  if (o.follow) catch_stop_signals();
  if (o.mode == output_mode::text && !o.json) announce_filters(out, o.filter, o.utc);

  // Every operand is read, in order, into the one report; the status is
  // the worst of them.
  auto c = std::make_unique<scan_context>(o.filter, names, diag, *sink);
  c->limit = o.limit;
  int status = 0;
  // The names outlive each operand's scan: messages may name it later.
  std::vector<std::string> shown;
  for (const char* operand : o.operands) shown.push_back(shown_name(o, operand));
  for (size_t i = 0; i < o.operands.size(); ++i) {
    if (c->stop || diag.halted()) break;
    const int s = o.follow ? follow_operand(*c, o, o.operands[i], shown[i].c_str())
                           : scan_operand(*c, o.operands[i], shown[i].c_str());
    if (s != 0) status = 1;
  }
  return end_run(status, diag, *sink, out);
}

}  // namespace jrn
