#include "records/image.h"

#include <cstring>

#include "records/opcodes.h"
#include "scan/context.h"
#include "scan/format.h"

namespace jrn {

namespace {

constexpr uint32_t brief_dump_limit = 256;

// The size rule of one record, tested once however often it is asked
// (a failure is reported once anyway). This is the one validation of a
// record that the report, the summary and the check share. A record with
// no payload at all carries nothing that could break a rule (no decoder
// or probe reads it), except a FIXREC record, whose operation byte and
// record number the filters read.
class size_test {
 public:
  size_test(scan_context& c, const opcode_info& op, payload_view p, bool is_fixrec)
      : c_(c), op_(op), p_(p) {
    if (p.size() == 0 && !is_fixrec) state_ = 1;
  }
  bool ok() {
    if (state_ < 0) state_ = payload_size_ok(c_, op_, p_) ? 1 : 0;
    return state_ == 1;
  }

 private:
  scan_context& c_;
  const opcode_info& op_;
  payload_view p_;
  int state_ = -1;
};

// The size rule, then the counts, where the report would meet them.
bool checked_before(scan_context& c, const opcode_info& op, payload_view payload, size_test& size) {
  if (!size.ok()) return false;
  if (op.check && !op.check_after) op.check(c, payload);
  return true;
}

// The record header lines of a shown record.
void header_lines(scan_context& c, const opcode_info& op, bool brief) {
  const tag_summary& t = c.tag;
  JRN_LINE_IF(c, !brief, " opcode: %s (%d)\n", namef(fid::opcode, op.name, opcode_known(t.opcode)),
              i32f(fid::opcode_code, t.opcode));
  JRN_LINE(c, " transaction_id: %u\n session_id: %u\n", u32f(fid::transaction_id, t.transaction_id),
           u32f(fid::session_id, t.session_id));
  JRN_LINE_IF(c, !brief, " txn state: %s (%d)\n",
              namef(fid::txn_state, txn_state_name(t.txn_state), txn_state_known(t.txn_state)),
              i32f(fid::txn_state_code, t.txn_state));
  JRN_LINE(c, " node_id: %s\n", nodef(fid::node_id, t.node_id));
}

// A record whose payload is not there to test (cut short, or a FIXREC
// record too short for its fixed part) is shown in the report when the
// filters that need no payload pass it: it is not image-like, has no record
// number and concerns no page.
bool shown_without_payload(scan_context& c, const opcode_info& op, bool is_fixrec) {
  const filter_settings& f = c.filter_opts;
  const tag_summary& t = c.tag;
  if (!c.lines_wanted || !filter_match(f, t, t.transaction_id, t.node_id, 0)) return false;
  if ((is_fixrec && f.recno != 0) || f.page != 0) return false;
  if (f.pattern && !opcode_matches(f, op.name)) return false;
  if (!c.show(true) || !c.lines) return false;
  header_lines(c, op, brief_view(f));
  return true;
}

}  // namespace

int dump_image_record(scan_context& c) {
  if (c.major < 1 || (c.major == 1 && c.minor < 0)) {
    c.diag.message("record header: unexpected version %d.%02d\n", c.major, c.minor);
    return -1;
  }
  const bool short_header = (c.major == 1 && c.minor == 0);
  uint8_t raw[16];
  const size_t header_len = short_header ? 12 : 16;
  if (!c.read_exact(raw, header_len)) {
    c.diag.message("Unable to read record header\n");
    return -1;
  }
  rec_header h;
  h.opcode = raw[0];
  h.txn_state = raw[1];
  std::memcpy(&h.size, raw + 2, 2);
  std::memcpy(&h.node_id, raw + 4, 4);
  std::memcpy(&h.transaction_id, raw + 8, 4);
  if (!short_header) std::memcpy(&h.session_id, raw + 12, 4);
  // The record's facts are read here once, into the tag summary; the
  // filters and the lines below take them from there.
  tag_summary& t = c.tag;
  t.is_record = true;
  t.opcode = h.opcode;
  t.txn_state = h.txn_state;
  t.transaction_id = h.transaction_id;
  t.session_id = h.session_id;
  t.node_id = static_cast<int32_t>(h.node_id);

  const opcode_info& op = opcode_lookup(h.opcode);
  const bool is_fixrec = h.opcode == op_fixrec;
  // The payload, in place when it lies in the input's block.
  const uint8_t* data = nullptr;
  if (h.size != 0 && (data = c.in->view(h.size)) == nullptr) {
    shown_without_payload(c, op, is_fixrec);
    c.diag.message("Unable to read record data\n");
    return -1;
  }
  const payload_view payload(data, h.size);
  t.payload = data;
  t.payload_size = h.size;
  const filter_settings& f = c.filter_opts;

  size_test size(c, op, payload, is_fixrec);
  if (c.all_problems() && h.size != 0 && size.ok() && op.check) op.check(c, payload);

  // Filters, cheapest first; a dropped record is already consumed.
  int image_like = 0;
  if (is_fixrec) {
    if (!payload_size_fits(op, h.size)) {
      shown_without_payload(c, op, true);
      size.ok();  // malformed, whatever the filters say
      return 0;
    }
    image_like = fixrec_image_like(payload);
    if (c.records) observe_fixrec(c, payload);
  }
  if (!filter_match(f, t, t.transaction_id, t.node_id, image_like)) return 0;
  if (is_fixrec && f.recno != 0 && fixrec_recno(payload) != f.recno) return 0;
  if (f.page != 0) {
    // An empty payload concerns no page.
    if (!op.probe || h.size == 0 || !checked_before(c, op, payload, size) ||
        !op.probe(payload, f.page))
      return 0;
  }
  if (f.pattern && !opcode_matches(f, op.name)) return 0;

  // A back-end that only counts tags (the summary, the check) needs
  // nothing more: every item was validated above.
  if (!c.show(true) || !c.lines) return 0;
  header_lines(c, op, brief_view(f));
  if (h.size == 0) return 0;

  if (op.describe) {
    if (!checked_before(c, op, payload, size)) return 0;
    op.describe(c, payload);
    if (op.check && op.check_after) op.check(c, payload);
    return 0;
  }
  const bool detail = f.detail_level >= 2;
  uint32_t n = h.size;
  if (f.detail_level < 3 && n > brief_dump_limit) n = brief_dump_limit;
  JRN_LINE_IF(c, detail, " size: %d\n", i32f(fid::size, h.size));
  c.data(detail, fid::payload, data, h.size, n, n < h.size);
  return 0;
}

}  // namespace jrn
