// The table of output modes: one row per mode that says how its back-end
// is made and how the run around it behaves. The run driver and the
// command line read the rows; nothing else decides by mode.
#pragma once

#include <memory>

#include "cli/options.h"
#include "report/out.h"
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

// A mode's back-end as its factory made it, with the followers the scan
// tells of every record and every session (null: none).
struct sink_parts {
  std::unique_ptr<report_sink> sink;  // null: it could not start (already said)
  record_observer* records = nullptr;
  audit_observer* audits = nullptr;
};

// What a mode's scan is given of the filters (-n, -t, -s, -x, -p, -r, -o,
// --kind, --since, --until) once the command line has accepted them.
enum class scan_filters : uint8_t {
  as_given,    // as given: image-like records only unless -a, -p, -o or --kind
  every_kind,  // as given, of every record kind, image-like or not
  none,        // the scan shows no tag: the mode applies the filters to its own summaries
};

// The report forms a row stands for.
enum class report_form : uint8_t { any, text, json };

// The followers a mode's back-end may have (the factory returns them).
enum follows : uint8_t { follows_nothing = 0, follows_records = 1, follows_audits = 2 };

// How --save goes with a mode.
enum class save_by : uint8_t {
  saver,   // a page saver beside the back-end saves the tags the scan shows
  itself,  // the back-end saves its own files (the command line settles when)
};

struct mode_row {
  const char* name;  // the option that asks for it ("" for the default report)
  output_mode mode;
  report_form form;
  // The option flag that chooses the mode (null: the mode when none does).
  bool modes_given::*chosen_by;
  sink_parts (*make)(const run_options& o, const node_map& names, output& out, diagnostics& diag);
  uint8_t follows;  // follows_records | follows_audits: what make may return
  // Reads every unit of an archive read in sequence order: no unit is
  // passed over for lying outside the --since/--until window.
  bool whole_archives;
  save_by save;
  // Sees each log once and is told where a series does not go on (the
  // modes that judge series themselves, and the tag report, are not).
  bool once_per_log;
  bool announces_filters;  // the report opens with a line per active filter
  scan_filters filters;
  // Settles the mode's own settings from the command line (null: none).
  void (*settle)(run_options& o, const modes_given& given);
};

// Every row, the default report first.
const mode_row* mode_rows(size_t* count);
// The row of the run's mode and report form.
const mode_row& mode_row_for(const run_options& o);
// The row of the mode chosen on the command line (the default report when
// none is).
const mode_row& chosen_mode(const modes_given& given);

}  // namespace jrn
