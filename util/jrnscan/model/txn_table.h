// The transactions and sessions of the logs of a run, joined as the tags
// tell them: each record carries its transaction, session and transaction
// state; AUDIT tags carry a session's sign-on entries, its sign-off, the
// databases it opened and its memos.
//
// A transaction is the records of one transaction id from its BEGIN record
// to its END record, or the one record of state BEGIN-END. Records of state
// TXN (or of a state without a name) belong to the transaction of their id;
// when none is open, one is opened that began before the input. A record of
// state GLOBAL is a change made outside any transaction whatever id it
// carries, and so is a record of transaction id 0: both are counted as
// records in no transaction. A before-image belongs to the transaction of
// its id whose change follows it, and is counted apart from the records:
// it is held until the next record, so that one followed by a BEGIN or
// BEGIN-END record of its id belongs to the transaction that begins. A
// transaction open at an end tag EOF_CONT goes on in the next log of the
// run; at EOF_FINISH it has ended unfinished.
//
// A session is known by its number from its SIGN_ON to its SIGN_OFF; a
// session of which only records or other AUDIT tags are met is one signed
// on before the input. Session number 0 in a record means no session (GLOBAL
// records, logs of version 1.00): such records open no session and are
// counted in none, and their transactions have no sign-on, even when AUDIT
// tags name a session 0.
//
// Memory grows with what is open at once, not with the log: a transaction
// is kept while it is open and told to the listener (and dropped) when it
// ends; a session likewise until its sign-off. Both tables have a bound on
// their entries; once a table is full a new transaction (session) is not
// followed: what belongs to it is counted, and once a bound has been
// reached a record of an id the table does not hold no longer opens an
// entry (its beginning may have been the one left out). Each entry's own
// detail is bounded too (sign_on_text, txn_limits, session_limits): at
// worst an open transaction takes about 2.5 KiB (its detail, and the
// sign-on of a session that has signed off meanwhile) and a session about
// 3.5 KiB. Ids are hashed with a random key, so no choice of ids slows the
// tables down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/audit_events.h"
#include "scan/keyed_hash.h"
#include "scan/report.h"

namespace jrn {

// Where a tag lies.
struct tag_place {
  uint32_t sequence = 0;
  uint32_t timestamp = 0;
  int64_t offset = 0;    // input offset of its first byte
  const char* log = "";  // the input's name (it lives as long as the run)
  static tag_place of(const tag_summary& t, const char* log) {
    return {t.sequence, t.timestamp, t.offset, log};
  }
};

// A session's sign-on entries as kept: each as the report shows it (up to
// a zero byte, at most entry_bytes of it), at most max_entries of them and
// text_bytes in all, one behind the other in one text.
struct sign_on_text {
  static constexpr uint32_t entry_bytes = 256;
  static constexpr uint32_t text_bytes = 1024;
  static constexpr uint32_t max_entries = 64;
  struct entry {
    uint16_t end;  // where its text ends in text (it begins where the one before ends)
    bool cut;      // the entry goes on behind entry_bytes (the report shows " ...")
  };
  std::string text;
  std::vector<entry> entries;
  uint32_t declared = 0;  // the entry count its body gave
  bool left_out = false;  // entries were left out (max_entries, text_bytes)
  bool damaged = false;   // its body broke a size rule: the entries before the break
  bool complete() const;
  std::string_view entry_text(size_t i) const {
    const size_t begin = i == 0 ? 0 : entries[i - 1].end;
    return std::string_view(text).substr(begin, entries[i].end - begin);
  }
};
using who_ptr = std::shared_ptr<const sign_on_text>;

// How a transaction ended, or why it is told although it has not.
enum class txn_end : uint8_t {
  end,           // its END record
  begin_end,     // a record of state BEGIN-END: the transaction of one record
  begun_again,   // a BEGIN or BEGIN-END of its id came while it was open
  log_finished,  // its log ended with EOF_FINISH before its END
  open,          // still open at the end of the input
  stopped,       // open when the run stopped (--limit, a signal)
  gap,           // open before a gap in its series: it may go on in the gap
};

struct txn_op {
  uint8_t opcode;
  uint64_t records;
};
struct txn_node {
  int32_t node_id;
  uint64_t records;
};

struct txn_info {
  uint32_t id = 0;
  uint32_t session = 0;       // of its first record
  who_ptr who;                // the session's sign-on, when it was met
  bool sign_on_lost = false;  // the session's sign-on may have been left out (its bound)
  tag_place first, last;      // its first and last tag
  bool begin_seen = false;    // it began with BEGIN or BEGIN-END in the input
  txn_end end = txn_end::open;
  uint32_t again_sequence = 0;  // begun_again: the sequence of the BEGIN that came
  uint64_t records = 0;
  uint64_t before_images = 0;
  // Records by opcode, in the order met (at most txn_limits::ops of them),
  // and the records of further opcodes.
  std::vector<txn_op> ops;
  uint64_t other_op_records = 0;
  // Records by node, in the order met (at most txn_limits::nodes of them;
  // node 0, no node, is left out), and the records of further nodes.
  std::vector<txn_node> nodes;
  uint64_t other_node_records = 0;
  uint64_t nodeless_records = 0;       // of node 0
  bool touched = false;                // a record of the watched node (txn_table::watch_node)
  uint8_t last_op = 0, last_node = 0;  // the entries the last record counted in
  uint64_t serial = 0;                 // the order transactions were opened in

  // Distinct nodes: exact when no record went to a further node, else a
  // lower bound.
  uint64_t node_count() const { return nodes.size() + (other_node_records ? 1 : 0); }
  bool nodes_exact() const { return other_node_records == 0; }
  int64_t duration() const {
    return last.timestamp >= first.timestamp ? int64_t{last.timestamp} - first.timestamp : 0;
  }
};

struct txn_limits {
  static constexpr size_t ops = 16;
  static constexpr size_t nodes = 32;
};

// How a session's entry ended, or why it is told although it has not.
enum class session_end : uint8_t {
  sign_off,         // its SIGN_OFF
  signed_on_again,  // a SIGN_ON of its number came first
  log_finished,     // its log ended with EOF_FINISH before its SIGN_OFF
  open,             // still signed on at the end of the input
  stopped,          // signed on when the run stopped
  gap,              // signed on before a gap in its series
};

struct session_db {
  int32_t node_id;
  int32_t mode;
  bool updated;  // from DBLIST_UPD (databases updated), else DBLIST_SUM (opened)
};

struct session_memo {
  int32_t mode;
  uint32_t size;     // the memo's data bytes
  std::string text;  // the first entry_bytes of them
};

struct session_info {
  uint32_t id = 0;
  who_ptr who;  // null: no sign-on met
  tag_place sign_on;
  session_end end = session_end::open;
  tag_place sign_off;         // sign_off: the SIGN_OFF; signed_on_again: the new SIGN_ON
  tag_place first, last;      // the first and the last tag of the session met
  uint64_t transactions = 0;  // opened with this session (txn_table)
  uint64_t records = 0;
  uint64_t memos = 0;
  uint64_t damaged = 0;  // AUDIT bodies of it that broke a size rule
  // DBLIST entries, each (node, list) once (at most session_limits::dbs),
  // and the entries left out.
  std::vector<session_db> dbs;
  uint64_t dbs_left_out = 0;
  // With memo texts kept: the first session_limits::memos of them.
  std::vector<session_memo> memo_texts;
  uint64_t serial = 0;  // the order sessions were met in
};

struct session_limits {
  static constexpr size_t dbs = 32;
  static constexpr size_t memos = 4;
  static constexpr size_t memo_bytes = 256;
};

// Told of every transaction or session as it ends (or is given up); its
// entry is dropped right after.
class txn_listener {
 public:
  virtual ~txn_listener() = default;
  virtual void txn_done(const txn_info& t) = 0;
};
class session_listener {
 public:
  virtual ~session_listener() = default;
  virtual void session_done(const session_info& s) = 0;
};

// A hash of ids keyed per table.
struct keyed_id_hash {
  uint64_t key;
  size_t operator()(uint32_t id) const { return static_cast<size_t>(hash_mix(id ^ key)); }
};

class session_table {
 public:
  // listener may be null (sessions are then kept only for who ran what).
  // With all set, every session met is followed (records, transactions and
  // every AUDIT tag open an entry, and are counted); otherwise only
  // sign-ons open one. With detail set, databases and memos are kept (memo
  // texts with memo_texts).
  session_table(session_listener* listener, uint32_t max_entries, bool all, bool detail,
                bool memo_texts);

  // The name of the input being read, for the places of what follows.
  void set_log(const char* name) { log_ = name; }
  void audit(const tag_summary& t, const audit_event& e);
  // A record of the session (only with all set).
  void record(const tag_summary& t);
  // A transaction opened with the session at t: its sign-on as known, and
  // whether it may have been left out.
  who_ptr transaction_began(uint32_t session, const tag_summary& t, bool* lost);
  // The sign-on of a session held, or null.
  who_ptr who(uint32_t session) const;
  // The sign-on of a session may have been left out: the bound was reached.
  bool may_have_lost(uint32_t session) const;

  // At EOF_FINISH every session still signed on is told and dropped.
  void end_log(log_end how);
  // A gap in the series: the sessions signed on are let go.
  void cut() { flush_all(session_end::gap); }
  // The input ended (or the run stopped): the rest, in the order met.
  void finish(bool stopped);

  // Called once, when the bound is first reached, with the tag that found
  // the table full.
  std::function<void(const tag_summary&)> on_full;

  uint32_t max_entries() const { return max_; }
  bool bound_reached() const { return bound_reached_; }
  // Tags of sessions not followed because the table was full.
  uint64_t not_followed() const { return not_followed_; }
  uint64_t sessions_met() const { return met_; }

 private:
  session_info* find(uint32_t id);
  // The entry of id, its last tag moved to t; opened when it may be and
  // there is room, else null (and counted when the bound kept it out).
  session_info* entry_for(uint32_t id, const tag_summary& t, bool sign_on);
  void done(session_info& s, session_end how);
  void drop(uint32_t id);
  void flush_all(session_end how);

  tag_place place(const tag_summary& t) const { return tag_place::of(t, log_); }

  session_listener* listener_;
  const char* log_ = "";
  uint32_t max_;
  bool all_, detail_, memo_texts_;
  std::unordered_map<uint32_t, session_info, keyed_id_hash> open_;
  uint64_t serial_ = 0;
  uint64_t met_ = 0;
  bool bound_reached_ = false;
  uint64_t not_followed_ = 0;
  session_info* last_ = nullptr;  // the entry found last
};

class txn_table {
 public:
  // sessions (may be null) gives each transaction its sign-on and counts
  // it for its session. Without detail, no opcodes or nodes are kept. With
  // only set, only that transaction id is followed.
  txn_table(txn_listener& listener, uint32_t max_open, session_table* sessions, bool detail,
            uint32_t only = 0);

  // The name of the input being read, for the places of what follows.
  void set_log(const char* name) { log_ = name; }
  // Records with a nonzero watched node mark the transactions they belong
  // to as touching it.
  void watch_node(int32_t node) { watched_ = node; }

  // Every tag, once read: records and before-images are followed.
  void tag(const tag_summary& t) {
    if (t.is_record)
      record(t);
    else if (t.letter == tag_letter::before_image)
      before_image(t);
  }
  void end_log(log_end how);
  // A gap in the series: the open transactions are let go.
  void cut() { flush_all(txn_end::gap); }
  void finish(bool stopped);

  // Called once, when the bound is first reached, with the tag that found
  // the table full.
  std::function<void(const tag_summary&)> on_full;

  uint32_t max_open() const { return max_; }
  bool bound_reached() const { return bound_reached_; }
  uint64_t records_outside() const { return outside_; }    // GLOBAL or transaction 0
  uint64_t not_followed() const { return not_followed_; }  // records and before-images
  uint64_t opened() const { return serial_; }
  // Whether the transaction of id is open (followed).
  bool is_open(uint32_t id) const { return index_.find(id) != id_index::none; }

 private:
  // Open addressing from transaction id (never 0) to a slot of the entries,
  // at most half full; linear probing, erasure without tombstones.
  class id_index {
   public:
    static constexpr uint32_t none = UINT32_MAX;
    explicit id_index(uint64_t key) : key_(key) {}
    uint32_t find(uint32_t id) const;
    void put(uint32_t id, uint32_t slot);
    void erase(uint32_t id);
    template <typename Each>
    void each(Each f) const {
      for (const cell& c : cells_)
        if (c.id != 0) f(c.id, c.slot);
    }

   private:
    struct cell {
      uint32_t id;  // 0: empty
      uint32_t slot;
    };
    size_t home(uint32_t id) const {
      return static_cast<size_t>(hash_mix(id ^ key_)) & (cells_.size() - 1);
    }
    void place(cell c);
    uint64_t key_;
    std::vector<cell> cells_;
    size_t used_ = 0;
  };

  // Before-images of one transaction id not yet given to a transaction:
  // they belong to the one of the change that follows them.
  struct held_images {
    tag_summary first;  // the first of them
    tag_place last;     // where the last of them lies
    uint64_t count = 0;
    bool touched = false;  // one of them is of the watched node
  };

  void record(const tag_summary& t);
  void before_image(const tag_summary& t);
  txn_info* begin_or_find(const tag_summary& t, const tag_summary& opener);
  // Gives the held before-images to their transaction and returns it (null
  // when it is not followed): with next, a record of their id, to the one
  // that next begins or goes on; else to the one open, opened when none is.
  txn_info* settle_held(const tag_summary* next);
  txn_info* find(uint32_t id);
  txn_info* open(const tag_summary& t, bool begin);
  void done(txn_info& x, txn_end how);
  void count(txn_info& x, const tag_summary& t);
  void flush_all(txn_end how);

  tag_place place(const tag_summary& t) const { return tag_place::of(t, log_); }

  txn_listener& listener_;
  const char* log_ = "";
  uint32_t max_;
  session_table* sessions_;
  bool detail_;
  uint32_t only_;
  int32_t watched_ = 0;
  // The open transactions: entries that stay where they are (a deque),
  // reused once their transaction is told, with the room their lists took.
  std::deque<txn_info> entries_;
  std::vector<uint32_t> free_;  // slots of entries_ not in use
  id_index index_;
  uint64_t serial_ = 0;
  bool bound_reached_ = false;
  uint64_t outside_ = 0;
  uint64_t not_followed_ = 0;
  txn_info* last_ = nullptr;
  held_images held_;
};

}  // namespace jrn
