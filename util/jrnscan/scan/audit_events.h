// What AUDIT tags say of sessions, for the back-ends that follow sessions
// (who ran a transaction, what a session opened): every AUDIT tag of a
// known type, shown or not, once its body has been read (a body that breaks
// its size rules is told too, with what was read of it whole).
#pragma once

#include <cstdint>

#include "scan/format.h"
#include "scan/report.h"

namespace jrn {

// A sign-on entry as stored: any bytes, as many as its length says.
struct audit_text {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// A DBLIST entry: a node number and its mode.
struct audit_node {
  int32_t node_id = 0;
  int32_t mode = 0;
};

struct audit_event {
  uint8_t type = audit_type::memo;  // one of audit_type
  uint32_t session_id = 0;
  // The body broke a size rule: the fields below hold what was read whole
  // before the break.
  bool damaged = false;
  // SIGN_ON: the entry count the body gives, and the entries read.
  uint32_t declared = 0;
  const audit_text* entries = nullptr;
  uint32_t entry_count = 0;
  // DBLIST_SUM, DBLIST_UPD: the entries read.
  const audit_node* nodes = nullptr;
  uint32_t node_count = 0;
  // MEMO: its mode and data (null when the data were not read).
  int32_t mode = 0;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// Everything an event points to is valid during the call only.
class audit_observer {
 public:
  virtual ~audit_observer() = default;
  // t: the tag (sequence, time, input offset) the event comes from.
  virtual void audit(const tag_summary& t, const audit_event& e) = 0;
};

}  // namespace jrn
