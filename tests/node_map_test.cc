// The node name map: -M listing files, names learnt from context records,
// qualified names and the display of node numbers.
#include "scan/node_map.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

// The heap this program holds, and its peak, counted by the allocator's
// own sizes.
namespace {
std::atomic<long long> heap_bytes{0};
std::atomic<long long> heap_peak{0};
void heap_note(long long delta) {
  const long long now = heap_bytes += delta;
  long long peak = heap_peak;
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
}
}  // namespace

void* operator new(size_t n) {
  void* p = std::malloc(n != 0 ? n : 1);
  if (!p) throw std::bad_alloc();
  heap_note(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  heap_note(-static_cast<long long>(malloc_usable_size(p)));
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

class NodeMap : public ::testing::Test {
 protected:
  void SetUp() override { names = jrn::node_map(); }
  void TearDown() override { std::remove(path_.c_str()); }
  // Loads a listing written to a scratch file; returns the load's result.
  int load(const std::string& text) {
    FILE* f = std::fopen(path_.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return names.load(path_.c_str(), false);
  }
  // The qualified name with its number, as records show it.
  std::string display(int32_t id) {
    std::string s;
    names.append_display(id, true, false, s);
    return s;
  }
  void add(int32_t id, int32_t kind, const std::string& name, int32_t parent) {
    names.learn(id, kind, name.data(), name.size(), parent);
  }
  jrn::node_map names;
  std::string path_ = "/tmp/node_map_test." + std::to_string(getpid()) + ".map";
};

const char heading[] = "  node  kind name        parent\n------------------------------\n";

}  // namespace

TEST_F(NodeMap, QualifiedNames) {
  ASSERT_EQ(load(std::string(heading) + "3 2 SHOP 0\n7 3 ORDERS 3 trailing words\n8 3 Lost 55\n"
                                        "5 3 old 0\n5 3 New 0\n-4 3 neg 0\n-104 4 NegIdx -4\n"
                                        "1 3 A 2\n2 3 B 1\n11 4 SELF 11\n"),
            0);
  struct {
    int32_t id;
    const char* shown;
  } cases[] = {{7, "SHOP.ORDERS (#7)"},
               {3, "SHOP (#3)"},
               {9, "#9"},
               {8, "Lost (#8)"},
               {5, "New (#5)"},
               {-4, "neg (#-4)"},
               {-104, "neg.NegIdx (#-104)"},
               {-5, "#-5"},
               {11, "SELF (#11)"}};
  for (const auto& c : cases) EXPECT_EQ((display(c.id)), c.shown) << c.id;
  std::string plain;
  names.append_display(7, false, false, plain);
  EXPECT_EQ(plain, "SHOP.ORDERS");
  // A parent loop ends; the node itself still closes the name.
  const std::string loop = display(1);
  EXPECT_EQ(loop.substr(loop.size() - 7), ".A (#1)");
}

// A chain of parents built by a hostile log (here 5000 levels) costs a
// bounded walk: the name keeps the node and its 255 nearest ancestors,
// behind a "..." that says it was cut.
TEST_F(NodeMap, DeepParentChainsAreCut) {
  for (int32_t id = 1; id <= 5000; ++id) add(id, 3, "n", id - 1);
  const std::string deep = display(5000);
  EXPECT_EQ(std::count(deep.begin(), deep.end(), '.'), 255 + 3);
  EXPECT_EQ(deep.substr(0, 5), "...N.");
  EXPECT_EQ(deep.substr(deep.size() - 11), "N.N (#5000)");
  // 256 levels exactly are the whole name.
  EXPECT_EQ((display(256)).substr(0, 2), "N.");
}

// The limit holds for the name as written: a cut keeps whole bytes at the
// end, each as its escape sequence or UTF-8 character, never a part of one.
TEST_F(NodeMap, NamesAreCutAsWritten) {
  using jrn::text_form;
  auto times = [](const std::string& unit, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += unit;
    return s;
  };
  struct {
    std::string name;
    text_form form;
    std::string shown;
  } cases[] = {
      {std::string(5000, '\x01'), text_form::raw, "..." + std::string(4093, '\x01')},
      {std::string(5000, '\x01'), text_form::terminal, "..." + times("\\x01", 1023)},
      {std::string(5000, '\x01'), text_form::json, "..." + times("\\u0001", 682)},
      {std::string(5000, '\x9b'), text_form::json, "..." + times("\\u009b", 682)},
      {std::string(5000, '\xe9'), text_form::json, "..." + times("\xc3\xa9", 2046)},
      // The last 4093 bytes as written would begin inside an escape or a
      // character.
      {"\x01\x01" + std::string(4091, 'B'), text_form::terminal, "..." + std::string(4091, 'B')},
      {"\xe9\xe9\xe9" + std::string(4092, 'B'), text_form::json, "..." + std::string(4092, 'B')},
      // What fits in 4096 bytes as written is whole.
      {std::string(1024, '\x01'), text_form::terminal, times("\\x01", 1024)},
      {std::string(682, '\x01'), text_form::json, times("\\u0001", 682)},
      {std::string(4096, 'B'), text_form::json, std::string(4096, 'B')},
  };
  int32_t id = 100;
  for (const auto& c : cases) {
    add(++id, 2, c.name, 0);
    std::string shown;
    names.append_display(id, false, c.form, shown);
    EXPECT_EQ(shown, c.shown) << id;
  }
  // A deep chain cut by its depth keeps the same marker in every form.
  for (int32_t i = 1; i <= 300; ++i) add(1000 + i, 3, "\x01", i > 1 ? 999 + i : 0);
  std::string json;
  names.append_display(1300, true, text_form::json, json);
  EXPECT_EQ(json, "..." + times("\\u0001.", 255) + "\\u0001 (#1300)");
}

TEST_F(NodeMap, ContextNamesNeverReplace) {
  ASSERT_EQ(load(std::string(heading) + "3 2 Shop 0\n"), 0);
  add(3, 2, "other", 0);  // mapped by the listing
  add(7, 3, "orders", 3);
  add(7, 3, "second", 3);       // the first registration stays
  add(12, 4, "by-caf\xe9", 7);  // upper case for a to z only
  EXPECT_EQ((display(3)), "Shop (#3)");
  EXPECT_EQ((display(7)), "Shop.ORDERS (#7)");
  EXPECT_EQ((display(12)), "Shop.ORDERS.BY-CAF\xe9 (#12)");
}

TEST_F(NodeMap, Loading) {
  // Zero, one or two lines are all heading: nothing is loaded.
  for (const char* text : {"", "3 2 SHOP 0\n", "3 2 SHOP 0\n3 2 SHOP 0\n"}) {
    EXPECT_EQ(load(text), 0);
    EXPECT_EQ((display(3)), "#3");
  }
  // A bad line stops the load; the lines before it stay.
  for (const char* bad : {"\n", "4 3 NAME\n", "x 3 NAME 0\n"}) {
    names = jrn::node_map();
    testing::internal::CaptureStderr();
    EXPECT_EQ(load(std::string(heading) + "3 2 SHOP 0\n" + bad + "4 3 LATER 3\n"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("bad format: ") + bad + "\n");
    EXPECT_EQ((display(3)), "SHOP (#3)");
    EXPECT_EQ((display(4)), "#4");
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(names.load("/nonexistent/x.map", false), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "/nonexistent/x.map: No such file or directory\n");
}

// 40,000 names of 8,000 bytes in one parent chain under a bound of 1 MiB:
// what the table takes on the heap, at its peak too, stays within the
// bound, and the bound is used. Showing the names keeps no copies.
TEST(NodeMapMemory, LearntNamesStayWithinTheBound) {
  const long long limit = 1 << 20;
  const long long scratch = 40 << 10;  // building one qualified name
  jrn::node_map map;
  map.set_learn_limit(limit);
  const std::string name(8000, 'n');
  std::string shown;
  shown.reserve(8192);
  const long long base = heap_bytes;
  heap_peak = base;
  for (int32_t id = 1; id <= 40000; ++id) {
    map.learn(id, 3, name.data(), name.size(), id - 1);
    shown.clear();
    map.append_display(id, true, false, shown);
  }
  EXPECT_LE(heap_peak - base, limit + scratch);
  EXPECT_LE(heap_bytes - base, static_cast<long long>(map.memory_bytes()) + scratch);
  EXPECT_EQ(map.memory_bytes(), map.learnt_bytes());
  EXPECT_LE(map.learnt_bytes(), static_cast<uint64_t>(limit));
  EXPECT_GE(map.size(), static_cast<size_t>(limit / 8000 * 9 / 10));
  EXPECT_LT(map.size(), 40000u);
}

TEST(NodeMapRun, RecordsShowMappedNames) {
  golden::temp_file(std::string(heading) + "3 2 SHOP 0\n7 3 orders 3\n", "first.map");
  golden::temp_file(std::string(heading) + "7 3 Orders2 3\n", "second.map");
  log_builder b;
  b.at(1, 0).fixrec(logbuild::PUT, 17, 7, 7, "ab").image(logbuild::OP_BEGIN, 18, 3, "", 2).end();
  const std::string header =
      "\nFile: t.fwlog\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\n"
      "volume release: 8\nvolume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
  const std::string finish =
      "\nsequence = 3\ntimestamp = 1970-01-01 00:00:02 (2)\ntag = EOF_FINISH (70)\n";
  struct {
    std::vector<std::string> options;
    std::string out;
  } cases[] = {
      // The second listing hides the first's node 7.
      {{"-M", "first.map", "-M", "second.map"},
       header +
           "\nsequence = 1\ntimestamp = 1970-01-01 00:00:00 (0)\n transaction_id: 17\n"
           " session_id: 1\n node_id: SHOP.Orders2 (#7)\n"
           "  recno = 7\n  opcode = PUT (3)\n  data = 2 bytes\n" +
           finish},
      // -a shows the BEGIN record, which has no payload.
      {{"-M", "first.map", "-a", "-n", "3"},
       "** Filter node id: #3\n" + header +
           "\nsequence = 2\ntimestamp = 1970-01-01 00:00:01 (1)\ntag = REC (49)\n"
           " opcode: BEGIN (3)\n transaction_id: 18\n session_id: 1\n txn state: BEGIN (2)\n"
           " node_id: SHOP (#3)\n" +
           finish},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(b.str(), c.options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}
