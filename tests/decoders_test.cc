// Golden tests of the IMAGE record decoders: node, node-list, B-tree, pool,
// volume and serial records, their page probes (-p) and their malformed
// payloads. Every case runs the real binary on a log of one record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::bytes;
using logbuild::log_builder;
namespace lb = logbuild;

namespace {

const std::string kHeader =
    "\nFile: t.fwlog\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\n"
    "volume release: 8\nvolume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
const std::string kTagLines =
    "\nsequence = 1\ntimestamp = 2023-11-14 22:13:20 (1700000000)\ntag = REC (49)\n";
const std::string kRecLines =
    " transaction_id: 17\n session_id: 3\n txn state: TXN (5)\n node_id: #42\n";
const std::string kEnd =
    "\nsequence = 2\ntimestamp = 2023-11-14 22:13:21 (1700000001)\ntag = EOF_FINISH (70)\n";
const std::string kHidden = "(not shown)\n";
const std::string kMalformed = "t.fwlog: malformed IMAGE record at offset 36: ";  // first tag

struct record_run {
  std::string opcode_line;  // " opcode: NAME (n)\n"
  std::string lines;        // what the decoder printed, or kHidden
  std::string err;
  int status = -1;
};

// Runs a log of one IMAGE record (txn 17, session 3, state TXN, node 42)
// and an end tag; checks the fixed parts of the report and returns the rest.
record_run record(uint8_t opcode, const std::string& payload,
                  const std::vector<std::string>& opts = {"-a"}) {
  log_builder b;
  b.image(opcode, 17, 42, payload, 5, 3).end();
  const golden::result r = golden::scan(b.str(), opts);
  record_run run;
  run.err = r.err;
  run.status = r.status;
  std::string out = r.out;
  const size_t h = out.find(kHeader);
  EXPECT_NE(h, std::string::npos) << out;
  if (h == std::string::npos) return run;
  out.erase(0, h + kHeader.size());
  EXPECT_TRUE(out.size() >= kEnd.size() &&
              out.compare(out.size() - kEnd.size(), kEnd.size(), kEnd) == 0)
      << out;
  out.resize(out.size() - std::min(out.size(), kEnd.size()));
  if (out.empty()) {
    run.lines = kHidden;
    return run;
  }
  EXPECT_EQ(out.compare(0, kTagLines.size(), kTagLines), 0) << out;
  out.erase(0, kTagLines.size());
  const size_t eol = out.find('\n') + 1;
  run.opcode_line = out.substr(0, eol);
  out.erase(0, eol);
  EXPECT_EQ(out.compare(0, kRecLines.size(), kRecLines), 0) << out;
  run.lines = out.substr(std::min(out.size(), kRecLines.size()));
  return run;
}

// Payload layouts.
std::string nodepage(uint32_t count, const std::vector<std::vector<uint32_t>>& entries) {
  bytes b;
  b.u32(count);
  for (const auto& e : entries) b.u32(e[0]).u32(e[1]).u32(e[2]);
  return b.fill(772 - b.size()).str();
}
std::string cluster(uint32_t first, int16_t count, uint16_t state) {
  return bytes().u32(first).i16(count).u16(state);
}
std::string listpage(uint16_t action, uint8_t id, uint8_t type) {
  return bytes()
      .u32(77)
      .u16(action)
      .u8(id)
      .u8(type)
      .u32(0x1f)
      .u32(0x1e)
      .u32(70)
      .u32(0x20)
      .u32(80)
      .u32(0x1)
      .u32(0x40)
      .u32(9);
}
std::string listhead(uint32_t type) {
  return bytes().u32(5).u32(type).u32(0x33).u32(3).u32(0x10).u32(0x12);
}
std::string listitem(uint16_t size, const std::string& data) {
  return bytes().u32(9).u32(1).u32(0x5).u16(3).u16(size).raw(data);
}
std::string fillitem(uint32_t type) {
  return bytes().u32(11).u32(type).u32(0x6).u16(2).u16(4).u32(100).u32(7);
}
std::string btree(int32_t op) {
  return bytes().u32(0x300).u16(12).u16(40).i32(op).u32(0x21).u32(0x22);
}
std::string btree_fwr(uint16_t size, uint8_t op, const std::string& data) {
  return bytes().u16(size).u8(op).u8(0xee).u32(0x77).raw(data);
}
std::string pool(int32_t op) {
  return bytes().i32(op).u32(0x400).u16(8).u16(24).u32(0x31).u32(0x32).fill(8, 0xee);
}
std::string flist(uint16_t op, const std::string& rest) {
  return bytes().u32(0x50).u16(op).u16(6).raw(rest);
}
const std::string kItem =
    bytes().u32(0x500).u16(16).u16(0xeeee).u16(4).u16(64);  // cluster, offset, -, min, max
const std::string kNewpage = flist(0, kItem + bytes().u32(0x4f).u32(0x51).str());
const std::string kAdditem = flist(2, kItem + bytes().u32(5).u32(1).u32(5).str());
const std::string kDelitem = flist(3, bytes().u32(4).u32(2).u32(5));
std::string vol(uint32_t free_count, uint32_t held) {
  bytes b;
  b.u32(2).u32(1000).u32(3).u32(free_count);
  for (uint32_t i = 1; i <= held; ++i) b.u32(i == 9 ? 0x1a : i);
  return b.fill(held == 0 ? 4 : 0).str();  // an empty list still has room for one entry
}
std::string vol_lines(uint32_t free_count) {
  return "  volume_id=2 curr_size=1000 ext_count=3 free_count=" + std::to_string(free_count) + "\n";
}
const std::string kEight =
    "   00000001 00000002 00000003 00000004 00000005 00000006 00000007 00000008\n";

const std::vector<std::string> kA = {"-a"}, kV = {"-a", "-v"}, kVV = {"-a", "-vv"};
std::vector<std::string> page_opt(uint32_t page) { return {"-p", std::to_string(page)}; }

struct print_case {
  const char* name;
  uint8_t op;
  std::string payload;
  std::vector<std::string> opts;
  std::string want;
};

TEST(Decoders, PrintersAtTheirDetailLevels) {
  const std::string item_head = "  page 0x5 type=ILIST timestamp=9\n  offset=3 size=4\n";
  const std::string btree3 = "  op = NEWPG (3)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n";
  const std::string prev = "  prev.cluster = 0x300\n  prev.offset = 12\n  prev.size = 40\n";
  const std::string pool_new = "  op = NEW (1)\n  o_pgno = 0x31\n  r_pgno key = 0x32\n";
  const std::string pool_prev = "  prev.cluster = 0x400\n  prev.offset = 8\n  prev.size = 24\n";
  const std::string item_lines =
      "  header.arg = 6\n  item.item.cluster = 0x500\n  item.item.offset = 16\n"
      "  item.item_minsize = 4\n  item.item_maxsize = 64\n";
  const std::string links = "  pglink.prev_page = 0x4f\n  pglink.next_page = 0x51\n";
  const std::string pginfo =
      "  pginfo.num_items = 5\n  pginfo.first_item = 1\n  pginfo.last_item = 5\n";
  const std::vector<print_case> cases = {
      {"node of 60 bytes", lb::OP_NODE, bytes().u16(0xffff).u32(1234).fill(54, 0xee), kVV,
       "  node_id = 1234\n"},
      {"nodepage", lb::OP_NODEPAGE,
       nodepage(4, {{0x10, 0, 0}, {0x11, 0x2a, 7}, {0x12, 0, 1}, {0x13, 0, 2}, {0x14, 0x15, 0}}),
       kVV,
       "  page 0x10 ALLOCATED\n  page 0x11 ???\n  logpage key = 0x2a\n  page 0x12 MODIFIED\n"
       "  page 0x13 FREED\n"},
      {"nodepage count 0", lb::OP_NODEPAGE, nodepage(0, {{0x10, 0x2a, 0}}), kA, ""},
      {"cluster allocated", lb::OP_NODECLUSTER, cluster(0xf8, 8, 1), kA,
       "  cluster 0xf8/8 ALLOCATED\n"},
      {"cluster count -1", lb::OP_NODECLUSTER, cluster(0x100, -1, 0), kA,
       "  cluster 0x100/-1 NOP\n"},
      {"cluster freed", lb::OP_NODECLUSTER, cluster(0x7, 2, 2), kA, "  cluster 0x7/2 FREED\n"},
      {"cluster state 3", lb::OP_NODECLUSTER, cluster(0x7, 2, 3), kA, "  cluster 0x7/2 ???\n"},
      {"listpage", lb::OP_NODELISTPAGE, listpage(1, 2, 1), kA,
       "  page 0x1f ADD id=FIXREC_FLIST type=ILIST timestamp=77\n  prev_page=0x1e timestamp=70\n"
       "  next_page=0x20 timestamp=80\n  first_page=0x1 last_page=0x40 num_pages=9\n"},
      {"listpage other words", lb::OP_NODELISTPAGE, listpage(2, 1, 2), kA,
       "  page 0x1f DEL id=FLIST type=FLIST timestamp=77\n  prev_page=0x1e timestamp=70\n"
       "  next_page=0x20 timestamp=80\n  first_page=0x1 last_page=0x40 num_pages=9\n"},
      {"listpage unknown codes", lb::OP_NODELISTPAGE, listpage(3, 3, 3), kA,
       "  page 0x1f ??? id=??? type=??? timestamp=77\n  prev_page=0x1e timestamp=70\n"
       "  next_page=0x20 timestamp=80\n  first_page=0x1 last_page=0x40 num_pages=9\n"},
      {"listpage zero codes", lb::OP_NODELISTPAGE, listpage(0, 0, 0), kA,
       "  page 0x1f NOP id=ULIST type=UNKNOWN timestamp=77\n  prev_page=0x1e timestamp=70\n"
       "  next_page=0x20 timestamp=80\n  first_page=0x1 last_page=0x40 num_pages=9\n"},
      {"listpagehead", lb::OP_NODELISTPAGEHEAD, listhead(2), kA,
       "  page 0x33 type=FLIST timestamp=5\n  first_item=0x10 last_item=0x12 num_items=3\n"},
      {"listpagehead type 3", lb::OP_NODELISTPAGEHEAD, listhead(3), kA,
       "  page 0x33 type=??? timestamp=5\n  first_item=0x10 last_item=0x12 num_items=3\n"},
      {"listitem level 1", lb::OP_NODELISTITEM, listitem(4, "AB\x7f\x80zz"), kV, item_head},
      {"listitem level 2, bytes past size unshown", lb::OP_NODELISTITEM,
       listitem(4, "AB\x7f\x80zz"), kVV,
       item_head + "000: 41 42 7f 80" + std::string(36, ' ') + " |AB.." + std::string(12, ' ') +
           "|\n"},
      {"listitem size 0", lb::OP_NODELISTITEM, listitem(0, ""), kVV,
       "  page 0x5 type=ILIST timestamp=9\n  offset=3 size=0\n"},
      {"fillitem", lb::OP_NODELISTFILLITEM, fillitem(0), kA,
       "  page 0x6 type=UNKNOWN timestamp=11\n  start_idx=2 count=4 start_id=100 value=7\n"},
      {"fillitem type 3", lb::OP_NODELISTFILLITEM, fillitem(3), kA,
       "  page 0x6 type=??? timestamp=11\n  start_idx=2 count=4 start_id=100 value=7\n"},
      {"btree level 1", lb::OP_BTREE, btree(3), kV, btree3},
      {"btree level 2", lb::OP_BTREE, btree(3), kVV, btree3 + prev},
      {"btree op 0", lb::OP_BTREE, btree(0), kA,
       "  op = NEWPG (0)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n"},
      {"btree op 1", lb::OP_BTREE, btree(1), kA,
       "  op = DELPG (1)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n"},
      {"btree op 4", lb::OP_BTREE, btree(4), kA,
       "  op = UPDPG (4)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n"},
      {"btree op 5", lb::OP_BTREE, btree(5), kA,
       "  op = ** UNRECOGNIZED BTREE OP ** (5)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n"},
      {"btree op -1", lb::OP_BTREE, btree(-1), kA,
       "  op = ** UNRECOGNIZED BTREE OP ** (-1)\n  o_pgno = 0x21\n  r_pgno key = 0x22\n"},
      {"btree_fwr level 1", lb::OP_BTREE_FWR, btree_fwr(8, 6, std::string("AB\0\xff", 4)), kV,
       "  op = KEY_PUT (6)\n  pgno = 0x77\n"},
      {"btree_fwr level 2", lb::OP_BTREE_FWR, btree_fwr(8, 9, std::string("AB\0\xff", 4)), kVV,
       "  op = UPD_BOUNDS (9)\n  pgno = 0x77\n   size: 8\n000: 77 00 00 00 41 42 00 ff" +
           std::string(24, ' ') + " |w...AB.." + std::string(8, ' ') + "|\n"},
      {"btree_fwr size 0", lb::OP_BTREE_FWR, btree_fwr(0, 1, ""), kVV,
       "  op = PAGE_INIT (1)\n  pgno = 0x77\n   size: 0\n"},
      {"btree_fwr op 0", lb::OP_BTREE_FWR, btree_fwr(4, 0, ""), kA,
       "  op = ** UNRECOGNIZED BTREE_TX OP ** (0)\n  pgno = 0x77\n"},
      {"btree_fwr op 10", lb::OP_BTREE_FWR, btree_fwr(4, 10, ""), kA,
       "  op = ** UNRECOGNIZED BTREE_TX OP ** (10)\n  pgno = 0x77\n"},
      {"pool level 1", lb::OP_POOL, pool(1), kV, pool_new},
      {"pool level 2", lb::OP_POOL, pool(1), kVV, pool_new + pool_prev},
      {"pool modify", lb::OP_POOL, pool(2), kA,
       "  op = MODIFY (2)\n  o_pgno = 0x31\n  r_pgno key = 0x32\n"},
      {"pool delete", lb::OP_POOL, pool(3), kA,
       "  op = DELETE (3)\n  o_pgno = 0x31\n  r_pgno key = 0x32\n"},
      {"pool op 0", lb::OP_POOL, pool(0), kVV, "  op = NOP (*** unexpected ***) (0)\n"},
      {"pool op 4", lb::OP_POOL, pool(4), kVV, "  op = FLIST (*** unexpected ***) (4)\n"},
      {"pool op 5", lb::OP_POOL, pool(5), kVV, "  op = FLIST_UNDO (*** unexpected ***) (5)\n"},
      {"pool op 6", lb::OP_POOL, pool(6), kVV, "  op = UPDATE (*** unexpected ***) (6)\n"},
      {"pool op 7", lb::OP_POOL, pool(7), kVV, "  op = ** UNRECOGNIZED POOL OP ** (7)\n"},
      {"pool op -2", lb::OP_POOL, pool(-2), kVV, "  op = ** UNRECOGNIZED POOL OP ** (-2)\n"},
      {"newpage level 1", lb::OP_POOL_FLIST, kNewpage, kV,
       "  op = NEWPAGE (0)\n  header.page = 0x50\n"},
      {"newpage level 2", lb::OP_POOL_FLIST, kNewpage, kVV,
       "  op = NEWPAGE (0)\n  header.page = 0x50\n" + item_lines + links},
      {"newpage under -p", lb::OP_POOL_FLIST, kNewpage, page_opt(0x50),
       "  op = NEWPAGE (0)\n  header.page = 0x50\n" + links},
      {"delpage level 2", lb::OP_POOL_FLIST, flist(1, ""), kVV,
       "  op = DELPAGE (1)\n  header.page = 0x50\n"},
      {"additem level 1", lb::OP_POOL_FLIST, kAdditem, kV,
       "  op = ADDITEM (2)\n  header.page = 0x50\n"},
      {"additem level 2", lb::OP_POOL_FLIST, kAdditem, kVV,
       "  op = ADDITEM (2)\n  header.page = 0x50\n" + item_lines + pginfo},
      {"delitem level 1", lb::OP_POOL_FLIST, kDelitem, kV,
       "  op = DELITEM (3)\n  header.page = 0x50\n"},
      {"delitem level 2", lb::OP_POOL_FLIST, kDelitem, kVV,
       "  op = DELITEM (3)\n  header.page = 0x50\n  header.arg = 6\n  pginfo.num_items = 4\n"
       "  pginfo.first_item = 2\n  pginfo.last_item = 5\n"},
      {"flist op 4", lb::OP_POOL_FLIST, flist(4, "xyz"), kVV,
       "  op = ** UNRECOGNIZED POOL FREE-LIST OP ** (4)\n"},
      {"vol 0 entries", lb::OP_VOL_EXTEND, vol(0, 0), kVV, vol_lines(0)},
      {"vol 8 entries level 0", lb::OP_VOL_EXTEND, vol(8, 8), kA, vol_lines(8)},
      {"vol 8 entries level 1", lb::OP_VOL_EXTEND, vol(8, 8), kV, vol_lines(8) + kEight},
      {"vol 9 entries level 1", lb::OP_VOL_EXTEND, vol(9, 9), kV,
       vol_lines(9) + kEight + "   0000001a\n"},
      {"serial", lb::OP_FWR_SERIAL, bytes().u32(3).u32(12).u32(4000), kA,
       "  generation=3 sequence=12 serial=4000\n"},
  };
  for (const print_case& c : cases) {
    SCOPED_TRACE(c.name);
    const record_run r = record(c.op, c.payload, c.opts);
    EXPECT_EQ(r.lines, c.want);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

// The NODEDELETE record as a whole: tag lines, record header, payload.
TEST(Decoders, NodeDeleteWholeReport) {
  log_builder b;
  b.image(lb::OP_NODEDELETE, 17, 42, bytes().u32(42), 5, 3).end();
  const golden::result r = golden::scan(b.str(), {"-a"});
  EXPECT_EQ(r.out, kHeader + kTagLines + " opcode: NODEDELETE (5)\n" + kRecLines +
                       "  node_id = 42\n" + kEnd);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(Decoders, ItemSetPrintsAsItem) {
  for (const auto& opts : {kA, kVV}) {
    const std::string payload = listitem(4, "data");
    const record_run item = record(lb::OP_NODELISTITEM, payload, opts);
    const record_run set = record(lb::OP_NODELISTITEMSET, payload, opts);
    EXPECT_EQ(item.opcode_line, " opcode: NODELISTITEM (10)\n");
    EXPECT_EQ(set.opcode_line, " opcode: NODELISTITEMSET (11)\n");
    EXPECT_EQ(set.lines, item.lines);
  }
}

struct probe_case {
  const char* name;
  uint8_t op;
  std::string payload;
  uint32_t page;
  bool shown;
};

TEST(Decoders, PageProbes) {
  const std::string np = nodepage(2, {{0x10, 0, 0}, {0x11, 0x2a, 1}, {0x50, 0x51, 0}});
  const std::vector<probe_case> cases = {
      {"nodepage first page", lb::OP_NODEPAGE, np, 0x10, true},
      {"nodepage second page", lb::OP_NODEPAGE, np, 0x11, true},
      {"nodepage logpage key", lb::OP_NODEPAGE, np, 0x2a, true},
      {"nodepage entry beyond count", lb::OP_NODEPAGE, np, 0x50, false},
      {"nodepage key beyond count", lb::OP_NODEPAGE, np, 0x51, false},
      {"nodepage count 0", lb::OP_NODEPAGE, nodepage(0, {{0x10, 0, 0}}), 0x10, false},
      {"cluster ends before 0x100", lb::OP_NODECLUSTER, cluster(0xf8, 8, 1), 0x100, false},
      {"cluster last page", lb::OP_NODECLUSTER, cluster(0xf8, 8, 1), 0xff, true},
      {"cluster first page", lb::OP_NODECLUSTER, cluster(0xf8, 8, 1), 0xf8, true},
      {"cluster before first", lb::OP_NODECLUSTER, cluster(0xf8, 8, 1), 0xf7, false},
      {"cluster of 9 covers 0x100", lb::OP_NODECLUSTER, cluster(0xf8, 9, 1), 0x100, true},
      {"cluster -1 at first", lb::OP_NODECLUSTER, cluster(0x100, -1, 1), 0x100, false},
      {"cluster -1 below", lb::OP_NODECLUSTER, cluster(0x100, -1, 1), 0xff, false},
      {"cluster -1 above", lb::OP_NODECLUSTER, cluster(0x100, -1, 1), 0x10000, false},
      {"cluster of 0", lb::OP_NODECLUSTER, cluster(0x100, 0, 1), 0x100, false},
      {"listpage page", lb::OP_NODELISTPAGE, listpage(1, 2, 1), 0x1f, true},
      {"listpage prev", lb::OP_NODELISTPAGE, listpage(1, 2, 1), 0x1e, true},
      {"listpage next", lb::OP_NODELISTPAGE, listpage(1, 2, 1), 0x20, true},
      {"listpage first", lb::OP_NODELISTPAGE, listpage(1, 2, 1), 0x1, false},
      {"listpage last", lb::OP_NODELISTPAGE, listpage(1, 2, 1), 0x40, false},
      {"listpagehead page", lb::OP_NODELISTPAGEHEAD, listhead(1), 0x33, true},
      {"listpagehead first item", lb::OP_NODELISTPAGEHEAD, listhead(1), 0x10, false},
      {"listitem page", lb::OP_NODELISTITEM, listitem(0, ""), 0x5, true},
      {"listitem other", lb::OP_NODELISTITEM, listitem(0, ""), 0x3, false},
      {"listitemset page", lb::OP_NODELISTITEMSET, listitem(0, ""), 0x5, true},
      {"listitemset other", lb::OP_NODELISTITEMSET, listitem(0, ""), 0x9, false},
      {"fillitem page", lb::OP_NODELISTFILLITEM, fillitem(1), 0x6, true},
      {"fillitem start_idx", lb::OP_NODELISTFILLITEM, fillitem(1), 0x2, false},
      {"btree o_pgno", lb::OP_BTREE, btree(2), 0x21, true},
      {"btree r_pgno", lb::OP_BTREE, btree(2), 0x22, true},
      {"btree prev.cluster", lb::OP_BTREE, btree(2), 0x300, false},
      {"btree_fwr pgno", lb::OP_BTREE_FWR, btree_fwr(4, 3, ""), 0x77, true},
      {"btree_fwr other", lb::OP_BTREE_FWR, btree_fwr(4, 3, ""), 0x78, false},
      {"pool new r_pgno", lb::OP_POOL, pool(1), 0x32, true},
      {"pool delete r_pgno", lb::OP_POOL, pool(3), 0x32, true},
      {"pool new o_pgno", lb::OP_POOL, pool(1), 0x31, false},
      {"pool unexpected op", lb::OP_POOL, pool(6), 0x32, false},
      {"pool unrecognized op", lb::OP_POOL, pool(7), 0x32, false},
      {"newpage header.page", lb::OP_POOL_FLIST, kNewpage, 0x50, true},
      {"newpage prev link", lb::OP_POOL_FLIST, kNewpage, 0x4f, true},
      {"newpage next link", lb::OP_POOL_FLIST, kNewpage, 0x51, true},
      {"newpage other", lb::OP_POOL_FLIST, kNewpage, 0x500, false},
      {"delpage header.page", lb::OP_POOL_FLIST, flist(1, ""), 0x50, true},
      {"additem header.page", lb::OP_POOL_FLIST, kAdditem, 0x50, true},
      {"additem item cluster", lb::OP_POOL_FLIST, kAdditem, 0x500, false},
      {"delitem header.page", lb::OP_POOL_FLIST, kDelitem, 0x50, true},
      {"delitem num_items", lb::OP_POOL_FLIST, kDelitem, 0x4, false},
      {"flist op 4", lb::OP_POOL_FLIST, flist(4, ""), 0x50, false},
      {"node: no probe", lb::OP_NODE, bytes().u16(0).u32(0x10).fill(52), 0x10, false},
      {"nodedelete: no probe", lb::OP_NODEDELETE, bytes().u32(0x10), 0x10, false},
      {"vol_extend: no probe", lb::OP_VOL_EXTEND,
       bytes().u32(0x10).u32(0x10).u32(0).u32(1).u32(0x10), 0x10, false},
      {"fwr_serial: no probe", lb::OP_FWR_SERIAL, bytes().u32(0x10).u32(0x10).u32(0x10), 0x10,
       false},
  };
  for (const probe_case& c : cases) {
    SCOPED_TRACE(c.name);
    const record_run r = record(c.op, c.payload, page_opt(c.page));
    EXPECT_EQ(r.lines != kHidden, c.shown) << r.lines;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

struct malformed_case {
  const char* name;
  uint8_t op;
  std::string payload;
  std::vector<std::string> opts;
  std::string want;  // what is still printed of the payload
};

// A payload that breaks its size rule, or whose own count or size names more
// than it holds: one message, nothing read past the payload, the scan goes
// on (the end tag is printed) and the run ends with status 1.
TEST(Decoders, MalformedPayloads) {
  std::vector<std::vector<uint32_t>> full;
  std::string full_lines;
  for (uint32_t i = 1; i <= 64; ++i) {
    full.push_back({i, 0, 0});
    char line[32];
    std::snprintf(line, sizeof line, "  page 0x%x ALLOCATED\n", i);
    full_lines += line;
  }
  const std::string vol2 = vol_lines(3) + "   00000001 00000002\n";
  const std::vector<malformed_case> cases = {
      {"node of 57 bytes", lb::OP_NODE, std::string(57, '\0'), kA, ""},
      {"nodedelete of 5 bytes", lb::OP_NODEDELETE, bytes().u32(42).u8(0), kA, ""},
      {"nodepage of 771 bytes", lb::OP_NODEPAGE, nodepage(1, {{1, 0, 0}}).substr(0, 771), kA, ""},
      {"nodepage of 771 bytes under -p", lb::OP_NODEPAGE, nodepage(1, {{1, 0, 0}}).substr(0, 771),
       page_opt(1), kHidden},
      {"nodepage count 65", lb::OP_NODEPAGE, nodepage(65, full), kA, full_lines},
      {"nodepage count 65 under -p", lb::OP_NODEPAGE, nodepage(65, full), page_opt(64), full_lines},
      {"nodepage count 65, no match", lb::OP_NODEPAGE, nodepage(65, full), page_opt(65), kHidden},
      {"cluster of 9 bytes", lb::OP_NODECLUSTER, cluster(1, 1, 1) + "x", kA, ""},
      {"listpage of 36 bytes", lb::OP_NODELISTPAGE, listpage(1, 1, 1).substr(0, 36), kA, ""},
      {"listpagehead of 25 bytes", lb::OP_NODELISTPAGEHEAD, listhead(1) + "x", kA, ""},
      {"listitem of 15 bytes", lb::OP_NODELISTITEM, listitem(0, "").substr(0, 15), kA, ""},
      {"listitem size beyond payload", lb::OP_NODELISTITEM, listitem(10, "abcd"), kVV,
       "  page 0x5 type=ILIST timestamp=9\n  offset=3 size=10\n000: 61 62 63 64" +
           std::string(36, ' ') + " |abcd" + std::string(12, ' ') + "|\n"},
      {"listitem size beyond payload, level 0", lb::OP_NODELISTITEM, listitem(10, "abcd"), kA,
       "  page 0x5 type=ILIST timestamp=9\n  offset=3 size=10\n"},
      {"fillitem of 23 bytes", lb::OP_NODELISTFILLITEM, fillitem(1).substr(0, 23), kA, ""},
      {"btree of 19 bytes", lb::OP_BTREE, btree(1).substr(0, 19), kA, ""},
      {"btree_fwr of 7 bytes", lb::OP_BTREE_FWR, btree_fwr(4, 1, "").substr(0, 7), kA, ""},
      {"btree_fwr size beyond payload", lb::OP_BTREE_FWR, btree_fwr(9, 1, "AB"), kVV,
       "  op = PAGE_INIT (1)\n  pgno = 0x77\n   size: 9\n000: 77 00 00 00 41 42" +
           std::string(30, ' ') + " |w...AB" + std::string(10, ' ') + "|\n"},
      {"pool of 29 bytes", lb::OP_POOL, pool(1) + "x", kA, ""},
      {"flist of 7 bytes", lb::OP_POOL_FLIST, flist(4, "").substr(0, 7), kA, ""},
      {"newpage of 27 bytes", lb::OP_POOL_FLIST, kNewpage.substr(0, 27), kA, ""},
      {"newpage of 27 bytes under -p", lb::OP_POOL_FLIST, kNewpage.substr(0, 27), page_opt(0x50),
       kHidden},
      {"delpage of 9 bytes", lb::OP_POOL_FLIST, flist(1, "x"), kA, ""},
      {"additem of 28 bytes", lb::OP_POOL_FLIST, kAdditem.substr(0, 28), kA, ""},
      {"delitem of 24 bytes", lb::OP_POOL_FLIST, kDelitem + "abcd", kA, ""},
      {"vol_extend of 19 bytes", lb::OP_VOL_EXTEND, vol(0, 0).substr(0, 19), kV, ""},
      {"vol_extend free_count beyond payload", lb::OP_VOL_EXTEND, vol(3, 2), kV, vol2},
      {"vol_extend free_count beyond payload, level 0", lb::OP_VOL_EXTEND, vol(3, 2), kA,
       vol_lines(3)},
      {"fwr_serial of 11 bytes", lb::OP_FWR_SERIAL, std::string(11, '\0'), kA, ""},
  };
  for (const malformed_case& c : cases) {
    SCOPED_TRACE(c.name);
    const record_run r = record(c.op, c.payload, c.opts);
    EXPECT_EQ(r.lines, c.want);
    EXPECT_EQ(r.err.compare(0, kMalformed.size(), kMalformed), 0) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.status, 1);
  }
}

}  // namespace
