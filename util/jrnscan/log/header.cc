#include "log/header.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/run.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/out.h"

namespace jrn {

const char* charset_name(unsigned code) {
  switch (code) {
    case 0: return "hp-roman8";
    case 1: return "iso-8859-1";
    default: return "unknown";
  }
}

namespace {

// A header that could not be read because a read failed is not a bad
// format: the failure was reported where it happened.
int bad(const log_stream& in, const char* what) {
  if (in.error() != 0) return -1;
  diag("%s: bad file format\n", log_name);
  diag("%s", what);
  return -1;
}

// Parses a decimal number as strtol does; false when nothing converts or
// the value is out of range.
bool parse_number(const char* text, char** end, long* value) {
  errno = 0;
  *value = std::strtol(text, end, 10);
  return errno == 0 && *end != text;
}

}  // namespace

int read_fwlog_header(log_stream& in, int64_t* file_pos, fwlog_header* h) {
  *h = fwlog_header();
  uint8_t first[16];
  if (in.read(first, 16) != 16) return bad(in, "Unable to read file header signature\n");
  *file_pos += 16;
  std::memcpy(h->signature, first, 10);
  std::memcpy(h->version, first + 10, 6);

  if (std::memcmp(h->signature, "DRAV.FWAUD", 10) == 0)
    h->audit_only = 1;
  else if (std::memcmp(h->signature, "DRAV.FWLOG", 10) != 0)
    return bad(in, "Unsupported file signature\n");

  // The version text must end with a NUL inside its 6 bytes; the spare
  // terminator only keeps strtol inside the field.
  char text[7];
  std::memcpy(text, h->version, 6);
  text[6] = '\0';
  char* end = nullptr;
  long major = 0, minor = 0;
  if (!parse_number(text, &end, &major) || *end != '.' || major < INT32_MIN || major > INT32_MAX)
    return bad(in, "File major version not recognized\n");
  const char* minor_text = end + 1;
  if (!parse_number(minor_text, &end, &minor) || *end != '\0' || end == text + 6 ||
      minor < INT32_MIN || minor > INT32_MAX)
    return bad(in, "File minor version not recognized\n");
  h->major = static_cast<int>(major);
  h->minor = static_cast<int>(minor);
  if (h->major != 1 || h->minor > 5) {
    diag("%s: bad file format\n", log_name);
    diag("Unknown file version %d.%02d\n", h->major, h->minor);
    return -1;
  }

  if (h->minor >= 1) {
    if (read_counted(&h->byte_order, 2, 1, in, file_pos) != 1)
      return bad(in, "Unable to read file header byte order\n");
    if (h->byte_order != 1234) {
      diag("%s: incompatible file format\n", log_name);
      diag("Byte order does not match\n");
      return -1;
    }
    if (read_counted(&h->charset, 2, 1, in, file_pos) != 1)
      return bad(in, "Unable to read file header character set\n");
    if (read_counted(&h->release, 4, 1, in, file_pos) != 1)
      return bad(in, "Unable to read file header release\n");
  }
  if (read_counted(&h->volume_set_id, 4, 1, in, file_pos) != 1 ||
      read_counted(&h->volume_generation, 4, 1, in, file_pos) != 1 ||
      read_counted(&h->file_sequence, 4, 1, in, file_pos) != 1)
    return bad(in, "Unable to read file header\n");
  return 0;
}

void print_fwlog_header(const fwlog_header& h) {
  out_printf("\nFile: %s\n", log_name);
  if (h.audit_only) out_str("format: audit-only\n");
  out_printf("version: %d.%02d\n", h.major, h.minor);
  out_printf("byte order: %u\n", h.byte_order);
  out_printf("character set: %s (%u)\n", charset_name(h.charset), h.charset);
  out_printf("volume release: %u\n", h.release);
  out_printf("volume set id: 0x%x\n", h.volume_set_id);
  out_printf("volume generation: %u\n", h.volume_generation);
  out_printf("file sequence: %d\n", h.file_sequence);
}

}  // namespace jrn
