// B-tree records: BTREE (a page-level step) and BTREE_FWR (one page
// operation with its item data).
#include "records/decoders.h"
#include "scan/context.h"

namespace jrn {

namespace {

namef btree_op(uint32_t op) {
  switch (op) {
    case 0:
    case 3: return {fid::op, "NEWPG"};
    case 1: return {fid::op, "DELPG"};
    case 2:
    case 4: return {fid::op, "UPDPG"};
    default: return {fid::op, "** UNRECOGNIZED BTREE OP **", false};
  }
}

namef btree_tx_op(uint8_t op) {
  static const char* const names[] = {
      nullptr,           "PAGE_INIT", "PAGE_RESET_LEAF", "PAGE_LINK", "PAGE_SPLIT",
      "PAGE_SPLIT_ROOT", "KEY_PUT",   "KEY_SHIFT_PUT",   "KEY_PACK",  "UPD_BOUNDS"};
  if (op >= 1 && op <= 9) return {fid::op, names[op]};
  return {fid::op, "** UNRECOGNIZED BTREE_TX OP **", false};
}

}  // namespace

// bt_txdata: prev location, op, o_pgno, r_pgno.
void describe_btree(scan_context& c, payload_view p) {
  const uint32_t op = p.u32(8);
  JRN_LINE(c, "  op = %s (%d)\n  o_pgno = 0x%x\n  r_pgno key = 0x%x\n", btree_op(op),
           i32f(fid::op_code, static_cast<int32_t>(op)), hexf(fid::o_pgno, p.u32(12)),
           hexf(fid::r_pgno, p.u32(16)));
  describe_prev_location(c, p, 0);
}

int probe_btree(payload_view p, uint32_t page) {
  return page == 0 || page == p.u32(16) || page == p.u32(12);
}

// Node_LOG_ITEM header (item size, op), then the item data, which opens
// with the page number.
void describe_btree_fwr(scan_context& c, payload_view p) {
  const uint8_t op = p.u8(2);
  JRN_LINE(c, "  op = %s (%d)\n  pgno = 0x%x\n", btree_tx_op(op), i32f(fid::op_code, op),
           hexf(fid::pgno, p.u32(4)));
  const uint16_t size = p.u16(0);
  const uint32_t held = p.span(4, size);
  const bool detail = c.filter_opts.detail_level >= 2;
  JRN_LINE_IF(c, detail, "   size: %u\n", u32f(fid::item_size, size));
  c.data(detail, fid::item, p.at(4), held, held);
}

void check_btree_fwr(scan_context& c, payload_view p) {
  const uint16_t size = p.u16(0);
  const uint32_t held = p.span(4, size);
  if (held < size)
    c.diag.malformed("IMAGE record", c.tag.offset,
                     "BTREE_FWR item size %u exceeds the %u bytes held", size, held);
}

int probe_btree_fwr(payload_view p, uint32_t page) { return page == 0 || page == p.u32(4); }

}  // namespace jrn
