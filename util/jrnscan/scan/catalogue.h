// The catalogue of fields: every fact that a decoder tells the back-ends,
// with its id, its JSON key, its type, its role and one line of
// documentation. Decoders emit ids with typed values; back-ends act on ids,
// types and roles, never on key strings. The JSON schema and the man page's
// key list are checked against this table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jrn {

// The version of the JSON output's schema, written in every header object.
// Fields are only ever added (a minor version); a field renamed, retyped or
// taken away raises the major version.
constexpr const char* schema_version = "1.0.0";

// How a field is written in JSON (the text report keeps its own formats).
enum class field_type : uint8_t {
  u32,          // unsigned 32-bit integer
  i32,          // signed 32-bit integer
  hex,          // unsigned 32-bit integer that the text shows in hexadecimal
  code,         // the number of a code whose name is a field of its own
  name,         // the name of a code: a string, or null for a code without one
  text,         // bytes from the log, as a string
  bytes,        // bytes from the log, as a string of hexadecimal pairs
  words,        // an array of unsigned 32-bit integers
  list,         // an array of objects (entries, items, page images)
  node,         // a node number with its qualified name beside it
  node_number,  // a node number without a name
};

// What a field means, for the back-ends that act on meaning (the saver;
// record history, transactions and sessions).
enum class field_role : uint8_t {
  none,
  transaction,    // the transaction of a record or before-image
  session,        // the session of a record, before-image or audit entry
  node,           // the node a record or before-image concerns
  record_number,  // a fixed record's number
  page,           // a page number
  page_key,       // a PAGE tag's key: the 8192-byte unit of the log it lies in
  opcode,         // a record's operation
  txn_state,      // a record's transaction state
  fixrec_op,      // a fixed-record change's operation
  after_image,    // a fixed record's new data (PUT, UPDATE, UPDATE_RANGE)
  before_image,   // a fixed record's data before a change
  page_image,     // one page image of a PAGE or CLUSTER tag
  page_images,    // the list of a CLUSTER tag's page images
  payload,        // an undecoded record payload
};

// X(id, JSON key, type, role, name key (node fields), documentation)
#define JRN_FIELDS(X)                                                                          \
  /* record header */                                                                          \
  X(opcode, "opcode", name, opcode, nullptr, "record operation name")                          \
  X(opcode_code, "opcode_code", code, none, nullptr, "record operation code")                  \
  X(transaction_id, "transaction_id", u32, transaction, nullptr, "transaction number")         \
  X(session_id, "session_id", u32, session, nullptr, "session number (0 in version 1.00)")     \
  X(txn_state, "txn_state", name, txn_state, nullptr, "transaction state name")                \
  X(txn_state_code, "txn_state_code", code, none, nullptr, "transaction state code")           \
  X(node_id, "node_id", node, node, "node", "node number; node: its qualified name or null")   \
  X(size, "size", u32, none, nullptr, "size in bytes of the item's body or payload")           \
  X(payload, "data", bytes, payload, nullptr, "undecoded record payload (from -v on)")         \
  /* fixed records */                                                                          \
  X(prev_cluster, "prev_cluster", hex, none, nullptr, "cluster of the record's prev location") \
  X(prev_offset, "prev_offset", u32, none, nullptr, "offset of the record's prev location")    \
  X(prev_size, "prev_size", u32, none, nullptr, "size of the record's prev location")          \
  X(recno, "recno", u32, record_number, nullptr, "fixed record number")                        \
  X(start_page, "start_page", hex, page, nullptr, "first page of the record's cluster")        \
  X(fixrec_op, "fixrec_op", name, fixrec_op, nullptr, "fixed-record operation name")           \
  X(fixrec_op_code, "fixrec_op_code", code, none, nullptr, "fixed-record operation code")      \
  X(data_size, "data_size", u32, none, nullptr, "bytes of data the item carries")              \
  X(range_offset, "range_offset", u32, none, nullptr, "UPDATE_RANGE: offset of the change")    \
  X(range_length, "range_length", u32, none, nullptr, "UPDATE_RANGE: length of the change")    \
  X(fixrec_data, "data", bytes, after_image, nullptr, "the record's new data (from -v on)")    \
  X(meta_timestamp, "meta_timestamp", u32, none, nullptr, "FIXREC_META timestamp")             \
  X(flist_head_page, "flist_head_page", hex, page, nullptr, "page of the free-list head")      \
  X(flist_head_item, "flist_head_item", u32, none, nullptr, "item of the free-list head")      \
  X(first_recno, "first_recno", u32, none, nullptr, "first record number of the store")        \
  X(last_recno, "last_recno", u32, none, nullptr, "last record number of the store")           \
  X(new_recno, "new_recno", u32, none, nullptr, "next record number to be given")              \
  X(num_records, "num_records", u32, none, nullptr, "number of records in the store")          \
  X(serial, "serial", u32, none, nullptr, "serial number")                                     \
  /* node records */                                                                           \
  X(target_node_id, "target_node_id", node_number, none, nullptr, "node created or deleted")   \
  X(pages, "pages", list, none, nullptr, "NODEPAGE entries")                                   \
  X(page, "page", hex, page, nullptr, "page number")                                           \
  X(state, "state", name, none, nullptr, "page or cluster state name")                         \
  X(state_code, "state_code", code, none, nullptr, "page or cluster state code")               \
  X(logpage_key, "logpage_key", hex, none, nullptr, "key of the page in the log")              \
  X(cluster, "cluster", hex, page, nullptr, "first page of a cluster")                         \
  X(cluster_count, "count", i32, none, nullptr, "NODECLUSTER: pages in the cluster")           \
  /* node lists */                                                                             \
  X(list_type, "list_type", name, none, nullptr, "list type name")                             \
  X(list_type_code, "list_type_code", code, none, nullptr, "list type code")                   \
  X(list_timestamp, "list_timestamp", u32, none, nullptr, "timestamp of the list page")        \
  X(action, "action", name, none, nullptr, "NODELISTPAGE action name")                         \
  X(action_code, "action_code", code, none, nullptr, "NODELISTPAGE action code")               \
  X(list_id, "list_id", name, none, nullptr, "NODELISTPAGE list name")                         \
  X(list_id_code, "list_id_code", code, none, nullptr, "NODELISTPAGE list code")               \
  X(prev_page, "prev_page", hex, page, nullptr, "previous page of the chain")                  \
  X(prev_timestamp, "prev_timestamp", u32, none, nullptr, "timestamp of the previous page")    \
  X(next_page, "next_page", hex, page, nullptr, "next page of the chain")                      \
  X(next_timestamp, "next_timestamp", u32, none, nullptr, "timestamp of the next page")        \
  X(first_page, "first_page", hex, page, nullptr, "first page of the list")                    \
  X(last_page, "last_page", hex, page, nullptr, "last page of the list")                       \
  X(num_pages, "num_pages", u32, none, nullptr, "pages in the list")                           \
  X(first_item, "first_item", hex, none, nullptr, "first item of the page")                    \
  X(last_item, "last_item", hex, none, nullptr, "last item of the page")                       \
  X(num_items, "num_items", u32, none, nullptr, "items on the page")                           \
  X(item_offset, "item_offset", u32, none, nullptr, "position of the item on its page")        \
  X(item_size, "item_size", u32, none, nullptr, "size of the item's data")                     \
  X(item, "item", bytes, none, nullptr, "the item's data (from -vv on)")                       \
  X(start_idx, "start_idx", u32, none, nullptr, "NODELISTFILLITEM: first slot")                \
  X(fill_count, "count", u32, none, nullptr, "NODELISTFILLITEM: slots filled")                 \
  X(start_id, "start_id", u32, none, nullptr, "NODELISTFILLITEM: first id")                    \
  X(value, "value", u32, none, nullptr, "NODELISTFILLITEM: value filled in")                   \
  /* b-trees and pools */                                                                      \
  X(op, "op", name, none, nullptr, "B-tree or pool operation name")                            \
  X(op_code, "op_code", code, none, nullptr, "B-tree or pool operation code")                  \
  X(o_pgno, "o_pgno", hex, page, nullptr, "page of the operation")                             \
  X(r_pgno, "r_pgno", hex, page, nullptr, "root page (key)")                                   \
  X(pgno, "pgno", hex, page, nullptr, "BTREE_FWR: page")                                       \
  X(arg, "arg", u32, none, nullptr, "POOL_FLIST: header argument")                             \
  X(item_cluster, "item_cluster", hex, none, nullptr, "POOL: cluster of the item")             \
  X(item_minsize, "item_minsize", u32, none, nullptr, "POOL: smallest item size")              \
  X(item_maxsize, "item_maxsize", u32, none, nullptr, "POOL: largest item size")               \
  /* volumes */                                                                                \
  X(volume_id, "volume_id", u32, none, nullptr, "VOL_EXTEND: volume number")                   \
  X(curr_size, "curr_size", u32, none, nullptr, "VOL_EXTEND: current size")                    \
  X(ext_count, "ext_count", u32, none, nullptr, "VOL_EXTEND: extents")                         \
  X(free_count, "free_count", u32, none, nullptr, "VOL_EXTEND: free-list entries")             \
  X(free_entries, "free_entries", words, none, nullptr, "VOL_EXTEND: free-list entries")       \
  X(generation, "generation", u32, none, nullptr, "FWR_SERIAL: generation")                    \
  X(serial_sequence, "serial_sequence", u32, none, nullptr, "FWR_SERIAL: sequence")            \
  /* slave-sync, page, cluster and node-meta tags */                                           \
  X(vol_generation, "vol_generation", u32, none, nullptr, "SLAVE_SYNC: volume generation")     \
  X(log_generation, "log_generation", u32, none, nullptr, "SLAVE_SYNC: log generation")        \
  X(log_sequence, "log_sequence", u32, none, nullptr, "SLAVE_SYNC: log sequence")              \
  X(tag_sequence, "tag_sequence", u32, none, nullptr, "SLAVE_SYNC: tag sequence")              \
  X(key, "key", u32, page_key, nullptr, "PAGE: 8192-byte unit of the log, from 1")             \
  X(image, "image", bytes, page_image, nullptr, "page image (from -vv on)")                    \
  X(cluster_node_id, "node_id", node_number, node, nullptr, "CLUSTER, NODEMETA: node number")  \
  X(cluster_start_page, "start_page", i32, page, nullptr, "CLUSTER: first page")               \
  X(image_count, "count", i32, none, nullptr, "CLUSTER: page images that follow")              \
  X(images, "images", list, page_images, nullptr, "CLUSTER: its page images")                  \
  X(meta_size, "meta_size", u32, none, nullptr, "NODEMETA: bytes of meta data")                \
  /* before-images */                                                                          \
  X(before_data, "data", bytes, before_image, nullptr, "the record's data before the change")  \
  /* audit tags */                                                                             \
  X(audit_type, "audit_type", name, none, nullptr, "audit entry type name")                    \
  X(audit_type_code, "audit_type_code", code, none, nullptr, "audit entry type code")          \
  X(mode, "mode", i32, none, nullptr, "memo or database mode")                                 \
  X(memo_data, "data", bytes, none, nullptr, "memo data (from -v on)")                         \
  X(entries, "entries", list, none, nullptr, "sign-on texts or databases of the entry")        \
  X(entry_text, "data", text, none, nullptr, "a sign-on text")                                 \
  X(index, "index", i32, none, nullptr, "position in its list, from 0")                        \
  /* context tags */                                                                           \
  X(context_node_id, "node_id", node_number, node, nullptr, "CONTEXT: the node it names")      \
  X(context_type, "context_type", name, none, nullptr, "context type name")                    \
  X(context_type_code, "context_type_code", code, none, nullptr, "context type code")          \
  X(name, "name", text, none, nullptr, "name of the node or item, from the log")               \
  X(db_node, "db_node", node_number, none, nullptr, "CONTEXT: node of the database")           \
  X(set_node, "set_node", node_number, none, nullptr, "CONTEXT: node of the set")              \
  X(items, "items", list, none, nullptr, "SET_ITEMS: the set's items")                         \
  X(item_type, "type", text, none, nullptr, "SET_ITEMS: item type letter")                     \
  X(item_count, "count", u32, none, nullptr, "SET_ITEMS: values of the item")                  \
  X(item_bytes, "size", u32, none, nullptr, "SET_ITEMS: bytes of the item")                    \
  X(fmt, "fmt", hex, none, nullptr, "SET_ITEMS: item format")

enum class fid : uint16_t {
#define JRN_FIELD_ID(id, key, type, role, name_key, doc) id,
  JRN_FIELDS(JRN_FIELD_ID)
#undef JRN_FIELD_ID
};

struct field_info {
  const char* key;       // JSON key
  field_type type;       // JSON representation
  field_role role;       // meaning, for back-ends that act on it
  const char* name_key;  // node fields: the key of the name beside the number
  const char* doc;       // one line for the man page and the schema
};

namespace catalogue_detail {
constexpr field_info table[] = {
#define JRN_FIELD_INFO(id, key, type, role, name_key, doc) \
  {key, field_type::type, field_role::role, name_key, doc},
    JRN_FIELDS(JRN_FIELD_INFO)
#undef JRN_FIELD_INFO
};
}  // namespace catalogue_detail

constexpr size_t field_count = sizeof catalogue_detail::table / sizeof catalogue_detail::table[0];

constexpr const field_info& field_of(fid id) {
  return catalogue_detail::table[static_cast<size_t>(id)];
}
constexpr const char* field_key(fid id) { return field_of(id).key; }

// The JSON value of a number field of this type: unsigned types read their
// 32 bits as unsigned, signed ones as signed, whatever the text shows, so
// that one field has one representation in every object.
constexpr int64_t json_number(fid id, int64_t v) {
  switch (field_of(id).type) {
    case field_type::i32: return static_cast<int32_t>(v);
    case field_type::u32:
    case field_type::hex:
    case field_type::code:
    case field_type::node:
    case field_type::node_number: return static_cast<uint32_t>(v);
    default: return v;
  }
}

}  // namespace jrn
