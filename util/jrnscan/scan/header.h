// The file header that opens every log.
#pragma once

#include <cstdint>

namespace jrn {

struct scan_context;

struct fwlog_header {
  char signature[10] = {};
  char version[6] = {};
  uint16_t byte_order = 1234;
  uint16_t charset = 65535;
  uint32_t release = 0;
  uint32_t volume_set_id = 0;
  uint32_t volume_generation = 0;
  int32_t file_sequence = 0;
  int major = 0;
  int minor = 0;
  int audit_only = 0;  // "DRAV.FWAUD": an audit-only log
  int64_t bytes = 0;   // bytes the header takes in the log
  int64_t start = 0;   // input offset of the log's first byte
};

// Which check of a header's first 16 bytes (its signature and version
// text) fails, if any.
enum class header_start { ok, signature, major, minor, unknown_version };
// Parses the signature and the version text from the first 16 bytes of a
// log into h (signature, version, audit_only, major, minor). The scan and
// the look into a file before it is read both take a log by this.
header_start parse_header_start(const uint8_t* first, fwlog_header* h);

const char* charset_name(unsigned code);
// Reads and checks the header; prints the two-line message and returns -1
// when a check fails.
int read_fwlog_header(scan_context& c, fwlog_header* h);

}  // namespace jrn
