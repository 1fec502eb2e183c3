// Fixed-record store: FIXREC (one change to one numbered record, with its
// data), FIXREC_META (the store's meta record), FIXREC_NEWCLUSTER.
#include "cli/filter.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "records/decoders.h"
#include "records/opcodes.h"

namespace jrn {

namespace {

// FIXREC payload: prev location, record number, start page, operation.
constexpr uint32_t prev_location = 0, recno_at = 8, start_page = 12, op_at = 16;
// UPDATE_RANGE data with more than 4 bytes opens with a range header.
constexpr uint32_t range_ofs = 17, range_len = 19, range_data = 21;

enum fixrec_op : uint8_t {
  UPDATE = 1,
  UPDATE_NO_DATA = 2,
  PUT = 3,
  PUT_NO_DATA = 4,
  DELETE = 5,
  UPDATE_RANGE = 7
};

}  // namespace

const char* fixrec_op_name(uint8_t op) {
  switch (op) {
    case UPDATE: return "UPDATE";
    case UPDATE_NO_DATA: return "UPDATE_NO_DATA";
    case PUT: return "PUT";
    case PUT_NO_DATA: return "PUT_NO_DATA";
    case DELETE: return "DELETE";
    case UPDATE_RANGE: return "UPDATE_RANGE";
    default: return "** UNKNOWN FIXREC OP **";
  }
}

int fixrec_image_like(payload_view p) {
  switch (p.u8(op_at)) {
    case UPDATE:
    case PUT:
    case PUT_NO_DATA:
    case DELETE: return 1;
    default: return 0;
  }
}

int fixrec_recno_match(payload_view p) {
  return filter_opts.recno == 0 || p.u32(recno_at) == filter_opts.recno;
}

void print_prev_location(payload_view p, uint32_t at) {
  out_printf("  prev.cluster = 0x%x\n  prev.offset = %d\n  prev.size = %d\n", p.u32(at),
             p.u16(at + 4), p.u16(at + 6));
}

int print_fixrec(payload_view p) {
  if (filter_opts.detail_level >= 2) {
    print_prev_location(p, prev_location);
    out_printf("  recno = %d\n  start_page = 0x%x\n", p.i32(recno_at), p.u32(start_page));
  } else {
    out_printf("  recno = %d\n", p.i32(recno_at));
  }
  const uint8_t op = p.u8(op_at);
  out_printf("  opcode = %s (%d)\n", fixrec_op_name(op), op);
  const uint32_t n = p.size();
  if (n == FixRec_RECORD_SIZE) return 0;
  uint32_t block = FixRec_RECORD_SIZE;
  if (op == UPDATE_RANGE && n - FixRec_RECORD_SIZE > 4) {
    out_printf("  data = %d bytes [ofs = %d, len = %d]\n", static_cast<int>(n - range_data),
               p.u16(range_ofs), p.u16(range_len));
    block = range_data;
  } else {
    out_printf("  data = %d bytes\n", static_cast<int>(n - FixRec_RECORD_SIZE));
  }
  if (filter_opts.detail_level >= 1) dump_hex(p.at(block), p.span(block, n));
  return 0;
}

int print_fixrec_meta(payload_view p) {
  out_printf("  timestamp=%u\n  flist_head.page=0x%x item=%u\n", p.u32(0), p.u32(4), p.u32(8));
  out_printf("  first_recno=%u\n  last_recno=%u\n  new_recno=%u\n", p.u32(12), p.u32(16),
             p.u32(20));
  out_printf("  num_records=%u\n  serial=%u\n", p.u32(24), p.u32(28));
  return 0;
}

int print_fixrec_newcluster(payload_view p) {
  out_printf("  start_page = 0x%x\n", p.u32(0));
  return 0;
}

}  // namespace jrn
