// The log reader: file header, then the tag stream with one dispatch on the
// tag's type letter.
#pragma once

#include <cstdint>

namespace jrn {

struct scan_context;

// A tag body handler: reads its whole body, shown or not; 0 to go on, -1
// after a failure it reported itself.
using tag_handler = int (*)(scan_context& c);

struct tag_kind {
  const char* name;     // printed on the tag line
  tag_handler handler;  // null: no body (end tags, unknown letters)
};
const tag_kind& tag_kind_of(uint8_t letter);

// Reads one log from the input: 1 when its tag stream ended, -1 when its
// header or a handler failed. Sets log_continues when another log follows.
int scan_log(scan_context& c);

class byte_source;

// Scans one input (every log in it) as the log named log_name: the entry
// that the driver, the fuzzer and the tests share. Failed reads are said
// with the log name and offset; the report is flushed before a read waits.
int scan_input(scan_context& c, byte_source& in, const char* log_name);

// Scans every log in the context's input; 1 when a log failed or a read
// failed, else 0 (malformed items are counted by the diagnostics).
int scan_stream(scan_context& c);

}  // namespace jrn
