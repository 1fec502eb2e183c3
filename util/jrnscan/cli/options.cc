#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/datetime.h"
#include "cli/option_values.h"
#include "cli/usage.h"
#include "cli/version.h"
#include "log/scan.h"
#include "records/opcodes.h"
#include "report/out.h"
#include "scan/context.h"

namespace jrn {

namespace {

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

const struct option long_options[] = {
    {"node", required_argument, nullptr, 'n'},
    {"time", required_argument, nullptr, 't'},
    {"seq", required_argument, nullptr, 's'},
    {"txn", required_argument, nullptr, 'x'},
    {"record", required_argument, nullptr, 'r'},
    // --recursive came later: the abbreviations that meant --record still
    // do (an exact name wins over a longer one it begins).
    {"r", required_argument, nullptr, 'r'},
    {"re", required_argument, nullptr, 'r'},
    {"rec", required_argument, nullptr, 'r'},
    {"page", required_argument, nullptr, 'p'},
    {"opcode", required_argument, nullptr, 'o'},
    {"all", no_argument, nullptr, 'a'},
    {"verbose", no_argument, nullptr, 'v'},
    {"map", required_argument, nullptr, 'M'},
    {"escape", required_argument, nullptr, opt_escape},
    {"name-memory", required_argument, nullptr, opt_name_memory},
    {"json", no_argument, nullptr, opt_json},
    {"offsets", no_argument, nullptr, opt_offsets},
    {"utc", no_argument, nullptr, opt_utc},
    {"limit", required_argument, nullptr, opt_limit},
    {"kind", required_argument, nullptr, opt_kind},
    {"since", required_argument, nullptr, opt_since},
    {"until", required_argument, nullptr, opt_until},
    {"stats", no_argument, nullptr, opt_stats},
    {"check", no_argument, nullptr, opt_check},
    {"strict", no_argument, nullptr, opt_strict},
    {"top", required_argument, nullptr, opt_top},
    {"progress", no_argument, nullptr, opt_progress},
    {"no-progress", no_argument, nullptr, opt_no_progress},
    {"follow", no_argument, nullptr, 'f'},
    {"save", required_argument, nullptr, opt_save},
    {"order", required_argument, nullptr, opt_order},
    {"recursive", no_argument, nullptr, opt_recursive},
    {"member-limit", required_argument, nullptr, opt_member_limit},
    {"history", required_argument, nullptr, opt_history},
    {"as-of", required_argument, nullptr, opt_as_of},
    // --history and --as-of came later: --h and --a still mean --help and
    // --all.
    {"h", no_argument, nullptr, opt_help},
    {"a", no_argument, nullptr, 'a'},
    {"image-memory", required_argument, nullptr, opt_image_memory},
    {"txns", no_argument, nullptr, opt_txns},
    {"transaction", required_argument, nullptr, opt_transaction},
    {"sessions", no_argument, nullptr, opt_sessions},
    {"session", required_argument, nullptr, opt_session},
    {"by", required_argument, nullptr, opt_by},
    {"txn-table", required_argument, nullptr, opt_txn_table},
    {"session-table", required_argument, nullptr, opt_session_table},
    // --undo TXN: its id also as the next argument (see the parser); --un
    // still means --until, which it did before.
    {"undo", optional_argument, nullptr, opt_undo},
    {"undo-records", required_argument, nullptr, opt_undo_records},
    {"nodes-per-name", required_argument, nullptr, opt_nodes_per_name},
    {"early-nodes", required_argument, nullptr, opt_early_nodes},
    // --nodes-per-name and --early-nodes came later: --nod and --e still
    // mean --node and --escape.
    {"nod", required_argument, nullptr, 'n'},
    {"e", required_argument, nullptr, opt_escape},
    {"un", required_argument, nullptr, opt_until},
    // --txns and --sessions came later: --tx and --se still mean --txn and
    // --seq.
    {"tx", required_argument, nullptr, 'x'},
    {"se", required_argument, nullptr, 's'},
    {"list-opcodes", no_argument, nullptr, opt_list_opcodes},
    {"list-kinds", no_argument, nullptr, opt_list_kinds},
    {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},
    {nullptr, 0, nullptr, 0},
};

// The options that only some modes use, as given; for the combinations
// that a run would otherwise quietly ignore.
struct modes_given {
  bool stats = false, check = false, limit = false, offsets = false, top = false, strict = false;
  bool image_memory = false;
  bool txns = false, sessions = false, transaction = false, by = false, session = false;
  bool tables = false;         // --txn-table or --session-table
  bool session_table = false;  // --session-table
  bool undo = false, undo_id = false, undo_records = false;
  bool history_bounds = false;  // --nodes-per-name or --early-nodes
};

// Why the options given cannot work together, or null. A summary and a
// verdict are always of the whole input and print no tags.
const char* conflict(const modes_given& g) {
  if (g.stats && g.check)
    return "--stats and --check cannot be given together: a run gives a summary or a verdict";
  if (g.limit && g.stats)
    return "--limit does not apply to --stats: a summary is always of the whole input";
  if (g.limit && g.check)
    return "--limit does not apply to --check: a verdict is always on the whole input";
  if (g.offsets && g.stats)
    return "--offsets does not apply to --stats: it marks the tags of the report, which --stats "
           "does not print";
  if (g.offsets && g.check)
    return "--offsets does not apply to --check: it marks the tags of the report, which --check "
           "does not print";
  if (g.top && !g.stats && !g.txns) return "--top applies only to --stats and --txns";
  if (g.strict && !g.check) return "--strict applies only to --check";
  if (g.image_memory && !g.check) return "--image-memory applies only to --check";
  return nullptr;
}

// Why the options given cannot work with --txns, --sessions or
// --transaction, or null. The lists are of the whole input and print no
// tags; --transaction shows the tags of one transaction.
const char* txns_conflict(const run_options& o, const modes_given& g, bool save) {
  const filter_settings& f = o.filter;
  const int modes =
      g.stats + g.check + g.txns + g.sessions + g.transaction + !o.history.records.empty();
  const bool lists = g.txns || g.sessions;
  if (modes > 1 && (lists || g.transaction))
    return "--txns, --sessions, --transaction, --history, --stats and --check cannot be given "
           "together: a run gives one of them";
  if (g.by && !g.txns) return "--by applies only to --txns";
  if (g.session && !lists) return "--session applies only to --txns and --sessions";
  if (g.tables && !lists && !g.transaction && !(g.check && !g.session_table))
    return g.check ? "--session-table applies only to --txns, --sessions and --transaction"
                   : "--txn-table applies only to --txns, --sessions, --transaction and --check, "
                     "--session-table only to the first three";
  if (g.transaction && (f.from_txn || f.to_txn))
    return "-x does not apply to --transaction: it names its transaction";
  if (g.transaction && g.limit)
    return "--limit does not apply to --transaction: it shows its transaction whole";
  if (!lists) return nullptr;
  const char* which = g.txns ? "--txns" : "--sessions";
  static std::string why;
  if (g.limit) {
    why = std::string("--limit does not apply to ") + which + ": it lists the whole input";
    return why.c_str();
  }
  if (g.offsets) {
    why = std::string("--offsets does not apply to ") + which + ": its lines give their offsets";
    return why.c_str();
  }
  if (f.page || f.pattern || f.kinds || f.recno) {
    why = std::string("-p, -r, -o and --kind do not apply to ") + which +
          ": they choose tags of the report, which it does not print";
    return why.c_str();
  }
  if (save) {
    why = std::string("--save does not apply to ") + which + ": it saves the tags the report shows";
    return why.c_str();
  }
  if (g.sessions && (f.node_id || f.from_txn || f.to_txn))
    return "-n and -x do not apply to --sessions: they select transactions (--txns)";
  return nullptr;
}

// A count from 1 to max, written as a plain number; false when it is not.
bool read_count(const char* text, uint32_t max, uint32_t* n) {
  uint64_t v;
  if (!parse_size(text, &v) || std::strpbrk(text, "kKmMgG") != nullptr || v == 0 || v > max)
    return false;
  *n = static_cast<uint32_t>(v);
  return true;
}

// An option's value as messages show it (escaped for a terminal).
std::string echoed(const char* text, bool escape) {
  std::string buf;
  size_t len;
  const char* shown = safe_text(text, std::strlen(text), escape, buf, &len);
  return std::string(shown, len);
}

// Why the options given cannot work with --history, or null. A history
// prints no tags, follows records that its values name, and --as-of gives
// one moment.
const char* history_conflict(const run_options& o, const modes_given& g, bool save) {
  const filter_settings& f = o.filter;
  const bool history = !o.history.records.empty();
  if (!history) {
    if (o.history.as_of_given) return "--as-of applies only to --history";
    if (g.history_bounds) return "--nodes-per-name and --early-nodes apply only to --history";
    return nullptr;
  }
  if (g.stats)
    return "--history and --stats cannot be given together: a run gives a history or a summary";
  if (g.check)
    return "--history and --check cannot be given together: a run gives a history or a verdict";
  if (g.limit)
    return "--limit does not apply to --history: it counts the report's tags, which --history "
           "does not print";
  if (g.offsets)
    return "--offsets does not apply to --history: every entry of a history gives its offset";
  if (f.node_id) return "-n does not apply to --history: each --history value names its node";
  if (f.recno)
    return "-r does not apply to --history: each --history value names its record number";
  if (f.page || f.pattern || f.kinds)
    return "-p, -o and --kind do not apply to --history: they choose tags of the report, which "
           "--history does not print";
  if (save && !o.history.as_of_given)
    return "--save applies to --history only with --as-of: it saves the records' contents at "
           "that moment";
  if (o.history.as_of_given &&
      (f.from_time || f.to_time || f.from_seq || f.to_seq || f.from_txn || f.to_txn))
    return "-t, -s, -x, --since and --until do not apply to --as-of: it gives the contents at "
           "one moment";
  return nullptr;
}

// Why the options given cannot work with --undo, or null. An undo prints
// no tags, follows every record that its transactions change to the end
// of the input, and says what it found when the input ends.
const char* undo_conflict(const run_options& o, const modes_given& g) {
  const filter_settings& f = o.filter;
  if (!g.undo) return g.undo_records ? "--undo-records applies only to --undo" : nullptr;
  if (g.stats || g.check || g.txns || g.sessions || g.transaction || !o.history.records.empty())
    return "--undo cannot be given with --stats, --check, --history, --txns, --sessions or "
           "--transaction: a run gives one of them";
  if (o.history.as_of_given) return "--as-of applies only to --history";
  if (g.undo_id && (f.from_txn || f.to_txn))
    return "-x does not apply to --undo TXN: give --undo without an id and -x F:T for a range";
  if (!g.undo_id && !f.from_txn && !f.to_txn)
    return "--undo needs its transactions: --undo TXN, or --undo with -x F:T";
  if (g.limit)
    return "--limit does not apply to --undo: it counts the report's tags, which --undo does not "
           "print";
  if (g.offsets) return "--offsets does not apply to --undo: it gives the offset of every change";
  if (f.node_id || f.recno || f.page || f.pattern || f.kinds)
    return "-n, -r, -p, -o and --kind do not apply to --undo: it follows every record that its "
           "transactions changed";
  if (f.from_time || f.to_time || f.from_seq || f.to_seq)
    return "-t, -s, --since and --until do not apply to --undo: it follows the records to the end "
           "of the input";
  if (o.follow)
    return "--follow does not apply to --undo: it tells what it found when the input ends";
  return nullptr;
}

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

}  // namespace

int parse_command_line(int argc, char** argv, run_options& o, node_map& names) {
  const char* invocation = argv[0];
  if (argc < 2) return print_usage(true);
  if (std::strcmp(argv[1], "-help") == 0) return print_usage(false);
  if (std::strcmp(argv[1], "-version") == 0) return print_version_banner();

  filter_settings& f = o.filter;
  // Escaping is settled before anything from a map file is echoed.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--escape=always") == 0) o.escape = escape_mode::always;
    if (std::strcmp(argv[i], "--escape=never") == 0) o.escape = escape_mode::never;
    if (std::strcmp(argv[i], "--escape=auto") == 0) o.escape = escape_mode::automatic;
  }
  const bool escape_messages = escapes_for(o.escape, 2);
  escape_option_values(escape_messages);
  o.utc = utc_given(argc, argv);

  bool bad = false;
  modes_given given;
  const char *t_text = nullptr, *s_text = nullptr, *x_text = nullptr;
  const char *since_text = nullptr, *until_text = nullptr;
  std::string o_name;  // -o as written, for its warning
  int c;
  int long_index = -1;
  // The option as the user wrote it, for warnings.
  auto name_of = [&](const char* short_name) {
    return long_index >= 0 ? (std::string("--") + long_options[long_index].name)
                           : std::string(short_name);
  };
  while ((c = getopt_long(argc, argv, short_options, long_options, &long_index)) != -1) {
    switch (c) {
      case 'n': f.node_id = read_signed(name_of("-n").c_str(), optarg, "no node filter"); break;
      case 'a': f.image_like_only = 0; break;
      case 't':
        read_range(name_of("-t").c_str(), optarg, &f.from_time, &f.to_time);
        t_text = optarg;
        break;
      case 's':
        read_range(name_of("-s").c_str(), optarg, &f.from_seq, &f.to_seq);
        s_text = optarg;
        break;
      case 'x':
        read_range(name_of("-x").c_str(), optarg, &f.from_txn, &f.to_txn);
        x_text = optarg;
        break;
      case 'p': f.page = read_unsigned(name_of("-p").c_str(), optarg, "no page filter"); break;
      case 'r':
        f.recno = read_unsigned(name_of("-r").c_str(), optarg, "no record number filter");
        break;
      case 'o':
        f.pattern = optarg;
        f.pattern_len = static_cast<int32_t>(std::strlen(optarg));
        o_name = name_of("-o");
        break;
      case 'v': ++f.detail_level; break;
      case 'M':
        if (names.load(optarg, escape_messages) != 0) bad = true;
        break;
      case opt_escape:
        if (std::strcmp(optarg, "auto") != 0 && std::strcmp(optarg, "always") != 0 &&
            std::strcmp(optarg, "never") != 0) {
          std::fprintf(stderr, "%s: --escape takes auto, always or never, not '%s'\n", invocation,
                       optarg);
          bad = true;
        }
        break;
      case opt_name_memory: {
        uint64_t bytes;
        if (!parse_size(optarg, &bytes)) {
          std::fprintf(stderr, "%s: --name-memory takes a size such as 64M or 1G, not '%s'\n",
                       invocation, optarg);
          bad = true;
        } else {
          names.set_learn_limit(bytes);
        }
        break;
      }
      case opt_json: o.json = true; break;
      case opt_stats: given.stats = true; break;
      case opt_check: given.check = true; break;
      case opt_strict:
        o.strict = true;
        given.strict = true;
        break;
      case opt_top: {
        uint64_t n;
        given.top = true;
        if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr || n > 100000) {
          std::fprintf(stderr, "%s: --top takes a number from 0 to 100000, not '%s'\n", invocation,
                       optarg);
          bad = true;
        } else {
          o.top = static_cast<uint32_t>(n);
        }
        break;
      }
      case opt_progress: o.progress = 1; break;
      case opt_no_progress: o.progress = 0; break;
      case 'f': o.follow = true; break;
      case opt_save:
        if (*optarg == '\0') {
          std::fprintf(stderr, "%s: --save needs a directory\n", invocation);
          bad = true;
        } else {
          o.save_dir = optarg;
        }
        break;
      case opt_order:
        if (std::strcmp(optarg, "given") == 0) {
          o.order = read_order::given;
        } else if (std::strcmp(optarg, "sequence") == 0) {
          o.order = read_order::sequence;
        } else {
          std::fprintf(stderr, "%s: --order takes given or sequence, not '%s'\n", invocation,
                       optarg);
          bad = true;
        }
        break;
      case opt_recursive: o.recursive = true; break;
      case opt_member_limit: {
        uint64_t bytes;
        if (!parse_size(optarg, &bytes) || bytes == 0 || bytes > (uint64_t{1} << 62)) {
          std::fprintf(stderr, "%s: --member-limit takes a size such as 64G or 500M, not '%s'\n",
                       invocation, optarg);
          bad = true;
        } else {
          o.member_limit = static_cast<int64_t>(bytes);
        }
        break;
      }
      case opt_image_memory: {
        uint64_t bytes;
        given.image_memory = true;
        if (!parse_size(optarg, &bytes) || bytes > (uint64_t{1} << 46)) {
          std::fprintf(stderr, "%s: --image-memory takes a size such as 1G or 256M, not '%s'\n",
                       invocation, optarg);
          bad = true;
        } else {
          o.image_memory = bytes;
        }
        break;
      }
      case opt_history: {
        record_request request;
        std::string why;
        if (o.history.records.size() >= 1000) {
          std::fprintf(stderr, "%s: --history may be given at most 1000 times\n", invocation);
          bad = true;
        } else if (!parse_record_request(optarg, &request, &why)) {
          std::fprintf(stderr, "%s: --history '%s' %s\n", invocation,
                       echoed(optarg, escape_messages).c_str(), why.c_str());
          bad = true;
        } else {
          o.history.records.push_back(request);
        }
        break;
      }
      case opt_as_of: {
        // A date alone is its last second: the content at the end of that day.
        uint32_t t;
        if (!parse_datetime(optarg, o.utc, true, &t)) {
          std::fprintf(stderr,
                       "%s: --as-of: '%s' is not a date-time; give YYYY-MM-DD, YYYY-MM-DD HH:MM, "
                       "YYYY-MM-DD HH:MM:SS or YYYY-MM-DDTHH:MM:SS, with Z or +HH:MM/-HH:MM "
                       "for a time that is not local\n",
                       invocation, echoed(optarg, escape_messages).c_str());
          bad = true;
        } else {
          o.history.as_of_given = true;
          o.history.as_of = t;
        }
        break;
      }
      case opt_txns: given.txns = true; break;
      case opt_undo: {
        // The id as --undo=TXN, or as the next argument when that is a
        // number (a log named by digits alone is written ./NAME there).
        const char* id = optarg;
        if (!id && optind < argc && argv[optind][0] >= '0' && argv[optind][0] <= '9' &&
            std::strspn(argv[optind], "0123456789") == std::strlen(argv[optind]))
          id = argv[optind++];
        if (given.undo) {
          std::fprintf(stderr, "%s: --undo may be given only once\n", invocation);
          bad = true;
        }
        given.undo = true;
        if (!id) break;
        given.undo_id = true;
        uint32_t txn = 0;
        if (!read_count(id, UINT32_MAX, &txn)) {
          std::fprintf(stderr, "%s: --undo takes a transaction id from 1 to 4294967295, not '%s'\n",
                       invocation, echoed(id, escape_messages).c_str());
          bad = true;
        }
        o.undo.from_txn = o.undo.to_txn = txn;
        break;
      }
      case opt_undo_records:
        given.undo_records = true;
        if (!read_count(optarg, 10000000, &o.undo.max_records)) {
          std::fprintf(stderr, "%s: --undo-records takes a number from 1 to 10000000, not '%s'\n",
                       invocation, echoed(optarg, escape_messages).c_str());
          bad = true;
        }
        break;
      case opt_nodes_per_name:
      case opt_early_nodes: {
        given.history_bounds = true;
        const bool per_name = c == opt_nodes_per_name;
        if (!read_count(optarg, 10000000,
                        per_name ? &o.history.nodes_per_name : &o.history.early_nodes)) {
          std::fprintf(stderr, "%s: %s takes a number from 1 to 10000000, not '%s'\n", invocation,
                       per_name ? "--nodes-per-name" : "--early-nodes",
                       echoed(optarg, escape_messages).c_str());
          bad = true;
        }
        break;
      }
      case opt_sessions: given.sessions = true; break;
      case opt_transaction:
        given.transaction = true;
        if (!read_count(optarg, UINT32_MAX, &o.transaction)) {
          std::fprintf(stderr,
                       "%s: --transaction takes a transaction id from 1 to 4294967295, "
                       "not '%s'\n",
                       invocation, echoed(optarg, escape_messages).c_str());
          bad = true;
        }
        break;
      case opt_session: {
        uint64_t n;
        given.session = true;
        if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr ||
            n > UINT32_MAX) {
          std::fprintf(stderr,
                       "%s: --session takes a session number from 0 to 4294967295, "
                       "not '%s'\n",
                       invocation, echoed(optarg, escape_messages).c_str());
          bad = true;
        } else {
          o.txns.by_session = true;
          o.txns.session = static_cast<uint32_t>(n);
        }
        break;
      }
      case opt_by:
        given.by = true;
        if (std::strcmp(optarg, "records") == 0) {
          o.txns.rank = txn_rank::records;
        } else if (std::strcmp(optarg, "duration") == 0) {
          o.txns.rank = txn_rank::duration;
        } else if (std::strcmp(optarg, "nodes") == 0) {
          o.txns.rank = txn_rank::nodes;
        } else {
          std::fprintf(stderr, "%s: --by takes records, duration or nodes, not '%s'\n", invocation,
                       echoed(optarg, escape_messages).c_str());
          bad = true;
        }
        break;
      case opt_txn_table:
      case opt_session_table: {
        given.tables = true;
        const bool txn = c == opt_txn_table;
        given.session_table = given.session_table || !txn;
        if (!read_count(optarg, 100000000, txn ? &o.txns.max_txns : &o.txns.max_sessions)) {
          std::fprintf(stderr, "%s: %s takes a number from 1 to 100000000, not '%s'\n", invocation,
                       txn ? "--txn-table" : "--session-table",
                       echoed(optarg, escape_messages).c_str());
          bad = true;
        }
        break;
      }
      case opt_offsets:
        o.offsets = true;
        given.offsets = true;
        break;
      case opt_utc: break;  // read before the other options
      case opt_limit: {
        uint64_t n;
        given.limit = true;
        if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr || n == 0) {
          std::fprintf(stderr, "%s: --limit takes a number of tags from 1 up, not '%s'\n",
                       invocation, optarg);
          bad = true;
        } else {
          o.limit = n;
        }
        break;
      }
      case opt_kind:
        if (!parse_kinds(optarg, &f.kinds)) bad = true;
        break;
      case opt_since:
      case opt_until: {
        // A date alone bounds the whole day: from its first second, up to
        // its last.
        uint32_t t;
        if (!parse_datetime(optarg, o.utc, c == opt_until, &t)) {
          std::fprintf(stderr,
                       "%s: %s: '%s' is not a date-time; give YYYY-MM-DD, YYYY-MM-DD HH:MM, "
                       "YYYY-MM-DD HH:MM:SS or YYYY-MM-DDTHH:MM:SS, with Z or +HH:MM/-HH:MM "
                       "for a time that is not local\n",
                       invocation, c == opt_since ? "--since" : "--until", optarg);
          bad = true;
        } else if (c == opt_since) {
          f.from_time = t;
          since_text = optarg;
        } else {
          f.to_time = t;
          until_text = optarg;
        }
        break;
      }
      case opt_list_opcodes: return list_opcodes();
      case opt_list_kinds: return list_kinds();
      case opt_help: return print_help();
      case opt_version: return print_version();
      default: bad = true; break;
    }
    long_index = -1;
  }
  if (bad) {
    std::fprintf(stderr, "%s: %s\n", invocation, "bad arguments");
    return command_line_error();
  }
  if (const char* why = conflict(given)) {
    std::fprintf(stderr, "%s: %s\n", invocation, why);
    return command_line_error();
  }
  if (const char* why = undo_conflict(o, given)) {
    std::fprintf(stderr, "%s: %s\n", invocation, why);
    return command_line_error();
  }
  if (const char* why = history_conflict(o, given, !o.save_dir.empty())) {
    std::fprintf(stderr, "%s: %s\n", invocation, why);
    return command_line_error();
  }
  if (const char* why = txns_conflict(o, given, !o.save_dir.empty())) {
    std::fprintf(stderr, "%s: %s\n", invocation, why);
    return command_line_error();
  }
  if (optind >= argc) {
    std::fprintf(stderr, "%s: %s\n", invocation, "no fwlog file specified");
    return command_line_error();
  }
  int stdin_operands = 0;
  for (int i = optind; i < argc; ++i) {
    stdin_operands += std::strcmp(argv[i], "-") == 0;
    o.operands.push_back(argv[i]);
  }
  if (stdin_operands > 1) {
    std::fprintf(stderr, "%s: standard input (-) may be given only once\n", invocation);
    return command_line_error();
  }
  if (given.stats) o.mode = output_mode::stats;
  if (given.check) o.mode = output_mode::check;
  if (given.undo) {
    o.mode = output_mode::undo;
    if (!given.undo_id) {
      o.undo.from_txn = f.from_txn;
      o.undo.to_txn = f.to_txn;
    }
    o.undo.json = o.json;
    o.undo.utc = o.utc;
    o.undo.escape = !o.json && escapes_for(o.escape, 1);
    o.undo.detail_level = f.detail_level;
    o.undo.save_dir = o.save_dir;
  }
  if (!o.history.records.empty()) {
    o.mode = output_mode::history;
    o.history.json = o.json;
    o.history.utc = o.utc;
    o.history.escape = !o.json && escapes_for(o.escape, 1);
    o.history.save_dir = o.save_dir;
  }
  if (given.txns || given.sessions || given.transaction) {
    // The lists select with the filters (in o.txns); --transaction shows
    // every kind of its transaction's tags.
    o.mode = given.txns       ? output_mode::txns
             : given.sessions ? output_mode::sessions
                              : output_mode::transaction;
    if (given.txns && given.top && o.txns.rank == txn_rank::none) o.txns.rank = txn_rank::records;
    o.txns.top = o.top;
    o.txns.sessions = given.sessions;
    o.txns.json = o.json;
    o.txns.utc = o.utc;
    o.txns.escape = !o.json && escapes_for(o.escape, 1);
    o.txns.memo_texts = f.detail_level >= 1;
    if (given.transaction) {
      f.from_txn = f.to_txn = o.transaction;
      f.image_like_only = 0;
    }
  }
  if (t_text) check_range_order("-t", t_text, f.from_time, f.to_time);
  if (s_text) check_range_order("-s", s_text, f.from_seq, f.to_seq);
  if (x_text) check_range_order("-x", x_text, f.from_txn, f.to_txn);
  if (since_text && until_text && f.from_time > f.to_time)
    std::fprintf(stderr, "%s: warning: --since '%s' lies after --until '%s'; no tag can match\n",
                 invocation, since_text, until_text);
  if (f.pattern) {
    // Compiled once for every record; a pattern that no name can match is
    // most likely a slip, told before the report.
    f.compiled_pattern = std::make_shared<const name_pattern>(f.pattern, f.pattern_len, 0);
    std::vector<std::string> known_names;
    if (!pattern_matches_a_name(*f.compiled_pattern, known_names))
      warn_unmatched_pattern(o_name.c_str(), f.pattern, f.pattern_len, known_names);
  }
  // A page, an opcode pattern or tag kinds ask about every record kind (a
  // kind asked for is shown, image-like or not), and so do the summaries
  // and the check.
  if (f.page || f.pattern || f.kinds) f.image_like_only = 0;
  if (o.mode == output_mode::stats || o.mode == output_mode::check) f.image_like_only = 0;
  o.txns.filter = f;
  if (o.mode == output_mode::txns || o.mode == output_mode::sessions) {
    // The lists select with their own copy of the filters and take every
    // tag from its summary: the scan shows none (no transaction id lies
    // above the highest), so that no tag's lines are made.
    f = filter_settings();
    f.from_txn = f.to_txn = UINT32_MAX;
  }
  return -1;
}

}  // namespace jrn
