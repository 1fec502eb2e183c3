// BEFORE_IMAGE: the data of one fixed record before a transaction changed
// it. Before-images count as image-like, so they show by default.
#include <cstring>

#include "records/opcodes.h"
#include "scan/context.h"
#include "tags/tags.h"

namespace jrn {

int dump_before_image(scan_context& c) {
  if (refused_before_101(c, "before-image")) return -1;
  // rec: transaction, session, node, recno, opcode, a reserved byte, size.
  uint8_t rec[20];
  if (!c.read_exact(rec, sizeof rec)) {
    c.diag.message("Unable to read before-image header\n");
    return -1;
  }
  uint32_t transaction_id, session_id, recno;
  int32_t node_id;
  uint16_t size;
  std::memcpy(&transaction_id, rec, 4);
  std::memcpy(&session_id, rec + 4, 4);
  std::memcpy(&node_id, rec + 8, 4);
  std::memcpy(&recno, rec + 12, 4);
  const uint8_t opcode = rec[16];
  std::memcpy(&size, rec + 18, 2);
  // The facts the back-ends share are read once, into the tag summary.
  tag_summary& t = c.tag;
  t.transaction_id = transaction_id;
  t.session_id = session_id;
  t.node_id = node_id;

  const bool shown = c.show(aux_tag_shown(c, t.transaction_id, t.node_id, 1));
  JRN_LINE(c, " transaction_id: %u\n session_id: %u\n", u32f(fid::transaction_id, t.transaction_id),
           u32f(fid::session_id, t.session_id));
  JRN_LINE(c, " node_id: %s\n", nodef(fid::node_id, t.node_id));
  JRN_LINE(c, " recno: %u\n opcode: %s (%d)\n data: %u bytes\n", u32f(fid::recno, recno),
           namef(fid::fixrec_op, fixrec_op_name(opcode), fixrec_op_known(opcode)),
           i32f(fid::fixrec_op_code, opcode), u32f(fid::data_size, size));
  if (size > page_size) {
    c.diag.malformed("BEFORE_IMAGE tag", c.tag.offset, "data size %u exceeds %u", size, page_size);
    if (!c.skip(size)) {
      c.diag.message("Unable to read before-image data\n");
      return -1;
    }
    return 0;
  }
  // The bytes are looked at when the tag is shown or a back-end follows
  // records; otherwise passed over.
  const bool wanted = shown || c.records != nullptr;
  const uint8_t* data = nullptr;
  if (wanted && size != 0) data = c.in->view(size);
  if (wanted ? (size != 0 && data == nullptr) : !c.skip(size)) {
    c.diag.message("Unable to read before-image data\n");
    return -1;
  }
  if (c.records) {
    record_event e;
    e.kind = record_event::before_image;
    e.operation = opcode;
    e.node_id = node_id;
    e.recno = recno;
    e.transaction_id = transaction_id;
    e.session_id = session_id;
    e.data = data;
    e.size = size;
    c.records->record(c.tag, e);
  }
  c.data(c.filter_opts.detail_level >= 1, fid::before_data, data, size, size);
  return 0;
}

}  // namespace jrn
