// Node records: NODE, NODEDELETE, NODEPAGE (the pages a node owns) and
// NODECLUSTER (a run of pages allocated or freed together).
#include "records/decoders.h"
#include "scan/context.h"

namespace jrn {

namespace {

// NODEPAGE: a count and a fixed array of 64 entries (page, log page key,
// state) of 12 bytes each.
constexpr uint32_t nodepage_max = 64;
constexpr uint32_t entry_at(uint32_t i) { return 4 + 12 * i; }

// Entries in use; a count above 64 names entries the record cannot hold.
uint32_t nodepage_count(payload_view p) {
  const uint32_t count = p.u32(0);
  return count > nodepage_max ? nodepage_max : count;
}

const char* const nodepage_states[] = {"ALLOCATED", "MODIFIED", "FREED"};
const char* const cluster_states[] = {"NOP", "ALLOCATED", "FREED"};

namef state_name(fid key, const char* const* names, uint32_t s) {
  if (s < 3) return {key, names[s]};
  return {key, "???", false};
}

// The state's code, for the back-ends that keep it beside the name (the
// text shows the name alone).
void state_code(scan_context& c, uint32_t s) {
  JRN_LINE_IF(c, false, "%u", u32f(fid::state_code, s));
}

}  // namespace

// NODE: a 16-bit value, then a node descriptor whose first field is the id.
void describe_node(scan_context& c, payload_view p) {
  JRN_LINE(c, "  node_id = %u\n", u32f(fid::target_node_id, p.u32(2)));
}

void describe_nodedelete(scan_context& c, payload_view p) {
  JRN_LINE(c, "  node_id = %u\n", u32f(fid::target_node_id, p.u32(0)));
}

void check_nodepage(scan_context& c, payload_view p) {
  const uint32_t count = p.u32(0);
  if (count > nodepage_max)
    c.diag.malformed("IMAGE record", c.tag.offset, "NODEPAGE count %u exceeds %u entries", count,
                     nodepage_max);
}

void describe_nodepage(scan_context& c, payload_view p) {
  const uint32_t count = nodepage_count(p);
  c.list_begin(fid::pages);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t e = entry_at(i);
    c.list_item();
    const uint32_t state = p.u32(e + 8);
    JRN_LINE(c, "  page 0x%x %s\n", hexf(fid::page, p.u32(e)),
             state_name(fid::state, nodepage_states, state));
    state_code(c, state);
    const uint32_t key = p.u32(e + 4);
    JRN_LINE_IF(c, key != 0, "  logpage key = 0x%x\n", hexf(fid::logpage_key, key));
  }
  c.list_end();
}

int probe_nodepage(payload_view p, uint32_t page) {
  const uint32_t count = nodepage_count(p);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t e = entry_at(i);
    if (p.u32(e) == page || p.u32(e + 4) == page) return 1;
  }
  return 0;
}

void describe_nodecluster(scan_context& c, payload_view p) {
  const uint16_t state = p.u16(6);
  JRN_LINE(c, "  cluster 0x%x/%d %s\n", hexf(fid::cluster, p.u32(0)),
           i32f(fid::cluster_count, p.i16(4)), state_name(fid::state, cluster_states, state));
  state_code(c, state);
}

// The cluster covers cluster .. cluster + count - 1 (count sign-extended,
// the end taken modulo 2^32).
int probe_nodecluster(payload_view p, uint32_t page) {
  const uint32_t first = p.u32(0);
  if (page < first) return 0;
  const uint32_t end = first + static_cast<uint32_t>(static_cast<int32_t>(p.i16(4)));
  return page < end;
}

}  // namespace jrn
