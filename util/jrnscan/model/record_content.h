// The bytes of one fixed record as the log tells them, followed change by
// change by the rules of record_rules.h, kept whole: what a PUT or UPDATE
// puts, what an UPDATE_RANGE patches, what a DELETE takes away, what
// UPDATE_NO_DATA leaves untold, and what a before-image says the record
// held. Nothing is guessed: where the log does not tell, the content is
// unknown, and the reason is kept.
//
// A record_tracker follows one record; the back-ends that follow records
// (a record's history, a transaction's undo) feed it the record's events
// in log order and read the steps it gives back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/record_rules.h"
#include "scan/record_events.h"

namespace jrn {

// What is known of a record's bytes at one point of the log.
struct record_content {
  enum state_t : uint8_t {
    unknown,  // the log has not told, or a change left it untold
    absent,   // the record does not exist (deleted, or not yet put)
    known,    // bytes holds it
  };
  state_t state = unknown;
  std::vector<uint8_t> bytes;  // known: the record's bytes

  bool is_known() const { return state == known; }
  content_state rule_state() const { return static_cast<content_state>(state); }
  void set_unknown() {
    state = unknown;
    bytes.clear();
  }
  void set_absent() {
    state = absent;
    bytes.clear();
  }
  void set(const uint8_t* p, uint32_t n) {
    state = known;
    bytes.assign(p, p + n);
  }
  bool same_as(const record_content& o) const { return state == o.state && bytes == o.bytes; }
};

// Where a content came from: the tag whose bytes (or whose absence of
// bytes) it rests on, and the patches applied since.
struct content_origin {
  enum kind_t : uint8_t {
    none,          // nothing of the record was read yet
    after_image,   // the data of a PUT or UPDATE
    before_image,  // a BEFORE_IMAGE tag
    deleted,       // a DELETE
    untold,        // a change that left the content unknown, or a gap in the log
  };
  kind_t kind = none;
  int64_t offset = -1;   // input offset of that tag (of the gap)
  const char* log = "";  // the log it lies in (names live as long as the run)
  uint32_t timestamp = 0;
  uint32_t patches = 0;  // UPDATE_RANGE patches applied since
  std::string why;       // untold: why the content is unknown
};

// A range of bytes in which two contents differ: [offset, offset +
// old_length) of the old one was [offset, offset + new_length) in the new
// one. The lengths differ only for a range at the end of the longer one.
struct byte_range {
  uint32_t offset;
  uint32_t old_length;
  uint32_t new_length;
};

// The ranges in which a[0, an) and b[0, bn) differ, in order. Two ranges
// with fewer than merge_gap equal bytes between them are one range, so
// that a changed field reads as one change.
void diff_bytes(const uint8_t* a, uint32_t an, const uint8_t* b, uint32_t bn,
                std::vector<byte_range>& out, uint32_t merge_gap = 4);

// A before-image that the rules judged wrong: it differs from the known
// content, or it is of a record known not to exist.
struct image_note {
  image_verdict verdict;
  int64_t offset;          // input offset of the before-image
  const char* log;         // the log it lies in
  content_origin earlier;  // where the content it was judged against came from
};

// One change of a record as the tracker saw it.
struct record_step {
  record_content before;  // right before the change
  record_content after;   // right after it
  content_origin before_origin;
  // before is the change's before-image (read since the change before).
  bool before_from_image = false;
  // The before-images read since the change before that were judged
  // wrong, in log order.
  std::vector<image_note> notes;
  // An UPDATE_RANGE on content that is not known: the bytes it writes
  // and where (after stays unknown).
  bool patch_only = false;
  uint32_t patch_offset = 0;
  std::vector<uint8_t> patch;
  // after is unknown: why (the change's own reason).
  std::string why;
};

class record_tracker {
 public:
  // A before-image of the record (e.kind == before_image): the record's
  // content right before its next change. It is judged against the
  // content the changes and before-images so far left; the verdict is
  // returned, and kept as a note when it is wrong.
  image_verdict before_image(const tag_summary& t, const record_event& e, const char* log);
  // A change of the record (e.kind == change): s gets the content before
  // and after it; the tracker moves on to the content after it.
  void change(const tag_summary& t, const record_event& e, const char* log, record_step& s);
  // The log does not tell what became of the record from here on (a
  // change of its node that could not be read, a log cut inside a tag):
  // its content is unknown, for the reason given.
  void lose(int64_t offset, uint32_t timestamp, const char* log, const std::string& why);

  // The content as the changes so far left it, and where it came from.
  const record_content& content() const { return content_; }
  const content_origin& origin() const { return origin_; }
  // A before-image read since the last change (null when none).
  const record_content* pending_image() const { return has_image_ ? &image_ : nullptr; }
  const content_origin& pending_origin() const { return image_origin_; }
  uint64_t changes() const { return changes_; }
  // The notes on before-images read since the last change (a change takes
  // them into its step): moved into out.
  void take_notes(std::vector<image_note>& out) {
    out.clear();
    out.swap(notes_);
  }

 private:
  record_content content_;
  content_origin origin_;
  bool has_image_ = false;
  record_content image_;
  content_origin image_origin_;
  std::vector<image_note> notes_;
  uint64_t changes_ = 0;
};

}  // namespace jrn
