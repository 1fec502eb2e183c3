// Handlers of the tags other than IMAGE, and what they share.
#pragma once

#include <cstdint>

namespace jrn {

struct scan_context;

int dump_slave_sync(scan_context& c);
int dump_page(scan_context& c);
int dump_cluster(scan_context& c);
int dump_nodemeta(scan_context& c);
int dump_before_image(scan_context& c);
int dump_audit(scan_context& c);
int dump_context(scan_context& c);

// Before-image, audit and context tags exist from version 1.01 on; an
// older log that holds one is refused with "unexpected <kind> record".
bool refused_before_101(scan_context& c, const char* kind);

// The 8-byte header of audit and context records: a number (session or
// node), a type, a reserved byte and the size of the body behind it.
struct typed_body_header {
  uint32_t id = 0;
  uint8_t type = 0;
  uint16_t size = 0;
};
// Reads it; prints fail_msg and returns false when it is cut short.
bool read_typed_header(scan_context& c, const char* fail_msg, typed_body_header* h);

// Whether a tag that is neither IMAGE nor SLAVE_SYNC is shown: no pattern,
// no page filter, and the record filter with the given values.
bool aux_tag_shown(scan_context& c, uint32_t transaction_id, int32_t node_id, int image_like);

}  // namespace jrn
