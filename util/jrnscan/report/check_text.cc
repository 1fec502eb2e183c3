// --check: the lines on standard output, one per log, one per series and
// one for the run.
#include <string>

#include "report/check_sink.h"
#include "report/cut_mark.h"
#include "report/stats_sink.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// "ok", or "2 errors, 1 warning": the start of a log's or a series' line.
void print_verdict(output& out, uint64_t errors, uint64_t warnings) {
  if (errors == 0 && warnings == 0) {
    out.str("ok");
    return;
  }
  if (errors > 0)
    out.printf("%llu %s", static_cast<unsigned long long>(errors),
               plural(errors, "error", "errors"));
  if (errors > 0 && warnings > 0) out.str(", ");
  if (warnings > 0)
    out.printf("%llu %s", static_cast<unsigned long long>(warnings),
               plural(warnings, "warning", "warnings"));
}

}  // namespace

void check_sink::print_log_text(log_end how) {
  out_.printf("%s: ", log_label_.c_str());
  print_verdict(out_, log_.errors, log_.warnings);
  out_.printf(", %llu %s", static_cast<unsigned long long>(log_.tags),
              plural(log_.tags, "tag", "tags"));
  if (log_.tags > 0) {
    const time_text first = format_time(log_.first_ts, opt_.utc);
    const time_text last = format_time(log_.last_ts, opt_.utc);
    out_.printf(", sequence %u to %u, %s to %s", log_.first_seq, log_.last_seq, first.c_str(),
                last.c_str());
  }
  out_.printf(", %s", log_end_text(how));
  if (log_.unread > 0)
    out_.printf(", then %lld bytes that are not a log", static_cast<long long>(log_.unread));
  else if (log_.unread < 0)
    out_.str(", then more bytes that are not a log");
  out_.str("\n");
}

// "series 0x5eed generation 3: 1 error, 4 logs, file sequences 1 to 9 (3 missing)"
void check_sink::print_series_text(const series_judgement& j) {
  const check_log_record* b = j.begin;
  const uint64_t not_judged = j.not_judged, missing = j.missing, duplicated = j.duplicated;
  out_.printf("%s: ", series_label_.c_str());
  print_verdict(out_, j.errors, j.warnings);
  const uint64_t logs = j.logs();
  out_.printf(", %llu %s", static_cast<unsigned long long>(logs), plural(logs, "log", "logs"));
  if (not_judged > 0)
    out_.printf(" (%llu not judged)", static_cast<unsigned long long>(not_judged));
  const check_log_record& last = j.end[-1];
  if (b->file_sequence == last.file_sequence)
    out_.printf(", file sequence %d", b->file_sequence);
  else
    out_.printf(", file sequences %d to %d", b->file_sequence, last.file_sequence);
  if (missing > 0 && duplicated > 0)
    out_.printf(" (%llu missing, %llu read more than once)",
                static_cast<unsigned long long>(missing),
                static_cast<unsigned long long>(duplicated));
  else if (missing > 0)
    out_.printf(" (%llu missing)", static_cast<unsigned long long>(missing));
  else if (duplicated > 0)
    out_.printf(" (%llu read more than once)", static_cast<unsigned long long>(duplicated));
  out_.str("\n");
}

void check_sink::print_run_text() {
  // "check: 3 logs: 2 errors in 1 log, 1 warning, 1 input not opened: failed"
  out_.printf("check: %llu %s", static_cast<unsigned long long>(run_.logs),
              plural(run_.logs, "log", "logs"));
  const uint64_t log_errors = run_.log_errors();
  const char* sep = ": ";
  if (log_errors > 0) {
    out_.printf("%s%llu %s in %llu %s", sep, static_cast<unsigned long long>(log_errors),
                plural(log_errors, "error", "errors"),
                static_cast<unsigned long long>(run_.logs_with_errors),
                plural(run_.logs_with_errors, "log", "logs"));
    sep = ", ";
  }
  if (run_.series_errors > 0) {
    out_.printf("%s%llu %s in %llu series", sep,
                static_cast<unsigned long long>(run_.series_errors),
                plural(run_.series_errors, "error", "errors"),
                static_cast<unsigned long long>(run_.series_with_errors));
    sep = ", ";
  }
  if (run_.warnings > 0) {
    out_.printf("%s%llu %s", sep, static_cast<unsigned long long>(run_.warnings),
                plural(run_.warnings, "warning", "warnings"));
    sep = ", ";
  }
  if (run_.inputs_failed > 0) {
    out_.printf("%s%llu %s not opened", sep, static_cast<unsigned long long>(run_.inputs_failed),
                plural(run_.inputs_failed, "input", "inputs"));
    sep = ", ";
  }
  if (run_.inputs_damaged > 0) {
    out_.printf("%s%llu %s not read to the end", sep,
                static_cast<unsigned long long>(run_.inputs_damaged),
                plural(run_.inputs_damaged, "archive", "archives"));
  }
  out_.str(exit_status() != 0 ? ": failed\n" : ": ok\n");
  std::string cut;
  cut_line(diag_, cut);
  out_.str(cut.c_str());
}

}  // namespace jrn
