// Golden tests of the tags other than IMAGE: SLAVE_SYNC, PAGE, CLUSTER,
// NODEMETA, BEFORE_IMAGE, AUDIT and CONTEXT.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::bytes;
using logbuild::log_builder;

namespace {

const std::string HDR =
    "\nFile: t.fwlog\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\n"
    "volume release: 8\nvolume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
constexpr size_t header_size = 36;

__attribute__((format(printf, 1, 2))) std::string fmt(const char* f, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, f);
  std::vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

// Logs here use timestamp == sequence (below 60), see lb().
log_builder lb(const std::string& version = "1.05") {
  log_builder b(version);
  b.at(1, 1);
  return b;
}
std::string open_lines(unsigned seq) {
  return fmt("\nsequence = %u\ntimestamp = 1970-01-01 00:00:%02u (%u)\n", seq, seq, seq);
}
std::string th(unsigned seq, const char* name, int code) {
  return open_lines(seq) + fmt("tag = %s (%d)\n", name, code);
}
std::string page_th(unsigned seq, unsigned key, long long ofs) {
  return open_lines(seq) + fmt("tag = PAGE (50), key = %u (0x%x, ofs = %lld)\n", key, key, ofs);
}
std::string eof(unsigned seq) { return th(seq, "EOF_FINISH", 70); }
std::string audit_head(unsigned seq, const char* type, unsigned code, unsigned size) {
  return th(seq, "AUDIT", 54) +
         fmt(" session_id: 1\n type: %s (%u)\n size: %u bytes\n", type, code, size);
}
std::string ctx_head(unsigned seq, unsigned node, const char* type, unsigned code, unsigned size) {
  return th(seq, "CONTEXT", 55) +
         fmt(" node_id: %u\n type: %s (%u)\n size: %u bytes\n", node, type, code, size);
}
std::string bi_lines(unsigned seq, unsigned txn, const std::string& node, const char* op, int code,
                     unsigned size) {
  return th(seq, "BEFORE_IMAGE", 53) + fmt(" transaction_id: %u\n session_id: 1\n", txn) +
         " node_id: " + node +
         fmt("\n recno: 4\n opcode: %s (%d)\n data: %u bytes\n", op, code, size);
}
std::string sync_lines(unsigned seq) {
  return th(seq, "SLAVE_SYNC", 83) +
         " vol_generation: 1\n log_generation: 2\n log_sequence: 3\n tag_sequence: 4\n";
}

// The expected hex listing of the first n bytes of d.
std::string hex(const std::string& d, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; i += 16) {
    s += fmt("%03zx:", i);
    for (size_t j = i; j < i + 16; ++j)
      s += j < n ? fmt(" %02x", static_cast<unsigned char>(d[j])) : "   ";
    s += " |";
    for (size_t j = i; j < i + 16; ++j)
      s += j >= n ? ' ' : (d[j] >= 32 && d[j] <= 126) ? d[j] : '.';
    s += "|\n";
  }
  return s;
}

void expect_run(const golden::result& r, const std::string& out, const std::string& err,
                int status) {
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err);
  EXPECT_EQ(r.status, status);
}

}  // namespace

// One tag of every kind; which of them each option set lets through.
TEST(Tags, VisibilityByOptions) {
  log_builder b = lb();
  b.slave_sync(1, 2, 3, 4)
      .page("p")
      .cluster_header(9, 100, 0)
      .nodemeta(9, "abc")
      .before_image(50, 1, 9, 4, logbuild::UPDATE, "abcde")
      .memo(1, 3, "xyz")
      .context_db(30, "shop")
      .end();
  const std::string block[] = {
      sync_lines(1),
      page_th(2, 1, header_size + 25 + 9),
      th(3, "CLUSTER", 51) + " node_id: 9\n start_page: 100\n count: 0\n",
      th(4, "NODEMETA", 52) + " node_id: 9\n meta_size: 3 bytes\n",
      bi_lines(5, 50, "#9", "UPDATE", 1, 5),
      audit_head(6, "MEMO", 0, 7) + "  mode: 3\n  data: 3 bytes\n",
      ctx_head(7, 30, "DB", 1, 4) + "  name: 'shop'\n",
  };
  struct {
    std::vector<std::string> opts;
    const char* announce;
    const char* shown;  // indexes into block
  } cases[] = {
      {{}, "", "4"},
      {{"-a"}, "", "0123456"},
      {{"-a", "-n", "9"}, "** Filter node id: #9\n", "234"},
      {{"-p", "1"}, "** Filter page: 1 (0x1)\n", "01"},
      {{"-p", "1", "-n", "9"}, "** Filter node id: #9\n** Filter page: 1 (0x1)\n", "1"},
      {{"-p", "2"}, "** Filter page: 2 (0x2)\n", "0"},
      {{"-o", "*"}, "** Filter opcode by pattern: \"*\"\n", "0"},
      {{"-a", "-x", "5"}, "** Filter from txn: 5\n", "4"},
      {{"-a", "-x", "0:60"}, "** Filter to txn: 60\n", "0123456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.opts));
    std::string want = c.announce + HDR;
    for (const char* i = c.shown; *i; ++i) want += block[*i - '0'];
    expect_run(golden::scan(b.str(), c.opts), want + eof(8), "", 0);
  }
}

TEST(Tags, PageKeysAndDumps) {
  const std::string img = logbuild::page_image(3);
  log_builder b = lb();
  b.page(img).page("").nodemeta(1, "").page("").end();
  // Page images at 36 + 9, then 8201 and 8201 + 17 bytes further on.
  const std::string p1 = page_th(1, 1, 45), p2 = page_th(2, 2, 8246), p3 = page_th(4, 3, 16464);
  const std::string meta = th(3, "NODEMETA", 52) + " node_id: 1\n meta_size: 0 bytes\n";
  expect_run(golden::scan(b.str(), {"-a"}), HDR + p1 + p2 + meta + p3 + eof(5), "", 0);
  expect_run(golden::scan(b.str(), {"-p", "3"}), "** Filter page: 3 (0x3)\n" + HDR + p3 + eof(5),
             "", 0);
  const std::string zero_dump = hex(std::string(256, '\0'), 256) + "...\n";
  expect_run(golden::scan(b.str(), {"-a", "-vv"}),
             HDR + p1 + hex(img, 256) + "...\n" + p2 + zero_dump + meta + p3 + zero_dump + eof(5),
             "", 0);
  expect_run(golden::scan(b.str(), {"-p", "1", "-vvv"}),
             "** Filter page: 1 (0x1)\n" + HDR + p1 + hex(img, 8192) + eof(5), "", 0);
}

TEST(Tags, ClusterDumpsAndCounts) {
  const std::string a = logbuild::page_image(1), c = logbuild::page_image(2);
  log_builder b = lb();
  b.cluster(9, 100, {a, c}).cluster_header(9, 7, 0).cluster_header(9, 8, -3).end();
  const std::string head = th(1, "CLUSTER", 51) + " node_id: 9\n start_page: 100\n count: 2\n";
  const std::string empty = th(2, "CLUSTER", 51) + " node_id: 9\n start_page: 7\n count: 0\n" +
                            th(3, "CLUSTER", 51) + " node_id: 9\n start_page: 8\n count: -3\n";
  expect_run(golden::scan(b.str(), {"-a", "-v"}), HDR + head + empty + eof(4), "", 0);
  expect_run(golden::scan(b.str(), {"-a", "-vv"}),
             HDR + head + hex(a, 256) + "...\n" + hex(c, 256) + "...\n" + empty + eof(4), "", 0);
  expect_run(golden::scan(b.str(), {"-a", "-vvv"}),
             HDR + head + hex(a, 8192) + hex(c, 8192) + empty + eof(4), "", 0);
  // The input ends inside the third page: the first two stay on the report.
  log_builder cut = lb();
  cut.cluster(9, 100, {a, c, a});
  const std::string bytes3 = cut.str().substr(0, cut.str().size() - 100);
  expect_run(golden::scan(bytes3, {"-a", "-vv"}),
             HDR + th(1, "CLUSTER", 51) + " node_id: 9\n start_page: 100\n count: 3\n" +
                 hex(a, 256) + "...\n" + hex(c, 256) + "...\n",
             "Unable to read cluster page data\n", 1);
}

// The input ends inside a body: that read's message, exit status 1, and what
// was printed before stays.
TEST(Tags, EndOfInputInsideEachBody) {
  auto one = [](const std::function<void(log_builder&)>& add) {
    log_builder b = lb();
    b.at(2, 2);
    add(b);
    return b.str().substr(header_size);
  };
  using namespace logbuild;
  const std::string sync = one([](log_builder&b) { b.slave_sync(1, 2, 3, 4); }),
                    page = one([](log_builder&b) { b.page(""); }),
                    cl = one([](log_builder&b) { b.cluster_header(9, 100, 0); }),
                    meta = one([](log_builder&b) { b.nodemeta(9, "0123456789"); }),
                    bi = one([](log_builder&b) { b.before_image(50, 1, 9, 4, UPDATE, "abcde"); }),
                    memo = one([](log_builder&b) { b.memo(1, 3, "xyzxyz"); }),
                    son = one([](log_builder&b) {
                      b.sign_on(1, {"ab", "cd"});
                    }),
                    dbl = one([](log_builder&b) {
                      b.dblist(1, DBLIST_SUM, {{9, 1}});
                    }),
                    unk = one([](log_builder&b) { b.audit(1, 5, "12345"); }),
                    cdb = one([](log_builder&b) { b.context_db(30, "shop"); }),
                    cset = one([](log_builder&b) { b.context_set(31, 30, "orders"); }),
                    cidx = one([](log_builder&b) { b.context_index(32, 31, "byid"); }),
                    citems = one([](log_builder&b) {
                      b.context_set_items(33, 30, "lines", {{"qty"}, {"price"}});
                    }),
                    cunk = one([](log_builder&b) { b.context(34, 9, "xyz"); });
  const std::string memo_h = audit_head(2, "MEMO", 0, 10), son_h = audit_head(2, "SIGN_ON", 10, 10);
  const std::string items_h = ctx_head(2, 33, "SET_ITEMS", 3, 38) + "  db_node: 30\n";
  const std::string items_n = items_h + "  name: 'lines'\n";
  struct {
    const std::string& tag;
    size_t body_kept;  // the 9-byte tag opening is kept in every cut
    std::string out;
    const char* err;
  } cases[] = {
      {sync, 8, "", "Unable to slave sync record\n"},
      {page, 100, page_th(2, 1, header_size + 25 + 9), "Unable to read page data\n"},
      {cl, 5, "", "Unable to read cluster header\n"},
      {meta, 4, "", "Unable to read meta header\n"},
      {meta, 8 + 3, "", "Unable to read meta data\n"},
      {bi, 10, "", "Unable to read before-image header\n"},
      {bi, 22, bi_lines(2, 50, "#9", "UPDATE", 1, 5), "Unable to read before-image data\n"},
      {memo, 3, "", "Unable to read audit header\n"},
      {memo, 8 + 2, memo_h, "Unable to read memo header\n"},
      {memo, 8 + 6, memo_h + "  mode: 3\n  data: 6 bytes\n", "Unable to read memo data\n"},
      {son, 8 + 1, son_h, "Unable to read number of audit sign-on entries\n"},
      {son, 8 + 3, son_h, "Unable to read size of audit sign-on entry #1\n"},
      {son, 8 + 5, son_h, "Unable to read audit sign-on data #1\n"},
      {son, 8 + 7, son_h + "  data: ab\n", "Unable to read size of audit sign-on entry #2\n"},
      {son, 8 + 9, son_h + "  data: ab\n", "Unable to read audit sign-on data #2\n"},
      {dbl, 8 + 4, audit_head(2, "DBLIST_SUM", 20, 8), "Unable to read audit dblist data\n"},
      {unk, 8 + 2, audit_head(2, "** UNKNOWN AUDIT TYPE **", 5, 5), "Unable to read info data\n"},
      {cdb, 4, "", "Unable to read context header\n"},
      {cdb, 8 + 2, ctx_head(2, 30, "DB", 1, 4), "Unable to read context_db name\n"},
      {cset, 8 + 2, ctx_head(2, 31, "SET", 2, 10), "Unable to read context_set db_node_id\n"},
      {cset, 8 + 7, ctx_head(2, 31, "SET", 2, 10) + "  db_node: 30\n",
       "Unable to read context_set name\n"},
      {cidx, 8 + 2, ctx_head(2, 32, "INDEX", 4, 8), "Unable to read context_index set_node_id\n"},
      {cidx, 8 + 6, ctx_head(2, 32, "INDEX", 4, 8) + "  set_node: 31\n",
       "Unable to read context_index name\n"},
      {citems, 8 + 2, ctx_head(2, 33, "SET_ITEMS", 3, 38),
       "Unable to read context_set_items db_node_id\n"},
      {citems, 8 + 4, items_h, "Unable to read context_set_items name length\n"},
      {citems, 8 + 7, items_h, "Unable to read context_set_items name\n"},
      // Items: length byte at 10, name 11-13, type 14, count 15, size 17, fmt 19-22.
      {citems, 8 + 10, items_n, "Unable to read context_set_items name length #0\n"},
      {citems, 8 + 12, items_n, "Unable to read context_set_items name #0\n"},
      {citems, 8 + 14, items_n, "Unable to read context_set_items type #0\n"},
      {citems, 8 + 16, items_n, "Unable to read context_set_items count #0\n"},
      {citems, 8 + 18, items_n, "Unable to read context_set_items size #0\n"},
      {citems, 8 + 21, items_n, "Unable to read context_set_items fmt #0\n"},
      {citems, 8 + 23, items_n + "  item[0]: 'qty' type=I count=1 size=4 fmt=0x0\n",
       "Unable to read context_set_items name length #1\n"},
      {cunk, 8 + 1, ctx_head(2, 34, "** UNKNOWN CONTEXT TYPE **", 9, 3),
       "Unable to read context data\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    SCOPED_TRACE(c.body_kept);
    log_builder first = lb();
    first.slave_sync(1, 2, 3, 4);
    ASSERT_LT(9 + c.body_kept, c.tag.size());
    const std::string log = first.str() + c.tag.substr(0, 9 + c.body_kept);
    expect_run(golden::scan(log, {"-a", "-v"}), HDR + sync_lines(1) + c.out, c.err, 1);
  }
}

// Context tags stay hidden by default but name the nodes of later records.
TEST(Tags, ContextNamesReachLaterRecords) {
  log_builder b = lb();
  b.context_db(5, "shop").context_set(7, 5, "orders").context_index(8, 7, "byId");
  log_builder shown = b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "abc").before_image(50, 1, 8, 4, logbuild::DELETE, "").end();
  expect_run(golden::scan(b.str()),
             HDR + open_lines(4) +
                 " transaction_id: 17\n session_id: 1\n node_id: SHOP.ORDERS (#7)\n"
                 "  recno = 7\n  opcode = PUT (3)\n  data = 3 bytes\n" +
                 bi_lines(5, 50, "SHOP.ORDERS.BYID (#8)", "DELETE", 5, 0) + eof(6),
             "", 0);
  shown.dblist(1, logbuild::DBLIST_SUM, {{8, 1}, {5, 0}}).end();
  expect_run(golden::scan(shown.str(), {"-a"}),
             HDR + ctx_head(1, 5, "DB", 1, 4) + "  name: 'shop'\n" + ctx_head(2, 7, "SET", 2, 10) +
                 "  db_node: 5\n  name: 'orders'\n" + ctx_head(3, 8, "INDEX", 4, 8) +
                 "  set_node: 7\n  name: 'byId'\n" + audit_head(4, "DBLIST_SUM", 20, 16) +
                 "  #1: node_id=SHOP.ORDERS.BYID (#8) mode=1\n  #2: node_id=SHOP (#5) mode=0\n" +
                 eof(5),
             "", 0);
}

// A number that is mapped already keeps its name; empty names are shown but
// not registered; a name ends at its first zero byte.
TEST(Tags, ContextRegistrationRules) {
  const std::string map = golden::temp_file("node map\n----\n7 3 Mapped 0\n", "nodes.map");
  log_builder b = lb();
  b.context_db(7, "other")
      .context_db(5, "shop")
      .context_db(5, "second")
      .context_db(6, "")
      .context_set(9, 5, "")
      .context_db(4, std::string("ab\0cd", 5))
      .dblist(1, logbuild::DBLIST_SUM, {{7, 1}, {5, 2}, {6, 3}, {9, 4}, {4, 5}})
      .end();
  expect_run(golden::scan(b.str(), {"-a", "-M", map}),
             HDR + ctx_head(1, 7, "DB", 1, 5) + "  name: 'other'\n" + ctx_head(2, 5, "DB", 1, 4) +
                 "  name: 'shop'\n" + ctx_head(3, 5, "DB", 1, 6) + "  name: 'second'\n" +
                 ctx_head(4, 6, "DB", 1, 0) + "  name: ''\n" + ctx_head(5, 9, "SET", 2, 4) +
                 "  db_node: 5\n  name: ''\n" + ctx_head(6, 4, "DB", 1, 5) + "  name: 'ab'\n" +
                 audit_head(7, "DBLIST_SUM", 20, 40) +
                 "  #1: node_id=Mapped (#7) mode=1\n  #2: node_id=SHOP (#5) mode=2\n"
                 "  #3: node_id=#6 mode=3\n  #4: node_id=#9 mode=4\n"
                 "  #5: node_id=AB (#4) mode=5\n" +
                 eof(8),
             "", 0);
}

TEST(Tags, SetItemsShownFromDetailOne) {
  log_builder b = lb();
  b.context_set_items(12, 5, "lines", {{"qty", 'I', 2, 4, 0x10}, {"", 'X', 1, 8, 0xabc}})
      .context_set_items(13, 5, "empty", {})
      .before_image(50, 1, 12, 4, logbuild::PUT, "")
      .end();
  const std::string set1 = ctx_head(1, 12, "SET_ITEMS", 3, 33) + "  db_node: 5\n  name: 'lines'\n";
  const std::string items =
      "  item[0]: 'qty' type=I count=2 size=4 fmt=0x10\n"
      "  item[1]: '' type=X count=1 size=8 fmt=0xabc\n";
  const std::string rest = ctx_head(2, 13, "SET_ITEMS", 3, 10) + "  db_node: 5\n  name: 'empty'\n" +
                           bi_lines(3, 50, "LINES (#12)", "PUT", 3, 0) + eof(4);
  expect_run(golden::scan(b.str(), {"-a"}), HDR + set1 + rest, "", 0);
  expect_run(golden::scan(b.str(), {"-a", "-v"}), HDR + set1 + items + rest, "", 0);
}

TEST(Tags, SignOnEntries) {
  std::string s256, s257, big;
  for (int i = 0; i < 256; ++i) s256 += static_cast<char>('a' + i % 26);
  for (int i = 0; i < 257; ++i) s257 += static_cast<char>('A' + i % 26);
  for (int i = 0; i < 9000; ++i) big += static_cast<char>('0' + i % 10);
  log_builder b = lb();
  b.sign_on(1, {s256, s257, "", std::string("ab\0cd", 5)})
      .sign_on(1, {big})
      .audit(1, logbuild::SIGN_ON, bytes().u16(1).u16(2).raw("hi").raw("junk"))  // surplus bytes
      .sign_on(1, {})
      .end();
  expect_run(golden::scan(b.str(), {"-a"}),
             HDR + audit_head(1, "SIGN_ON", 10, 528) + "  data: " + s256 +
                 "\n  data: " + s257.substr(0, 256) + " ...\n  data: \n  data: ab\n" +
                 audit_head(2, "SIGN_ON", 10, 9004) + "  data: " + big.substr(0, 256) + " ...\n" +
                 audit_head(3, "SIGN_ON", 10, 10) + "  data: hi\n" +
                 audit_head(4, "SIGN_ON", 10, 2) + eof(5),
             "", 0);
}

// A DBLIST body of 20 bytes: two entries, a warning, and the tag stream in step.
TEST(Tags, DblistSurplusBytes) {
  log_builder b = lb();
  b.audit(1, logbuild::DBLIST_UPD, bytes().i32(9).i32(1).i32(10).i32(-2).u32(0xdeadbeef))
      .memo(1, 0, "")
      .end();
  golden::result r = golden::scan(b.str(), {"-a"});
  const std::string dbl =
      audit_head(1, "DBLIST_UPD", 21, 20) + "  #1: node_id=#9 mode=1\n  #2: node_id=#10 mode=-2\n";
  const std::string memo = audit_head(2, "MEMO", 0, 4) + "  mode: 0\n  data: 0 bytes\n" + eof(3);
  const char* warning = "WARNING: audit dblist data size does not match\n";
  expect_run(r, HDR + dbl + memo, warning, 0);
  EXPECT_EQ(r.both, HDR + dbl + warning + memo);
}

TEST(Tags, MemoDataDumpedFromDetailOne) {
  const std::string data = "hello, memo data!";
  log_builder b = lb();
  b.memo(1, -1, "").memo(1, 7, data).end();
  const std::string empty = audit_head(1, "MEMO", 0, 4) + "  mode: -1\n  data: 0 bytes\n";
  const std::string memo = audit_head(2, "MEMO", 0, 21) + "  mode: 7\n  data: 17 bytes\n";
  expect_run(golden::scan(b.str(), {"-a"}), HDR + empty + memo + eof(3), "", 0);
  expect_run(golden::scan(b.str(), {"-a", "-v"}), HDR + empty + memo + hex(data, 17) + eof(3), "",
             0);
  expect_run(golden::scan(b.str()), HDR + eof(3), "", 0);
}

// Bodies of unknown types are skipped whole, however long.
TEST(Tags, UnknownAuditAndContextTypesSkipped) {
  log_builder b = lb();
  b.audit(1, 5, std::string(10000, 'u'))
      .context(3, 9, std::string(9000, 'c'))
      .context(3, 0, "")
      .sign_off(1)
      .end();
  expect_run(golden::scan(b.str(), {"-a"}),
             HDR + audit_head(1, "** UNKNOWN AUDIT TYPE **", 5, 10000) +
                 ctx_head(2, 3, "** UNKNOWN CONTEXT TYPE **", 9, 9000) +
                 ctx_head(3, 3, "** UNKNOWN CONTEXT TYPE **", 0, 0) +
                 audit_head(4, "SIGN_OFF", 11, 0) + eof(5),
             "", 0);
}

// Before-images, audit and context records came with version 1.01.
TEST(Tags, Version100RefusesNewerTags) {
  const std::string hdr100 =
      "\nFile: t.fwlog\nversion: 1.00\nbyte order: 1234\ncharacter set: unknown (65535)\n"
      "volume release: 0\nvolume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
  struct {
    std::function<void(log_builder&)> add;
    const char* err;
  } cases[] = {
      {[](log_builder& b) { b.before_image(1, 1, 1, 1, logbuild::PUT, "x"); },
       "unexpected before-image record (file version 1.00)"},
      {[](log_builder& b) { b.memo(1, 0, "x"); }, "unexpected audit record (file version 1.00)"},
      {[](log_builder& b) { b.context_db(1, "x"); },
       "unexpected context record (file version 1.00)"},
  };
  for (const auto& c : cases) {
    log_builder b = lb("1.00");
    b.slave_sync(1, 2, 3, 4);
    c.add(b);
    b.end();
    expect_run(golden::scan(b.str(), {"-a"}), hdr100 + sync_lines(1), c.err, 1);
  }
}

TEST(Tags, BeforeImageFilters) {
  log_builder b = lb();
  b.before_image(50, 1, 9, 4, logbuild::UPDATE, "abcde").before_image(60, 1, 8, 4, 6, "xy").end();
  const std::string a = bi_lines(1, 50, "#9", "UPDATE", 1, 5), a_dump = a + hex("abcde", 5);
  const std::string c = bi_lines(2, 60, "#8", "** UNKNOWN FIXREC OP **", 6, 2);
  const std::string c_dump = c + hex("xy", 2);
  struct {
    std::vector<std::string> opts;
    std::string out;
  } cases[] = {
      {{}, HDR + a + c},
      {{"-v"}, HDR + a_dump + c_dump},
      {{"-vvv"}, HDR + a_dump + c_dump},
      {{"-r", "99"}, "** Filter record number: 99\n" + HDR + a + c},
      {{"-n", "8"}, "** Filter node id: #8\n" + HDR + c},
      {{"-x", "55:70"}, "** Filter from txn: 55\n** Filter to txn: 70\n" + HDR + c},
      {{"-x", "0:50"}, "** Filter to txn: 50\n" + HDR + a},
      {{"-o", "*"}, "** Filter opcode by pattern: \"*\"\n" + HDR},
      {{"-p", "1"}, "** Filter page: 1 (0x1)\n" + HDR},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(::testing::PrintToString(k.opts));
    expect_run(golden::scan(b.str(), k.opts), k.out + eof(3), "", 0);
  }
}

// Bodies at the size limits are accepted.
TEST(Tags, BodiesAtTheirLimits) {
  log_builder b = lb();
  b.nodemeta(9, std::string(8192, 'm'))
      .context_db(5, std::string(8191, 'n'))
      .context_set(6, 5, std::string(8191, 's'))
      .memo(1, 0, std::string(8192, 'x'))
      .before_image(50, 1, 6, 4, logbuild::PUT, std::string(8192, 'd'))
      .end();
  // A qualified name longer than 4096 bytes keeps its end behind "...".
  const std::string name = "..." + std::string(4093, 'S') + " (#6)";
  expect_run(golden::scan(b.str()), HDR + bi_lines(5, 50, name, "PUT", 3, 8192) + eof(6), "", 0);
}

// A body that breaks a size rule: one line naming the tag's offset, the body
// stepped over as its length is known, the scan going on, exit status 1.
TEST(Tags, MalformedBodiesAreSteppedOver) {
  using namespace logbuild;
  const std::string bi9000 = bi_lines(1, 50, "#9", "PUT", 3, 9000);
  struct {
    const char* label;
    std::function<void(log_builder&)> add;
    std::string shown;        // by default, before the tag that follows
    std::string node = "#7";  // how the following tag shows node 7
  } cases[] = {
      {"meta_size 9000", [](log_builder& b) { b.nodemeta(9, std::string(9000, 'm')); }, ""},
      {"before-image 9000",
       [](log_builder& b) { b.before_image(50, 1, 9, 4, PUT, std::string(9000, 'd')); }, bi9000},
      {"memo data 8193", [](log_builder& b) { b.memo(1, 0, std::string(8193, 'x')); }, ""},
      {"memo size 2", [](log_builder& b) { b.audit(1, MEMO, "ab"); }, ""},
      {"sign-off size 3", [](log_builder& b) { b.audit(1, SIGN_OFF, "abc"); }, ""},
      {"sign-on size 1", [](log_builder& b) { b.audit(1, SIGN_ON, "\x01"); }, ""},
      {"sign-on entry beyond body",
       [](log_builder& b) { b.audit(1, SIGN_ON, bytes().u16(1).u16(10).raw("abc")); }, ""},
      {"db name 8192", [](log_builder& b) { b.context_db(5, std::string(8192, 'n')); }, ""},
      {"set name 8192", [](log_builder& b) { b.context_set(7, 5, std::string(8192, 'n')); }, ""},
      {"set size 3", [](log_builder& b) { b.context(7, CTX_SET, "abc"); }, ""},
      {"index size 0", [](log_builder& b) { b.context(7, CTX_INDEX, ""); }, ""},
      {"set name beyond body",
       [](log_builder& b) { b.context(7, CTX_SET_ITEMS, bytes().u32(5).u8(10).raw("abc")); }, ""},
      {"item without fmt",
       [](log_builder& b) {
         b.context(7, CTX_SET_ITEMS, bytes().u32(5).u8(1).raw("s").u8(1).raw("i").u8('I').u16(1));
       },
       "", "S (#7)"},  // the set part was whole and registers
  };
  // One line: "t.fwlog: malformed <what> at offset 36: <detail>".
  auto one_line = [](const std::string& err) {
    const std::string head = "t.fwlog: malformed ";
    const size_t at = err.find(" at offset 36: ");
    return err.rfind(head, 0) == 0 && at != std::string::npos && at > head.size() &&
           err.size() > at + 15 + 1 && err.back() == '\n' && err.find('\n') == err.size() - 1;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    log_builder b = lb();
    c.add(b);
    b.before_image(60, 1, 7, 4, DELETE, "").end();
    golden::result r = golden::scan(b.str());
    EXPECT_EQ(r.out, HDR + c.shown + bi_lines(2, 60, c.node, "DELETE", 5, 0) + eof(3));
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_EQ(r.status, 1);
  }
}
