// What the handlers of the tags other than IMAGE share: the version test,
// the audit and context header, the show test.
#include <cstring>

#include "scan/context.h"
#include "tags/tags.h"

namespace jrn {

bool refused_before_101(scan_context& c, const char* kind) {
  if (c.major > 1 || (c.major == 1 && c.minor >= 1)) return false;
  c.diag.message("unexpected %s record (file version %d.%02d)", kind, c.major, c.minor);
  return true;
}

bool read_typed_header(scan_context& c, const char* fail_msg, typed_body_header* h) {
  uint8_t raw[8];
  if (!c.read_exact(raw, sizeof raw)) {
    c.diag.message("%s", fail_msg);
    return false;
  }
  std::memcpy(&h->id, raw, 4);
  h->type = raw[4];
  std::memcpy(&h->size, raw + 6, 2);
  return true;
}

bool aux_tag_shown(scan_context& c, uint32_t transaction_id, int32_t node_id, int image_like) {
  const filter_settings& f = c.filter_opts;
  return !f.pattern && f.page == 0 && filter_match(f, c.tag, transaction_id, node_id, image_like);
}

}  // namespace jrn
