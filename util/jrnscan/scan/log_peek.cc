#include "scan/log_peek.h"

#include <cstring>

#include "scan/format.h"

namespace jrn {

namespace {

template <typename T>
T field_at(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The version text "1.N" with its NUL inside the 6 bytes, as the scan
// accepts it; -1 for any other.
int minor_of(const uint8_t* version) {
  if (version[0] != '1' || version[1] != '.') return -1;
  int minor = 0;
  size_t i = 2;
  for (; i < 6 && version[i] >= '0' && version[i] <= '9'; ++i) {
    minor = minor * 10 + (version[i] - '0');
    if (minor > 5) return -1;
  }
  if (i == 2 || i == 6 || version[i] != '\0') return -1;
  return minor;
}

}  // namespace

log_peek peek_log(const uint8_t* p, size_t n) {
  log_peek k;
  if (n < 16) return k;
  if (std::memcmp(p, "DRAV.FWLOG", 10) != 0 && std::memcmp(p, "DRAV.FWAUD", 10) != 0) return k;
  const int minor = minor_of(p + 10);
  if (minor < 0) return k;
  size_t at = 16;
  if (minor >= 1) {
    if (n < at + 8 || field_at<uint16_t>(p + at) != 1234) return k;
    at += 8;
  }
  if (n < at + 12) return k;
  k.volume_set_id = field_at<uint32_t>(p + at);
  k.volume_generation = field_at<uint32_t>(p + at + 4);
  k.file_sequence = field_at<int32_t>(p + at + 8);
  at += 12;
  k.is_log = true;
  k.minor = minor;
  k.header_bytes = static_cast<int>(at);
  if (n < at + tag_header_bytes) return k;
  // Version 1.0 writes the type letter behind the 8-byte header, later
  // versions in front of it.
  const uint8_t* head = p + at + (minor == 0 ? 0 : 1);
  k.first_letter = minor == 0 ? p[at + 8] : p[at];
  k.first_sequence = field_at<uint32_t>(head);
  k.first_timestamp = field_at<uint32_t>(head + 4);
  k.has_first_tag = true;
  return k;
}

end_peek peek_end_tag(const uint8_t* last, int minor) {
  end_peek e;
  const uint8_t letter = minor == 0 ? last[8] : last[0];
  if (letter != tag_letter::eof_cont && letter != tag_letter::eof_finish) return e;
  const uint8_t* head = last + (minor == 0 ? 0 : 1);
  e.is_end = true;
  e.letter = letter;
  e.sequence = field_at<uint32_t>(head);
  e.timestamp = field_at<uint32_t>(head + 4);
  return e;
}

}  // namespace jrn
