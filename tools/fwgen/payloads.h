// Codes and small payloads of the log format that the generator's events
// share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "logbuild/log_builder.h"

namespace fwgen {

enum txn_state : uint8_t { GLOBAL = 1, BEGIN = 2, END = 3, BEGIN_END = 4, TXN = 5 };
enum btree_tx : uint8_t {
  PAGE_INIT = 1,
  PAGE_RESET_LEAF,
  PAGE_LINK,
  PAGE_SPLIT,
  PAGE_SPLIT_ROOT,
  KEY_PUT,
  KEY_SHIFT_PUT,
  KEY_PACK,
  UPD_BOUNDS
};
enum list_type : uint32_t { FLIST = 2 };
enum page_state : uint32_t { ALLOCATED = 0, MODIFIED = 1, FREED = 2 };

const uint32_t page_size = 8192;
const uint32_t page_header = 32;  // page number, node, time, row count, row length, reserved

// NODEPAGE: the pages in use (page, log page key), all in one state.
inline std::string nodepage(const std::vector<std::pair<uint32_t, uint32_t>>& pages,
                            uint32_t state) {
  logbuild::bytes b;
  b.u32(static_cast<uint32_t>(pages.size()));
  for (const auto& p : pages) b.u32(p.first).u32(p.second).u32(state);
  b.fill((64 - pages.size()) * 12);
  return b.str();
}

inline std::string nodecluster(uint32_t cluster, int16_t count, uint16_t state) {
  return logbuild::bytes().u32(cluster).i16(count).u16(state).str();
}

// NODELISTITEM and NODELISTITEMSET: one 4-byte slot of a free-list page.
inline std::string list_item(uint32_t ts, uint32_t page, uint16_t offset, uint32_t value) {
  return logbuild::bytes().u32(ts).u32(FLIST).u32(page).u16(offset).u16(4).u32(value).str();
}

// POOL: item of the pool that moves from page o_pgno to r_pgno.
inline std::string pool_record(int32_t op, uint32_t o_pgno, uint32_t r_pgno, uint32_t item) {
  logbuild::bytes b;
  b.i32(op).u32(o_pgno).u16(o_pgno ? 64 : 0).u16(o_pgno ? 60 : 0);  // op, prev location
  return b.u32(o_pgno).u32(r_pgno).u32(item).u16(60).u16(0).str();
}

// BTREE: page o_pgno of the index whose root is r_pgno is new or changed.
inline std::string btree_record(int32_t op, uint32_t o_pgno, uint32_t r_pgno) {
  logbuild::bytes b;
  b.u32(o_pgno & ~7u).u16(static_cast<uint16_t>((o_pgno & 7) * 1024)).u16(1024);  // prev
  return b.i32(op).u32(o_pgno).u32(r_pgno).str();
}

// Operation data of a key step of BTREE_FWR: slot, key length, key and
// (for a key put) the record number.
inline std::string key_entry(uint16_t slot, const std::string& key, int64_t recno = -1) {
  logbuild::bytes b;
  b.u16(slot).u8(static_cast<uint8_t>(key.size())).raw(key);
  if (recno >= 0) b.u32(static_cast<uint32_t>(recno));
  return b.str();
}

// BEGIN: start time, session, isolation level.
inline std::string begin_payload(uint32_t ts, uint32_t session) {
  return logbuild::bytes().u32(ts).u32(session).u32(2).str();
}

}  // namespace fwgen
