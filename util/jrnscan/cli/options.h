// The command line: options into the run's final settings (every
// implication settled here), usage and help texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/history_sink.h"
#include "report/txns_sink.h"
#include "report/undo_sink.h"
#include "scan/escape.h"
#include "scan/filter.h"
#include "scan/node_map.h"

namespace jrn {

enum class output_mode { text, stats, check, history, txns, sessions, transaction, undo };

// The order the logs of the operands are read in (--order).
enum class read_order {
  automatic,  // by file sequence when an operand is a directory or an archive
  given,      // the operands' order, each archive's members in its own order
  sequence,   // per series (volume set id, volume generation), by file sequence
};

struct run_options {
  filter_settings filter;
  output_mode mode = output_mode::text;  // text or JSON report, --stats, --check, --history
  bool json = false;                     // --json: the report or the summary as JSON
  escape_mode escape = escape_mode::automatic;
  bool utc = false;
  // Settled by the run from its inputs: see first_logs_unique (inputs.h).
  bool first_logs_unique = false;
  bool offsets = false;
  bool strict = false;  // --check: warnings fail the run too
  int progress = -1;    // --progress / --no-progress; -1: when stderr is a terminal
  bool follow = false;
  uint64_t limit = 0;
  uint32_t top = 10;
  std::string save_dir;
  read_order order = read_order::automatic;
  bool recursive = false;  // directory operands: their subdirectories too
  // A compressed log or archive member that decompresses to more bytes
  // than this ends with a failure there.
  int64_t member_limit = int64_t{64} << 30;
  // --check: the bound on the memory of the table of records whose
  // before-images are judged (0: none are).
  uint64_t image_memory = uint64_t{1} << 30;
  // --history (output_mode::history): the records, --as-of, and how the
  // history is written.
  history_options history;
  // --undo (output_mode::undo): the transactions (its id, or -x), the
  // bound on the records followed, and how the undo is written.
  undo_options undo;
  // --txns, --sessions (their filters, --top and --by, the tables' bounds)
  // and --transaction (its id; the filters select its tags).
  txns_options txns;
  uint32_t transaction = 0;
  std::vector<const char*> operands;
};

// The options that choose a mode or only some modes use, as given; for
// the choice of the mode and the combinations that a run would otherwise
// quietly ignore.
struct modes_given {
  bool stats = false, check = false, limit = false, offsets = false, top = false, strict = false;
  bool image_memory = false;
  bool txns = false, sessions = false, transaction = false, by = false, session = false;
  bool tables = false;         // --txn-table or --session-table
  bool session_table = false;  // --session-table
  bool undo = false, undo_id = false, undo_records = false;
  bool history = false;         // --history
  bool history_bounds = false;  // --nodes-per-name or --early-nodes
};

// Parses argv into o, loading -M maps into names as they come. Returns -1
// when the run goes on, otherwise the exit status (usage, version, lists,
// command-line errors).
int parse_command_line(int argc, char** argv, run_options& o, node_map& names);

}  // namespace jrn
