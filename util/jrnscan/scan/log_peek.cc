#include "scan/log_peek.h"

#include <cstring>

#include "scan/format.h"
#include "scan/header.h"

namespace jrn {

namespace {

template <typename T>
T field_at(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

log_peek peek_log(const uint8_t* p, size_t n) {
  log_peek k;
  if (n < 16) return k;
  fwlog_header h;
  if (parse_header_start(p, &h) != header_start::ok) return k;
  const int minor = h.minor;
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
  // Version 1.0 (and a minor number below it) writes the type letter
  // behind the 8-byte header, later versions in front of it.
  const bool old_layout = minor < 1;
  const uint8_t* head = p + at + (old_layout ? 0 : 1);
  k.first_letter = old_layout ? p[at + 8] : p[at];
  k.first_sequence = field_at<uint32_t>(head);
  k.first_timestamp = field_at<uint32_t>(head + 4);
  k.has_first_tag = true;
  return k;
}

end_peek peek_end_tag(const uint8_t* last, int minor) {
  end_peek e;
  const bool old_layout = minor < 1;
  const uint8_t letter = old_layout ? last[8] : last[0];
  if (letter != tag_letter::eof_cont && letter != tag_letter::eof_finish) return e;
  const uint8_t* head = last + (old_layout ? 0 : 1);
  e.is_end = true;
  e.letter = letter;
  e.sequence = field_at<uint32_t>(head);
  e.timestamp = field_at<uint32_t>(head + 4);
  return e;
}

}  // namespace jrn
