#include "records/image.h"

#include <cstdlib>
#include <cstring>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "records/opcodes.h"

namespace jrn {

namespace {

// One payload buffer for the whole run: grown to the largest payload seen,
// never shrunk.
struct {
  uint8_t* data = nullptr;
  int32_t capacity = 0;
} rec_buf;

constexpr uint32_t brief_dump_limit = 256;

}  // namespace

const char* txn_state_name(uint8_t state) {
  switch (state) {
    case 1: return "GLOBAL";
    case 2: return "BEGIN";
    case 3: return "END";
    case 4: return "BEGIN-END";
    case 5: return "TXN";
    default: return "** UNKNOWN STATE **";
  }
}

int dump_image_record(log_stream& in, int major, int minor, int64_t* file_pos) {
  if (major < 1 || (major == 1 && minor < 0)) {
    diag("record header: unexpected version %d.%02d\n", major, minor);
    return -1;
  }
  const bool short_header = (major == 1 && minor == 0);
  uint8_t raw[16];
  const size_t header_len = short_header ? 12 : 16;
  if (read_counted(raw, header_len, 1, in, file_pos) != 1) {
    diag("Unable to read record header\n");
    return -1;
  }
  rec_header h;
  h.opcode = raw[0];
  h.txn_state = raw[1];
  std::memcpy(&h.size, raw + 2, 2);
  std::memcpy(&h.node_id, raw + 4, 4);
  std::memcpy(&h.transaction_id, raw + 8, 4);
  if (!short_header) std::memcpy(&h.session_id, raw + 12, 4);

  if (h.size != 0) {
    if (h.size > rec_buf.capacity) {
      void* grown = std::realloc(rec_buf.data, h.size);
      if (!grown) {
        diag_perror("realloc");
        diag("Unable to allocate %d bytes\n", h.size);
        return -1;
      }
      rec_buf.data = static_cast<uint8_t*>(grown);
      rec_buf.capacity = h.size;
    }
    if (read_counted(rec_buf.data, h.size, 1, in, file_pos) != 1) {
      diag("Unable to read record data\n");
      return -1;
    }
  }
  const payload_view payload(rec_buf.data, h.size);
  const opcode_info& op = opcode_lookup(h.opcode);
  const bool is_fixrec = h.opcode == 13;

  // Filters, cheapest first; a dropped record is already consumed.
  int image_like = 0;
  if (is_fixrec) {
    if (!payload_size_ok(op, payload)) return 0;
    image_like = fixrec_image_like(payload);
  }
  if (!filter_match(h.transaction_id, static_cast<int32_t>(h.node_id), image_like)) return 0;
  if (is_fixrec && !fixrec_recno_match(payload)) return 0;
  if (filter_opts.page != 0) {
    if (!op.probe || !payload_size_ok(op, payload) || !op.probe(payload)) return 0;
  }
  if (filter_opts.pattern && !pattern_match(op.name, static_cast<int>(std::strlen(op.name)),
                                            filter_opts.pattern, filter_opts.pattern_len, 0))
    return 0;

  // The record is shown.
  print_tag_header(file_pos);
  const bool brief = brief_view();
  if (!brief) out_printf(" opcode: %s (%d)\n", op.name, h.opcode);
  out_printf(" transaction_id: %u\n session_id: %u\n", h.transaction_id, h.session_id);
  if (!brief) out_printf(" txn state: %s (%d)\n", txn_state_name(h.txn_state), h.txn_state);
  out_printf(" node_id: %s\n", node_display(static_cast<int32_t>(h.node_id)));
  if (h.size == 0) return 0;

  if (op.print) {
    if (payload_size_ok(op, payload)) op.print(payload);
    return 0;
  }
  if (filter_opts.detail_level >= 2) {
    uint32_t n = h.size;
    if (filter_opts.detail_level < 3 && n > brief_dump_limit) n = brief_dump_limit;
    out_printf(" size: %d\n", h.size);
    dump_hex(rec_buf.data, n);
    if (n < h.size) out_str("...\n");
  }
  return 0;
}

}  // namespace jrn
