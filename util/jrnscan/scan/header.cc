#include "scan/header.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "scan/context.h"

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
int bad(scan_context& c, const char* what) {
  if (c.in->error() != 0) return -1;
  c.diag.message("%s: bad file format\n", c.log_name);
  c.diag.message("%s", what);
  return -1;
}

// A field of the header, as the writer stored it.
template <typename T>
bool read_field(scan_context& c, T* v) {
  return c.in->read(v, sizeof(T)) == sizeof(T);
}

// Parses a decimal number as strtol does; false when nothing converts or
// the value is out of range.
bool parse_number(const char* text, char** end, long* value) {
  errno = 0;
  *value = std::strtol(text, end, 10);
  return errno == 0 && *end != text;
}

}  // namespace

header_start parse_header_start(const uint8_t* first, fwlog_header* h) {
  std::memcpy(h->signature, first, 10);
  std::memcpy(h->version, first + 10, 6);

  if (std::memcmp(h->signature, "DRAV.FWAUD", 10) == 0)
    h->audit_only = 1;
  else if (std::memcmp(h->signature, "DRAV.FWLOG", 10) != 0)
    return header_start::signature;

  // The version text must end with a NUL inside its 6 bytes; the spare
  // terminator only keeps strtol inside the field.
  char text[7];
  std::memcpy(text, h->version, 6);
  text[6] = '\0';
  char* end = nullptr;
  long major = 0, minor = 0;
  if (!parse_number(text, &end, &major) || *end != '.' || major < INT32_MIN || major > INT32_MAX)
    return header_start::major;
  const char* minor_text = end + 1;
  if (!parse_number(minor_text, &end, &minor) || *end != '\0' || end == text + 6 ||
      minor < INT32_MIN || minor > INT32_MAX)
    return header_start::minor;
  h->major = static_cast<int>(major);
  h->minor = static_cast<int>(minor);
  if (h->major != 1 || h->minor > 5) return header_start::unknown_version;
  return header_start::ok;
}

int read_fwlog_header(scan_context& c, fwlog_header* h) {
  *h = fwlog_header();
  uint8_t first[16];
  if (c.in->read(first, 16) != 16) return bad(c, "Unable to read file header signature\n");
  switch (parse_header_start(first, h)) {
    case header_start::ok: break;
    case header_start::signature: return bad(c, "Unsupported file signature\n");
    case header_start::major: return bad(c, "File major version not recognized\n");
    case header_start::minor: return bad(c, "File minor version not recognized\n");
    case header_start::unknown_version:
      c.diag.message("%s: bad file format\n", c.log_name);
      c.diag.message("Unknown file version %d.%02d\n", h->major, h->minor);
      return -1;
  }

  if (h->minor >= 1) {
    if (!read_field(c, &h->byte_order)) return bad(c, "Unable to read file header byte order\n");
    if (h->byte_order != 1234) {
      c.diag.message("%s: incompatible file format\n", c.log_name);
      c.diag.message("Byte order does not match\n");
      return -1;
    }
    if (!read_field(c, &h->charset)) return bad(c, "Unable to read file header character set\n");
    if (!read_field(c, &h->release)) return bad(c, "Unable to read file header release\n");
  }
  if (!read_field(c, &h->volume_set_id) || !read_field(c, &h->volume_generation) ||
      !read_field(c, &h->file_sequence))
    return bad(c, "Unable to read file header\n");
  h->bytes = c.file_pos();
  h->start = c.log_start;
  return 0;
}

}  // namespace jrn
