// Volume and serial records: VOL_EXTEND (a volume grew; a list of 32-bit
// entries follows) and FWR_SERIAL (the forward log's serial numbers).
#include "records/decoders.h"
#include "scan/context.h"

namespace jrn {

namespace {

uint32_t entries_held(payload_view p) { return (p.size() - 16) / 4; }

}  // namespace

void describe_vol_extend(scan_context& c, payload_view p) {
  const uint32_t free_count = p.u32(12);
  JRN_LINE(c, "  volume_id=%u curr_size=%u ext_count=%u free_count=%u\n",
           u32f(fid::volume_id, p.u32(0)), u32f(fid::curr_size, p.u32(4)),
           u32f(fid::ext_count, p.u32(8)), u32f(fid::free_count, free_count));
  const uint32_t held = entries_held(p);
  const uint32_t shown = free_count < held ? free_count : held;
  c.words(c.filter_opts.detail_level >= 1 && shown > 0, fid::free_entries, p.at(16), shown);
}

void check_vol_extend(scan_context& c, payload_view p) {
  const uint32_t free_count = p.u32(12);
  const uint32_t held = entries_held(p);
  if (free_count > held)
    c.diag.malformed("IMAGE record", c.tag.offset,
                     "VOL_EXTEND free_count %u exceeds the %u entries held", free_count, held);
}

void describe_fwr_serial(scan_context& c, payload_view p) {
  JRN_LINE(c, "  generation=%u sequence=%u serial=%u\n", u32f(fid::generation, p.u32(0)),
           u32f(fid::serial_sequence, p.u32(4)), u32f(fid::serial, p.u32(8)));
}

}  // namespace jrn
