// IMAGE tags: one transaction-log record each.
#pragma once

#include <cstdint>

namespace jrn {

struct scan_context;

// The record header as stored: 16 bytes, 12 in version 1.00 logs (which
// have no session id).
struct rec_header {
  uint8_t opcode = 0;
  uint8_t txn_state = 0;
  uint16_t size = 0;  // payload bytes behind the header
  uint32_t node_id = 0;
  uint32_t transaction_id = 0;
  uint32_t session_id = 0;
};

int dump_image_record(scan_context& c);

}  // namespace jrn
