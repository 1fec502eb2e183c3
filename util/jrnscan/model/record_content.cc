#include "model/record_content.h"

#include <algorithm>
#include <cstring>

namespace jrn {

namespace {

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

image_verdict record_tracker::before_image(const tag_summary& t, const record_event& e,
                                           const char* log) {
  // Judged against the latest content: an earlier before-image since the
  // last change, or what the changes left.
  const record_content& latest = has_image_ ? image_ : content_;
  const content_state st = latest.rule_state();
  const uint32_t length = static_cast<uint32_t>(latest.bytes.size());
  const image_rule rule = rule_of_image(e, st, length);
  const image_verdict v = verdict_of(rule, st, [&] {
    return length == e.size &&
           (e.size == 0 || std::memcmp(latest.bytes.data(), e.data, e.size) == 0);
  });
  if (v == image_verdict::differs || v == image_verdict::deleted)
    notes_.push_back({v, t.offset, log, has_image_ ? image_origin_ : origin_});
  switch (rule.effect) {
    case image_rule::keep: break;
    case image_rule::set:
      has_image_ = true;
      image_.set(e.data, e.size);
      image_origin_ = origin_at(content_origin::before_image, t, log);
      break;
    case image_rule::make_unknown:
      has_image_ = true;
      image_.set_unknown();
      image_origin_ = origin_at(content_origin::untold, t, log);
      image_origin_.why = cut_image_reason;
      break;
  }
  return v;
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
  s.before_from_image = s.patch_only = false;
  s.patch.clear();
  s.why.clear();
  take_notes(s.notes);
  if (has_image_) {
    // The before-image says what the record held right before this
    // change: it is the content the change applies to.
    has_image_ = false;
    s.before_from_image = image_.is_known();
    content_.state = image_.state;
    content_.bytes.swap(image_.bytes);
    origin_ = image_origin_;
  }
  s.before = content_;
  s.before_origin = origin_;

  const change_rule rule = rule_of_change(e);
  const content_state st = content_.rule_state();
  const uint32_t length = static_cast<uint32_t>(content_.bytes.size());
  switch (rule.kind) {
    case change_rule::set:
      content_.set(e.data, e.size);
      origin_ = origin_at(content_origin::after_image, t, log);
      break;
    case change_rule::remove:
      content_.set_absent();
      origin_ = origin_at(content_origin::deleted, t, log);
      break;
    case change_rule::patch:
      if (patch_fits(st, length, e)) {
        if (e.size != 0) std::memcpy(content_.bytes.data() + e.range_offset, e.data, e.size);
        ++origin_.patches;
        break;
      }
      s.patch_only = true;
      s.patch_offset = e.range_offset;
      s.patch.assign(e.data, e.data + e.size);
      // The content is unknown from here.
      [[fallthrough]];
    case change_rule::untold:
      content_.set_unknown();
      origin_ = origin_at(content_origin::untold, t, log);
      origin_.why = untold_reason(rule, e, st, length);
      break;
  }
  s.after = content_;
  if (!content_.is_known() && content_.state != record_content::absent) s.why = origin_.why;
}

}  // namespace jrn
