// The log reader: file header, then the tag stream with one dispatch on the
// tag's type letter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log/stream.h"

namespace jrn {

// The 9-byte opening of every tag: type letter, sequence and timestamp.
struct tag_header {
  uint8_t type = 0;
  uint32_t sequence = 0;
  uint32_t timestamp = 0;  // seconds since 1970-01-01 00:00:00 UTC
};
// The latest tag read; the filters and print_tag_header look at it.
extern tag_header current_tag;
// Log offset at which the current tag starts, for messages about it.
extern int64_t tag_offset;
// Input position of the current log's first byte: log offsets count from
// there.
extern int64_t log_start;

// A tag body handler: reads its whole body, shown or not; 0 to go on, -1
// after a failure it reported itself.
using tag_handler = int (*)(log_stream& in, int major, int minor, int64_t* file_pos);

struct tag_kind {
  const char* name;     // printed on the tag line
  tag_handler handler;  // null: no body (end tags, unknown letters)
};
const tag_kind& tag_kind_of(uint8_t letter);

// fread-like read of count items of size bytes; adds what it delivered as
// whole items to *file_pos and returns the number of whole items.
inline size_t read_counted(void* buf, size_t size, size_t count, log_stream& in,
                           int64_t* file_pos) {
  size_t got = in.read(buf, size * count);
  size_t items = size ? got / size : 0;
  *file_pos += static_cast<int64_t>(items * size);
  return items;
}
// Reads exactly n bytes, counted; false when the input ended first.
inline bool read_exact(void* buf, size_t n, log_stream& in, int64_t* file_pos) {
  if (n == 0) return true;
  return read_counted(buf, n, 1, in, file_pos) == 1;
}

// "%Y-%m-%d %H:%M:%S" in local time; the text lives until the next call.
const char* format_time(uint32_t t);

// The opening lines of a shown tag.
void print_tag_header(const int64_t* file_pos);

// Reads one log from the stream: 1 when its tag stream ended, -1 when its
// header or a handler failed. Sets log_continues when another log follows.
int scan_log(log_stream& in);

}  // namespace jrn
