// Damaged-file sweep: a stream of two logs holding every tag kind and every
// decoded opcode is cut at every byte offset and has single bytes flipped
// at a spread of offsets. Whatever the damage, the scan must end (no crash,
// no hang), exit with 0 or 1, print exactly what the undamaged stream
// prints up to the damaged tag, and name the problem of a cut on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/run.h"
#include "logbuild/log_builder.h"
#include "report/out.h"
#include "scan/node_map.h"

namespace {

using logbuild::bytes;
using logbuild::log_builder;

struct outcome {
  std::string out, err;
  int status = 0;
};

// Runs the scan in this process over a byte string, capturing both streams
// in two scratch files that are reused from run to run.
class scanner {
 public:
  scanner() : out_(std::tmpfile()), err_(std::tmpfile()) {}
  ~scanner() {
    std::fclose(out_);
    std::fclose(err_);
  }

  outcome scan(const std::string& log, const jrn::filter_settings& opts) {
    jrn::run_options o;
    o.filter = opts;
    jrn::node_map names;
    reset(out_);
    reset(err_);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(fileno(err_), 2);
    outcome r;
    r.status = jrn::scan_bytes(o, names, reinterpret_cast<const uint8_t*>(log.data()), log.size(),
                               "t.fwlog", fileno(out_));
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    r.out = slurp(out_);
    r.err = slurp(err_);
    return r;
  }

 private:
  static void reset(FILE* f) {
    if (ftruncate(fileno(f), 0) != 0) std::perror("ftruncate");
    lseek(fileno(f), 0, SEEK_SET);
  }
  static std::string slurp(FILE* f) {
    std::string s;
    const off_t n = lseek(fileno(f), 0, SEEK_END);
    s.resize(static_cast<size_t>(n));
    if (n > 0 && pread(fileno(f), &s[0], s.size(), 0) != n) s.clear();
    return s;
  }
  FILE* out_;
  FILE* err_;
};

struct stream_under_test {
  std::string bytes;
  std::vector<size_t> tag_starts;  // offsets where tags (and headers) begin
  size_t second_log = 0;           // a cut here leaves one whole log
};

// Every tag kind and decoded opcode in a 1.05 log, then a 1.00 log (old tag
// layout) in the same stream.
stream_under_test build_stream() {
  stream_under_test s;
  log_builder b("1.05");
  auto mark = [&] { s.tag_starts.push_back(b.str().size()); };
  std::vector<std::function<void()>> tags = {
      [&] { b.context_db(3, "shop"); },
      [&] { b.context_set(7, 3, "orders"); },
      [&] {
        b.context_set_items(8, 3, "items", {{"qty", 'I', 1, 4, 0x10}, {"name", 'X', 1, 20, 0}});
      },
      [&] { b.context_index(9, 7, "by_date"); },
      [&] { b.context(5, 9, "skipped"); },
      [&] {
        b.sign_on(41, {"user=clerk", "program=orders"});
      },
      [&] { b.memo(41, 2, "night batch"); },
      [&] {
        b.dblist(41, logbuild::DBLIST_SUM, {{3, 1}, {7, 2}});
      },
      [&] { b.audit(41, 5, "unknown"); },
      [&] { b.image(logbuild::OP_BEGIN, 17, 7, "", 2); },
      [&] { b.before_image(17, 41, 7, 1042, logbuild::UPDATE, "old row"); },
      [&] { b.fixrec(logbuild::UPDATE, 17, 7, 1042, "new row"); },
      [&] { b.fixrec(logbuild::UPDATE_RANGE, 17, 7, 1042, bytes().u16(2).u16(3).raw("abc")); },
      [&] { b.image(logbuild::OP_FIXREC_META, 17, 7, bytes().fill(32, 1)); },
      [&] { b.image(logbuild::OP_FIXREC_NEWCLUSTER, 17, 7, bytes().u32(0x40)); },
      [&] { b.image(logbuild::OP_NODE, 17, 7, bytes().fill(58, 2)); },
      [&] { b.image(logbuild::OP_NODEDELETE, 17, 7, bytes().u32(9)); },
      [&] {
        b.image(logbuild::OP_NODEPAGE, 17, 7,
                bytes().u32(2).u32(1).u32(0).u32(0).u32(2).u32(5).u32(1).fill(744));
      },
      [&] { b.image(logbuild::OP_NODECLUSTER, 17, 7, bytes().u32(1).i16(4).u16(1)); },
      [&] {
        b.image(logbuild::OP_NODELISTPAGE, 17, 7, bytes().u32(1).u16(1).u8(2).u8(1).fill(32, 1));
      },
      [&] {
        b.image(logbuild::OP_NODELISTPAGEHEAD, 17, 7, bytes().u32(1).u32(1).u32(1).fill(12, 3));
      },
      [&] {
        b.image(logbuild::OP_NODELISTITEM, 17, 7,
                bytes().u32(1).u32(2).u32(1).u16(0).u16(3).raw("xyz"));
      },
      [&] {
        b.image(logbuild::OP_NODELISTFILLITEM, 17, 7, bytes().u32(1).u32(2).u32(1).fill(12, 4));
      },
      [&] { b.image(logbuild::OP_BTREE, 17, 8, bytes().fill(8).u32(3).u32(1).u32(2)); },
      [&] { b.image(logbuild::OP_BTREE_FWR, 17, 8, bytes().u16(6).u8(6).u8(0).u32(1).u16(7)); },
      [&] { b.image(logbuild::OP_POOL, 17, 8, bytes().u32(1).fill(8).u32(1).u32(1).fill(8)); },
      [&] { b.image(logbuild::OP_POOL_FLIST, 17, 8, bytes().u32(1).u16(0).u16(0).fill(20, 1)); },
      [&] {
        b.image(logbuild::OP_VOL_EXTEND, 17, 0, bytes().u32(1).u32(2).u32(3).u32(2).u32(4).u32(5));
      },
      [&] { b.image(logbuild::OP_FWR_SERIAL, 17, 0, bytes().u32(1).u32(2).u32(3)); },
      [&] { b.image(logbuild::OP_SYSCAT, 17, 0, "catalog"); },
      [&] { b.fixrec(logbuild::DELETE, 17, 7, 1043); },
      [&] { b.image(logbuild::OP_CHECKPOINT, 17, 7, "", 3); },
      [&] { b.nodemeta(7, "meta"); },
      [&] { b.slave_sync(1, 2, 3, 4); },
      [&] { b.page(logbuild::page_image(1)); },
      [&] { b.cluster(8, 16, {logbuild::page_image(2)}); },
      [&] { b.sign_off(41); },
      [&] { b.end('C'); },
  };
  s.tag_starts.push_back(0);  // the header, written by the constructor
  for (auto& t : tags) {
    mark();
    t();
  }
  logbuild::header_fields old;
  old.version = "1.00";
  const size_t second_log = b.str().size();
  mark();
  b.next_log(old);
  mark();
  b.fixrec(logbuild::PUT, 18, 7, 1044, "row");
  mark();
  b.page(logbuild::page_image(3));
  mark();
  b.slave_sync(5, 6, 7, 8);
  mark();
  b.end('F');
  s.bytes = b.str();
  s.second_log = second_log;
  return s;
}

jrn::filter_settings view(int detail, bool all) {
  jrn::filter_settings f;
  f.detail_level = detail;
  f.image_like_only = all ? 0 : 1;
  return f;
}

bool starts_with(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(DamagedFileSweep, EveryCutEndsCleanlyWithAPrefixAndAMessage) {
  const stream_under_test s = build_stream();
  scanner sc;
  for (const jrn::filter_settings& opts : {view(0, false), view(1, true)}) {
    const outcome full = sc.scan(s.bytes, opts);
    ASSERT_EQ(full.err, "");
    ASSERT_EQ(full.status, 0);
    for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
      const outcome r = sc.scan(s.bytes.substr(0, cut), opts);
      ASSERT_TRUE(r.status == 0 || r.status == 1) << "cut at " << cut;
      ASSERT_TRUE(starts_with(full.out, r.out)) << "cut at " << cut;
      if (cut != s.second_log) {
        ASSERT_FALSE(r.err.empty()) << "cut at " << cut;
      }
    }
  }
}

TEST(DamagedFileSweep, FlippedBytesKeepEverythingBeforeTheDamagedTag) {
  const stream_under_test s = build_stream();
  scanner sc;
  jrn::filter_settings page = view(0, false), pattern = view(0, false);
  page.page = 1;
  page.image_like_only = 0;
  pattern.pattern = "*NODE*";
  pattern.pattern_len = 6;
  pattern.image_like_only = 0;
  int tried = 0;
  for (const jrn::filter_settings& opts : {view(0, false), view(3, true), page, pattern}) {
    // Output of the undamaged stream up to each tag start.
    std::vector<std::string> before;
    for (size_t start : s.tag_starts) before.push_back(sc.scan(s.bytes.substr(0, start), opts).out);
    for (size_t at = 0; at < s.bytes.size(); at += (at < 64 ? 1 : 5)) {
      for (uint8_t mask : {0x01, 0x80, 0xff}) {
        std::string damaged = s.bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ mask);
        const outcome r = sc.scan(damaged, opts);
        ++tried;
        ASSERT_TRUE(r.status == 0 || r.status == 1) << "flip at " << at;
        size_t k = 0;
        while (k + 1 < s.tag_starts.size() && s.tag_starts[k + 1] <= at) ++k;
        ASSERT_TRUE(starts_with(r.out, before[k])) << "flip at " << at;
      }
    }
  }
  EXPECT_GT(tried, 10000);
}

}  // namespace
