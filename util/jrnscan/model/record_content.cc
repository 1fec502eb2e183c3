#include "model/record_content.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

content_origin origin_at(content_origin::kind_t kind, const tag_summary& t, const char* log) {
  content_origin o;
  o.kind = kind;
  o.offset = t.offset;
  o.log = log;
  o.timestamp = t.timestamp;
  return o;
}

}  // namespace

void diff_bytes(const uint8_t* a, uint32_t an, const uint8_t* b, uint32_t bn,
                std::vector<byte_range>& out, uint32_t merge_gap) {
  out.clear();
  const uint32_t common = std::min(an, bn);
  uint32_t i = 0;
  while (i < common) {
    if (a[i] == b[i]) {
      ++i;
      continue;
    }
    uint32_t end = i + 1;
    while (end < common && a[end] != b[end]) ++end;
    if (!out.empty() && i - (out.back().offset + out.back().old_length) < merge_gap) {
      out.back().old_length = out.back().new_length = end - out.back().offset;
    } else {
      out.push_back({i, end - i, end - i});
    }
    i = end;
  }
  if (an == bn) return;
  // The longer one's end, with the range before it when they lie close.
  if (!out.empty() && common - (out.back().offset + out.back().old_length) < merge_gap) {
    out.back().old_length = an - out.back().offset;
    out.back().new_length = bn - out.back().offset;
  } else {
    out.push_back({common, an - common, bn - common});
  }
}

void record_tracker::before_image(const tag_summary& t, const record_event& e, const char* log) {
  has_image_ = true;
  image_.set(e.data, e.size);
  image_origin_ = origin_at(content_origin::before_image, t, log);
}

void record_tracker::lose(int64_t offset, uint32_t timestamp, const char* log,
                          const std::string& why) {
  content_.set_unknown();
  origin_ = content_origin();
  origin_.kind = content_origin::untold;
  origin_.offset = offset;
  origin_.log = log;
  origin_.timestamp = timestamp;
  origin_.why = why;
  // A before-image read before the gap was of a change that may lie in it.
  has_image_ = false;
}

void record_tracker::change(const tag_summary& t, const record_event& e, const char* log,
                            record_step& s) {
  ++changes_;
  s.before_from_image = s.image_differs = s.patch_only = false;
  s.patch.clear();
  s.why.clear();
  s.earlier_origin = content_origin();
  if (has_image_) {
    // The before-image says what the record held right before this
    // change: it is the content the change applies to.
    has_image_ = false;
    s.before_from_image = true;
    if (content_.is_known() && !content_.same_as(image_)) {
      s.image_differs = true;
      s.earlier_origin = origin_;
    }
    content_.state = image_.state;
    content_.bytes.swap(image_.bytes);
    origin_ = image_origin_;
  }
  s.before = content_;
  s.before_origin = origin_;

  auto untold = [&](std::string why) {
    content_.set_unknown();
    origin_ = origin_at(content_origin::untold, t, log);
    origin_.why = std::move(why);
  };
  switch (e.operation) {
    case fixrec_put:
    case fixrec_update:
      if (e.size == 0) {
        untold(e.operation == fixrec_put ? "the PUT carries no data bytes"
                                         : "the UPDATE carries no data bytes");
        break;
      }
      content_.set(e.data, e.size);
      origin_ = origin_at(content_origin::after_image, t, log);
      break;
    case fixrec_update_no_data: untold("UPDATE_NO_DATA does not carry the new data"); break;
    case fixrec_put_no_data: untold("PUT_NO_DATA does not carry the data"); break;
    case fixrec_delete:
      content_.set_absent();
      origin_ = origin_at(content_origin::deleted, t, log);
      break;
    case fixrec_update_range: {
      if (!e.has_range) {
        untold(
            format("an UPDATE_RANGE of %u bytes has no range header, so where they go is "
                   "not told",
                   static_cast<unsigned>(e.size)));
        break;
      }
      if (e.range_length != e.size) {
        untold(format("its range header says %u bytes at offset %u, but %u follow",
                      unsigned{e.range_length}, unsigned{e.range_offset},
                      static_cast<unsigned>(e.size)));
        break;
      }
      const uint32_t end = uint32_t{e.range_offset} + e.size;
      if (!content_.is_known() || end > content_.bytes.size()) {
        s.patch_only = true;
        s.patch_offset = e.range_offset;
        s.patch.assign(e.data, e.data + e.size);
        if (content_.state == record_content::absent)
          untold("it patches a record that does not exist");
        else if (content_.state == record_content::unknown)
          untold("the content it patches is not known");
        else
          untold(format(
              "it writes bytes %u to %u, beyond the %u bytes the record was known to "
              "have",
              unsigned{e.range_offset}, end - 1, static_cast<unsigned>(content_.bytes.size())));
        break;
      }
      std::memcpy(content_.bytes.data() + e.range_offset, e.data, e.size);
      ++origin_.patches;
      break;
    }
    default:
      untold(format("operation code %u is not one whose effect on the record is known",
                    unsigned{e.operation}));
      break;
  }
  s.after = content_;
  if (!content_.is_known() && content_.state != record_content::absent) s.why = origin_.why;
}

}  // namespace jrn
