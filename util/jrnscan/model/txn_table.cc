#include "model/txn_table.h"

#include <algorithm>
#include <cstring>

#include "scan/format.h"

namespace jrn {

namespace {

// The entries of a SIGN_ON as the report shows them: each up to a zero
// byte, its first entry_bytes.
who_ptr make_who(const audit_event& e) {
  auto w = std::make_shared<sign_on_text>();
  w->declared = e.declared;
  w->damaged = e.damaged;
  // Measured first, so that the text takes only the room it needs.
  size_t total = 0;
  uint32_t kept = 0;
  for (; kept < e.entry_count; ++kept) {
    const audit_text& a = e.entries[kept];
    const void* nul = std::memchr(a.data, 0, a.size);
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - a.data) : a.size;
    len = std::min<size_t>(len, sign_on_text::entry_bytes);
    if (total + len > sign_on_text::text_bytes || kept == sign_on_text::max_entries) {
      w->left_out = true;
      break;
    }
    total += len;
  }
  w->text.reserve(total);
  w->entries.reserve(kept);
  for (uint32_t i = 0; i < kept; ++i) {
    const audit_text& a = e.entries[i];
    const void* nul = std::memchr(a.data, 0, a.size);
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - a.data) : a.size;
    const bool cut = len > sign_on_text::entry_bytes;
    if (cut) len = sign_on_text::entry_bytes;
    w->text.append(reinterpret_cast<const char*>(a.data), len);
    w->entries.push_back({static_cast<uint16_t>(w->text.size()), cut});
  }
  return w;
}

// The entries of a table in the order they were opened.
template <typename Map>
std::vector<uint32_t> ids_in_order(const Map& m) {
  std::vector<std::pair<uint64_t, uint32_t>> order;
  order.reserve(m.size());
  for (const auto& kv : m) order.emplace_back(kv.second.serial, kv.first);
  std::sort(order.begin(), order.end());
  std::vector<uint32_t> ids;
  ids.reserve(order.size());
  for (const auto& o : order) ids.push_back(o.second);
  return ids;
}

// Counts a record in the entry of its key (an opcode, a node): records of
// a transaction mostly repeat the key of the one before, so the entry last
// counted in is looked at first. Past limit entries, a new key's records
// go to rest.
template <typename Entry, typename Key>
void count_in(std::vector<Entry>& entries, Key Entry::*key_of, Key key, uint8_t& last, size_t limit,
              uint64_t& rest) {
  if (last < entries.size() && entries[last].*key_of == key) {
    ++entries[last].records;
    return;
  }
  size_t i = 0;
  while (i < entries.size() && entries[i].*key_of != key) ++i;
  if (i < entries.size()) {
    ++entries[i].records;
    last = static_cast<uint8_t>(i);
  } else if (i < limit) {
    entries.push_back({key, 1});
    last = static_cast<uint8_t>(i);
  } else {
    ++rest;
  }
}

}  // namespace

bool sign_on_text::complete() const {
  if (left_out || damaged || entries.size() != declared) return false;
  for (const entry& e : entries)
    if (e.cut) return false;
  return true;
}

// --- sessions ---

session_table::session_table(session_listener* listener, uint32_t max_entries, bool all,
                             bool detail, bool memo_texts)
    : listener_(listener),
      max_(max_entries),
      all_(all),
      detail_(detail),
      memo_texts_(memo_texts),
      open_(16, keyed_id_hash{random_hash_key()}) {}

session_info* session_table::find(uint32_t id) {
  if (last_ && last_->id == id) return last_;
  auto it = open_.find(id);
  if (it == open_.end()) return nullptr;
  last_ = &it->second;
  return last_;
}

session_info* session_table::entry_for(uint32_t id, const tag_summary& t, bool sign_on) {
  const tag_place at = place(t);
  if (session_info* s = find(id)) {
    s->last = at;
    return s;
  }
  // Only a sign-on opens an entry of a session that is not followed whole;
  // once the bound was reached, the sign-on of a session met may have been
  // one left out.
  if (!sign_on && (!all_ || bound_reached_)) {
    if (bound_reached_) ++not_followed_;
    return nullptr;
  }
  if (open_.size() >= max_) {
    if (!bound_reached_) {
      bound_reached_ = true;
      if (on_full) on_full(t);
    }
    ++not_followed_;
    return nullptr;
  }
  session_info& s = open_[id];
  s.id = id;
  s.serial = ++serial_;
  s.first = s.last = at;
  ++met_;
  last_ = &s;
  return &s;
}

void session_table::done(session_info& s, session_end how) {
  s.end = how;
  if (listener_) listener_->session_done(s);
  drop(s.id);
}

void session_table::drop(uint32_t id) {
  if (last_ && last_->id == id) last_ = nullptr;
  open_.erase(id);
}

void session_table::audit(const tag_summary& t, const audit_event& e) {
  const uint32_t id = e.session_id;
  const tag_place at = place(t);
  if (e.type == audit_type::sign_on) {
    if (session_info* s = find(id)) {
      s->sign_off = at;
      done(*s, session_end::signed_on_again);
    }
    session_info* s = entry_for(id, t, true);
    if (!s) return;
    s->who = make_who(e);
    s->sign_on = at;
    s->damaged += e.damaged;
    return;
  }
  if (e.type == audit_type::sign_off) {
    session_info* s = entry_for(id, t, false);
    if (!s) return;
    s->damaged += e.damaged;
    s->sign_off = at;
    done(*s, session_end::sign_off);
    return;
  }
  if (!detail_) return;
  session_info* s = entry_for(id, t, false);
  if (!s) return;
  s->damaged += e.damaged;
  if (e.type == audit_type::memo) {
    ++s->memos;
    // A memo whose body broke its size rule has no text to show.
    if (memo_texts_ && !e.damaged && s->memo_texts.size() < session_limits::memos) {
      const uint32_t n = std::min<uint32_t>(e.size, session_limits::memo_bytes);
      s->memo_texts.push_back(
          {e.mode, e.size, e.data ? std::string(reinterpret_cast<const char*>(e.data), n) : ""});
    }
    return;
  }
  const bool updated = e.type == audit_type::dblist_upd;
  for (uint32_t i = 0; i < e.node_count; ++i) {
    const audit_node& n = e.nodes[i];
    const bool known = std::any_of(s->dbs.begin(), s->dbs.end(), [&](const session_db& d) {
      return d.node_id == n.node_id && d.updated == updated;
    });
    if (known) continue;
    if (s->dbs.size() < session_limits::dbs)
      s->dbs.push_back({n.node_id, n.mode, updated});
    else
      ++s->dbs_left_out;
  }
}

void session_table::record(const tag_summary& t) {
  // Session 0 is no session: its records are counted in none, even when an
  // AUDIT tag named session 0.
  if (t.session_id == 0) return;
  if (session_info* s = entry_for(t.session_id, t, false)) ++s->records;
}

who_ptr session_table::transaction_began(uint32_t session, const tag_summary& t, bool* lost) {
  // A transaction of session 0 belongs to no session.
  *lost = false;
  if (session == 0) return nullptr;
  session_info* s = entry_for(session, t, false);
  *lost = !s && bound_reached_;
  if (!s) return nullptr;
  ++s->transactions;
  return s->who;
}

who_ptr session_table::who(uint32_t session) const {
  if (session == 0) return nullptr;  // no session, whatever an AUDIT tag named
  auto it = open_.find(session);
  return it == open_.end() ? nullptr : it->second.who;
}

bool session_table::may_have_lost(uint32_t session) const {
  return session != 0 && bound_reached_ && open_.count(session) == 0;
}

void session_table::flush_all(session_end how) {
  for (uint32_t id : ids_in_order(open_)) done(open_.at(id), how);
}

void session_table::end_log(log_end how) {
  if (how == log_end::eof_finish) flush_all(session_end::log_finished);
}

void session_table::finish(bool stopped) {
  flush_all(stopped ? session_end::stopped : session_end::open);
}

// --- transactions ---

uint32_t txn_table::id_index::find(uint32_t id) const {
  if (cells_.empty()) return none;
  for (size_t i = home(id);; i = (i + 1) & (cells_.size() - 1)) {
    if (cells_[i].id == id) return cells_[i].slot;
    if (cells_[i].id == 0) return none;
  }
}

void txn_table::id_index::place(cell c) {
  size_t i = home(c.id);
  while (cells_[i].id != 0) i = (i + 1) & (cells_.size() - 1);
  cells_[i] = c;
}

void txn_table::id_index::put(uint32_t id, uint32_t slot) {
  if ((used_ + 1) * 2 > cells_.size()) {
    std::vector<cell> old(cells_.empty() ? 64 : cells_.size() * 2, cell{0, 0});
    old.swap(cells_);
    for (const cell& c : old)
      if (c.id != 0) place(c);
  }
  place({id, slot});
  ++used_;
}

// The ids behind the gap that would no longer be reached move into it.
void txn_table::id_index::erase(uint32_t id) {
  const size_t mask = cells_.size() - 1;
  size_t gap = home(id);
  while (cells_[gap].id != id) gap = (gap + 1) & mask;
  for (size_t i = (gap + 1) & mask; cells_[i].id != 0; i = (i + 1) & mask) {
    const size_t h = home(cells_[i].id);
    if (((i - h) & mask) >= ((i - gap) & mask)) {
      cells_[gap] = cells_[i];
      gap = i;
    }
  }
  cells_[gap] = {0, 0};
  --used_;
}

txn_table::txn_table(txn_listener& listener, uint32_t max_open, session_table* sessions,
                     bool detail, uint32_t only)
    : listener_(listener),
      max_(max_open),
      sessions_(sessions),
      detail_(detail),
      only_(only),
      index_(random_hash_key()) {}

txn_info* txn_table::find(uint32_t id) {
  if (last_ && last_->id == id) return last_;
  const uint32_t slot = index_.find(id);
  if (slot == id_index::none) return nullptr;
  last_ = &entries_[slot];
  return last_;
}

txn_info* txn_table::open(const tag_summary& t, bool begin) {
  // Once the bound was reached, a record of an id not held may belong to a
  // transaction whose BEGIN was left out: it opens none.
  if (!begin && bound_reached_) return nullptr;
  if (entries_.size() - free_.size() >= max_) {
    if (!bound_reached_) {
      bound_reached_ = true;
      if (on_full) on_full(t);
    }
    return nullptr;
  }
  uint32_t slot;
  if (free_.empty()) {
    slot = static_cast<uint32_t>(entries_.size());
    entries_.emplace_back();
  } else {
    slot = free_.back();
    free_.pop_back();
  }
  index_.put(t.transaction_id, slot);
  // A reused entry keeps the room of its lists.
  txn_info& x = entries_[slot];
  std::vector<txn_op> ops = std::move(x.ops);
  std::vector<txn_node> nodes = std::move(x.nodes);
  ops.clear();
  nodes.clear();
  x = txn_info();
  x.ops = std::move(ops);
  x.nodes = std::move(nodes);
  x.id = t.transaction_id;
  x.session = t.session_id;
  x.first = x.last = place(t);
  x.begin_seen = begin;
  x.serial = ++serial_;
  if (sessions_) x.who = sessions_->transaction_began(t.session_id, t, &x.sign_on_lost);
  last_ = &x;
  return &x;
}

void txn_table::done(txn_info& x, txn_end how) {
  x.end = how;
  // A sign-on met after the transaction began still tells who ran it.
  if (!x.who && sessions_) {
    x.who = sessions_->who(x.session);
    if (x.who) x.sign_on_lost = false;
  }
  listener_.txn_done(x);
  if (last_ == &x) last_ = nullptr;
  free_.push_back(index_.find(x.id));
  index_.erase(x.id);
  x.who.reset();
}

void txn_table::count(txn_info& x, const tag_summary& t) {
  ++x.records;
  x.last = place(t);
  if (watched_ != 0 && t.node_id == watched_) x.touched = true;
  if (!detail_) return;
  count_in(x.ops, &txn_op::opcode, t.opcode, x.last_op, txn_limits::ops, x.other_op_records);
  if (t.node_id == 0)
    ++x.nodeless_records;
  else
    count_in(x.nodes, &txn_node::node_id, t.node_id, x.last_node, txn_limits::nodes,
             x.other_node_records);
}

void txn_table::record(const tag_summary& t) {
  const uint32_t id = t.transaction_id;
  const uint8_t state = t.txn_state;
  const bool outside = id == 0 || state == txn_state::global;
  txn_info* x = nullptr;
  if (held_.count != 0) {
    const bool theirs = !outside && held_.first.transaction_id == id;
    if (!theirs)
      settle_held(nullptr);
    else if (!(x = settle_held(&t))) {
      ++not_followed_;
      return;
    }
  }
  if (outside) {
    ++outside_;
    return;
  }
  if (only_ != 0 && id != only_) return;
  if (!x && !(x = begin_or_find(t, t))) {
    ++not_followed_;
    return;
  }
  count(*x, t);
  if (state == txn_state::end)
    done(*x, txn_end::end);
  else if (state == txn_state::begin_end)
    done(*x, txn_end::begin_end);
}

// The transaction a record of t's id belongs to: a BEGIN or BEGIN-END
// record begins one (the one open of its id has then not ended); any other
// goes on in the one open, or opens one that began before the input, at
// the tag opener. Null when it is not followed.
txn_info* txn_table::begin_or_find(const tag_summary& t, const tag_summary& opener) {
  const bool begins = t.txn_state == txn_state::begin || t.txn_state == txn_state::begin_end;
  txn_info* x = find(t.transaction_id);
  if (x && begins) {
    x->again_sequence = t.sequence;
    done(*x, txn_end::begun_again);
    x = nullptr;
  }
  return x ? x : open(opener, begins);
}

void txn_table::before_image(const tag_summary& t) {
  const uint32_t id = t.transaction_id;
  if (id == 0 || (only_ != 0 && id != only_)) return;
  if (held_.count != 0 && held_.first.transaction_id != id) settle_held(nullptr);
  if (held_.count == 0) {
    held_.first = t;
    held_.first.payload = nullptr;  // valid only while the tag is read
    held_.touched = false;
  }
  ++held_.count;
  held_.last = place(t);
  if (watched_ != 0 && t.node_id == watched_) held_.touched = true;
}

txn_info* txn_table::settle_held(const tag_summary* next) {
  const uint64_t n = held_.count;
  held_.count = 0;
  // A transaction they open begins with the first of them.
  txn_info* x = next ? begin_or_find(*next, held_.first) : find(held_.first.transaction_id);
  if (!x && !next) x = open(held_.first, false);
  if (!x) {
    not_followed_ += n;
    return nullptr;
  }
  x->before_images += n;
  if (!next) x->last = held_.last;
  if (held_.touched) x->touched = true;
  return x;
}

void txn_table::flush_all(txn_end how) {
  std::vector<std::pair<uint64_t, uint32_t>> order;  // serial, slot
  index_.each([&](uint32_t, uint32_t slot) { order.emplace_back(entries_[slot].serial, slot); });
  std::sort(order.begin(), order.end());
  for (const auto& o : order) done(entries_[o.second], how);
}

void txn_table::end_log(log_end how) {
  if (held_.count != 0) settle_held(nullptr);
  if (how == log_end::eof_finish) flush_all(txn_end::log_finished);
}

void txn_table::finish(bool stopped) {
  if (held_.count != 0) settle_held(nullptr);
  flush_all(stopped ? txn_end::stopped : txn_end::open);
}

}  // namespace jrn
