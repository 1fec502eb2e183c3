// --check: continuity across the files of a series. Each log read is
// remembered (model/check_series.h); once all are read each series is
// judged, its findings said on standard error and its verdict printed.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "model/series.h"
#include "report/check_sink.h"
#include "scan/time_text.h"

namespace jrn {

void check_sink::remember_log(log_end how) {
  check_log_record r;
  r.volume_set = log_.volume_set;
  r.generation = log_.generation;
  r.file_sequence = log_.file_sequence;
  r.name = 0;
  r.log_index = log_index_;
  r.first_seq = log_.first_seq;
  r.last_seq = log_.last_seq;
  r.first_ts = log_.first_ts;
  r.last_ts = log_.last_ts;
  r.digest = digest_end(digest_, how);
  r.how = how;
  r.has_tags = log_.tags > 0;
  r.had_errors = log_.errors > 0;
  if (continuity_.remember(r, input_name_) == check_continuity::remembered::full_now)
    say("%s: check: more than %zu logs read; continuity across files is no longer judged for "
        "further logs\n",
        log_label_.c_str(), check_continuity::logs_remembered);
}

void check_sink::judge_all_series() {
  continuity_.judge_all(run_stopped_, [this](const series_judgement& j) { report_series(j); });
}

void check_sink::report_series(const series_judgement& j) {
  series_label_ = series_label(j.key);
  findings_.clear();
  findings_dropped_ = 0;
  for (const series_finding& f : j.findings) say_series_finding(f);
  say_series_totals(j);
  run_.add_series(j.errors, j.warnings);
  if (opt_.json)
    print_series_json(j);
  else
    print_series_text(j);
}

// "series 0x5eed generation 3: check: error: file sequence 5 is missing ..."
void check_sink::series_say(const char* level, const char* fmt, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  say("%s: check: %s: %s\n", series_label_.c_str(), level, text);
  keep_finding(level, -1, text);
}

void check_sink::say_series_finding(const series_finding& f) {
  const std::string before = continuity_.label(*f.prev), name = continuity_.label(*f.at);
  const check_log_record &p = *f.prev, &g = *f.at;
  switch (f.kind) {
    case series_finding::gap:
      if (f.from == f.to)
        series_say("error", "file sequence %lld is missing (between %s and %s)",
                   static_cast<long long>(f.from), before.c_str(), name.c_str());
      else
        series_say("error", "file sequences %lld to %lld are missing (between %s and %s)",
                   static_cast<long long>(f.from), static_cast<long long>(f.to), before.c_str(),
                   name.c_str());
      return;
    case series_finding::break_:
      series_say("warning",
                 "file sequence %d (%s) ends with tag sequence %u and file sequence %d "
                 "(%s) begins with %u (expected %u)",
                 p.file_sequence, before.c_str(), p.last_seq, g.file_sequence, name.c_str(),
                 g.first_seq, p.last_seq + 1);
      return;
    case series_finding::time_back: {
      const time_text end = format_time(p.last_ts, opt_.utc);
      const time_text start = format_time(g.first_ts, opt_.utc);
      series_say("warning",
                 "file sequence %d (%s) ends at %s (%u) and file sequence %d (%s) "
                 "begins earlier, at %s (%u)",
                 p.file_sequence, before.c_str(), end.c_str(), p.last_ts, g.file_sequence,
                 name.c_str(), start.c_str(), g.first_ts);
      return;
    }
    case series_finding::copy: {
      // Which read had errors helps to choose the copy to keep.
      std::string which;
      if (!f.same && (p.had_errors || g.had_errors))
        which = p.had_errors && g.had_errors
                    ? "; both had errors"
                    : "; " + (p.had_errors ? before : name) + " had errors";
      const char* level = f.same ? "warning" : "error";
      if (f.copy_number == 2)
        series_say(level, "file sequence %d was read twice, as %s and %s, with %s tags%s",
                   p.file_sequence, before.c_str(), name.c_str(), f.same ? "the same" : "different",
                   which.c_str());
      else
        series_say(level, "file sequence %d was read %u times: as %s too, with %s%s%s",
                   p.file_sequence, f.copy_number, name.c_str(),
                   f.same ? "the same tags as " : "tags that differ from ", before.c_str(),
                   which.c_str());
      return;
    }
    case series_finding::ends_cont:
      series_say("warning",
                 "the series ends with EOF_CONT at file sequence %d (%s): the file that "
                 "continues it is not in the input",
                 p.file_sequence, before.c_str());
      return;
  }
}

void check_sink::say_series_totals(const series_judgement& j) {
  const char* label = series_label_.c_str();
  if (j.gaps > listed_per_kind)
    say("%s: check: %llu gaps in all, %llu file sequences missing (the first %u listed)\n", label,
        static_cast<unsigned long long>(j.gaps), static_cast<unsigned long long>(j.missing),
        listed_per_kind);
  if (j.copies > listed_per_kind)
    say("%s: check: %llu logs read again in all (the first %u listed)\n", label,
        static_cast<unsigned long long>(j.copies), listed_per_kind);
  if (j.breaks > listed_per_kind)
    say("%s: check: %llu tag sequence breaks between files in all (the first %u listed)\n", label,
        static_cast<unsigned long long>(j.breaks), listed_per_kind);
  if (j.backs > listed_per_kind)
    say("%s: check: %llu times going back between files in all (the first %u listed)\n", label,
        static_cast<unsigned long long>(j.backs), listed_per_kind);
}

}  // namespace jrn
