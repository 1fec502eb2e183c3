// The life of fixed records as the log tells it, for the back-ends that
// follow a record across tags (its history, a transaction's undo, the
// check that before-images agree with what came before): every FIXREC
// record and every BEFORE_IMAGE tag, shown or not, filtered out or not,
// once its body has been read and its sizes are sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/report.h"

namespace jrn {

struct record_event {
  enum kind_t : uint8_t {
    change,        // a FIXREC record: the operation and its data
    before_image,  // a BEFORE_IMAGE tag: the record as it was before a change
  };
  kind_t kind = change;
  uint8_t operation = 0;  // FIXREC operation (1 UPDATE, 2 UPDATE_NO_DATA, 3 PUT,
                          // 4 PUT_NO_DATA, 5 DELETE, 7 UPDATE_RANGE; others unnamed)
  uint8_t txn_state = 0;  // a record's transaction state (0 for a before-image)
  int32_t node_id = 0;
  uint32_t recno = 0;
  uint32_t transaction_id = 0;
  uint32_t session_id = 0;
  // A change's data (behind the range header of an UPDATE_RANGE that has
  // one), or a before-image's bytes; valid during the call only.
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  // UPDATE_RANGE with more than 4 data bytes: the range header's offset
  // and length; without one (4 data bytes or fewer) where the bytes go is
  // not told.
  bool has_range = false;
  uint16_t range_offset = 0;
  uint16_t range_length = 0;
};

// One item of a data set as a SET_ITEMS context record lists it.
struct set_item_decl {
  std::string name;
  uint8_t type = 0;  // the type letter
  uint16_t count = 0;
  uint16_t size = 0;
};

class record_observer {
 public:
  virtual ~record_observer() = default;
  // t: the tag (sequence, time, input offset) the event comes from.
  virtual void record(const tag_summary& t, const record_event& e) = 0;
  // A SET_ITEMS context record read whole: the items of the set node_id,
  // in their order.
  virtual void set_items(const tag_summary& /*t*/, int32_t /*node_id*/,
                         const std::vector<set_item_decl>& /*items*/) {}
};

}  // namespace jrn
