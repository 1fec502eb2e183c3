// --as-of: the content each followed record had at that moment, and where
// it comes from, settled at the first change after the moment or at the end.
#include <cstring>
#include <string>

#include "model/record_history.h"
#include "model/record_origin.h"
#include "records/opcodes.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char* origin_word(const content_origin& o) {
  switch (o.kind) {
    case content_origin::after_image: return o.patches ? "patched" : "after_image";
    case content_origin::before_image: return o.patches ? "patched" : "before_image";
    case content_origin::deleted: return "deleted";
    default: return "unknown";
  }
}

}  // namespace

// The first change after the --as-of moment: the content before it (its
// before-image, or what the changes before left) is the answer.
void record_history::settle_before_change(followed_record& r, const tag_summary& t,
                                          const record_event& e) {
  settle_as_of(r);
  if (before_input()) {
    // Nothing read tells the record's content before the input.
  } else if (r.at.state == record_content::unknown && r.at_origin.kind == content_origin::none &&
             e.operation == fixrec_put) {
    // A PUT makes a record that did not exist before.
    r.at.set_absent();
    r.source = "before_put";
    r.at_origin = content_origin();
    r.at_origin.kind = content_origin::deleted;
    r.at_origin.offset = t.offset;
    r.at_origin.log = log_;
    r.reason.clear();
  } else if (std::strcmp(r.source, "unknown") == 0) {
    r.reason += "; the first change after that moment, the ";
    r.reason += fixrec_op_name(e.operation);
    r.reason += " at " + offset_in(t.offset, log_) + ", has no before-image";
  }
}

// The content at the --as-of moment: what the changes up to it left, or
// the before-image read since.
void record_history::settle_as_of(followed_record& r) {
  r.settled = true;
  r.charset = charset_;
  if (before_input()) {
    // Before the first tag of the series: no later before-image tells
    // what the record held then.
    r.at.set_unknown();
    r.at_origin = content_origin();
    r.source = "unknown";
    r.reason = std::string("the input begins at ") + format_time(begins_, opt_.utc).c_str();
    return;
  }
  const record_content& c = r.content.content();
  const content_origin& o = r.content.origin();
  const record_content* image = r.content.pending_image();
  if (c.is_known()) {
    r.at = c;
    r.at_origin = o;
    r.source = origin_word(o);
    if (image && image->is_known() && !image->same_as(c))
      r.note = "the before-image at " +
               offset_in(r.content.pending_origin().offset, r.content.pending_origin().log) +
               " differs from it";
    return;
  }
  if (image && image->is_known()) {
    r.at = *image;
    r.at_origin = r.content.pending_origin();
    r.source = "before_image";
    return;
  }
  if (image) {
    // A before-image that may have been cut.
    r.at = *image;
    r.at_origin = r.content.pending_origin();
    r.source = "unknown";
    r.reason = origin_text(r.at_origin);
    return;
  }
  r.at = c;
  r.at_origin = o;
  if (c.state == record_content::absent) {
    r.source = "deleted";
    return;
  }
  r.source = "unknown";
  if (o.kind == content_origin::none)
    r.reason = "no change of the record was read up to that moment";
  else
    r.reason = "at " + offset_in(o.offset, o.log) + ": " + o.why;
}

void record_history::settle_at_end(followed_record& r) {
  if (r.settled) return;
  // No change after the moment: what the input left is the answer.
  settle_as_of(r);
  if (std::strcmp(r.source, "unknown") == 0 && r.content.origin().kind != content_origin::none)
    r.reason += "; and no later change with a before-image was read";
}

}  // namespace jrn
