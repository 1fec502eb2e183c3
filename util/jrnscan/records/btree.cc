// B-tree records: BTREE (a page-level step) and BTREE_FWR (one page
// operation with its item data).
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "records/decoders.h"

namespace jrn {

namespace {

const char* btree_op(uint32_t op) {
  switch (op) {
    case 0:
    case 3: return "NEWPG";
    case 1: return "DELPG";
    case 2:
    case 4: return "UPDPG";
    default: return "** UNRECOGNIZED BTREE OP **";
  }
}

const char* btree_tx_op(uint8_t op) {
  static const char* const names[] = {
      nullptr,           "PAGE_INIT", "PAGE_RESET_LEAF", "PAGE_LINK", "PAGE_SPLIT",
      "PAGE_SPLIT_ROOT", "KEY_PUT",   "KEY_SHIFT_PUT",   "KEY_PACK",  "UPD_BOUNDS"};
  if (op >= 1 && op <= 9) return names[op];
  return "** UNRECOGNIZED BTREE_TX OP **";
}

}  // namespace

// bt_txdata: prev location, op, o_pgno, r_pgno.
int print_btree(payload_view p) {
  const uint32_t op = p.u32(8);
  out_printf("  op = %s (%d)\n  o_pgno = 0x%x\n  r_pgno key = 0x%x\n", btree_op(op),
             static_cast<int32_t>(op), p.u32(12), p.u32(16));
  if (filter_opts.detail_level >= 2) print_prev_location(p, 0);
  return 0;
}

int probe_btree(payload_view p) {
  const uint32_t want = filter_opts.page;
  return want == 0 || want == p.u32(16) || want == p.u32(12);
}

// Node_LOG_ITEM header (item size, op), then the item data, which opens
// with the page number.
int print_btree_fwr(payload_view p) {
  const uint8_t op = p.u8(2);
  out_printf("  op = %s (%d)\n  pgno = 0x%x\n", btree_tx_op(op), op, p.u32(4));
  const uint16_t size = p.u16(0);
  const uint32_t held = p.span(4, size);
  if (filter_opts.detail_level >= 2) {
    out_printf("   size: %u\n", size);
    dump_hex(p.at(4), held);
  }
  if (held < size)
    report_malformed("IMAGE record", tag_offset, "BTREE_FWR item size %u exceeds the %u bytes held",
                     size, held);
  return 0;
}

int probe_btree_fwr(payload_view p) {
  const uint32_t want = filter_opts.page;
  return want == 0 || want == p.u32(4);
}

}  // namespace jrn
