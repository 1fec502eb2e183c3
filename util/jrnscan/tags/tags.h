// Handlers of the tags other than IMAGE, and what they share.
#pragma once

#include <cstdint>

#include "log/stream.h"

namespace jrn {

// The page size; every page image of a PAGE or CLUSTER tag has this size.
constexpr uint32_t page_size = 8192;
// One buffer for the variable parts of tag bodies.
extern uint8_t page_buf[page_size];

int dump_slave_sync(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_page(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_cluster(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_nodemeta(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_before_image(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_audit(log_stream& in, int major, int minor, int64_t* file_pos);
int dump_context(log_stream& in, int major, int minor, int64_t* file_pos);

// Skips n body bytes that are not shown, counted; false when the input
// ended first.
bool skip_counted(uint32_t n, log_stream& in, int64_t* file_pos);

// Before-image, audit and context tags exist from version 1.01 on; an
// older log that holds one is refused with "unexpected <kind> record".
bool refused_before_101(int major, int minor, const char* kind);

// The 8-byte header of audit and context records: a number (session or
// node), a type, a reserved byte and the size of the body behind it.
struct typed_body_header {
  uint32_t id = 0;
  uint8_t type = 0;
  uint16_t size = 0;
};
// Reads it, counted; prints fail_msg and returns false when it is cut short.
bool read_typed_header(log_stream& in, int64_t* file_pos, const char* fail_msg,
                       typed_body_header* h);

// Whether a tag that is neither IMAGE nor SLAVE_SYNC is shown: no pattern,
// no page filter, and the record filter with the given values.
bool aux_tag_shown(uint32_t transaction_id, int32_t node_id, int image_like);

}  // namespace jrn
