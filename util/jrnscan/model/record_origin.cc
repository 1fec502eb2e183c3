#include "model/record_origin.h"

#include <cstdio>

namespace jrn {

const char unreadable_fixrec_why[] =
    "a FIXREC record of the node could not be read, so whether it changed the record is not "
    "known";

std::string offset_in(int64_t offset, const char* log) {
  char num[32];
  std::snprintf(num, sizeof num, "%lld", static_cast<long long>(offset));
  return std::string("offset ") + num + " of " + log;
}

std::string origin_text(const content_origin& o) {
  std::string s;
  switch (o.kind) {
    case content_origin::after_image: s = "the after-image at "; break;
    case content_origin::before_image: s = "the before-image at "; break;
    case content_origin::deleted: s = "deleted at "; break;
    case content_origin::untold: return "at " + offset_in(o.offset, o.log) + ": " + o.why;
    default: return "no change of it was read";
  }
  s += offset_in(o.offset, o.log);
  if (o.patches) {
    char n[48];
    std::snprintf(n, sizeof n, ", with %u patch%s since", o.patches, o.patches == 1 ? "" : "es");
    s += n;
  }
  return s;
}

const char* unread_log_why(log_end how) {
  switch (how) {
    case log_end::input_inside:
      return "the log ends inside a tag: a change of the record there cannot be ruled out";
    case log_end::body_failure:
      return "a tag of the log could not be read to its end: a change of the record there "
             "cannot be ruled out";
    case log_end::read_failure:
      return "the input could not be read on: a change of the record there cannot be ruled out";
    case log_end::unknown_letter:
      return "the rest of the log (behind a tag letter of no kind) is not read: a change of the "
             "record there cannot be ruled out";
    case log_end::header_failure:
      return "the log's file header was refused, so none of it is read: a change of the record "
             "there cannot be ruled out";
    default: return nullptr;
  }
}

}  // namespace jrn
