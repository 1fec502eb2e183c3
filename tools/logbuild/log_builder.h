// Builds forward logs byte by byte for tests and tools: file headers of any
// version (invalid ones too), tags in the new and the old layout, IMAGE
// records with any payload, the bodies of every tag kind and end tags.
//
//   logbuild::log_builder b("1.05");
//   b.fixrec(logbuild::PUT, /*txn=*/17, /*node=*/7, /*recno=*/7, "abc").end();
//   write b.str() to a file
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace logbuild {

// Little-endian-or-not: integers are appended in this machine's byte order,
// which is the order the reader expects.
class bytes {
 public:
  bytes& u8(uint8_t v) { return put(&v, 1); }
  bytes& u16(uint16_t v) { return put(&v, 2); }
  bytes& i16(int16_t v) { return put(&v, 2); }
  bytes& u32(uint32_t v) { return put(&v, 4); }
  bytes& i32(int32_t v) { return put(&v, 4); }
  bytes& raw(const std::string& s) {
    data_ += s;
    return *this;
  }
  bytes& fill(size_t n, uint8_t v = 0) {
    data_.append(n, static_cast<char>(v));
    return *this;
  }
  const std::string& str() const { return data_; }
  operator const std::string&() const { return data_; }
  size_t size() const { return data_.size(); }

 private:
  bytes& put(const void* p, size_t n) {
    data_.append(static_cast<const char*>(p), n);
    return *this;
  }
  std::string data_;
};

// FIXREC operations.
enum fixrec_op : uint8_t {
  UPDATE = 1,
  UPDATE_NO_DATA = 2,
  PUT = 3,
  PUT_NO_DATA = 4,
  DELETE = 5,
  UPDATE_RANGE = 7
};

// Record opcodes used by name in tests and tools.
enum opcode : uint8_t {
  OP_EOT = 0,
  OP_IGNORE = 1,
  OP_CHECKPOINT = 2,
  OP_BEGIN = 3,
  OP_NODE = 4,
  OP_NODEDELETE = 5,
  OP_NODEPAGE = 6,
  OP_NODECLUSTER = 7,
  OP_NODELISTPAGE = 8,
  OP_NODELISTPAGEHEAD = 9,
  OP_NODELISTITEM = 10,
  OP_NODELISTITEMSET = 11,
  OP_NODELISTFILLITEM = 12,
  OP_FIXREC = 13,
  OP_FIXREC_META = 14,
  OP_FIXREC_NEWCLUSTER = 15,
  OP_BTREE = 16,
  OP_SYSCAT = 17,
  OP_POOL = 18,
  OP_VOL_EXTEND = 19,
  OP_VOL_REDIR = 20,
  OP_NEW_NODEPAGE = 21,
  OP_POOL_ITEMSIZE = 22,
  OP_POOL_FLIST = 23,
  OP_CHECKPOINT2 = 24,
  OP_FWR_AUDIT = 25,
  OP_BTREE_FWR = 26,
  OP_POOL_UPDATE = 27,
  OP_FWR_SERIAL = 28
};

enum audit_type : uint8_t {
  MEMO = 0,
  SIGN_ON = 10,
  SIGN_OFF = 11,
  DBLIST_SUM = 20,
  DBLIST_UPD = 21
};
enum context_type : uint8_t { CTX_DB = 1, CTX_SET = 2, CTX_SET_ITEMS = 3, CTX_INDEX = 4 };

struct header_fields {
  std::string signature = "DRAV.FWLOG";
  std::string version = "1.05";  // copied into 6 bytes, NUL-padded
  uint16_t byte_order = 1234;
  uint16_t charset = 1;
  uint32_t release = 8;
  uint32_t volume_set_id = 0x5eed;
  uint32_t volume_generation = 3;
  int32_t file_sequence = 1;
};
// The header bytes: 28 for a version that reads as 1.00, else 36.
std::string header_bytes(const header_fields& h);

struct set_item {
  std::string name;
  char type = 'I';
  uint16_t count = 1;
  uint16_t size = 4;
  uint32_t fmt = 0;
};

class log_builder {
 public:
  explicit log_builder(const std::string& version = "1.05");
  explicit log_builder(const header_fields& h);

  // The next tag's sequence and timestamp; by default sequences count up
  // from 1 and every tag is one second after the one before.
  log_builder& at(uint32_t seq, uint32_t timestamp);
  // A tag header of the given letter in this log's layout (the old layout
  // puts the letter behind sequence and timestamp).
  log_builder& tag(char letter);
  log_builder& raw(const std::string& b);
  // Starts a further log in the same stream (no end tag is written).
  log_builder& next_log(const header_fields& h);

  // IMAGE tag: record header (16 bytes, 12 in 1.00 logs) and payload. The
  // size field is the payload's size unless size_field is given.
  log_builder& image(uint8_t opcode, uint32_t txn, uint32_t node, const std::string& payload,
                     uint8_t state = 5, uint32_t session = 1, int size_field = -1);
  log_builder& fixrec(uint8_t op, uint32_t txn, uint32_t node, uint32_t recno,
                      const std::string& data = "", uint8_t state = 5, uint32_t session = 1);

  log_builder& slave_sync(uint32_t vol_gen, uint32_t log_gen, uint32_t log_seq, uint32_t tag_seq);
  log_builder& page(const std::string& image);  // padded or cut to 8192 bytes
  log_builder& cluster(int32_t node, int32_t start_page, const std::vector<std::string>& pages);
  log_builder& cluster_header(int32_t node, int32_t start_page, int32_t count);
  log_builder& nodemeta(int32_t node, const std::string& meta, int64_t size_field = -1);
  log_builder& before_image(uint32_t txn, uint32_t session, int32_t node, uint32_t recno,
                            uint8_t op, const std::string& data, int size_field = -1);
  log_builder& audit(uint32_t session, uint8_t type, const std::string& body, int size_field = -1);
  log_builder& memo(uint32_t session, int32_t mode, const std::string& data);
  log_builder& sign_on(uint32_t session, const std::vector<std::string>& entries);
  log_builder& sign_off(uint32_t session);
  log_builder& dblist(uint32_t session, uint8_t type,
                      const std::vector<std::pair<int32_t, int32_t>>& e);
  log_builder& context(uint32_t node, uint8_t type, const std::string& body, int size_field = -1);
  log_builder& context_db(uint32_t node, const std::string& name);
  log_builder& context_set(uint32_t node, uint32_t db_node, const std::string& name);
  log_builder& context_index(uint32_t node, uint32_t set_node, const std::string& name);
  log_builder& context_set_items(uint32_t node, uint32_t db_node, const std::string& name,
                                 const std::vector<set_item>& items);
  // End tag: 'F' (EOF_FINISH) or 'C' (EOF_CONT).
  log_builder& end(char letter = 'F');

  const std::string& str() const { return out_; }
  // Hands over what was built so far and starts an empty buffer (for
  // writing long logs as a stream).
  std::string take();
  // Bytes written since the current log's header began.
  uint64_t log_offset() const { return written_ + out_.size() - log_start_; }
  bool old_layout() const { return old_layout_; }

 private:
  void begin_log(const header_fields& h);
  std::string out_;
  uint64_t written_ = 0;    // bytes handed over by take()
  uint64_t log_start_ = 0;  // absolute offset of the current log's header
  bool old_layout_ = false;
  bool short_records_ = false;
  uint32_t seq_ = 1;
  uint32_t ts_ = 1700000000;
};

// Payload helpers.
std::string fixrec_payload(uint32_t recno, uint8_t op, const std::string& data,
                           uint32_t prev_cluster = 0, uint16_t prev_offset = 0,
                           uint16_t prev_size = 0, uint32_t start_page = 0);
std::string page_image(uint8_t seed);  // 8192 bytes of recognisable content

}  // namespace logbuild
