// Pool records: POOL (a change to a pool item) and POOL_FLIST (a step on
// the pool's free list of pages and items).
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/out.h"
#include "records/decoders.h"

namespace jrn {

namespace {

// Pool_RECORD: op, prev location, o_pgno, r_pgno, 8 bytes not shown.
enum pool_op : uint32_t { NOP = 0, NEW = 1, MODIFY = 2, DELETE = 3 };

const char* pool_op_name(uint32_t op) {
  switch (op) {
    case 0: return "NOP (*** unexpected ***)";
    case 1: return "NEW";
    case 2: return "MODIFY";
    case 3: return "DELETE";
    case 4: return "FLIST (*** unexpected ***)";
    case 5: return "FLIST_UNDO (*** unexpected ***)";
    case 6: return "UPDATE (*** unexpected ***)";
    default: return "** UNRECOGNIZED POOL OP **";
  }
}

bool expected_pool_op(uint32_t op) { return op >= NEW && op <= DELETE; }

// POOL_FLIST: an 8-byte header (page, op, arg), then the operation's data;
// each known operation has an exact size.
enum flist_op : uint16_t { NEWPAGE = 0, DELPAGE = 1, ADDITEM = 2, DELITEM = 3 };
const char* const flist_names[] = {"NEWPAGE", "DELPAGE", "ADDITEM", "DELITEM"};
const uint32_t flist_sizes[] = {28, 8, 32, 20};

bool flist_size_ok(payload_view p) {
  const uint16_t op = p.u16(4);
  if (op > DELITEM || p.size() == flist_sizes[op]) return true;
  report_malformed("IMAGE record", tag_offset, "POOL_FLIST %s payload of %u bytes, expected %u",
                   flist_names[op], p.size(), flist_sizes[op]);
  return false;
}

void print_item(payload_view p) {
  out_printf("  header.arg = %u\n  item.item.cluster = 0x%x\n  item.item.offset = %u\n", p.u16(6),
             p.u32(8), p.u16(12));
  out_printf("  item.item_minsize = %u\n  item.item_maxsize = %u\n", p.u16(16), p.u16(18));
}

void print_pginfo(payload_view p, uint32_t at) {
  out_printf("  pginfo.num_items = %u\n  pginfo.first_item = %u\n  pginfo.last_item = %u\n",
             p.u32(at), p.u32(at + 4), p.u32(at + 8));
}

}  // namespace

int print_pool(payload_view p) {
  const uint32_t op = p.u32(0);
  out_printf("  op = %s (%d)\n", pool_op_name(op), static_cast<int32_t>(op));
  if (!expected_pool_op(op)) return 0;
  out_printf("  o_pgno = 0x%x\n  r_pgno key = 0x%x\n", p.u32(12), p.u32(16));
  if (filter_opts.detail_level >= 2) print_prev_location(p, 4);
  return 0;
}

// Only the expected operations are compared, and only on r_pgno.
int probe_pool(payload_view p) {
  const uint32_t want = filter_opts.page;
  if (want == 0) return 1;
  return expected_pool_op(p.u32(0)) && p.u32(16) == want;
}

int print_pool_flist(payload_view p) {
  if (!flist_size_ok(p)) return 0;
  const uint16_t op = p.u16(4);
  if (op > DELITEM) {
    out_printf("  op = %s (%u)\n", "** UNRECOGNIZED POOL FREE-LIST OP **", op);
    return 0;
  }
  out_printf("  op = %s (%u)\n  header.page = 0x%x\n", flist_names[op], op, p.u32(0));
  const bool detail = filter_opts.detail_level >= 2;
  switch (op) {
    case NEWPAGE:
      if (detail) print_item(p);
      if (detail || filter_opts.page != 0)
        out_printf("  pglink.prev_page = 0x%x\n  pglink.next_page = 0x%x\n", p.u32(20), p.u32(24));
      break;
    case ADDITEM:
      if (detail) {
        print_item(p);
        print_pginfo(p, 20);
      }
      break;
    case DELITEM:
      if (detail) {
        out_printf("  header.arg = %u\n", p.u16(6));
        print_pginfo(p, 8);
      }
      break;
    default: break;  // DELPAGE: the op and page say it all
  }
  return 0;
}

int probe_pool_flist(payload_view p) {
  if (!flist_size_ok(p)) return 0;
  const uint16_t op = p.u16(4);
  const uint32_t want = filter_opts.page;
  if (op > DELITEM) return 0;
  if (p.u32(0) == want) return 1;
  return op == NEWPAGE && (p.u32(20) == want || p.u32(24) == want);
}

}  // namespace jrn
