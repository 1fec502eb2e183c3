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

const char* charset_name(unsigned code);
// Reads and checks the header; prints the two-line message and returns -1
// when a check fails.
int read_fwlog_header(scan_context& c, fwlog_header* h);

}  // namespace jrn
