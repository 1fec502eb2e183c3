#include "records/opcodes.h"

#include "records/decoders.h"
#include "scan/context.h"
#include "scan/format.h"

namespace jrn {

namespace {

constexpr size_rule any = size_rule::any;
constexpr size_rule exactly = size_rule::exactly;
constexpr size_rule at_least = size_rule::at_least;

// A row: name, size rule and size, describer, page probe, count check,
// whether the check comes after the lines, and the fields that hold pages.
// clang-format off
const opcode_info known[] = {
    /*  0 */ {"EOT", any, 0, nullptr, nullptr, nullptr},
    /*  1 */ {"IGNORE", any, 0, nullptr, nullptr, nullptr},
    /*  2 */ {"CHECKPOINT", any, 0, nullptr, nullptr, nullptr},
    /*  3 */ {"BEGIN", any, 0, nullptr, nullptr, nullptr},
    /*  4 */ {"NODE", at_least, 58, describe_node, nullptr, nullptr},
    /*  5 */ {"NODEDELETE", exactly, 4, describe_nodedelete, nullptr, nullptr},
    /*  6 */ {"NODEPAGE", exactly, 772, describe_nodepage, probe_nodepage, check_nodepage, false,
              {2, {4, 8}, 12, 64}},
    /*  7 */ {"NODECLUSTER", exactly, 8, describe_nodecluster, probe_nodecluster, nullptr, false,
              {1, {0}}},
    /*  8 */ {"NODELISTPAGE", exactly, 40, describe_nodelistpage, probe_nodelistpage, nullptr,
              false, {3, {8, 12, 20}}},
    /*  9 */ {"NODELISTPAGEHEAD", exactly, 24, describe_nodelistpagehead, probe_nodelistpagehead,
              nullptr, false, {1, {8}}},
    /* 10 */ {"NODELISTITEM", at_least, 16, describe_nodelistitem, probe_nodelistitem,
              check_nodelistitem, true, {1, {8}}},
    /* 11 */ {"NODELISTITEMSET", at_least, 16, describe_nodelistitem, probe_nodelistitem,
              check_nodelistitem, true, {1, {8}}},
    /* 12 */ {"NODELISTFILLITEM", exactly, 24, describe_nodelistfillitem, probe_nodelistfillitem,
              nullptr, false, {1, {8}}},
    /* 13 */ {"FIXREC", at_least, FixRec_RECORD_SIZE, describe_fixrec, nullptr, nullptr},
    /* 14 */ {"FIXREC_META", exactly, 32, describe_fixrec_meta, nullptr, nullptr},
    /* 15 */ {"FIXREC_NEWCLUSTER", exactly, 4, describe_fixrec_newcluster, nullptr, nullptr},
    /* 16 */ {"BTREE", exactly, 20, describe_btree, probe_btree, nullptr, false, {2, {12, 16}}},
    /* 17 */ {"SYSCAT", any, 0, nullptr, nullptr, nullptr},
    /* 18 */ {"POOL", exactly, 28, describe_pool, probe_pool, nullptr, false, {1, {16}}},
    /* 19 */ {"VOL_EXTEND", at_least, 20, describe_vol_extend, nullptr, check_vol_extend, true},
    /* 20 */ {"VOL_REDIR", any, 0, nullptr, nullptr, nullptr},
    /* 21 */ {"NEW_NODEPAGE", any, 0, nullptr, nullptr, nullptr},
    /* 22 */ {"POOL_ITEMSIZE", any, 0, nullptr, nullptr, nullptr},
    /* 23 */ {"POOL_FLIST", at_least, 8, describe_pool_flist, probe_pool_flist, check_pool_flist,
              false, {3, {0, 20, 24}}},
    /* 24 */ {"CHECKPOINT", any, 0, nullptr, nullptr, nullptr},
    /* 25 */ {"FWR_AUDIT", any, 0, nullptr, nullptr, nullptr},
    /* 26 */ {"BTREE_FWR", at_least, 8, describe_btree_fwr, probe_btree_fwr, check_btree_fwr, true,
              {1, {4}}},
    /* 27 */ {"POOL_UPDATE", any, 0, nullptr, nullptr, nullptr},
    /* 28 */ {"FWR_SERIAL", exactly, 12, describe_fwr_serial, nullptr, nullptr},
};
// clang-format on
constexpr unsigned known_count = sizeof known / sizeof known[0];
static_assert(known_count == op_named_count, "one row for each named operation code");
const opcode_info unknown_op = {"** UNKNOWN OP **", any, 0, nullptr, nullptr, nullptr};

}  // namespace

const opcode_info& opcode_lookup(uint8_t opcode) {
  return opcode < known_count ? known[opcode] : unknown_op;
}

bool opcode_known(uint8_t opcode) { return opcode < known_count; }

bool payload_size_ok(scan_context& c, const opcode_info& op, payload_view payload) {
  const uint32_t n = payload.size();
  if (op.rule == size_rule::exactly && n != op.rule_size) {
    c.diag.malformed("IMAGE record", c.tag.offset, "%s payload of %u bytes, expected %u", op.name,
                     n, op.rule_size);
    return false;
  }
  if (op.rule == size_rule::at_least && n < op.rule_size) {
    c.diag.malformed("IMAGE record", c.tag.offset, "%s payload of %u bytes, expected at least %u",
                     op.name, n, op.rule_size);
    return false;
  }
  return true;
}

}  // namespace jrn
