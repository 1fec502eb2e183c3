// Space and image traffic: pages written to the log, node meta data, new
// clusters for sets that run out of room, volume extensions, the item
// pool's free list and sort work files.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fwgen/generator.h"
#include "fwgen/payloads.h"

namespace fwgen {

using logbuild::bytes;

std::string generator::page_image(const set_state& s, uint32_t page, bool empty) {
  std::string p(page_size, '\0');
  const uint16_t len = s.def->reclen();
  const uint16_t rows =
      empty ? 0 : static_cast<uint16_t>(std::max<uint32_t>(1, s.rpp * r_.range(50, 100) / 100));
  const std::string head = bytes().u32(page).u32(s.def->node).u32(ts_).u16(rows).u16(len).str();
  std::memcpy(&p[0], head.data(), head.size());
  for (uint32_t i = 0; i < rows; ++i) {
    const std::string& row = s.samples[(page * 7 + i) % s.samples.size()];
    std::memcpy(&p[page_header + i * len], row.data(), std::min<size_t>(len, row.size()));
  }
  return p;
}

void generator::page_tag(set_state& s, uint32_t page) {
  stamp();
  b_->page(page_image(s, page));
}

// Dirty pages written to the log, then the node's page list pointing at them.
void generator::page_flush() {
  set_state& s = sets_[r_.below(static_cast<uint32_t>(sets_.size()))];
  ensure_context(s.def->db);
  std::vector<std::pair<uint32_t, uint32_t>> flushed;
  for (uint32_t n = r_.range(1, 3); n > 0; --n) {
    uint32_t page = s.page_of(s.live.empty() ? 1 : s.live[r_.below(s.live.size())]);
    // The key of a PAGE tag is its image's offset in the log in pages, from 1.
    uint32_t key = static_cast<uint32_t>(((b_->log_offset() + 9) >> 13) + 1);
    page_tag(s, page);
    flushed.push_back({page, key});
  }
  rec(logbuild::OP_NODEPAGE, GLOBAL, 0, s.def->node, nodepage(flushed, MODIFIED));
}

void generator::nodemeta(set_state& s) {
  std::string name = s.def->name;
  name.resize(16, '\0');
  bytes meta;
  meta.u32(s.def->reclen()).u32(static_cast<uint32_t>(s.live.size())).u32(s.next_recno);
  meta.u32(static_cast<uint32_t>(s.clusters.size())).u32(s.flist_page).u32(s.index_root);
  meta.raw(name).u32(ts_).fill(20);
  stamp();
  b_->nodemeta(static_cast<int32_t>(s.def->node), meta);
}

void generator::vol_extend(uint32_t txn, uint32_t session) {
  const uint32_t n = r_.range(8, 20), old = vol_pages_;
  vol_pages_ += n * 64;
  bytes b;
  b.u32(1).u32(vol_pages_).u32(++vol_extends_).u32(n);
  for (uint32_t i = 0; i < n; ++i) b.u32(old + i * 64);
  rec(logbuild::OP_VOL_EXTEND, TXN, txn, 0, b, session);
}

uint32_t generator::alloc_pages(uint32_t n) {
  uint32_t p = next_page_;
  next_page_ += n;
  return p;
}

// The item pool of the customers' notes takes a new page and gives up its oldest.
void generator::pool_flist() {
  set_state* sp = nullptr;
  for (set_state& s : sets_)
    if (s.def->pooled) sp = &s;
  set_state& s = *sp;
  ensure_context(s.def->db);
  const uint32_t txn = ++txn_, sid = some_session().id, node = s.def->node;
  const uint32_t p = alloc_pages(1), oldest = s.pool_pages.front();
  const uint16_t slot = static_cast<uint16_t>(r_.range(1, 40));
  rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, sid), sid);
  // Each step: page, operation, argument, then the operation's own fields (the
  // item, the page links, the page's item count and first and last item).
  const std::string item = bytes().u32(p).u16(page_header).u16(0).u16(16).u16(120);
  bytes newpage, additem, delitem, delpage;
  newpage.u32(p).u16(0).u16(0).raw(item).u32(s.pool_pages.back()).u32(0);
  additem.u32(p).u16(2).u16(1).raw(item).u32(1).u32(1).u32(1);
  delitem.u32(oldest).u16(3).u16(slot).u32(0).u32(0).u32(0);
  delpage.u32(oldest).u16(1).u16(0);
  for (const bytes* step : {&newpage, &additem, &delitem, &delpage})
    rec(logbuild::OP_POOL_FLIST, TXN, txn, node, *step, sid);
  rec(logbuild::OP_EOT, END, txn, 0, "", sid);
  s.pool_pages.erase(s.pool_pages.begin());
  s.pool_pages.push_back(p);
}

// A sort work file: created with its catalog entry, later dropped.
void generator::temp_node() {
  const uint32_t txn = ++txn_;
  const session& ss = some_session();
  const uint32_t sid = ss.id;
  const set_def& orders = sets()[1];
  ensure_context(orders.db);
  char text[200];
  rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, sid), sid);
  if (!temp_node_) {
    temp_node_ = 900 + ++temps_;
    temp_cluster_ = alloc_pages(8);
    bytes desc;
    desc.u16(1).u32(temp_node_).u32(7).u32(orders.node).u32(ts_).u32(8).u32(temp_cluster_);
    desc.raw("SORTWORK").fill(8).fill(16);
    rec(logbuild::OP_NODE, TXN, txn, temp_node_, desc, sid);
    std::snprintf(text, sizeof text,
                  "CATALOG ADD NODE %u TYPE=SORTWORK OWNER=%s PROGRAM=%s SET=SHOP.ORDERS "
                  "PAGES=8 CLUSTER=0x%x ORDER=ASC;",
                  temp_node_, ss.user->user, ss.user->program, temp_cluster_);
    std::string syscat = text;
    for (const field& f : orders.fields)
      syscat += std::string(" ITEM ") + f.name + " " + f.type + std::to_string(f.size) + ";";
    rec(logbuild::OP_SYSCAT, TXN, txn, temp_node_, syscat, sid);
    rec(logbuild::OP_NODECLUSTER, TXN, txn, temp_node_, nodecluster(temp_cluster_, 8, 1), sid);
    rec(logbuild::OP_EOT, END, txn, 0, "", sid);
    stamp();
    b_->nodemeta(static_cast<int32_t>(temp_node_),
                 bytes().u32(8).u32(0).u32(orders.reclen()).raw("SORTWORK").fill(80));
  } else {
    std::vector<std::pair<uint32_t, uint32_t>> pages;
    for (uint32_t i = 0; i < 8; ++i) pages.push_back({temp_cluster_ + i, 0});
    rec(logbuild::OP_NODEPAGE, TXN, txn, temp_node_, nodepage(pages, FREED), sid);
    rec(logbuild::OP_NODECLUSTER, TXN, txn, temp_node_, nodecluster(temp_cluster_, 8, 2), sid);
    rec(logbuild::OP_NODEDELETE, TXN, txn, temp_node_, bytes().u32(temp_node_), sid);
    std::snprintf(text, sizeof text, "CATALOG DROP NODE %u TYPE=SORTWORK OWNER=%s;", temp_node_,
                  ss.user->user);
    rec(logbuild::OP_SYSCAT, TXN, txn, temp_node_, text, sid);
    rec(logbuild::OP_EOT, END, txn, 0, "", sid);
    temp_node_ = 0;
  }
}

// A set out of room gets a new cluster of 8 pages, its free slots listed on
// the fixed-record free list.
void generator::extend(set_state& s, uint32_t sid) {
  const uint32_t txn = ++txn_, node = s.def->node;
  rec(logbuild::OP_BEGIN, BEGIN, txn, 0, begin_payload(ts_, sid), sid);
  if (next_page_ + 8 > vol_pages_) vol_extend(txn, sid);
  const uint32_t c = alloc_pages(8), prev = s.clusters.back(), first = s.capacity() + 1;
  s.clusters.push_back(c);
  const uint32_t last = s.capacity();
  rec(logbuild::OP_NODECLUSTER, TXN, txn, node, nodecluster(c, 8, 1), sid);
  std::vector<std::pair<uint32_t, uint32_t>> pages;
  for (uint32_t i = 0; i < 8; ++i) pages.push_back({c + i, 0});
  rec(logbuild::OP_NODEPAGE, TXN, txn, node, nodepage(pages, ALLOCATED), sid);
  rec(logbuild::OP_FIXREC_NEWCLUSTER, TXN, txn, node, bytes().u32(c), sid);
  const uint32_t slots = last - first + 1;
  bytes list_page;  // ADD to the FIXREC_FLIST, behind the page before
  list_page.u32(ts_).u16(1).u8(2).u8(FLIST).u32(c);
  list_page.u32(prev).u32(ts_ - r_.range(60, 86400)).u32(0).u32(0);  // prev and next
  list_page.u32(s.clusters.front()).u32(c).u32(static_cast<uint32_t>(s.clusters.size()));
  rec(logbuild::OP_NODELISTPAGE, TXN, txn, node, list_page, sid);
  rec(logbuild::OP_NODELISTPAGEHEAD, TXN, txn, node,
      bytes().u32(ts_).u32(FLIST).u32(c).u32(slots).u32(first).u32(last), sid);
  rec(logbuild::OP_NODELISTFILLITEM, TXN, txn, node,
      bytes().u32(ts_).u32(FLIST).u32(c).u16(0).u16(static_cast<uint16_t>(slots)).u32(first).u32(0),
      sid);
  bytes meta;  // time, free-list head (page, item), first, last and next record number, ...
  meta.u32(ts_).u32(c).u32(0).u32(1).u32(last).u32(s.next_recno);
  meta.u32(static_cast<uint32_t>(s.live.size())).u32(++serial_);  // ... records, serial
  rec(logbuild::OP_FIXREC_META, TXN, txn, node, meta, sid);
  rec(logbuild::OP_EOT, END, txn, 0, "", sid);
  stamp();
  b_->cluster(static_cast<int32_t>(node), static_cast<int32_t>(c),
              {page_image(s, c, true), page_image(s, c + 1, true)});
  s.flist_page = c;
}

}  // namespace fwgen
