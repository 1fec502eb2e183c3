#include "records/opcodes.h"

#include "log/scan.h"
#include "output/diag.h"
#include "records/decoders.h"

namespace jrn {

namespace {

constexpr size_rule any = size_rule::any;
constexpr size_rule exactly = size_rule::exactly;
constexpr size_rule at_least = size_rule::at_least;

const opcode_info known[] = {
    /*  0 */ {"EOT", any, 0, nullptr, nullptr},
    /*  1 */ {"IGNORE", any, 0, nullptr, nullptr},
    /*  2 */ {"CHECKPOINT", any, 0, nullptr, nullptr},
    /*  3 */ {"BEGIN", any, 0, nullptr, nullptr},
    /*  4 */ {"NODE", at_least, 58, print_node, nullptr},
    /*  5 */ {"NODEDELETE", exactly, 4, print_nodedelete, nullptr},
    /*  6 */ {"NODEPAGE", exactly, 772, print_nodepage, probe_nodepage},
    /*  7 */ {"NODECLUSTER", exactly, 8, print_nodecluster, probe_nodecluster},
    /*  8 */ {"NODELISTPAGE", exactly, 40, print_nodelistpage, probe_nodelistpage},
    /*  9 */ {"NODELISTPAGEHEAD", exactly, 24, print_nodelistpagehead, probe_nodelistpagehead},
    /* 10 */ {"NODELISTITEM", at_least, 16, print_nodelistitem, probe_nodelistitem},
    /* 11 */ {"NODELISTITEMSET", at_least, 16, print_nodelistitem, probe_nodelistitem},
    /* 12 */ {"NODELISTFILLITEM", exactly, 24, print_nodelistfillitem, probe_nodelistfillitem},
    /* 13 */ {"FIXREC", at_least, FixRec_RECORD_SIZE, print_fixrec, nullptr},
    /* 14 */ {"FIXREC_META", exactly, 32, print_fixrec_meta, nullptr},
    /* 15 */ {"FIXREC_NEWCLUSTER", exactly, 4, print_fixrec_newcluster, nullptr},
    /* 16 */ {"BTREE", exactly, 20, print_btree, probe_btree},
    /* 17 */ {"SYSCAT", any, 0, nullptr, nullptr},
    /* 18 */ {"POOL", exactly, 28, print_pool, probe_pool},
    /* 19 */ {"VOL_EXTEND", at_least, 20, print_vol_extend, nullptr},
    /* 20 */ {"VOL_REDIR", any, 0, nullptr, nullptr},
    /* 21 */ {"NEW_NODEPAGE", any, 0, nullptr, nullptr},
    /* 22 */ {"POOL_ITEMSIZE", any, 0, nullptr, nullptr},
    /* 23 */ {"POOL_FLIST", at_least, 8, print_pool_flist, probe_pool_flist},
    /* 24 */ {"CHECKPOINT", any, 0, nullptr, nullptr},
    /* 25 */ {"FWR_AUDIT", any, 0, nullptr, nullptr},
    /* 26 */ {"BTREE_FWR", at_least, 8, print_btree_fwr, probe_btree_fwr},
    /* 27 */ {"POOL_UPDATE", any, 0, nullptr, nullptr},
    /* 28 */ {"FWR_SERIAL", exactly, 12, print_fwr_serial, nullptr},
};
constexpr unsigned known_count = sizeof known / sizeof known[0];
const opcode_info unknown_op = {"** UNKNOWN OP **", any, 0, nullptr, nullptr};

}  // namespace

const opcode_info& opcode_lookup(uint8_t opcode) {
  return opcode < known_count ? known[opcode] : unknown_op;
}

bool payload_size_ok(const opcode_info& op, payload_view payload) {
  const uint32_t n = payload.size();
  if (op.rule == size_rule::exactly && n != op.rule_size) {
    report_malformed("IMAGE record", tag_offset, "%s payload of %u bytes, expected %u", op.name, n,
                     op.rule_size);
    return false;
  }
  if (op.rule == size_rule::at_least && n < op.rule_size) {
    report_malformed("IMAGE record", tag_offset, "%s payload of %u bytes, expected at least %u",
                     op.name, n, op.rule_size);
    return false;
  }
  return true;
}

}  // namespace jrn
