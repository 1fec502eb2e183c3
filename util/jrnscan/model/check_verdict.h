// The check's verdict as counts: those of the log being read (what its
// line and its JSON object say) and those of the whole run, which decide
// the exit status.
#pragma once

#include <cstdint>

namespace jrn {

// One log: its tags' sequence and time range, where it lies in its
// series, and what was found in it.
struct check_log_counts {
  uint64_t tags = 0;
  uint32_t first_seq = 0, last_seq = 0;
  uint32_t first_ts = 0, last_ts = 0;
  int64_t unread = 0;  // bytes behind the end tag not read; -1: more than looked at
  bool have_header = false;
  uint32_t volume_set = 0, generation = 0;
  int32_t file_sequence = 0;
  uint64_t errors = 0, warnings = 0;
  uint64_t sequence_breaks = 0, times_back = 0;
  uint64_t mismatches = 0;      // before-images that do not match
  uint64_t txns_not_ended = 0;  // open when the log ended with EOF_FINISH

  // "errors", "warnings" or "ok".
  const char* verdict() const { return errors > 0 ? "errors" : warnings > 0 ? "warnings" : "ok"; }
};

// The run: every log, every series, the inputs not read.
struct check_run_counts {
  uint64_t logs = 0, logs_with_errors = 0;
  uint64_t errors = 0, warnings = 0;  // of the logs and the inputs
  uint64_t inputs_failed = 0;
  uint64_t inputs_damaged = 0;  // archives not read to their end
  uint64_t mismatches = 0, txns_not_ended = 0;
  uint64_t series = 0, series_errors = 0, series_with_errors = 0;

  void add_log(const check_log_counts& l) {
    ++logs;
    mismatches += l.mismatches;
    txns_not_ended += l.txns_not_ended;
    errors += l.errors;
    warnings += l.warnings;
    if (l.errors > 0) ++logs_with_errors;
  }
  void add_series(uint64_t series_errs, uint64_t series_warnings) {
    ++series;
    series_errors += series_errs;
    if (series_errs > 0) ++series_with_errors;
    warnings += series_warnings;
  }
  // The errors found in logs, not counting the inputs not read.
  uint64_t log_errors() const { return errors - inputs_failed - inputs_damaged; }
  bool failed(bool strict) const {
    return errors > 0 || series_errors > 0 || (strict && warnings > 0);
  }
};

}  // namespace jrn
