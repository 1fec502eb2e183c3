// Volume and serial records: VOL_EXTEND (a volume grew; a list of 32-bit
// entries follows) and FWR_SERIAL (the forward log's serial numbers).
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/out.h"
#include "records/decoders.h"

namespace jrn {

int print_vol_extend(payload_view p) {
  const uint32_t free_count = p.u32(12);
  out_printf("  volume_id=%u curr_size=%u ext_count=%u free_count=%u\n", p.u32(0), p.u32(4),
             p.u32(8), free_count);
  const uint32_t held = (p.size() - 16) / 4;
  const uint32_t shown = free_count < held ? free_count : held;
  if (filter_opts.detail_level >= 1 && shown > 0) {
    static const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < shown; ++i) {
      char* q = out_reserve(12);
      char* const start = q;
      if (i % 8 == 0) {
        *q++ = ' ';
        *q++ = ' ';
      }
      const uint32_t v = p.u32(16 + 4 * i);
      *q++ = ' ';
      for (int d = 7; d >= 0; --d) *q++ = digits[(v >> (4 * d)) & 15];
      if (i % 8 == 7 || i + 1 == shown) *q++ = '\n';
      out_commit(static_cast<size_t>(q - start));
    }
  }
  if (free_count > held)
    report_malformed("IMAGE record", tag_offset,
                     "VOL_EXTEND free_count %u exceeds the %u entries held", free_count, held);
  return 0;
}

int print_fwr_serial(payload_view p) {
  out_printf("  generation=%u sequence=%u serial=%u\n", p.u32(0), p.u32(4), p.u32(8));
  return 0;
}

}  // namespace jrn
