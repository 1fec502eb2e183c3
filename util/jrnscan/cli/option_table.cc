// The options' table: every short and long option the parser knows.
#include "cli/option_parse.h"

namespace jrn {

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

}  // namespace jrn
