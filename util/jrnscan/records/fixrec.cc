// Fixed-record store: FIXREC (one change to one numbered record, with its
// data), FIXREC_META (the store's meta record), FIXREC_NEWCLUSTER.
#include "records/decoders.h"
#include "records/opcodes.h"
#include "scan/context.h"
#include "scan/format.h"

namespace jrn {

namespace {

// FIXREC payload: prev location, record number, start page, operation.
constexpr uint32_t prev_location = 0, recno_at = 8, start_page = 12, op_at = 16;
// UPDATE_RANGE data with more than 4 bytes opens with a range header.
constexpr uint32_t range_ofs = 17, range_len = 19, range_data = 21;

}  // namespace

int fixrec_image_like(payload_view p) {
  switch (p.u8(op_at)) {
    case fixrec_update:
    case fixrec_put:
    case fixrec_put_no_data:
    case fixrec_delete: return 1;
    default: return 0;
  }
}

uint32_t fixrec_recno(payload_view p) { return p.u32(recno_at); }

void observe_fixrec(scan_context& c, payload_view p) {
  record_event e;
  e.kind = record_event::change;
  e.operation = p.u8(op_at);
  e.txn_state = c.tag.txn_state;
  e.node_id = c.tag.node_id;
  e.recno = p.u32(recno_at);
  e.transaction_id = c.tag.transaction_id;
  e.session_id = c.tag.session_id;
  const uint32_t n = p.size();
  uint32_t at = FixRec_RECORD_SIZE;
  if (e.operation == fixrec_update_range && n - FixRec_RECORD_SIZE > 4) {
    e.has_range = true;
    e.range_offset = p.u16(range_ofs);
    e.range_length = p.u16(range_len);
    at = range_data;
  }
  e.data = p.at(at);
  e.size = n - at;
  c.records->record(c.tag, e);
}

void describe_prev_location(scan_context& c, payload_view p, uint32_t at) {
  JRN_LINE_IF(c, c.filter_opts.detail_level >= 2,
              "  prev.cluster = 0x%x\n  prev.offset = %d\n  prev.size = %d\n",
              hexf(fid::prev_cluster, p.u32(at)), i32f(fid::prev_offset, p.u16(at + 4)),
              i32f(fid::prev_size, p.u16(at + 6)));
}

void describe_fixrec(scan_context& c, payload_view p) {
  const bool detail = c.filter_opts.detail_level >= 2;
  describe_prev_location(c, p, prev_location);
  JRN_LINE(c, "  recno = %d\n", i32f(fid::recno, p.i32(recno_at)));
  JRN_LINE_IF(c, detail, "  start_page = 0x%x\n", hexf(fid::start_page, p.u32(start_page)));
  const uint8_t op = p.u8(op_at);
  JRN_LINE(c, "  opcode = %s (%d)\n",
           namef(fid::fixrec_op, fixrec_op_name(op), fixrec_op_known(op)),
           i32f(fid::fixrec_op_code, op));
  const uint32_t n = p.size();
  if (n == FixRec_RECORD_SIZE) return;
  uint32_t block = FixRec_RECORD_SIZE;
  if (op == fixrec_update_range && n - FixRec_RECORD_SIZE > 4) {
    JRN_LINE(c, "  data = %d bytes [ofs = %d, len = %d]\n",
             i32f(fid::data_size, static_cast<int>(n - range_data)),
             i32f(fid::range_offset, p.u16(range_ofs)), i32f(fid::range_length, p.u16(range_len)));
    block = range_data;
  } else {
    JRN_LINE(c, "  data = %d bytes\n",
             i32f(fid::data_size, static_cast<int>(n - FixRec_RECORD_SIZE)));
  }
  const uint32_t held = p.span(block, n);
  c.data(c.filter_opts.detail_level >= 1, fid::fixrec_data, p.at(block), held, held);
}

void describe_fixrec_meta(scan_context& c, payload_view p) {
  JRN_LINE(c, "  timestamp=%u\n  flist_head.page=0x%x item=%u\n",
           u32f(fid::meta_timestamp, p.u32(0)), hexf(fid::flist_head_page, p.u32(4)),
           u32f(fid::flist_head_item, p.u32(8)));
  JRN_LINE(c, "  first_recno=%u\n  last_recno=%u\n  new_recno=%u\n",
           u32f(fid::first_recno, p.u32(12)), u32f(fid::last_recno, p.u32(16)),
           u32f(fid::new_recno, p.u32(20)));
  JRN_LINE(c, "  num_records=%u\n  serial=%u\n", u32f(fid::num_records, p.u32(24)),
           u32f(fid::serial, p.u32(28)));
}

void describe_fixrec_newcluster(scan_context& c, payload_view p) {
  JRN_LINE(c, "  start_page = 0x%x\n", hexf(fid::start_page, p.u32(0)));
}

}  // namespace jrn
