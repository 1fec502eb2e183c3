#include "model/stats_pages.h"

#include "records/opcodes.h"

namespace jrn {

uint32_t record_pages(uint8_t opcode, payload_view p, uint32_t* pages) {
  const opcode_info& op = opcode_lookup(opcode);
  if (!op.probe || p.size() == 0 || !payload_size_fits(op, p.size())) return 0;
  const page_fields& f = op.pages;
  uint32_t entries = 1;
  if (f.stride != 0) {
    entries = p.u32(0);
    if (entries > f.entries) entries = f.entries;
  }
  // What the probe does not take (a field of another operation, an empty
  // run) names no page; a page named twice counts once.
  uint32_t found = 0;
  for (uint32_t e = 0; e < entries; ++e) {
    for (uint32_t i = 0; i < f.count; ++i) {
      const uint32_t page = p.u32(f.at[i] + f.stride * e);
      if (page == 0 || !op.probe(p, page)) continue;
      bool again = false;
      for (uint32_t j = 0; j < found && !again; ++j) again = pages[j] == page;
      if (!again) pages[found++] = page;
    }
  }
  return found;
}

}  // namespace jrn
