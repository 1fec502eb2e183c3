// The one table of IMAGE record operation codes: name, payload size rule,
// printer and page probe of each of the 256 codes.
#pragma once

#include <cstdint>

#include "records/payload.h"

namespace jrn {

// Prints a payload's fields (the size rule already holds); returns 0.
using payload_printer = int (*)(payload_view payload);
// 1 when the record concerns the page of the page filter.
using page_probe = int (*)(payload_view payload);

enum class size_rule : uint8_t { any, exactly, at_least };

struct opcode_info {
  const char* name;
  size_rule rule;
  uint32_t rule_size;
  payload_printer print;  // null: shown as a hex dump from -vv on
  page_probe probe;       // null: never shown under -p
};

const opcode_info& opcode_lookup(uint8_t opcode);

// Checks the opcode's size rule; reports a malformed record and returns
// false when the payload breaks it.
bool payload_size_ok(const opcode_info& op, payload_view payload);

// FIXREC tests used while filtering (the payload must hold 17 bytes).
constexpr uint32_t FixRec_RECORD_SIZE = 17;
int fixrec_image_like(payload_view payload);
int fixrec_recno_match(payload_view payload);
const char* fixrec_op_name(uint8_t op);

}  // namespace jrn
