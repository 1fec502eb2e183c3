// BEFORE_IMAGE: the data of one fixed record before a transaction changed
// it. Before-images count as image-like, so they show by default.
#include <cstring>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "records/opcodes.h"
#include "tags/tags.h"

namespace jrn {

int dump_before_image(log_stream& in, int major, int minor, int64_t* file_pos) {
  if (refused_before_101(major, minor, "before-image")) return -1;
  // rec: transaction, session, node, recno, opcode, a reserved byte, size.
  uint8_t rec[20];
  if (read_counted(rec, sizeof rec, 1, in, file_pos) != 1) {
    diag("Unable to read before-image header\n");
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

  const bool shown = aux_tag_shown(transaction_id, node_id, 1);
  if (shown) {
    print_tag_header(file_pos);
    out_printf(" transaction_id: %u\n session_id: %u\n", transaction_id, session_id);
    out_printf(" node_id: %s\n", node_display(node_id));
    out_printf(" recno: %u\n opcode: %s (%d)\n data: %u bytes\n", recno, fixrec_op_name(opcode),
               opcode, size);
  }
  if (size > page_size) {
    report_malformed("BEFORE_IMAGE tag", tag_offset, "data size %u exceeds %u", size, page_size);
    if (!skip_counted(size, in, file_pos)) {
      diag("Unable to read before-image data\n");
      return -1;
    }
    return 0;
  }
  if (!read_exact(page_buf, size, in, file_pos)) {
    diag("Unable to read before-image data\n");
    return -1;
  }
  if (shown && filter_opts.detail_level >= 1) dump_hex(page_buf, size);
  return 0;
}

}  // namespace jrn
