#include "model/stats_pages.h"

#include "records/opcodes.h"

namespace jrn {

namespace {

// Record opcodes whose payloads name pages.
enum : uint8_t {
  nodepage = 6,
  nodecluster = 7,
  nodelistpage = 8,
  nodelistpagehead = 9,
  nodelistitem = 10,
  nodelistitemset = 11,
  nodelistfillitem = 12,
  btree = 16,
  pool = 18,
  pool_flist = 23,
  btree_fwr = 26,
};

// NODEPAGE: a count, then 64 entries of 12 bytes: page, log page key,
// state.
constexpr uint32_t nodepage_entries = 64;

bool size_fits(const opcode_info& op, uint32_t n) {
  switch (op.rule) {
    case size_rule::exactly: return n == op.rule_size;
    case size_rule::at_least: return n >= op.rule_size;
    case size_rule::any: return true;
  }
  return false;
}

}  // namespace

uint32_t record_pages(uint8_t opcode, payload_view p, uint32_t* pages) {
  const opcode_info& op = opcode_lookup(opcode);
  if (!op.probe || p.size() == 0 || !size_fits(op, p.size())) return 0;
  // The fields that hold page numbers, by offset.
  uint32_t fields[2 * nodepage_entries];
  uint32_t n = 0;
  switch (opcode) {
    case nodepage: {
      uint32_t count = p.u32(0);
      if (count > nodepage_entries) count = nodepage_entries;
      for (uint32_t i = 0; i < count; ++i) {
        fields[n++] = 4 + 12 * i;
        fields[n++] = 8 + 12 * i;
      }
      break;
    }
    case nodecluster: fields[n++] = 0; break;
    case nodelistpage:
      fields[n++] = 8;
      fields[n++] = 12;
      fields[n++] = 20;
      break;
    case nodelistpagehead:
    case nodelistitem:
    case nodelistitemset:
    case nodelistfillitem: fields[n++] = 8; break;
    case btree:
      fields[n++] = 12;
      fields[n++] = 16;
      break;
    case pool: fields[n++] = 16; break;
    case pool_flist:
      fields[n++] = 0;
      fields[n++] = 20;
      fields[n++] = 24;
      break;
    case btree_fwr: fields[n++] = 4; break;
    default: break;
  }
  // What the probe does not take (a field of another operation, an empty
  // run) names no page; a page named twice counts once.
  uint32_t found = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t page = p.u32(fields[i]);
    if (page == 0 || !op.probe(p, page)) continue;
    bool again = false;
    for (uint32_t j = 0; j < found && !again; ++j) again = pages[j] == page;
    if (!again) pages[found++] = page;
  }
  return found;
}

}  // namespace jrn
