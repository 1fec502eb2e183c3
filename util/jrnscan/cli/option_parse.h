// The command line's parser, shared by its parts: the option table, the
// readers of the options' values by group, and the checks of the
// combinations given.
#pragma once

#include <getopt.h>

#include <cstdint>
#include <string>

#include "cli/options.h"
#include "scan/node_map.h"

namespace jrn {

enum long_only : int {
  opt_escape = 256,
  opt_name_memory,
  opt_help,
  opt_version,
  opt_json,
  opt_offsets,
  opt_utc,
  opt_limit,
  opt_kind,
  opt_since,
  opt_until,
  opt_list_opcodes,
  opt_list_kinds,
  opt_stats,
  opt_check,
  opt_strict,
  opt_top,
  opt_progress,
  opt_no_progress,
  opt_save,
  opt_order,
  opt_recursive,
  opt_member_limit,
  opt_history,
  opt_as_of,
  opt_image_memory,
  opt_txns,
  opt_transaction,
  opt_sessions,
  opt_session,
  opt_by,
  opt_txn_table,
  opt_session_table,
  opt_undo,
  opt_undo_records,
  opt_nodes_per_name,
  opt_early_nodes,
};

const char short_options[] = "n:at:s:x:p:r:o:vM:f";

extern const struct option long_options[];

// What the parser has read so far, for the readers of each group.
struct parse_state {
  parse_state(int argc_, char** argv_, run_options& o_, node_map& names_)
      : argc(argc_), argv(argv_), invocation(argv_[0]), o(o_), names(names_) {}

  int argc;
  char** argv;
  const char* invocation;
  run_options& o;
  node_map& names;
  bool escape_messages = false;  // option values in messages are escaped
  bool bad = false;
  modes_given given;
  const char *t_text = nullptr, *s_text = nullptr, *x_text = nullptr;
  const char *since_text = nullptr, *until_text = nullptr;
  std::string o_name;   // -o as written, for its warning
  int long_index = -1;  // the long option read, or -1

  // The option as the user wrote it, for warnings.
  std::string name_of(const char* short_name) const {
    return long_index >= 0 ? (std::string("--") + long_options[long_index].name)
                           : std::string(short_name);
  }
};

// Each reads option c of its group into the state and returns true, or
// returns false when c is not of its group.
bool read_filter_option(int c, parse_state& st);
bool read_report_option(int c, parse_state& st);
bool read_input_option(int c, parse_state& st);
bool read_history_option(int c, parse_state& st);
bool read_undo_option(int c, parse_state& st);
bool read_txns_option(int c, parse_state& st);

// A count from 1 to max, written as a plain number; false when it is not.
bool read_count(const char* text, uint32_t max, uint32_t* n);
// An option's value as messages show it (escaped for a terminal).
std::string echoed(const char* text, bool escape);

// Why the options given cannot work together, or null: the first of the
// checks of the modes that fails.
const char* options_conflict(const run_options& o, const modes_given& given);

}  // namespace jrn
