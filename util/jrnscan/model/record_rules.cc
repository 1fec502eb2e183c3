#include "model/record_rules.h"

#include <cstdarg>
#include <cstdio>

namespace jrn {

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char text[200];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  return text;
}

}  // namespace

const char cut_image_reason[] =
    "the before-image holds 8192 bytes, the most one can: the record may be longer";

std::string untold_reason(const change_rule& r, const record_event& e, content_state st,
                          uint32_t length) {
  switch (r.why) {
    case change_rule::put_empty: return "the PUT carries no data bytes";
    case change_rule::update_empty: return "the UPDATE carries no data bytes";
    case change_rule::update_no_data: return "UPDATE_NO_DATA does not carry the new data";
    case change_rule::put_no_data: return "PUT_NO_DATA does not carry the data";
    case change_rule::range_no_header:
      return format("an UPDATE_RANGE of %u bytes has no range header, so where they go is not told",
                    static_cast<unsigned>(e.size));
    case change_rule::range_mismatch:
      return format("its range header says %u bytes at offset %u, but %u follow",
                    unsigned{e.range_length}, unsigned{e.range_offset},
                    static_cast<unsigned>(e.size));
    case change_rule::code_unknown:
      return format("operation code %u is not one whose effect on the record is known",
                    unsigned{e.operation});
    case change_rule::none: break;
  }
  // A patch that does not fit the content.
  if (st == content_state::absent) return "it patches a record that does not exist";
  if (st == content_state::unknown) return "the content it patches is not known";
  return format("it writes bytes %u to %u, beyond the %u bytes the record was known to have",
                unsigned{e.range_offset}, uint32_t{e.range_offset} + e.size - 1,
                static_cast<unsigned>(length));
}

}  // namespace jrn
