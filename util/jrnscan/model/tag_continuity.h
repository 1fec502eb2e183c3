// Whether the tags read go on one by one. A tag whose sequence is not the
// one after the tag before means tags were lost or repeated there: a
// change of any record may be among them, so what was known of the
// records is not sure from that tag on. The sequence goes on into the
// next log when that log follows the one before it (the same series, the
// next file sequence, behind an end tag); any other log starts afresh.
// The same rule as the check's judgement of before-images.
#pragma once

#include <cstdint>
#include <string>

#include "log/scan.h"
#include "scan/format.h"
#include "scan/header.h"

namespace jrn {

class tag_continuity {
 public:
  void begin_log(const fwlog_header& h) {
    if (!carry_ || h.volume_set_id != volume_set_ || h.volume_generation != generation_ ||
        h.file_sequence != static_cast<int32_t>(static_cast<uint32_t>(file_sequence_) + 1))
      known_ = false;
    carry_ = false;
    volume_set_ = h.volume_set_id;
    generation_ = h.volume_generation;
    file_sequence_ = h.file_sequence;
  }
  // ended: the log ended with its end tag.
  void end_log(bool ended) {
    carry_ = ended;
    if (!ended) known_ = false;
  }
  // Whether a tag of this sequence surely does not break it.
  bool goes_on(uint32_t sequence) const { return !known_ || sequence == next_; }
  // Whether the tag at this offset breaks the sequence; said once per tag
  // (the tag's record event and the tag itself both ask).
  bool breaks(uint8_t letter, uint32_t sequence, int64_t offset) {
    // The usual tag goes on from the one before: no lookup of its letter.
    if (!known_ || sequence == next_ || offset == said_at_ || !counts(letter)) return false;
    said_at_ = offset;
    return true;
  }
  // The tag was read whole.
  void done(uint8_t letter, uint32_t sequence) {
    if (!(known_ && sequence == next_) && !counts(letter)) return;
    known_ = true;
    next_ = sequence + 1;
  }
  // Why the records' contents are not sure from a break.
  std::string why(uint32_t sequence) const {
    return "tag sequence " + std::to_string(sequence) + " follows " + std::to_string(next_ - 1) +
           ": tags may be missing between them";
  }

 private:
  // An unrecognized letter starts no tag.
  static bool counts(uint8_t letter) { return tag_kind_of(letter).handler || is_end_tag(letter); }

  bool known_ = false, carry_ = false;
  uint32_t next_ = 0;
  int64_t said_at_ = -1;
  uint32_t volume_set_ = 0, generation_ = 0;
  int32_t file_sequence_ = 0;
};

}  // namespace jrn
