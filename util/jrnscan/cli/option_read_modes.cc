// The readers of the values of the options of --history, --undo, --txns,
// --sessions and --transaction.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/datetime.h"
#include "cli/option_parse.h"
#include "cli/option_values.h"

namespace jrn {

// --history, --as-of, --nodes-per-name, --early-nodes.
bool read_history_option(int c, parse_state& st) {
  run_options& o = st.o;
  modes_given& given = st.given;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  const bool escape_messages = st.escape_messages;
  switch (c) {
    case opt_history: {
      given.history = true;
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
    default: return false;
  }
  return true;
}

// --undo [TXN], --undo-records.
bool read_undo_option(int c, parse_state& st) {
  run_options& o = st.o;
  modes_given& given = st.given;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  const bool escape_messages = st.escape_messages;
  switch (c) {
    case opt_undo: {
      // The id as --undo=TXN, or as the next argument when that is a
      // number (a log named by digits alone is written ./NAME there).
      const char* id = optarg;
      if (!id && optind < st.argc && st.argv[optind][0] >= '0' && st.argv[optind][0] <= '9' &&
          std::strspn(st.argv[optind], "0123456789") == std::strlen(st.argv[optind]))
        id = st.argv[optind++];
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
    default: return false;
  }
  return true;
}

// --txns, --sessions, --transaction, --session, --by, --txn-table,
// --session-table.
bool read_txns_option(int c, parse_state& st) {
  run_options& o = st.o;
  modes_given& given = st.given;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  const bool escape_messages = st.escape_messages;
  switch (c) {
    case opt_txns: given.txns = true; break;
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
      if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr || n > UINT32_MAX) {
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
    default: return false;
  }
  return true;
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

}  // namespace jrn
