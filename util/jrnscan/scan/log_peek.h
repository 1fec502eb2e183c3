// What a log's first bytes say about where it belongs, read without a
// scan: the file header's series (volume set id and volume generation) and
// file sequence, and the first tag's sequence and time; and what the last
// bytes of a file say about how its last log ended. Used to put the logs
// of an archive in order and to pass over files outside a time window
// before their bodies are read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jrn {

struct log_peek {
  bool is_log = false;  // the file header is one this tool reads
  int minor = 0;        // format version 1.minor
  uint32_t volume_set_id = 0;
  uint32_t volume_generation = 0;
  int32_t file_sequence = 0;
  int header_bytes = 0;
  bool has_first_tag = false;  // a whole tag header follows the file header
  uint8_t first_letter = 0;
  uint32_t first_sequence = 0;
  uint32_t first_timestamp = 0;
};

// Reads the file header and the first tag's header from the first n bytes
// of a log. A header the scan would refuse gives is_log false.
log_peek peek_log(const uint8_t* p, size_t n);

// The bytes a tag header takes, its type letter included.
constexpr size_t tag_header_bytes = 9;

struct end_peek {
  bool is_end = false;  // the bytes are an EOF_CONT or EOF_FINISH tag
  uint8_t letter = 0;
  uint32_t sequence = 0;
  uint32_t timestamp = 0;
};

// Reads the last tag_header_bytes bytes of a file as an end tag of a log
// of format version 1.minor (end tags have no body, so a log that ends
// well ends with one).
end_peek peek_end_tag(const uint8_t* last, int minor);

}  // namespace jrn
