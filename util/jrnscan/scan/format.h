// The log format's codes by name: tag type letters and record operation
// codes, the one place that spells them.
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

}  // namespace jrn
