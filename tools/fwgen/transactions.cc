// Data transactions: record changes of every FIXREC operation with their
// before-images, and the free-list, pool and index records that they bring.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fwgen/generator.h"
#include "fwgen/payloads.h"

namespace fwgen {

using logbuild::bytes;

namespace {

const size_t live_cap = 3000;  // rows kept per set; beyond it rows are deleted, not added
// Tags of a transaction that changes one of each kind of FIXREC operation:
// six changes of up to five tags each, BEGIN, END and two databases' contexts.
const uint64_t all_ops_txn = 6 * 5 + 2 + 11;

}  // namespace

void generator::btree_fwr(uint32_t node, uint8_t op, uint32_t pgno, const std::string& data,
                          uint32_t txn, uint32_t session) {
  rec(logbuild::OP_BTREE_FWR, TXN, txn, node,
      bytes().u16(static_cast<uint16_t>(4 + data.size())).u8(op).u8(0).u32(pgno).raw(data),
      session);
}

// An index leaf is full: a new page takes half of its keys (the first time
// the root itself, still a leaf, splits into two leaves).
void generator::split(set_state& s, uint32_t txn, uint32_t sid) {
  const uint32_t node = s.def->index_node, root = s.index_root;
  const uint16_t moved = static_cast<uint16_t>(r_.range(20, 60));
  const std::string leaf_init = bytes().u16(0).u16(1);  // level, leaf flag
  if (!s.root_split) {
    const uint32_t a = alloc_pages(1), c = alloc_pages(1);
    btree_fwr(node, PAGE_INIT, a, leaf_init, txn, sid);
    btree_fwr(node, PAGE_INIT, c, leaf_init, txn, sid);
    btree_fwr(node, PAGE_SPLIT_ROOT, root, bytes().u32(a).u32(c).u16(moved), txn, sid);
    btree_fwr(node, PAGE_RESET_LEAF, root, bytes().u16(1), txn, sid);
    rec(logbuild::OP_BTREE, TXN, txn, node, btree_record(3, a, root), sid);
    rec(logbuild::OP_BTREE, TXN, txn, node, btree_record(3, c, root), sid);
    rec(logbuild::OP_BTREE, TXN, txn, node, btree_record(4, root, root), sid);
    s.index_leaf = c;
    s.root_split = true;
  } else {
    const uint32_t n = alloc_pages(1), leaf = s.index_leaf;
    const std::string& row = s.samples[r_.below(static_cast<uint32_t>(s.samples.size()))];
    btree_fwr(node, PAGE_INIT, n, leaf_init, txn, sid);
    btree_fwr(node, PAGE_SPLIT, leaf, bytes().u32(n).u16(moved), txn, sid);
    btree_fwr(node, PAGE_LINK, leaf, bytes().u32(0).u32(n), txn, sid);
    btree_fwr(node, UPD_BOUNDS, root, key_entry(0, record_key(*s.def, row)), txn, sid);
    rec(logbuild::OP_BTREE, TXN, txn, node, btree_record(0, n, root), sid);
    rec(logbuild::OP_BTREE, TXN, txn, node, btree_record(2, leaf, root), sid);
    s.index_leaf = n;
  }
  s.keys_since_split = 0;
}

generator::set_state* generator::needing_extension(const std::vector<int>& set_list) {
  for (int i : set_list) {
    set_state& s = sets_[i];
    if (s.freed.size() < 48 && s.next_recno + 48 > s.capacity()) return &s;
  }
  return nullptr;
}

void generator::transaction() {
  session& ss = some_session();
  const user_def& u = *ss.user;
  for (int db : u.dbs) ensure_context(db);
  if (set_state* s = needing_extension(u.sets)) return extend(*s, ss.id);
  const bool lean = o_.mix == mix::fixrecs;
  std::vector<uint8_t> ops;
  if (first_txn_ && !lean && tags_left() >= all_ops_txn) {
    ops = {logbuild::PUT,          logbuild::UPDATE,
           logbuild::UPDATE_RANGE, logbuild::UPDATE_NO_DATA,
           logbuild::PUT_NO_DATA,  logbuild::DELETE};
  } else {
    // Room for BEGIN and END, and without the lean mix five tags a change and a split.
    const uint64_t room = lean ? tags_left() - 2 : (tags_left() - 2 - 8) / 5;
    uint64_t k = std::min<uint64_t>(lean ? r_.range(10, 40) : r_.range(1, 4), room);
    while (k--) ops.push_back(draw_op());
  }
  first_txn_ = false;
  const uint32_t txn = ++txn_;
  rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, ss.id), ss.id);
  set_state* touched = nullptr;
  for (size_t i = 0; i < ops.size(); ++i) {
    set_state& s = sets_[u.sets[(i + r_.below(2)) % u.sets.size()]];
    change(s, ops[i], txn, ss.id, lean, TXN);
    ss.updated[s.def->db] = true;
    if (s.def->index_node && s.keys_since_split >= 10) touched = &s;
  }
  if (touched && !lean && ops.size() <= 4) split(*touched, txn, ss.id);
  rec(logbuild::OP_EOT, END, txn, 0, "", ss.id);
  if (truth_) truth_->end(txn);
}

uint8_t generator::draw_op() {
  const uint32_t x = r_.below(100);
  return x < 40   ? logbuild::UPDATE
         : x < 68 ? logbuild::PUT
         : x < 78 ? logbuild::DELETE
         : x < 90 ? logbuild::UPDATE_RANGE
         : x < 95 ? logbuild::UPDATE_NO_DATA
                  : logbuild::PUT_NO_DATA;
}

// Only a log that another follows begins a transaction for it to end, near
// its end (with tags to spare for the first part), and only when the next
// log has room for the rest.
bool generator::may_cross() const {
  if (o_.mix == mix::pages || log_index_ + 1 >= o_.logs || carry_.txn || closing_) return false;
  if (o_.size) return o_.size / static_cast<uint64_t>(o_.logs) >= 65536;
  const uint64_t left = tags_left();
  return o_.tags / static_cast<uint64_t>(o_.logs) >= 64 && left < 64 && left >= 18;
}

// The first part of a transaction that the next log ends: to a tag count
// as many changes as the log has room for, to a size a few.
void generator::cross() {
  session& ss = some_session();
  const user_def& u = *ss.user;
  for (int db : u.dbs) ensure_context(db);
  const bool lean = o_.mix == mix::fixrecs;
  const uint64_t k = !o_.size ? UINT64_MAX : lean ? r_.range(5, 20) : r_.range(1, 3);
  carried c;
  c.txn = ++txn_;
  c.session = ss.id;
  c.user = &u;
  rec(logbuild::OP_BEGIN, BEGIN, c.txn, 0, begin_payload(ts_, ss.id), ss.id);
  for (uint64_t i = 0; i < k && (o_.size || tags_left() >= (lean ? 1u : 5u)); ++i) {
    set_state& s = sets_[u.sets[(i + r_.below(2)) % u.sets.size()]];
    c.op = draw_op();
    c.recno = change(s, c.op, c.txn, ss.id, lean, TXN);
    c.set = static_cast<size_t>(&s - sets_.data());
    ss.updated[s.def->db] = true;
  }
  carry_ = c;
  closing_ = true;
}

// The rest of the transaction, first in the log. Its first change goes on
// with the record that the last change before the log's start changed: it
// patches the record, or puts it again when that change deleted it (a
// deleted record's number is the first that a put takes again).
void generator::finish_carried() {
  const carried c = carry_;
  carry_ = carried();
  session* ss = nullptr;
  for (session& x : sessions_)
    if (x.id == c.session) ss = &x;
  for (int db : c.user->dbs) ensure_context(db);
  const bool lean = o_.mix == mix::fixrecs;
  const uint32_t k = lean ? r_.range(5, 20) : r_.range(1, 3);
  for (uint32_t i = 0; i < k; ++i) {
    const std::vector<int>& sets = c.user->sets;
    if (i == 0) {
      const uint8_t op = c.op == logbuild::DELETE ? logbuild::PUT : logbuild::UPDATE_RANGE;
      change(sets_[c.set], op, c.txn, c.session, lean, TXN, c.recno);
      if (ss) ss->updated[sets_[c.set].def->db] = true;
      continue;
    }
    set_state& s = sets_[sets[(i + r_.below(2)) % sets.size()]];
    change(s, draw_op(), c.txn, c.session, lean, TXN);
    if (ss) ss->updated[s.def->db] = true;
  }
  rec(logbuild::OP_EOT, END, c.txn, 0, "", c.session);
  if (truth_) truth_->end(c.txn);
}

// A one-record transaction: a field of one row corrected in place.
void generator::autocommit() {
  session& ss = some_session();
  for (int i : ss.user->sets) {
    set_state& s = sets_[i];
    if ((audit_ok_ && !db_in_log_[s.def->db]) || s.live.empty()) continue;
    const uint32_t txn = ++txn_;
    change(s, logbuild::UPDATE_RANGE, txn, ss.id, true, BEGIN_END);
    if (truth_) truth_->end(txn);
    return;
  }
  slave_sync();
}

uint32_t generator::change(set_state& s, uint8_t op, uint32_t txn, uint32_t sid, bool lean,
                           uint8_t state, int64_t want) {
  using namespace logbuild;
  const set_def& d = *s.def;
  const uint32_t node = d.node;
  bool adds = op == PUT || op == PUT_NO_DATA;
  if (!adds && s.live.empty()) op = PUT;
  if (adds && s.live.size() >= live_cap) op = DELETE;
  adds = op == PUT || op == PUT_NO_DATA;
  if (adds && s.freed.empty() && s.next_recno > s.capacity()) op = UPDATE, adds = false;
  // A free-list slot: where the set keeps the number of a deleted record.
  const uint16_t slot = static_cast<uint16_t>(page_header + (s.freed.size() % 1000) * 4);

  if (adds) {
    const bool reuse = !s.freed.empty();
    const uint32_t recno = reuse ? s.freed.back() : s.next_recno++;
    if (reuse) s.freed.pop_back();
    std::string row = make_record(d, recno, ts_, r_, o_.seed);
    if (lean) row.resize(r_.range(50, 500), ' ');
    if (reuse && !lean)  // the number leaves the free list
      rec(OP_NODELISTITEMSET, TXN, txn, node, list_item(ts_, s.flist_page, slot, 0), sid);
    const std::string data = op == PUT ? row : "";
    const uint64_t at = next_offset();
    rec(OP_FIXREC, state, txn, node, fixrec_payload(recno, op, data, 0, 0, 0, s.page_of(recno)),
        sid);
    if (truth_) truth_->change(placed(at), node, recno, op, txn, sid, nullptr, &row);
    if (!lean && d.pooled) {
      const uint32_t pool = s.pool_pages[recno % s.pool_pages.size()];
      rec(OP_POOL, TXN, txn, node, pool_record(1, 0, pool, recno), sid);
    }
    if (!lean && d.index_node) {
      const std::string key =
          key_entry(static_cast<uint16_t>(r_.range(0, 120)), record_key(d, row), recno);
      btree_fwr(d.index_node, r_.percent(70) ? KEY_PUT : KEY_SHIFT_PUT, s.index_leaf, key, txn,
                sid);
      ++s.keys_since_split;
    }
    s.samples[recno % s.samples.size()] = row;
    s.data[recno] = std::move(row);
    s.live.push_back(recno);
    return recno;
  }

  size_t at = s.live.size();
  if (want >= 0) at = std::find(s.live.begin(), s.live.end(), want) - s.live.begin();
  if (at == s.live.size()) at = r_.below(static_cast<uint32_t>(s.live.size()));
  const uint32_t recno = s.live[at];
  std::string& row = s.data[recno];
  const uint32_t page = s.page_of(recno), cluster = s.cluster_of(recno);
  const uint16_t offset = static_cast<uint16_t>(page_header + (recno - 1) % s.rpp * d.reclen());
  const uint16_t size = static_cast<uint16_t>(row.size());
  if (audit_ok_ && !lean && (op == UPDATE || op == DELETE)) {
    const uint64_t bi_at = next_offset();
    stamp();
    b_->before_image(txn, sid, static_cast<int32_t>(node), recno, op, row);
    if (truth_) truth_->before_image(placed(bi_at), node, recno, txn, sid, row);
  }
  const std::string before = truth_ && truth_->follows(node) ? row : std::string();
  std::string data;
  if (op == UPDATE) {
    change_record(d, row, recno, ts_, r_, o_.seed);
    data = row;
  } else if (op == UPDATE_RANGE) {
    std::pair<uint16_t, uint16_t> r = change_record(d, row, recno, ts_, r_, o_.seed);
    if (r.second == 0) r = {0, static_cast<uint16_t>(std::min<size_t>(16, row.size()))};
    data = bytes().u16(r.first).u16(r.second).raw(row.substr(r.first, r.second));
  } else if (op == UPDATE_NO_DATA) {  // the new data goes to the page, not to the log
    change_record(d, row, recno, ts_, r_, o_.seed);
  }
  const uint64_t fix_at = next_offset();
  rec(OP_FIXREC, state, txn, node, fixrec_payload(recno, op, data, cluster, offset, size, page),
      sid);
  if (truth_)
    truth_->change(placed(fix_at), node, recno, op, txn, sid, &before,
                   op == DELETE ? nullptr : &row);
  if (!lean && d.pooled && (op == DELETE || (op == UPDATE && r_.percent(50)))) {
    const uint32_t pool = s.pool_pages[recno % s.pool_pages.size()];
    rec(OP_POOL, TXN, txn, node,
        pool_record(op == DELETE ? 3 : 2, pool, s.pool_pages.back(), recno), sid);
  }
  if (op != DELETE) {
    s.samples[recno % s.samples.size()] = row;
    return recno;
  }
  if (!lean) {  // the number goes onto the free list, the key out of the index
    rec(OP_NODELISTITEM, TXN, txn, node, list_item(ts_, s.flist_page, slot, recno), sid);
    if (d.index_node)
      btree_fwr(d.index_node, KEY_PACK, s.index_leaf,
                key_entry(static_cast<uint16_t>(r_.range(0, 120)), record_key(d, row)), txn, sid);
  }
  s.freed.push_back(recno);
  s.data.erase(recno);
  s.live[at] = s.live.back();
  s.live.pop_back();
  return recno;
}

}  // namespace fwgen
