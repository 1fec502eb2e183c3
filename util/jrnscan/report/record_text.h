// How the back-ends that follow fixed records (a record's history, a
// transaction's undo) write what they know of a record: its bytes as text
// or hexadecimal, where a content came from, what differs between two
// contents, and why the log leaves a content untold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/record_content.h"
#include "model/record_origin.h"
#include "report/out.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

// Whether each of the n bytes (n > 0) is printable in the log's character
// set: 0 hp-roman8, 1 ISO 8859-1; any other code: ASCII only.
bool all_printable(const uint8_t* p, size_t n, uint16_t charset);
// Whether JSON can carry the bytes as text: JSON strings take bytes above
// 0x7f as ISO 8859-1, right only for a log in that character set.
bool json_text_ok(const uint8_t* p, size_t n, uint16_t charset);

// The bytes as lower-case hexadecimal pairs.
void append_hex(const uint8_t* p, size_t n, std::string& out);
// A value as the text shows it: 'text' when every byte is printable in the
// character set, else x'hex'; at most `most` bytes of it, then "...";
// "(none)" for no bytes.
void append_value(const uint8_t* p, size_t n, uint16_t charset, size_t most, std::string& out);
// A range in which two contents differ, as a line of the text: "  byte 4: "
// or "  bytes 4..7: ", the old value (old_bytes null: "?", not known), " -> "
// and the new one.
void append_range_line(uint32_t offset, const uint8_t* old_bytes, uint32_t old_length,
                       const uint8_t* new_bytes, uint32_t new_length, uint16_t charset, size_t most,
                       std::string& out);

// What a note on a before-image says: "the before-image at offset N of
// LOG differs from the content after the change at ...", "... differs
// from the before-image at ...", "... is of a record deleted at ... and
// not put again".
std::string image_note_text(const image_note& n);
// The notes one after another, separated by sep.
std::string image_notes_text(const std::vector<image_note>& notes, const char* sep);
// The notes as lines of the text: "  note: ...".
void append_note_lines(const std::vector<image_note>& notes, std::string& out);

// The node's qualified name as a JSON string, or null when it has none.
void append_node_json(const node_map& names, int32_t node_id, std::string& out);

// -v: the contents before and after that are known and not empty, each in
// a hex dump under a line that gives its size.
void dump_contents(output& out, const record_content& before, const record_content& after);

}  // namespace jrn
