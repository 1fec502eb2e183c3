// Writes a deterministic forward log from a seed: sessions that sign on,
// change customer, order, product, employee and payroll records in
// transactions and sign off, with the space management, index, page and
// checkpoint traffic that such work leaves in a log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fwgen/rng.h"
#include "fwgen/schema.h"
#include "fwgen/truth.h"
#include "logbuild/log_builder.h"

namespace fwgen {

enum class mix { realistic, pages, fixrecs };

struct options {
  uint64_t seed = 1;
  uint64_t tags = 400;  // tags of the whole stream, end tags included
  uint64_t size = 0;    // bytes of the whole stream; when set, tags is ignored
  std::string version = "1.05";
  int logs = 1;
  int32_t first_sequence = 1;  // file sequence of the first log; the others count up
  fwgen::mix mix = fwgen::mix::realistic;
  // Offsets of the truth from the first byte of each log, as in a file of
  // its own, instead of from the first byte of the stream.
  bool offsets_per_log = false;
};

// A log that has been written whole.
struct log_info {
  int32_t file_sequence;
  uint32_t first_time, last_time;  // of its first tag and of its end tag
  bool last;                       // ends with EOF_FINISH
};

// The text of a node name map (-M file) for the generator's databases, sets
// and indexes.
std::string node_map_text(uint64_t seed);

class generator {
 public:
  // Receives the log in pieces; returns false when it cannot write.
  using sink = std::function<bool(const std::string&)>;
  // Told of each log after its last bytes went to the sink; returns false
  // when it cannot go on.
  using log_done = std::function<bool(const log_info&)>;

  explicit generator(const options& o);
  // Tells t of every record change, before-image and transaction end (and
  // first of the records that exist before the first log); t outlives run().
  void tell(truth* t) { truth_ = t; }
  // The series of the logs' headers.
  uint32_t volume_set() const { return h_.volume_set_id; }
  uint32_t volume_generation() const { return h_.volume_generation; }
  // False when out, done or the truth's sink cannot go on.
  bool run(const sink& out, const log_done& done = nullptr);

 private:
  struct set_state {
    const set_def* def;
    uint32_t rpp;  // records per page
    uint32_t next_recno = 1;
    std::vector<uint32_t> clusters;  // first page of each cluster of 8 pages
    std::vector<uint32_t> live;
    std::unordered_map<uint32_t, std::string> data;
    std::vector<uint32_t> freed;       // deleted record numbers, reused by PUT
    std::vector<std::string> samples;  // recent rows, for page images
    uint32_t flist_page = 0, index_root = 0, index_leaf = 0, keys_since_split = 0;
    bool root_split = false;
    std::vector<uint32_t> pool_pages;
    uint32_t capacity() const { return static_cast<uint32_t>(clusters.size()) * rpp * 8; }
    uint32_t cluster_of(uint32_t recno) const {
      return clusters[((recno - 1) / rpp / 8) % clusters.size()];
    }
    uint32_t page_of(uint32_t recno) const { return cluster_of(recno) + (recno - 1) / rpp % 8; }
  };
  struct session {
    uint32_t id;
    const user_def* user;
    std::vector<bool> updated;  // per database
  };
  // A transaction begun at the end of a log, to go on in the next one.
  struct carried {
    uint32_t txn = 0;  // 0: none
    uint32_t session = 0;
    const user_def* user = nullptr;
    size_t set = 0;  // the set, record and operation of its last change so far
    uint32_t recno = 0;
    uint8_t op = 0;
  };
  enum event {
    EV_TXN,
    EV_SIGN_ON,
    EV_SIGN_OFF,
    EV_MEMO,
    EV_SYNC,
    EV_CHECKPOINT,
    EV_PAGE_FLUSH,
    EV_NODEMETA,
    EV_VOL_EXTEND,
    EV_POOL_FLIST,
    EV_TEMP_NODE,
    EV_SPLIT,
    EV_EXTEND
  };

  void start_log(int n);
  bool log_full() const;
  uint64_t tags_left() const;
  static uint64_t bound(event e);
  void step();
  void single();
  // Transactions that span two logs: begun in this one (its tags mode then
  // fills the log with tags that change no record), ended in the next.
  bool may_cross() const;
  void cross();
  void finish_carried();
  void run_event(event e);

  // One tag each; stamp() gives it its sequence and timestamp.
  void stamp();
  // The input offset of the next tag; the place of the last one, whose
  // offset was taken before it.
  uint64_t next_offset() const;
  tag_place placed(uint64_t offset) const;
  void rec(uint8_t op, uint8_t state, uint32_t txn, uint32_t node, const std::string& payload,
           uint32_t session = 0);
  void page_tag(set_state& s, uint32_t page);
  std::string page_image(const set_state& s, uint32_t page, bool empty = false);

  // Events.
  void ensure_context(int db);
  void sign_on();
  void sign_off();
  void memo();
  void slave_sync();
  void checkpoint();
  void page_flush();
  void nodemeta(set_state& s);
  void vol_extend(uint32_t txn, uint32_t session);
  void pool_flist();
  void temp_node();
  void split(set_state& s, uint32_t txn, uint32_t session);
  void extend(set_state& s, uint32_t session);
  void transaction();
  void autocommit();
  uint8_t draw_op();
  // Changes a record (want: that one, when the operation changes a live
  // record and it is live) and returns its number.
  uint32_t change(set_state& s, uint8_t op, uint32_t txn, uint32_t session, bool lean,
                  uint8_t state, int64_t want = -1);
  void btree_fwr(uint32_t node, uint8_t op, uint32_t pgno, const std::string& data, uint32_t txn,
                 uint32_t session);

  uint32_t alloc_pages(uint32_t n);
  session& some_session();
  const user_def& new_user();
  set_state* named_set();
  set_state* needing_extension(const std::vector<int>& sets);

  options o_;
  rng r_;
  std::unique_ptr<logbuild::log_builder> b_;
  logbuild::header_fields h_;
  bool audit_ok_;  // version 1.01 and later: AUDIT, CONTEXT and BEFORE_IMAGE tags exist
  uint64_t tags_in_log_ = 0, log_tags_ = 0, log_bytes_ = 0;
  uint32_t first_ts_ = 0;  // of the current log's first tag
  uint32_t seq_ = 1, ts_, txn_, next_session_, next_page_ = 0x40, vol_pages_;
  uint32_t vol_extends_ = 0, serial_ = 0, checkpoints_ = 0, syncs_ = 0;
  uint32_t temp_node_ = 0, temp_cluster_ = 0, temps_ = 0;
  std::vector<set_state> sets_;
  std::vector<session> sessions_;
  std::vector<bool> db_in_log_;
  std::vector<event> pending_;  // kinds that this log has not shown yet
  bool first_txn_ = true;
  int log_index_ = 0;
  uint64_t log_base_ = 0;  // stream offset of the current log's first byte
  carried carry_;
  bool closing_ = false;  // this log has begun the transaction that the next one ends
  truth* truth_ = nullptr;
};

}  // namespace fwgen
