// The run driver: the command line into settings, the back-end, the
// announcements, every operand in order, and the exit status.
#include "cli/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cli/follow.h"
#include "cli/inputs.h"
#include "cli/modes.h"
#include "cli/options.h"
#include "io/follow_source.h"
#include "io/source.h"
#include "log/scan.h"
#include "report/out.h"
#include "report/save_sink.h"
#include "report/series_sink.h"
#include "report/tee_sink.h"
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

// The run's back-end: the one the mode's row makes, and beside it the
// saver of --save. Null when the save directory cannot be used (already
// said). records: the back-end that follows fixed records, if it is one;
// audits: the one that follows sessions.
std::unique_ptr<report_sink> make_run_sink(const run_options& o, const node_map& names, output& out,
                                           diagnostics& diag, record_observer*& records,
                                           audit_observer*& audits) {
  const mode_row& row = mode_row_for(o);
  sink_parts parts = row.make(o, names, out, diag);
  records = parts.records;
  audits = parts.audits;
  std::unique_ptr<report_sink> sink = std::move(parts.sink);
  if (!sink) return nullptr;
  if (!o.save_dir.empty() && row.save == save_by::saver) {
    auto saver = std::make_unique<save_sink>(names, diag);
    if (!saver->open(o.save_dir)) return nullptr;
    sink = std::make_unique<tee_sink>(std::move(sink), std::move(saver));
  }
  if (!row.once_per_log) return sink;
  // The analysis modes see each log once, and are told where a series
  // does not go on (the check judges the series itself).
  auto s =
      std::make_unique<series_sink>(std::move(sink), records, audits, diag, o.first_logs_unique);
  if (records) records = s.get();
  if (audits) audits = s.get();
  return s;
}

// The names of the inputs read: messages and back-ends may name an input
// after its scan, so each name lives as long as the run.
using name_store = std::deque<std::string>;

// A member's name: the operand's, and behind a colon the member's path in
// its tar, escaped as file names are.
const char* member_name(const run_options& o, const input_operand& in, const std::string& shown,
                        name_store& names) {
  if (in.path().empty()) {
    names.push_back(shown);
  } else {
    names.push_back(shown + ":" + shown_file_name(o, in.path().c_str()));
  }
  return names.back().c_str();
}

// Reads every member of an opened operand, each as its own input; returns
// the operand's exit status.
int scan_members(scan_context& c, const run_options& o, input_operand& in, const std::string& shown,
                 name_store& names) {
  int status = 0;
  while (!c.stop && !c.diag.halted() && in.next()) {
    if (!in.trouble().empty()) {
      c.diag.message("%s: %s\n", shown.c_str(), in.trouble().c_str());
      c.out.input_damaged(shown.c_str(), in.trouble().c_str());
      status = 1;
    }
    const char* name = member_name(o, in, shown, names);
    c.out.begin_input(name, in.source().size());
    if (scan_input(c, in.source(), name) != 0) status = 1;
  }
  if (!in.trouble().empty()) {
    c.diag.message("%s: %s\n", shown.c_str(), in.trouble().c_str());
    c.out.input_damaged(shown.c_str(), in.trouble().c_str());
    status = 1;
  }
  return status;
}

// Reads one file or standard input of the plan at its turn; returns its
// exit status.
int scan_unit(scan_context& c, const run_options& o, input_unit& u, name_store& names) {
  names.push_back(u.shown);
  const char* name = names.back().c_str();
  if (u.error != 0) {
    errno = u.error;
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  if (!u.trouble.empty()) {
    c.diag.message("%s: %s\n", name, u.trouble.c_str());
    c.out.input_failed(name);
    return 1;
  }
  if (u.held) return scan_members(c, o, *u.held, u.shown, names);
  const bool is_stdin = u.path == "-";
  const int fd = is_stdin ? 0 : ::open(u.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  int status = 1;
  if (std::unique_ptr<input_operand> in = input_operand::open(fd, u.shown, reading_options(o))) {
    status = scan_members(c, o, *in, u.shown, names);
  } else {
    c.diag.perror(name);
    c.out.input_failed(name);
  }
  if (!is_stdin) ::close(fd);
  return status;
}

// Whether a unit of an archive read in sequence order lies wholly outside
// the --since/--until window (the modes that read whole archives read
// everything, and so does -p: it shows its page's PAGE tags whatever their
// time).
bool outside_window(const run_options& o, const input_plan& plan, size_t i, uint32_t* first,
                    uint32_t* last) {
  const filter_settings& f = o.filter;
  if (mode_row_for(o).whole_archives || f.page != 0 || (!f.from_time && !f.to_time)) return false;
  bool last_known = false;
  if (!unit_time_range(plan, i, first, last, &last_known)) return false;
  if (!last_known) *last = *first;
  if (f.to_time && *first > f.to_time) return true;
  return f.from_time && last_known && *last < f.from_time;
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
  // A table bound that cut an answer fails the run too, in every mode.
  const bool failed =
      status != 0 || diag.halted() || diag.malformed_seen() || diag.bounds_reached();
  // A back-end with a verdict of its own (the check) can fail the run too.
  return (failed || sink.exit_status() > 0) ? 1 : 0;
}

// A run of its own over one input: read calls scan(context) between the
// back-end's setup and its last words.
template <typename Read>
int scan_one(const run_options& o, node_map& names, int out_fd, Read read) {
  diagnostics diag;
  output out(out_fd, &diag);
  record_observer* records = nullptr;
  audit_observer* audits = nullptr;
  std::unique_ptr<report_sink> sink = make_run_sink(o, names, out, diag, records, audits);
  if (!sink) return 1;
  diag.set_sink(sink.get());
  auto c = std::make_unique<scan_context>(o.filter, names, diag, *sink);
  c->limit = o.limit;
  c->records = records;
  c->audits = audits;
  const int status = read(*c);
  return end_run(status, diag, *sink, out);
}

}  // namespace

int scan_bytes(const run_options& o, node_map& names, const uint8_t* data, size_t size,
               const char* log_name, int out_fd) {
  return scan_one(o, names, out_fd, [&](scan_context& c) {
    memory_source in(data, size);
    c.out.begin_input(log_name, static_cast<int64_t>(size));
    return scan_input(c, in, log_name);
  });
}

int scan_fd(const run_options& o, node_map& names, int fd, const char* log_name, int out_fd) {
  // The members' names outlive the scan: the back-ends' last words name
  // them.
  name_store shown;
  return scan_one(o, names, out_fd, [&](scan_context& c) {
    std::unique_ptr<input_operand> in = input_operand::open(fd, log_name, reading_options(o));
    if (!in) {
      c.diag.perror(log_name);
      c.out.input_failed(log_name);
      return 1;
    }
    return scan_members(c, o, *in, log_name, shown);
  });
}

int jrnscan_main(int argc, char** argv) {
  node_map names;
  run_options o;
  const int parsed = parse_command_line(argc, argv, o, names);
  if (parsed >= 0) return parsed;
  // The operands are looked into first: the order, and with it what the
  // back-ends report, depends on what they hold.
  input_plan plan;
  if (!o.follow) {
    plan = plan_inputs(o);
    o.order = order_inputs(plan, o.order);
    o.first_logs_unique = first_logs_unique(plan);
  }

  diagnostics diag;
  output out(1, &diag);
  record_observer* records = nullptr;
  audit_observer* audits = nullptr;
  std::unique_ptr<report_sink> sink = make_run_sink(o, names, out, diag, records, audits);
  if (!sink) return 1;
  diag.set_sink(sink.get());
  if (o.follow) catch_stop_signals();
  if (mode_row_for(o).announces_filters) announce_filters(out, o.filter, o.utc);

  auto c = std::make_unique<scan_context>(o.filter, names, diag, *sink);
  c->limit = o.limit;
  c->records = records;
  c->audits = audits;
  int status = 0;
  name_store shown;
  if (o.follow) {
    // Followed operands are read as they are written, in the order given.
    for (const char* operand : o.operands) {
      if (c->stop || diag.halted()) break;
      shown.push_back(shown_file_name(o, operand));
      if (follow_operand(*c, o, operand, shown.back().c_str(), shown) != 0) status = 1;
    }
    return end_run(status, diag, *sink, out);
  }
  // Every file is read, in the plan's order, into the one report; the
  // status is the worst of them.
  for (size_t i = 0; i < plan.units.size(); ++i) {
    if (c->stop || diag.halted()) break;
    input_unit& u = plan.units[i];
    uint32_t first = 0, last = 0;
    if (o.order == read_order::sequence && outside_window(o, plan, i, &first, &last)) {
      shown.push_back(u.shown);
      sink->input_skipped(shown.back().c_str(), u.size, first, last);
      continue;
    }
    if (scan_unit(*c, o, u, shown) != 0) status = 1;
  }
  return end_run(status, diag, *sink, out);
}

}  // namespace jrn
