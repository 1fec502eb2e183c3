#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/modes.h"
#include "cli/option_parse.h"
#include "cli/option_values.h"
#include "cli/usage.h"
#include "cli/version.h"
#include "records/opcodes.h"
#include "scan/escape.h"

namespace jrn {

namespace {

// Whether --utc stands among the options, wherever: it decides how the
// date-times of --since and --until read, which may come before it. A pass
// of the parser of its own, so that abbreviations, option values and "--"
// count as they do in the real pass; it says nothing about bad options.
bool utc_given(int argc, char** argv) {
  const int saved_opterr = opterr;
  opterr = 0;
  optind = 0;
  bool utc = false;
  int c;
  // On a copy: the parser moves operands behind the options, and the real
  // pass must see them where they stand (the id of --undo TXN).
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  while ((c = getopt_long(argc, args.data(), short_options, long_options, nullptr)) != -1)
    if (c == opt_utc) utc = true;
  opterr = saved_opterr;
  optind = 0;
  return utc;
}

// Whether the pattern matches a name that a record can show under (the
// placeholder of unknown codes included); fills known_names with the names
// of the known codes, each once.
bool pattern_matches_a_name(const name_pattern& p, std::vector<std::string>& known_names) {
  bool matched = false;
  for (unsigned code = 0; code < 256; ++code) {
    const char* name = opcode_lookup(static_cast<uint8_t>(code)).name;
    if (p.match(name, static_cast<int>(std::strlen(name)))) matched = true;
    if (opcode_known(static_cast<uint8_t>(code)) &&
        std::find(known_names.begin(), known_names.end(), name) == known_names.end())
      known_names.push_back(name);
  }
  return matched;
}

// Reads the options in order; returns -1 when the run goes on, otherwise
// the exit status of an option that ends it (lists, help, version).
int read_options(parse_state& st) {
  int c;
  while ((c = getopt_long(st.argc, st.argv, short_options, long_options, &st.long_index)) != -1) {
    switch (c) {
      case opt_list_opcodes: return list_opcodes();
      case opt_list_kinds: return list_kinds();
      case opt_help: return print_help();
      case opt_version: return print_version();
      default:
        if (!read_filter_option(c, st) && !read_report_option(c, st) && !read_input_option(c, st) &&
            !read_history_option(c, st) && !read_undo_option(c, st) && !read_txns_option(c, st))
          st.bad = true;
        break;
    }
    st.long_index = -1;
  }
  return -1;
}

// Why the run cannot go on (already said), or -1: the combinations of the
// options, the operands.
int check_command_line(parse_state& st) {
  const char* invocation = st.invocation;
  if (st.bad) {
    std::fprintf(stderr, "%s: %s\n", invocation, "bad arguments");
    return command_line_error();
  }
  if (const char* why = options_conflict(st.o, st.given)) {
    std::fprintf(stderr, "%s: %s\n", invocation, why);
    return command_line_error();
  }
  if (optind >= st.argc) {
    std::fprintf(stderr, "%s: %s\n", invocation, "no fwlog file specified");
    return command_line_error();
  }
  int stdin_operands = 0;
  for (int i = optind; i < st.argc; ++i) {
    stdin_operands += std::strcmp(st.argv[i], "-") == 0;
    st.o.operands.push_back(st.argv[i]);
  }
  if (stdin_operands > 1) {
    std::fprintf(stderr, "%s: standard input (-) may be given only once\n", invocation);
    return command_line_error();
  }
  return -1;
}

// The warnings about the filters as given, and the -o pattern compiled.
void settle_filters(parse_state& st) {
  filter_settings& f = st.o.filter;
  if (st.t_text) check_range_order("-t", st.t_text, f.from_time, f.to_time);
  if (st.s_text) check_range_order("-s", st.s_text, f.from_seq, f.to_seq);
  if (st.x_text) check_range_order("-x", st.x_text, f.from_txn, f.to_txn);
  if (st.since_text && st.until_text && f.from_time > f.to_time)
    std::fprintf(stderr, "%s: warning: --since '%s' lies after --until '%s'; no tag can match\n",
                 st.invocation, st.since_text, st.until_text);
  if (f.pattern) {
    // Compiled once for every record; a pattern that no name can match is
    // most likely a slip, told before the report.
    f.compiled_pattern = std::make_shared<const name_pattern>(f.pattern, f.pattern_len, 0);
    std::vector<std::string> known_names;
    if (!pattern_matches_a_name(*f.compiled_pattern, known_names))
      warn_unmatched_pattern(st.o_name.c_str(), f.pattern, f.pattern_len, known_names);
  }
}

// The mode chosen and its settings, and what its scan is given of the
// filters.
void settle_mode(parse_state& st) {
  run_options& o = st.o;
  filter_settings& f = o.filter;
  const mode_row& row = chosen_mode(st.given);
  o.mode = row.mode;
  if (row.settle) row.settle(o, st.given);
  settle_filters(st);
  // A page, an opcode pattern or tag kinds ask about every record kind (a
  // kind asked for is shown, image-like or not), and so do the modes that
  // take every kind.
  if (f.page || f.pattern || f.kinds || row.filters == scan_filters::every_kind)
    f.image_like_only = 0;
  // The lists of transactions and sessions select with their own copy.
  o.txns.filter = f;
  if (row.filters == scan_filters::none) {
    // The mode takes every tag from its summary: the scan shows none, so
    // that no tag's lines are made.
    f = filter_settings();
    f.shows_no_tag = true;
  }
}

}  // namespace

int parse_command_line(int argc, char** argv, run_options& o, node_map& names) {
  if (argc < 2) return print_usage(true);
  if (std::strcmp(argv[1], "-help") == 0) return print_usage(false);
  if (std::strcmp(argv[1], "-version") == 0) return print_version_banner();

  // Escaping is settled before anything from a map file is echoed.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--escape=always") == 0) o.escape = escape_mode::always;
    if (std::strcmp(argv[i], "--escape=never") == 0) o.escape = escape_mode::never;
    if (std::strcmp(argv[i], "--escape=auto") == 0) o.escape = escape_mode::automatic;
  }
  parse_state st(argc, argv, o, names);
  st.escape_messages = escapes_for(o.escape, 2);
  escape_option_values(st.escape_messages);
  o.utc = utc_given(argc, argv);

  const int ended = read_options(st);
  if (ended >= 0) return ended;
  const int refused = check_command_line(st);
  if (refused >= 0) return refused;
  settle_mode(st);
  return -1;
}

}  // namespace jrn
