// The one set of rules by which the log tells a fixed record's content:
// what each FIXREC change does to what is known of the record, and how a
// BEFORE_IMAGE tag is judged against what came before it and what it
// tells from then on. Every mode that follows records (the check of
// before-images, a record's history and its content at a moment, a
// transaction's undo) applies these rules; they differ only in how they
// keep a content (its bytes, or a hash of them).
//
// A content is unknown (the log has not told it, or a change left it
// untold), absent (the record does not exist), or known bytes.
//
// Changes:
//   PUT, UPDATE with data     the content is the data
//   PUT, UPDATE without data  unknown
//   PUT_NO_DATA, UPDATE_NO_DATA, codes without a name   unknown
//   DELETE                    absent
//   UPDATE_RANGE              the range's bytes replace those at its
//                             offset when the content is known and holds
//                             the range; otherwise, and without a range
//                             header or with one whose length is not the
//                             bytes that follow, unknown
//
// Before-images (the record right before its next change):
//   - An empty one tells nothing, and a PUT's (or PUT_NO_DATA's) is of a
//     slot that is to take a new record, not the record's content: neither
//     is judged, neither changes what is known.
//   - A before-image holds at most 8,192 bytes. One of a record known to
//     be longer may have been cut: it is not judged and changes nothing.
//     One of 8,192 bytes of a record whose length is not known may have
//     been cut too: it leaves the content unknown (and is still wrong for
//     a record known not to exist).
//   - Otherwise it is judged: against a known content it agrees when it
//     is the same bytes and differs when not; of a record known not to
//     exist (deleted and not put again) it is wrong. Against an unknown
//     content it cannot be judged. From then on the content is the
//     before-image's bytes.
//
// Where the log may hide a change, the content is unknown from there: a
// FIXREC record of the record's node that cannot be read, a break in the
// tag sequence (tag_continuity.h), a log not read to its end. The check's
// storage of hashes cannot patch a content it no longer keeps whole: such
// a patch leaves it unknown, which only judges fewer before-images.
#pragma once

#include <cstdint>
#include <string>

#include "scan/format.h"
#include "scan/record_events.h"

namespace jrn {

// The most data a before-image holds.
constexpr uint32_t before_image_limit = 8192;

enum class content_state : uint8_t { unknown, absent, known };

// What a change does to the record's content.
struct change_rule {
  enum kind_t : uint8_t {
    set,     // the content is the change's data
    remove,  // the record does not exist
    patch,   // the data replace the bytes at range_offset, if the content holds them
    untold,  // the content is unknown from here
  };
  enum why_t : uint8_t {
    none,
    put_empty,        // a PUT without data bytes
    update_empty,     // an UPDATE without data bytes
    update_no_data,   // UPDATE_NO_DATA
    put_no_data,      // PUT_NO_DATA
    range_no_header,  // an UPDATE_RANGE without a range header
    range_mismatch,   // a range header whose length is not the bytes that follow
    code_unknown,     // an operation code without a known effect
  };
  kind_t kind;
  why_t why;
};

inline change_rule rule_of_change(const record_event& e) {
  switch (e.operation) {
    case fixrec_put:
    case fixrec_update:
      if (e.size != 0) return {change_rule::set, change_rule::none};
      return {change_rule::untold,
              e.operation == fixrec_put ? change_rule::put_empty : change_rule::update_empty};
    case fixrec_delete: return {change_rule::remove, change_rule::none};
    case fixrec_update_range:
      if (!e.has_range) return {change_rule::untold, change_rule::range_no_header};
      if (e.range_length != e.size) return {change_rule::untold, change_rule::range_mismatch};
      return {change_rule::patch, change_rule::none};
    case fixrec_update_no_data: return {change_rule::untold, change_rule::update_no_data};
    case fixrec_put_no_data: return {change_rule::untold, change_rule::put_no_data};
    default: return {change_rule::untold, change_rule::code_unknown};
  }
}

// Whether a patch of e (rule patch) lies within a content of this state
// and length; the content becomes unknown when it does not.
inline bool patch_fits(content_state st, uint32_t length, const record_event& e) {
  return st == content_state::known && uint32_t{e.range_offset} + e.size <= length;
}

// Why a change leaves the content unknown: rule untold, or a patch that
// does not fit a content of that state and length.
std::string untold_reason(const change_rule& r, const record_event& e, content_state st,
                          uint32_t length);

// What a before-image does, and whether it is judged.
struct image_rule {
  enum judge_t : uint8_t {
    judged,
    empty,           // no bytes: tells nothing
    put,             // a PUT's: not the record's content
    record_long,     // the record is known to be longer than a before-image holds
    unknown_before,  // what came before is not known
  };
  enum effect_t : uint8_t {
    keep,          // what is known stays
    set,           // the content is the before-image's bytes
    make_unknown,  // the content is unknown (the before-image may be cut)
  };
  judge_t judge;
  effect_t effect;
};

inline image_rule rule_of_image(const record_event& e, content_state st, uint32_t length) {
  if (e.size == 0) return {image_rule::empty, image_rule::keep};
  if (e.operation == fixrec_put || e.operation == fixrec_put_no_data)
    return {image_rule::put, image_rule::keep};
  const image_rule::effect_t whole =
      e.size < before_image_limit ? image_rule::set : image_rule::make_unknown;
  switch (st) {
    case content_state::known:
      if (length > before_image_limit) return {image_rule::record_long, image_rule::keep};
      return {image_rule::judged, image_rule::set};
    case content_state::absent: return {image_rule::judged, whole};
    default: return {image_rule::unknown_before, whole};
  }
}

// A before-image judged against what came before.
enum class image_verdict : uint8_t {
  agrees,      // the same bytes as the known content
  differs,     // other bytes than the known content
  deleted,     // of a record known not to exist
  not_judged,  // see image_rule::judge_t
};

// The verdict on a judged before-image, given its state before and
// whether the bytes match (asked only for a known content).
template <class Matches>
inline image_verdict verdict_of(const image_rule& r, content_state st, Matches&& matches) {
  if (r.judge != image_rule::judged) return image_verdict::not_judged;
  if (st == content_state::absent) return image_verdict::deleted;
  return matches() ? image_verdict::agrees : image_verdict::differs;
}

// Why a content is unknown after a before-image of 8,192 bytes.
extern const char cut_image_reason[];

}  // namespace jrn
