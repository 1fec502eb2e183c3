// What the back-ends that follow fixed records (a record's history, a
// transaction's undo) say of where a record's content came from, and why
// the log leaves a content untold: texts kept as values (reasons, notes),
// shared by their text and JSON renderings.
#pragma once

#include <cstdint>
#include <string>

#include "model/record_content.h"
#include "scan/report.h"

namespace jrn {

// "offset N of LOG".
std::string offset_in(int64_t offset, const char* log);

// Where a content came from, for the text: "the after-image at offset N of
// LOG", "the before-image at ...", "deleted at ...", with ", with N
// patches since" when patches followed; for an untold one "at offset N of
// LOG: why", and "no change of it was read" when none was.
std::string origin_text(const content_origin& o);

// Why a change of a followed record cannot be ruled out at the end of a
// log that was not read whole; null for an end that leaves nothing out.
const char* unread_log_why(log_end how);
// Why a FIXREC record of a followed record's node that could not be read
// leaves the record's content unknown.
extern const char unreadable_fixrec_why[];

}  // namespace jrn
