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

// Whether a tag that is neither IMAGE nor SLAVE_SYNC is shown: no pattern,
// no page filter, and the record filter with the given values.
bool aux_tag_shown(uint32_t transaction_id, int32_t node_id, int image_like);

}  // namespace jrn
