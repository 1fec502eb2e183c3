// The one table of IMAGE record operation codes: name, payload size rule,
// describer, count check, page probe and page fields of each of the 256
// codes.
#pragma once

#include <cstdint>

#include "records/payload.h"
#include "scan/format.h"

namespace jrn {

struct scan_context;

// Describes a payload's fields (the size rule already holds).
using payload_describer = void (*)(scan_context& c, payload_view payload);
// Reports counts in a payload that name more data than it holds.
using payload_check = void (*)(scan_context& c, payload_view payload);
// 1 when the record concerns the given page.
using page_probe = int (*)(payload_view payload, uint32_t page);

enum class size_rule : uint8_t { any, exactly, at_least };

// The fields of a payload that hold page numbers, by offset (the pages a
// record names, for the table of the pages written most): up to three
// fields; with a stride, the same fields again in each of up to `entries`
// entries of `stride` bytes, as many as the 4-byte count at offset 0 says.
struct page_fields {
  uint8_t count = 0;
  uint16_t at[3] = {};
  uint8_t stride = 0;
  uint8_t entries = 1;
};

struct opcode_info {
  const char* name;
  size_rule rule;
  uint32_t rule_size;
  payload_describer describe;  // null: shown as a hex dump from -vv on
  page_probe probe;            // null: never shown under -p
  payload_check check;         // null: nothing beyond the size rule
  // The report says a count is wrong after the lines it could show
  // (the item's bytes dumped as far as they go) rather than before.
  bool check_after = false;
  page_fields pages = {};  // none: names no page (a probe must find them)
};

const opcode_info& opcode_lookup(uint8_t opcode);
// Whether the code has a name of its own (the others show a placeholder).
bool opcode_known(uint8_t opcode);

// Whether a payload of n bytes keeps the opcode's size rule.
inline bool payload_size_fits(const opcode_info& op, uint32_t n) {
  return !(op.rule == size_rule::exactly && n != op.rule_size) &&
         !(op.rule == size_rule::at_least && n < op.rule_size);
}
// Checks the opcode's size rule; reports a malformed record and returns
// false when the payload breaks it.
bool payload_size_ok(scan_context& c, const opcode_info& op, payload_view payload);

// FIXREC tests used while filtering (the payload must hold 17 bytes).
constexpr uint32_t FixRec_RECORD_SIZE = 17;
int fixrec_image_like(payload_view payload);
uint32_t fixrec_recno(payload_view payload);
// Tells the context's record observer of a FIXREC record (payload of at
// least FixRec_RECORD_SIZE bytes).
void observe_fixrec(scan_context& c, payload_view payload);

}  // namespace jrn
