// What the handlers of the tags other than IMAGE share: page_buf, counted
// skipping, the version test, the audit and context header, the show test.
#include <cstring>

#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "tags/tags.h"

namespace jrn {

uint8_t page_buf[page_size];

bool skip_counted(uint32_t n, log_stream& in, int64_t* file_pos) {
  const size_t got = in.skip(n);
  if (got != n) return false;  // a failed read counts nothing
  *file_pos += n;
  return true;
}

bool refused_before_101(int major, int minor, const char* kind) {
  if (major > 1 || (major == 1 && minor >= 1)) return false;
  diag("unexpected %s record (file version %d.%02d)", kind, major, minor);
  return true;
}

bool read_typed_header(log_stream& in, int64_t* file_pos, const char* fail_msg,
                       typed_body_header* h) {
  uint8_t raw[8];
  if (read_counted(raw, sizeof raw, 1, in, file_pos) != 1) {
    diag("%s", fail_msg);
    return false;
  }
  std::memcpy(&h->id, raw, 4);
  h->type = raw[4];
  std::memcpy(&h->size, raw + 6, 2);
  return true;
}

bool aux_tag_shown(uint32_t transaction_id, int32_t node_id, int image_like) {
  return !filter_opts.pattern && filter_opts.page == 0 &&
         filter_match(transaction_id, node_id, image_like);
}

}  // namespace jrn
