// The combinations of options that cannot work together, each with the
// message that says why.
#include <string>

#include "cli/option_parse.h"

namespace jrn {

namespace {

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

}  // namespace

const char* options_conflict(const run_options& o, const modes_given& given) {
  const bool save = !o.save_dir.empty();
  if (const char* why = conflict(given)) return why;
  if (const char* why = undo_conflict(o, given)) return why;
  if (const char* why = history_conflict(o, given, save)) return why;
  return txns_conflict(o, given, save);
}

}  // namespace jrn
