// The log format's codes by name: tag type letters, record operation
// codes, transaction states, FIXREC operations and audit entry types, with
// the names the report gives them: the one place that spells them
// (tests/spelling_test.sh keeps it so).
#pragma once

#include <cstdint>

namespace jrn {

// Tag type letters (the byte that opens a tag in version 1.01 and later).
namespace tag_letter {
constexpr uint8_t rec = '1';           // IMAGE: one transaction-log record
constexpr uint8_t page = '2';          // one page image
constexpr uint8_t cluster = '3';       // a cluster's page images
constexpr uint8_t nodemeta = '4';      // a node's meta data
constexpr uint8_t before_image = '5';  // a fixed record's data before a change
constexpr uint8_t audit = '6';         // a session's sign-on, sign-off, databases, memos
constexpr uint8_t context = '7';       // the name of a database, set or index node
constexpr uint8_t slave_sync = 'S';    // a mark for a replica
constexpr uint8_t eof_cont = 'C';      // end of a log that a further one continues
constexpr uint8_t eof_finish = 'F';    // end of the last log
}  // namespace tag_letter

// The name of a tag type letter; null for a letter without a tag type.
constexpr const char* tag_letter_name(uint8_t letter) {
  switch (letter) {
    case tag_letter::rec: return "REC";
    case tag_letter::page: return "PAGE";
    case tag_letter::cluster: return "CLUSTER";
    case tag_letter::nodemeta: return "NODEMETA";
    case tag_letter::before_image: return "BEFORE_IMAGE";
    case tag_letter::audit: return "AUDIT";
    case tag_letter::context: return "CONTEXT";
    case tag_letter::slave_sync: return "SLAVE_SYNC";
    case tag_letter::eof_cont: return "EOF_CONT";
    case tag_letter::eof_finish: return "EOF_FINISH";
    default: return nullptr;
  }
}

// The tag types with a body, in the order --list-kinds shows them (the end
// tags follow them there).
constexpr uint8_t body_tag_letters[] = {
    tag_letter::rec,          tag_letter::page,  tag_letter::cluster, tag_letter::nodemeta,
    tag_letter::before_image, tag_letter::audit, tag_letter::context, tag_letter::slave_sync};

// The first byte of a file header ("DRAV.FWLOG", "DRAV.FWAUD").
constexpr uint8_t signature_start = 'D';

inline bool is_end_tag(uint8_t letter) {
  return letter == tag_letter::eof_cont || letter == tag_letter::eof_finish;
}

// Record operation codes (rec_header.opcode); their names, size rules and
// decoders are rows of the opcode table (records/opcodes.cc).
enum opcode_number : uint8_t {
  op_eot = 0,
  op_ignore = 1,
  op_checkpoint = 2,
  op_begin = 3,
  op_node = 4,
  op_nodedelete = 5,
  op_nodepage = 6,
  op_nodecluster = 7,
  op_nodelistpage = 8,
  op_nodelistpagehead = 9,
  op_nodelistitem = 10,
  op_nodelistitemset = 11,
  op_nodelistfillitem = 12,
  op_fixrec = 13,
  op_fixrec_meta = 14,
  op_fixrec_newcluster = 15,
  op_btree = 16,
  op_syscat = 17,
  op_pool = 18,
  op_vol_extend = 19,
  op_vol_redir = 20,
  op_new_nodepage = 21,
  op_pool_itemsize = 22,
  op_pool_flist = 23,
  op_checkpoint2 = 24,
  op_fwr_audit = 25,
  op_btree_fwr = 26,
  op_pool_update = 27,
  op_fwr_serial = 28,
  op_named_count = 29,  // codes from here on have no name
};

// Transaction states (rec_header.txn_state).
namespace txn_state {
constexpr uint8_t global = 1;     // a change outside any transaction
constexpr uint8_t begin = 2;      // the first record of a transaction
constexpr uint8_t end = 3;        // its last record
constexpr uint8_t begin_end = 4;  // the one record of a transaction
constexpr uint8_t txn = 5;        // a record within a transaction
}  // namespace txn_state

constexpr bool txn_state_known(uint8_t state) {
  return state >= txn_state::global && state <= txn_state::txn;
}

constexpr const char* txn_state_name(uint8_t state) {
  switch (state) {
    case txn_state::global: return "GLOBAL";
    case txn_state::begin: return "BEGIN";
    case txn_state::end: return "END";
    case txn_state::begin_end: return "BEGIN-END";
    case txn_state::txn: return "TXN";
    default: return "** UNKNOWN STATE **";
  }
}

// FIXREC operations (the byte after a FIXREC payload's start page).
enum fixrec_operation : uint8_t {
  fixrec_update = 1,
  fixrec_update_no_data = 2,
  fixrec_put = 3,
  fixrec_put_no_data = 4,
  fixrec_delete = 5,
  fixrec_update_range = 7,
};

constexpr bool fixrec_op_known(uint8_t op) {
  return (op >= fixrec_update && op <= fixrec_delete) || op == fixrec_update_range;
}

constexpr const char* fixrec_op_name(uint8_t op) {
  switch (op) {
    case fixrec_update: return "UPDATE";
    case fixrec_update_no_data: return "UPDATE_NO_DATA";
    case fixrec_put: return "PUT";
    case fixrec_put_no_data: return "PUT_NO_DATA";
    case fixrec_delete: return "DELETE";
    case fixrec_update_range: return "UPDATE_RANGE";
    default: return "** UNKNOWN FIXREC OP **";
  }
}

// AUDIT entry types (the typed body header's type).
namespace audit_type {
constexpr uint8_t memo = 0;
constexpr uint8_t sign_on = 10;     // a session begins: its sign-on entries
constexpr uint8_t sign_off = 11;    // a session ends
constexpr uint8_t dblist_sum = 20;  // the databases a session has open
constexpr uint8_t dblist_upd = 21;  // a change to them
}  // namespace audit_type

constexpr bool audit_type_known(uint8_t type) {
  return type == audit_type::memo || type == audit_type::sign_on || type == audit_type::sign_off ||
         type == audit_type::dblist_sum || type == audit_type::dblist_upd;
}

constexpr const char* audit_type_name(uint8_t type) {
  switch (type) {
    case audit_type::memo: return "MEMO";
    case audit_type::sign_on: return "SIGN_ON";
    case audit_type::sign_off: return "SIGN_OFF";
    case audit_type::dblist_sum: return "DBLIST_SUM";
    case audit_type::dblist_upd: return "DBLIST_UPD";
    default: return "** UNKNOWN AUDIT TYPE **";
  }
}

}  // namespace jrn
