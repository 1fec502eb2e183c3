// The driver of the generator: the logs of the stream, the choice of events,
// and the sessions, audit and context records, checkpoints and slave-sync marks.
#include "fwgen/generator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fwgen/payloads.h"

namespace fwgen {

using logbuild::bytes;

namespace {

const size_t flush_at = 1 << 20;  // hand the log to the writer in pieces of about 1 MiB

uint32_t volume_set_id(uint64_t seed) { return static_cast<uint32_t>(0x5eed + seed - 1); }

}  // namespace

std::string node_map_text(uint64_t seed) {
  char line[160];
  std::snprintf(line, sizeof line, "Node name map of volume set 0x%x\n%8s %4s %-24s %8s\n",
                volume_set_id(seed), "node", "kind", "name", "parent");
  std::string t = line;
  auto add = [&](uint32_t id, int kind, const char* name, uint32_t parent) {
    std::snprintf(line, sizeof line, "%8u %4d %-24s %8u\n", id, kind, name, parent);
    t += line;
  };
  for (const db_def& d : databases()) {
    add(d.node, 2, d.map_name, 0);
    for (const set_def& s : sets()) {
      if (s.db != static_cast<int>(&d - databases().data())) continue;
      add(s.node, 3, s.map_name, d.node);
      if (s.index_node) add(s.index_node, 4, s.index_map_name, s.node);
    }
  }
  return t;
}

generator::generator(const options& o) : o_(o), r_(o.seed), audit_ok_(o.version != "1.00") {
  ts_ = static_cast<uint32_t>(1700000000 + (o.seed % 365) * 86400 + 7 * 3600);
  txn_ = 4000 + r_.below(1000);
  next_session_ = 100 + r_.below(100);
  h_.version = o.version;
  h_.volume_set_id = volume_set_id(o.seed);
  // The volume has been in use: every set starts with rows, pages and an index.
  for (const set_def& d : sets()) {
    set_state s;
    s.def = &d;
    s.rpp = std::max<uint32_t>(1, (page_size - page_header) / d.reclen());
    uint32_t rows = o.mix == mix::fixrecs ? 200 : r_.range(20, 80);
    while (s.capacity() < rows) s.clusters.push_back(alloc_pages(8));
    for (uint32_t recno = 1; recno <= rows; ++recno) {
      std::string row = make_record(d, recno, ts_ - r_.range(86400, 86400 * 300), r_, o_.seed);
      if (s.samples.size() < 16) s.samples.push_back(row);
      s.data[recno] = std::move(row);
      s.live.push_back(recno);
    }
    s.next_recno = rows + 1;
    s.flist_page = s.clusters.back();
    if (d.index_node) s.index_root = s.index_leaf = alloc_pages(1);
    if (d.pooled) s.pool_pages = {alloc_pages(1), alloc_pages(1)};
    sets_.push_back(std::move(s));
  }
  vol_pages_ = (next_page_ + 0x100) & ~0x3fu;
  db_in_log_.assign(databases().size(), false);
}

bool generator::run(const sink& out, const log_done& done) {
  if (truth_) {
    for (set_state& s : sets_)
      for (uint32_t recno : s.live) truth_->existing(s.def->node, recno, s.data[recno]);
  }
  for (int n = 0; n < o_.logs; ++n) {
    start_log(n);
    if (o_.mix == mix::realistic && tags_left() >= bound(EV_TXN)) {
      slave_sync();
      checkpoint();
    }
    while (!log_full()) {
      step();
      if (b_->str().size() >= flush_at && !out(b_->take())) return false;
    }
    // A log written to a size ends behind the first part of a transaction
    // that the next log ends.
    if (o_.size && may_cross()) cross();
    stamp();
    const bool last = n + 1 == o_.logs;
    b_->end(last ? 'F' : 'C');
    log_base_ += b_->log_offset();
    // Each log is handed over whole before the next begins, so that the
    // logs of the stream can go to files of their own.
    if (!out(b_->take())) return false;
    if (truth_ && !truth_->flush()) return false;
    if (done && !done({h_.file_sequence, first_ts_, ts_, last})) return false;
  }
  return true;
}

void generator::start_log(int n) {
  h_.file_sequence = o_.first_sequence + n;
  if (b_)
    b_->next_log(h_);
  else
    b_.reset(new logbuild::log_builder(h_));
  tags_in_log_ = 0;
  log_index_ = n;
  closing_ = false;
  log_tags_ = o_.tags / o_.logs + (static_cast<uint64_t>(n) < o_.tags % o_.logs ? 1 : 0);
  log_bytes_ = o_.size / o_.logs;
  db_in_log_.assign(db_in_log_.size(), false);
  first_txn_ = true;
  pending_ = {EV_PAGE_FLUSH, EV_NODEMETA,  EV_SYNC,      EV_CHECKPOINT, EV_VOL_EXTEND,
              EV_POOL_FLIST, EV_TEMP_NODE, EV_TEMP_NODE, EV_SPLIT,      EV_EXTEND};
  if (audit_ok_) pending_.insert(pending_.end(), {EV_MEMO, EV_SIGN_OFF});
  for (size_t i = pending_.size(); i > 1; --i) std::swap(pending_[i - 1], pending_[r_.below(i)]);
}

// The end tag always fits: a log is full when only it is left to write.
bool generator::log_full() const {
  if (o_.size) return b_->log_offset() + 9 >= log_bytes_;
  return tags_in_log_ + 1 >= log_tags_;
}

uint64_t generator::tags_left() const {
  if (o_.size) return UINT64_MAX / 4;
  return log_tags_ - 1 - tags_in_log_;
}

// The most tags that an event can write (contexts of two databases
// included), so that a log written to a tag count ends on exactly that count.
uint64_t generator::bound(event e) {
  switch (e) {
    case EV_TXN: return 2 + 11 + 5 + 8;  // one change and a split at least
    case EV_SIGN_ON: return 2 + 11;
    case EV_SIGN_OFF:
    case EV_CHECKPOINT: return 2;
    case EV_MEMO:
    case EV_SYNC: return 1;
    case EV_VOL_EXTEND: return 4;
    // These touch one set, whose database's contexts (up to 7 tags) come first.
    case EV_NODEMETA: return 1 + 7;
    case EV_PAGE_FLUSH: return 4 + 7;
    case EV_POOL_FLIST:
    case EV_TEMP_NODE: return 6 + 7;
    case EV_SPLIT: return 9 + 7;
    case EV_EXTEND: return 12 + 7;
  }
  return 0;
}

void generator::step() {
  if (o_.mix == mix::pages) {
    set_state& s = sets_[r_.below(static_cast<uint32_t>(sets_.size()))];
    return page_tag(s, s.page_of(s.live.empty() ? 1 : s.live[r_.below(s.live.size())]));
  }
  if (closing_) return slave_sync();
  if (carry_.txn) return finish_carried();
  if (!o_.size && may_cross()) return cross();
  const uint64_t left = tags_left();
  if (o_.mix == mix::fixrecs) return left < bound(EV_EXTEND) + 4 ? single() : transaction();
  event e = EV_TXN;
  if (sessions_.size() < 2 || (sessions_.size() < 4 && r_.percent(6))) {
    e = EV_SIGN_ON;
  } else if (!pending_.empty() && r_.percent(40)) {
    e = pending_.back();
    if (bound(e) <= left) pending_.pop_back();
  } else {
    static const struct {
      event e;
      uint32_t weight;
    } mix_table[] = {{EV_TXN, 60},       {EV_PAGE_FLUSH, 7}, {EV_MEMO, 4},     {EV_SYNC, 4},
                     {EV_CHECKPOINT, 3}, {EV_SIGN_OFF, 5},   {EV_NODEMETA, 2}, {EV_POOL_FLIST, 2},
                     {EV_VOL_EXTEND, 1}, {EV_TEMP_NODE, 2},  {EV_SPLIT, 2}};
    uint32_t total = 0;
    for (const auto& m : mix_table) total += m.weight;
    uint32_t x = r_.below(total);
    for (const auto& m : mix_table) {
      if (x < m.weight) {
        e = m.e;
        break;
      }
      x -= m.weight;
    }
  }
  if (bound(e) > left) return single();
  run_event(e);
}

// One tag that stands on its own, to end a log on exactly its tag count.
void generator::single() {
  if (o_.mix == mix::fixrecs) return autocommit();
  switch (r_.below(audit_ok_ ? 5 : 4)) {
    case 0: return slave_sync();
    case 1: {
      set_state* s = named_set();
      if (!s) return slave_sync();
      return page_tag(*s, s->page_of(s->live.empty() ? 1 : s->live[r_.below(s->live.size())]));
    }
    case 2: {
      set_state* s = named_set();
      return s ? nodemeta(*s) : slave_sync();
    }
    case 3: return autocommit();
    default: return memo();
  }
}

void generator::run_event(event e) {
  switch (e) {
    case EV_TXN: return transaction();
    case EV_SIGN_ON: return sign_on();
    case EV_SIGN_OFF: return sign_off();
    case EV_MEMO: return audit_ok_ ? memo() : slave_sync();
    case EV_SYNC: return slave_sync();
    case EV_CHECKPOINT: return checkpoint();
    case EV_PAGE_FLUSH: return page_flush();
    case EV_NODEMETA: {
      set_state& s = sets_[r_.below(static_cast<uint32_t>(sets_.size()))];
      ensure_context(s.def->db);
      return nodemeta(s);
    }
    case EV_VOL_EXTEND: {
      uint32_t txn = ++txn_;
      rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, 0));
      vol_extend(txn, 0);
      return rec(logbuild::OP_EOT, END, txn, 0, "");
    }
    case EV_POOL_FLIST: return pool_flist();
    case EV_TEMP_NODE: return temp_node();
    case EV_SPLIT: {
      std::vector<set_state*> indexed;
      for (set_state& s : sets_)
        if (s.def->index_node) indexed.push_back(&s);
      set_state& s = *indexed[r_.below(static_cast<uint32_t>(indexed.size()))];
      ensure_context(s.def->db);
      const uint32_t txn = ++txn_, sid = some_session().id;
      rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, sid), sid);
      split(s, txn, sid);
      return rec(logbuild::OP_EOT, END, txn, 0, "", sid);
    }
    case EV_EXTEND: {
      set_state& s = sets_[r_.below(static_cast<uint32_t>(sets_.size()))];
      ensure_context(s.def->db);
      return extend(s, some_session().id);
    }
  }
}

void generator::stamp() {
  ts_ += r_.below(3);
  if (tags_in_log_ == 0) first_ts_ = ts_;
  b_->at(seq_++, ts_);
  ++tags_in_log_;
}

uint64_t generator::next_offset() const {
  return (o_.offsets_per_log ? 0 : log_base_) + b_->log_offset();
}

tag_place generator::placed(uint64_t offset) const {
  return {seq_ - 1, ts_, offset, h_.file_sequence};
}

void generator::rec(uint8_t op, uint8_t state, uint32_t txn, uint32_t node,
                    const std::string& payload, uint32_t session) {
  stamp();
  b_->image(op, txn, node, payload, state, session);
}

void generator::ensure_context(int db) {
  if (!audit_ok_ || db_in_log_[db]) return;
  db_in_log_[db] = true;
  const db_def& d = databases()[db];
  stamp();
  b_->context_db(d.node, d.name);
  for (const set_def& s : sets()) {
    if (s.db != db) continue;
    stamp();
    if (s.items_in_context) {
      std::vector<logbuild::set_item> items;
      for (const field& f : s.fields)
        items.push_back({f.name, f.type, 1, f.size, f.type == 'I' ? 0x20u + f.size : 0x10u});
      b_->context_set_items(s.node, d.node, s.name, items);
    } else {
      b_->context_set(s.node, d.node, s.name);
    }
    if (s.index_node) {
      stamp();
      b_->context_index(s.index_node, s.node, s.index_name);
    }
  }
}

// A set whose names this log has already given, if any.
generator::set_state* generator::named_set() {
  std::vector<set_state*> named;
  for (set_state& s : sets_)
    if (!audit_ok_ || db_in_log_[s.def->db]) named.push_back(&s);
  return named.empty() ? nullptr : named[r_.below(static_cast<uint32_t>(named.size()))];
}

// Someone not signed on yet, if a few tries find one.
const user_def& generator::new_user() {
  const user_def* u = nullptr;
  for (int tries = 0; tries < 8; ++tries) {
    u = &users()[r_.below(static_cast<uint32_t>(users().size()))];
    bool active = false;
    for (const session& ss : sessions_) active = active || ss.user == u;
    if (!active) break;
  }
  return *u;
}

generator::session& generator::some_session() {
  if (sessions_.empty()) {
    const user_def& u = new_user();
    sessions_.push_back({next_session_++, &u, std::vector<bool>(databases().size(), false)});
  }
  return sessions_[r_.below(static_cast<uint32_t>(sessions_.size()))];
}

void generator::sign_on() {
  const user_def& u = new_user();
  session ss{next_session_++, &u, std::vector<bool>(databases().size(), false)};
  if (audit_ok_) {
    stamp();
    b_->sign_on(ss.id, {std::string("user=") + u.user, std::string("program=") + u.program,
                        std::string("terminal=") + u.terminal,
                        "pid=" + std::to_string(r_.range(2000, 32000))});
  }
  std::vector<std::pair<int32_t, int32_t>> opened;
  for (int db : u.dbs) {
    ensure_context(db);
    opened.push_back({static_cast<int32_t>(databases()[db].node), 3});
  }
  if (audit_ok_) {
    stamp();
    b_->dblist(ss.id, logbuild::DBLIST_SUM, opened);
  }
  sessions_.push_back(ss);
}

void generator::sign_off() {
  if (sessions_.size() < 2 || !audit_ok_) return memo();
  size_t i = r_.below(static_cast<uint32_t>(sessions_.size()));
  const session& ss = sessions_[i];
  std::vector<std::pair<int32_t, int32_t>> updated;
  for (size_t db = 0; db < ss.updated.size(); ++db)
    if (ss.updated[db]) updated.push_back({static_cast<int32_t>(databases()[db].node), 3});
  stamp();
  b_->dblist(ss.id, logbuild::DBLIST_UPD, updated);
  stamp();
  b_->sign_off(ss.id);
  sessions_.erase(sessions_.begin() + static_cast<long>(i));
}

void generator::memo() {
  if (!audit_ok_) return slave_sync();
  const session& ss = some_session();
  stamp();
  b_->memo(ss.id, static_cast<int32_t>(r_.below(2)), memo_text(*ss.user, r_));
}

void generator::slave_sync() {
  stamp();
  b_->slave_sync(h_.volume_generation, static_cast<uint32_t>(h_.file_sequence), ++syncs_, seq_ - 2);
}

void generator::checkpoint() {
  const uint32_t n = ++checkpoints_;  // every other one writes the newer checkpoint code
  rec(n % 2 ? logbuild::OP_CHECKPOINT : logbuild::OP_CHECKPOINT2, GLOBAL, 0, 0,
      bytes().u32(n).u32(ts_).u32(txn_ + 1).u32(static_cast<uint32_t>(sessions_.size())).str());
  rec(logbuild::OP_FWR_SERIAL, GLOBAL, 0, 0,
      bytes().u32(static_cast<uint32_t>(h_.file_sequence)).u32(seq_).u32(++serial_).str());
}

}  // namespace fwgen
