// Pool records: POOL (a change to a pool item) and POOL_FLIST (a step on
// the pool's free list of pages and items).
#include "records/decoders.h"
#include "scan/context.h"

namespace jrn {

namespace {

// Pool_RECORD: op, prev location, o_pgno, r_pgno, 8 bytes not shown.
enum pool_op : uint32_t { NOP = 0, NEW = 1, MODIFY = 2, DELETE = 3 };

namef pool_op_name(uint32_t op) {
  switch (op) {
    case 0: return {fid::op, "NOP (*** unexpected ***)"};
    case 1: return {fid::op, "NEW"};
    case 2: return {fid::op, "MODIFY"};
    case 3: return {fid::op, "DELETE"};
    case 4: return {fid::op, "FLIST (*** unexpected ***)"};
    case 5: return {fid::op, "FLIST_UNDO (*** unexpected ***)"};
    case 6: return {fid::op, "UPDATE (*** unexpected ***)"};
    default: return {fid::op, "** UNRECOGNIZED POOL OP **", false};
  }
}

bool expected_pool_op(uint32_t op) { return op >= NEW && op <= DELETE; }

// POOL_FLIST: an 8-byte header (page, op, arg), then the operation's data;
// each known operation has an exact size.
enum flist_op : uint16_t { NEWPAGE = 0, DELPAGE = 1, ADDITEM = 2, DELITEM = 3 };
const char* const flist_names[] = {"NEWPAGE", "DELPAGE", "ADDITEM", "DELITEM"};
const uint32_t flist_sizes[] = {28, 8, 32, 20};

bool flist_size_fits(payload_view p) {
  const uint16_t op = p.u16(4);
  return op > DELITEM || p.size() == flist_sizes[op];
}

void describe_item(scan_context& c, payload_view p, bool shown) {
  JRN_LINE_IF(c, shown, "  header.arg = %u\n  item.item.cluster = 0x%x\n  item.item.offset = %u\n",
              u32f(fid::arg, p.u16(6)), hexf(fid::item_cluster, p.u32(8)),
              u32f(fid::item_offset, p.u16(12)));
  JRN_LINE_IF(c, shown, "  item.item_minsize = %u\n  item.item_maxsize = %u\n",
              u32f(fid::item_minsize, p.u16(16)), u32f(fid::item_maxsize, p.u16(18)));
}

void describe_pginfo(scan_context& c, payload_view p, uint32_t at, bool shown) {
  JRN_LINE_IF(c, shown,
              "  pginfo.num_items = %u\n  pginfo.first_item = %u\n  pginfo.last_item = %u\n",
              u32f(fid::num_items, p.u32(at)), u32f(fid::first_item, p.u32(at + 4)),
              u32f(fid::last_item, p.u32(at + 8)));
}

}  // namespace

void describe_pool(scan_context& c, payload_view p) {
  const uint32_t op = p.u32(0);
  JRN_LINE(c, "  op = %s (%d)\n", pool_op_name(op), i32f(fid::op_code, static_cast<int32_t>(op)));
  if (!expected_pool_op(op)) return;
  JRN_LINE(c, "  o_pgno = 0x%x\n  r_pgno key = 0x%x\n", hexf(fid::o_pgno, p.u32(12)),
           hexf(fid::r_pgno, p.u32(16)));
  describe_prev_location(c, p, 4);
}

// Only the expected operations are compared, and only on r_pgno.
int probe_pool(payload_view p, uint32_t page) {
  if (page == 0) return 1;
  return expected_pool_op(p.u32(0)) && p.u32(16) == page;
}

void check_pool_flist(scan_context& c, payload_view p) {
  if (flist_size_fits(p)) return;
  const uint16_t op = p.u16(4);
  c.diag.malformed("IMAGE record", c.tag.offset, "POOL_FLIST %s payload of %u bytes, expected %u",
                   flist_names[op], p.size(), flist_sizes[op]);
}

void describe_pool_flist(scan_context& c, payload_view p) {
  if (!flist_size_fits(p)) return;
  const uint16_t op = p.u16(4);
  if (op > DELITEM) {
    JRN_LINE(c, "  op = %s (%u)\n", namef(fid::op, "** UNRECOGNIZED POOL FREE-LIST OP **", false),
             u32f(fid::op_code, op));
    return;
  }
  JRN_LINE(c, "  op = %s (%u)\n  header.page = 0x%x\n", namef(fid::op, flist_names[op]),
           u32f(fid::op_code, op), hexf(fid::page, p.u32(0)));
  const bool detail = c.filter_opts.detail_level >= 2;
  switch (op) {
    case NEWPAGE:
      describe_item(c, p, detail);
      JRN_LINE_IF(c, detail || c.filter_opts.page != 0,
                  "  pglink.prev_page = 0x%x\n  pglink.next_page = 0x%x\n",
                  hexf(fid::prev_page, p.u32(20)), hexf(fid::next_page, p.u32(24)));
      break;
    case ADDITEM:
      describe_item(c, p, detail);
      describe_pginfo(c, p, 20, detail);
      break;
    case DELITEM:
      JRN_LINE_IF(c, detail, "  header.arg = %u\n", u32f(fid::arg, p.u16(6)));
      describe_pginfo(c, p, 8, detail);
      break;
    default: break;  // DELPAGE: the op and page say it all
  }
}

int probe_pool_flist(payload_view p, uint32_t page) {
  if (!flist_size_fits(p)) return 0;
  const uint16_t op = p.u16(4);
  if (op > DELITEM) return 0;
  if (p.u32(0) == page) return 1;
  return op == NEWPAGE && (p.u32(20) == page || p.u32(24) == page);
}

}  // namespace jrn
