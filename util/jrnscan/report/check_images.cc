// --check: before-images judged against what the log told of their
// records, by the rules of record_rules.h kept as hashes.
#include <string>

#include "model/record_rules.h"
#include "report/check_sink.h"

namespace jrn {

void check_sink::record(const tag_summary& t, const record_event& e) {
  if (opt_.image_memory == 0) return;
  last_event_offset_ = t.offset;
  // Tags lost or repeated: changes may be missing, nothing known before is
  // sure. The tag at the break is itself followed from here.
  if (sequence_known_ && t.sequence != sequence_next_) {
    contents_.clear();
    cleared_at_ = t.offset;
  }
  judge(t.offset, e);
}

void check_sink::judge(int64_t offset, const record_event& e) {
  if (e.kind == record_event::before_image)
    judge_before_image(offset, e);
  else
    record_change(offset, e);
}

// The record's entry, added where there is room; when there is none that
// is said once, and the record is not followed.
record_contents::entry* check_sink::record_entry(int32_t node, uint32_t recno) {
  if (record_contents::entry* r = contents_.get(node, recno)) return r;
  if (!contents_full_said_) {
    contents_full_said_ = true;
    diag_.bound_reached("--image-memory",
                        "before-images of records beyond the " + std::to_string(contents_.size()) +
                            " followed are not judged (--image-memory)",
                        "%s: warning: the records followed fill the %llu bytes of the record "
                        "table (%zu records); before-images of further records are not judged",
                        log_label_.c_str(),
                        static_cast<unsigned long long>(contents_.memory_bound()),
                        contents_.size());
  }
  return nullptr;
}

void check_sink::mark(record_contents::entry& r, int64_t offset, record_contents::source from) {
  r.from = from;
  record_contents::origin& o = contents_.origin_of(r);
  o.offset = offset;
  o.input = input_number_;
  o.log = log_index_;
}

// The rules of record_rules.h on the hashed contents. A record that the
// table does not hold is unknown: a change that leaves it unknown does not
// add it.
void check_sink::record_change(int64_t offset, const record_event& e) {
  using state = record_contents::state;
  const auto change = record_contents::source::change;
  const change_rule rule = rule_of_change(e);
  switch (rule.kind) {
    case change_rule::set:
      if (record_contents::entry* r = record_entry(e.node_id, e.recno)) {
        contents_.set_content(*r, e.data, e.size);
        mark(*r, offset, change);
      }
      return;
    case change_rule::remove:
      if (record_contents::entry* r = record_entry(e.node_id, e.recno)) {
        contents_.drop_content(*r, state::absent);
        mark(*r, offset, change);
      }
      return;
    case change_rule::patch: {
      // A content that is not kept cannot take a patch: it becomes unknown.
      record_contents::entry* r = contents_.find(e.node_id, e.recno);
      if (!r) return;
      if (patch_fits(r->st, r->length, e) && contents_.patch(*r, e.range_offset, e.data, e.size))
        mark(*r, offset, change);
      else
        contents_.drop_content(*r, state::unknown);
      return;
    }
    case change_rule::untold: break;
  }
  if (record_contents::entry* r = contents_.find(e.node_id, e.recno))
    contents_.drop_content(*r, state::unknown);
}

void check_sink::judge_before_image(int64_t offset, const record_event& e) {
  record_contents::entry* r = contents_.find(e.node_id, e.recno);
  const content_state st = r ? r->st : content_state::unknown;
  const image_rule rule = rule_of_image(e, st, r ? r->length : 0);
  const image_verdict v =
      verdict_of(rule, st, [&] { return contents_.matches(*r, e.data, e.size); });
  if (v == image_verdict::differs || v == image_verdict::deleted) mismatch(offset, e, *r);
  switch (rule.effect) {
    case image_rule::keep: return;
    case image_rule::make_unknown:
      if (r) contents_.drop_content(*r, record_contents::state::unknown);
      return;
    case image_rule::set:
      if (!r) r = record_entry(e.node_id, e.recno);
      if (!r) return;
      contents_.set_content(*r, e.data, e.size);
      mark(*r, offset, record_contents::source::before_image);
      return;
  }
}

std::string check_sink::record_text(int64_t offset, const record_event& e, text_form form) const {
  std::string s = "before-image of record " + std::to_string(e.recno) + " of ";
  if (opt_.names)
    opt_.names->append_display(e.node_id, false, form, s);
  else
    s += "#" + std::to_string(e.node_id);
  s += " at offset " + std::to_string(offset);
  return s;
}

std::string check_sink::elsewhere(const record_contents::origin& o) const {
  if (o.input == input_number_ && o.log == log_index_) return std::string();
  std::string s = " in " + input_names_[o.input];
  if (o.log > 1) s += " (log " + std::to_string(o.log) + ")";
  return s;
}

void check_sink::mismatch(int64_t offset, const record_event& e, record_contents::entry& r) {
  ++log_.warnings;
  if (++log_.mismatches > listed_per_kind) return;
  std::string why;
  if (r.st == record_contents::state::absent)
    why = " is of a record deleted at offset ";
  else if (r.from == record_contents::source::change)
    why = " does not match its content after the change at offset ";
  else
    why = " does not match the before-image at offset ";
  const record_contents::origin& o = contents_.origin_of(r);
  why += std::to_string(o.offset) + elsewhere(o);
  if (r.st == record_contents::state::absent) why += " and not put again";
  const std::string shown =
      record_text(offset, e, opt_.escape ? text_form::terminal : text_form::raw);
  say("%s: check: warning at offset %lld: %s%s\n", log_label_.c_str(),
      static_cast<long long>(offset), shown.c_str(), why.c_str());
  keep_finding("warning", offset, (record_text(offset, e, text_form::raw) + why).c_str());
}

}  // namespace jrn
