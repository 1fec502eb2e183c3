// Node records: NODE, NODEDELETE, NODEPAGE (the pages a node owns) and
// NODECLUSTER (a run of pages allocated or freed together).
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/out.h"
#include "records/decoders.h"

namespace jrn {

namespace {

// NODEPAGE: a count and a fixed array of 64 entries (page, log page key,
// state) of 12 bytes each.
constexpr uint32_t nodepage_max = 64;
constexpr uint32_t entry_at(uint32_t i) { return 4 + 12 * i; }

// Entries in use; a count above 64 names entries the record cannot hold.
uint32_t nodepage_count(payload_view p) {
  uint32_t count = p.u32(0);
  if (count > nodepage_max) {
    report_malformed("IMAGE record", tag_offset, "NODEPAGE count %u exceeds %u entries", count,
                     nodepage_max);
    count = nodepage_max;
  }
  return count;
}

const char* nodepage_state(uint32_t s) {
  switch (s) {
    case 0: return "ALLOCATED\n";
    case 1: return "MODIFIED\n";
    case 2: return "FREED\n";
    default: return "???\n";
  }
}

const char* cluster_state(uint16_t s) {
  switch (s) {
    case 0: return "NOP\n";
    case 1: return "ALLOCATED\n";
    case 2: return "FREED\n";
    default: return "???\n";
  }
}

}  // namespace

// NODE: a 16-bit value, then a node descriptor whose first field is the id.
int print_node(payload_view p) {
  out_printf("  node_id = %u\n", p.u32(2));
  return 0;
}

int print_nodedelete(payload_view p) {
  out_printf("  node_id = %u\n", p.u32(0));
  return 0;
}

int print_nodepage(payload_view p) {
  const uint32_t count = nodepage_count(p);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t e = entry_at(i);
    out_printf("  page 0x%x %s", p.u32(e), nodepage_state(p.u32(e + 8)));
    if (uint32_t key = p.u32(e + 4)) out_printf("  logpage key = 0x%x\n", key);
  }
  return 0;
}

int probe_nodepage(payload_view p) {
  const uint32_t want = filter_opts.page;
  const uint32_t count = nodepage_count(p);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t e = entry_at(i);
    if (p.u32(e) == want || p.u32(e + 4) == want) return 1;
  }
  return 0;
}

int print_nodecluster(payload_view p) {
  out_printf("  cluster 0x%x/%d %s", p.u32(0), p.i16(4), cluster_state(p.u16(6)));
  return 0;
}

// The cluster covers cluster .. cluster + count - 1 (count sign-extended,
// the end taken modulo 2^32).
int probe_nodecluster(payload_view p) {
  const uint32_t want = filter_opts.page;
  const uint32_t first = p.u32(0);
  if (want < first) return 0;
  const uint32_t end = first + static_cast<uint32_t>(static_cast<int32_t>(p.i16(4)));
  return want < end;
}

}  // namespace jrn
