#include "tags/body_reader.h"

#include <cstdarg>
#include <cstdio>

#include "log/scan.h"
#include "output/diag.h"
#include "tags/tags.h"

namespace jrn {

bool body_reader::field(void* dst, uint32_t width, const char* fail_fmt, ...) {
  if (sz_ >= width && read_exact(dst, width, in_, file_pos_)) {
    sz_ -= width;
    return true;
  }
  char msg[160];
  va_list ap;
  va_start(ap, fail_fmt);
  std::vsnprintf(msg, sizeof msg, fail_fmt, ap);
  va_end(ap);
  if (sz_ < width) return malformed(msg, "%u bytes left for a field of %u", sz_, width);
  diag("%s", msg);
  result_ = -1;
  return false;
}

bool body_reader::malformed(const char* fail_msg, const char* detail_fmt, ...) {
  char detail[160];
  va_list ap;
  va_start(ap, detail_fmt);
  std::vsnprintf(detail, sizeof detail, detail_fmt, ap);
  va_end(ap);
  report_malformed(what_, tag_offset, "%s", detail);
  skip_rest(fail_msg);
  return false;
}

bool body_reader::skip_rest(const char* fail_msg) {
  const uint32_t n = sz_;
  sz_ = 0;
  if (skip_counted(n, in_, file_pos_)) return true;
  diag("%s", fail_msg);
  result_ = -1;
  return false;
}

}  // namespace jrn
