#include "tags/body_reader.h"

#include <cstdarg>
#include <cstdio>

#include "scan/context.h"

namespace jrn {

bool body_reader::field(void* dst, uint32_t width, const char* fail_fmt, ...) {
  if (sz_ >= width && c_.read_exact(dst, width)) {
    sz_ -= width;
    return true;
  }
  char msg[160];
  va_list ap;
  va_start(ap, fail_fmt);
  std::vsnprintf(msg, sizeof msg, fail_fmt, ap);
  va_end(ap);
  if (sz_ < width) return malformed(msg, "%u bytes left for a field of %u", sz_, width);
  c_.diag.message("%s", msg);
  result_ = -1;
  return false;
}

bool body_reader::malformed(const char* fail_msg, const char* detail_fmt, ...) {
  char detail[160];
  va_list ap;
  va_start(ap, detail_fmt);
  std::vsnprintf(detail, sizeof detail, detail_fmt, ap);
  va_end(ap);
  c_.diag.malformed(what_, c_.tag.offset, "%s", detail);
  skip_rest(fail_msg);
  return false;
}

bool body_reader::skip_rest(const char* fail_msg) {
  const uint32_t n = sz_;
  sz_ = 0;
  if (c_.skip(n)) return true;
  c_.diag.message("%s", fail_msg);
  result_ = -1;
  return false;
}

}  // namespace jrn
