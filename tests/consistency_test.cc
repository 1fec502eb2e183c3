// --check judges before-images against what the log told of their records:
// a log whose before-images agree with its changes (PUT, a chain of
// UPDATE_RANGE patches, a record reused after DELETE, UPDATE_NO_DATA and
// short ranges that leave the content unknown) is silent, and the same log
// with one before-image altered is warned with both offsets; knowledge
// carries across the logs of a series only; the table's bound; and
// generated logs, whose before-images agree, stay silent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::bytes;
using logbuild::header_fields;
using logbuild::log_builder;

namespace {

// An UPDATE_RANGE's data: the range header, then the bytes.
std::string range(uint16_t at, const std::string& b) {
  return bytes().u16(at).u16(static_cast<uint16_t>(b.size())).raw(b).str();
}

std::string patched(std::string s, size_t at, const std::string& b) {
  return s.replace(at, b.size(), b);
}

// The records of SHOP.ORDERS (node 102) through their changes, with a
// before-image in front of each change that a server writes one for. Which
// before-image is altered (0: none) and what to, and the input offsets the
// test names.
struct orders_log {
  std::string bytes;
  int64_t patch_at = 0;   // the last patch of record 12
  int64_t image_at = 0;   // the before-image of record 12 that follows it
  int64_t delete_at = 0;  // the DELETE of record 5
  int64_t reused_at = 0;  // the before-image of record 5 that follows it
};

orders_log orders(bool altered) {
  using namespace logbuild;
  log_builder b;
  orders_log o;
  auto here = [&] { return static_cast<int64_t>(b.str().size()); };
  b.context_db(100, "shop").context_set(102, 100, "orders");
  // Record 12: put, patched twice, its before-image, then replaced.
  const std::string v1 = "order 12: 3 x widget, open......";
  const std::string v2 = patched(patched(v1, 10, "7 x gizmo "), 23, "shipped.");
  b.fixrec(PUT, 1, 102, 12, v1).fixrec(UPDATE_RANGE, 1, 102, 12, range(10, "7 x gizmo "));
  o.patch_at = here();
  b.fixrec(UPDATE_RANGE, 2, 102, 12, range(23, "shipped."));
  o.image_at = here();
  b.before_image(3, 1, 102, 12, UPDATE, altered ? patched(v2, 0, "O") : v2)
      .fixrec(UPDATE, 3, 102, 12, "order 12: closed");
  // Record 5: deleted, then put again; a PUT's before-image is of an
  // empty slot and not judged.
  b.fixrec(PUT, 4, 102, 5, "first life");
  b.before_image(5, 1, 102, 5, DELETE, "first life");
  o.delete_at = here();
  b.fixrec(DELETE, 5, 102, 5);
  o.reused_at = here();
  if (altered) b.before_image(6, 1, 102, 5, UPDATE, "first life");
  b.before_image(7, 1, 102, 5, PUT, "whatever the slot held").fixrec(PUT, 7, 102, 5, "second");
  b.before_image(8, 1, 102, 5, UPDATE, "second").fixrec(UPDATE, 8, 102, 5, "third");
  // Record 7: the log does not tell its content after UPDATE_NO_DATA, nor
  // after a range of four bytes (where they go is not said); each
  // before-image then tells it afresh.
  b.fixrec(PUT, 9, 102, 7, "seven").fixrec(UPDATE_NO_DATA, 9, 102, 7);
  b.before_image(10, 1, 102, 7, UPDATE_RANGE, "SEVEN").fixrec(UPDATE_RANGE, 10, 102, 7, "abcd");
  b.before_image(11, 1, 102, 7, UPDATE, "sEVEN").fixrec(UPDATE, 11, 102, 7, "7");
  // The same record number in another node is another record.
  b.fixrec(PUT, 12, 103, 12, "other node").before_image(13, 1, 102, 7, DELETE, "7");
  b.fixrec(DELETE, 13, 102, 7).end();
  o.bytes = b.str();
  return o;
}

std::vector<json_reader::value> json_lines(const std::string& out) {
  std::vector<json_reader::value> lines;
  size_t start = 0;
  for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
    const json_reader::result one = json_reader::parse(out.substr(start, nl - start));
    EXPECT_TRUE(one.ok()) << one.message();
    lines.push_back(one.v);
  }
  return lines;
}

header_fields file(int32_t file_sequence) {
  header_fields h;
  h.file_sequence = file_sequence;
  return h;
}

}  // namespace

TEST(Consistency, AlteredBeforeImagesAreWarnedWithBothOffsets) {
  const golden::result clean = golden::scan(orders(false).bytes, {"--check", "--strict"});
  EXPECT_EQ(clean.err, "");
  EXPECT_EQ(clean.status, 0);
  EXPECT_NE(clean.out.find("t.fwlog: ok, "), std::string::npos) << clean.out;

  const orders_log o = orders(true);
  const std::string image = std::to_string(o.image_at), reused = std::to_string(o.reused_at);
  const std::string mismatch = "before-image of record 12 of SHOP.ORDERS at offset " + image +
                               " does not match its content after the change at offset " +
                               std::to_string(o.patch_at);
  const std::string deleted = "before-image of record 5 of SHOP.ORDERS at offset " + reused +
                              " is of a record deleted at offset " + std::to_string(o.delete_at) +
                              " and not put again";
  const golden::result r = golden::scan(o.bytes, {"--check"});
  EXPECT_EQ(r.err, "t.fwlog: check: warning at offset " + image + ": " + mismatch +
                       "\nt.fwlog: check: warning at offset " + reused + ": " + deleted + "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("t.fwlog: 2 warnings, "), std::string::npos) << r.out;
  EXPECT_EQ(golden::scan(o.bytes, {"--check", "--strict"}).status, 1);

  const golden::result j = golden::scan(o.bytes, {"--check", "--json"});
  const std::vector<json_reader::value> lines = json_lines(j.out);
  ASSERT_EQ(lines.size(), 3u) << j.out;
  EXPECT_EQ(lines[0].at("before_image_mismatches").num(), 2);
  ASSERT_EQ(lines[0].at("findings").items.size(), 2u);
  const json_reader::value& f = lines[0].at("findings").items[0];
  EXPECT_EQ(f.at("level").text, "warning");
  EXPECT_EQ(f.at("offset").num(), o.image_at);
  EXPECT_EQ(f.at("text").text, mismatch);
  EXPECT_EQ(lines[2].at("before_image_mismatches").num(), 2);
  EXPECT_EQ(lines[2].at("image_memory_full").b, false);

  // Without the map's names the node is its number; 0 judges nothing.
  log_builder unnamed;
  unnamed.fixrec(logbuild::PUT, 1, 102, 12, "abc").before_image(2, 1, 102, 12, 1, "abd").end();
  EXPECT_NE(golden::scan(unnamed.str(), {"--check"}).err.find("record 12 of #102 at offset"),
            std::string::npos);
  const golden::result off = golden::scan(o.bytes, {"--check", "--image-memory=0"});
  EXPECT_EQ(off.err, "");
  EXPECT_EQ(off.out.find("t.fwlog: ok, 25 tags, "), 0u) << off.out;
}

// A record's content carries into the next file of its series: a change in
// log 1, its record's before-image in log 2. Logs that do not follow each
// other (out of order, a gap, another series, a log cut short) start with
// nothing known.
TEST(Consistency, KnowledgeCarriesAcrossTheLogsOfASeriesOnly) {
  log_builder one(file(1));
  one.fixrec(logbuild::PUT, 1, 102, 12, "kept across files").end('C');
  const int64_t put_at = 36;  // behind the file header
  // Log 2, its tag sequence from seq on; with a sign-off first when
  // signed_off is set.
  auto second = [](int32_t file_sequence, uint32_t seq, bool signed_off = false) {
    log_builder b(file(file_sequence));
    b.at(seq, 1700000100);
    if (signed_off) b.sign_off(1);
    b.before_image(2, 1, 102, 12, logbuild::UPDATE, "not what was put");
    b.fixrec(logbuild::UPDATE, 2, 102, 12, "new").end();
    return b.str();
  };
  const std::string two = second(2, 3);
  // One stream of both logs, and the two files in file sequence order.
  const std::string warned =
      "t.fwlog (log 2): check: warning at offset " + std::to_string(one.str().size() + 36) +
      ": before-image of record 12 of #102 at offset " + std::to_string(one.str().size() + 36) +
      " does not match its content after the change at offset " + std::to_string(put_at) +
      " in t.fwlog\n";
  EXPECT_EQ(golden::scan(one.str() + two, {"--check"}).err, warned);
  golden::temp_file(one.str(), "1.fwlog");
  golden::temp_file(two, "2.fwlog");
  const golden::result files = golden::run({"--check", "1.fwlog", "2.fwlog"});
  EXPECT_NE(files.err.find("2.fwlog: check: warning at offset 36: before-image of record 12 of "
                           "#102 at offset 36 does not match its content after the change at "
                           "offset 36 in 1.fwlog\n"),
            std::string::npos)
      << files.err;
  // Read in file sequence order whatever the order given.
  EXPECT_EQ(golden::run({"--check", "--order=sequence", "2.fwlog", "1.fwlog"}).err, files.err);

  // Out of order, a gap, a log that ends without an end tag, a tag
  // sequence that jumps: nothing to judge against.
  EXPECT_EQ(golden::run({"--check", "2.fwlog", "1.fwlog"}).err.find("before-image"),
            std::string::npos);
  EXPECT_EQ(golden::scan(one.str() + second(3, 3), {"--check"}).err.find("before-image"),
            std::string::npos);
  log_builder cut(file(1));
  cut.fixrec(logbuild::PUT, 1, 102, 12, "kept across files");
  EXPECT_EQ(golden::scan(cut.str() + two, {"--check"}).err.find("before-image"), std::string::npos);
  EXPECT_EQ(golden::scan(one.str() + second(2, 9), {"--check"}).err.find("before-image"),
            std::string::npos);
  EXPECT_EQ(golden::scan(one.str() + second(2, 9, true), {"--check"}).err.find("before-image"),
            std::string::npos);
  EXPECT_NE(golden::scan(one.str() + second(2, 3, true), {"--check"}).err.find("before-image"),
            std::string::npos);
}

// Once the table is full further records are not followed: their
// before-images are not judged, those of the records held still are, and
// contents dropped for room never make a warning.
TEST(Consistency, BoundReachedIsSaidOnceAndNothingIsInvented) {
  const int n = 100;
  auto content = [](int i, const char* head) {
    return head + (" " + std::to_string(i)) + " of one hundred, forty bytes";
  };
  // Every record put; then each one's before-image wrong, or each one
  // patched and then its before-image right or wrong.
  log_builder wrong, right, patched_wrong;
  for (log_builder* b : {&wrong, &right, &patched_wrong})
    for (int i = 1; i <= n; ++i) b->fixrec(logbuild::PUT, 1, 7, i, content(i, "record"));
  for (int i = 1; i <= n; ++i) {
    wrong.before_image(2, 1, 7, i, logbuild::DELETE, "something else");
    right.fixrec(logbuild::UPDATE_RANGE, 2, 7, i, range(0, "RECORD"));
    patched_wrong.fixrec(logbuild::UPDATE_RANGE, 2, 7, i, range(0, "RECORD"));
  }
  for (int i = 1; i <= n; ++i) {
    right.before_image(3, 1, 7, i, logbuild::DELETE, content(i, "RECORD"));
    patched_wrong.before_image(3, 1, 7, i, logbuild::DELETE, content(i, "record"));
  }
  for (log_builder* b : {&wrong, &right, &patched_wrong}) b->end();

  // 16 KiB: 12 KiB of slots hold 96 records, 4 KiB about a third of their
  // contents.
  const std::vector<std::string> bound = {"--check", "--image-memory=16K"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), bound.begin(), bound.end());
    return more;
  };
  const golden::result r = golden::scan(wrong.str(), with({"--json"}));
  const std::string full =
      "t.fwlog: warning: the records followed fill the 16384 bytes of the record table (96 "
      "records); before-images of further records are not judged; raise --image-memory\n";
  EXPECT_EQ(r.err.find(full), 0u) << r.err;
  EXPECT_EQ(r.err.find(full, 1), std::string::npos);
  EXPECT_NE(r.err.find("t.fwlog: check: 96 before-images that do not match their record in all "
                       "(the first 5 listed)\n"),
            std::string::npos)
      << r.err;
  const std::vector<json_reader::value> lines = json_lines(r.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].at("warnings").num(), 96);
  EXPECT_EQ(lines[0].at("findings").items.size(), 5u);
  EXPECT_EQ(lines[2].at("image_memory_full").b, true);
  EXPECT_EQ(golden::scan(wrong.str(), {"--check"}).err.find("fill"), std::string::npos);

  // Patches to contents no longer kept leave them unknown: no warning,
  // while the contents still kept are judged.
  const golden::result ok = golden::scan(right.str(), bound);
  EXPECT_EQ(ok.err, full);
  EXPECT_NE(ok.out.find("t.fwlog: ok, "), std::string::npos) << ok.out;
  EXPECT_EQ(golden::scan(right.str(), {"--check"}).err, "");
  const json_reader::value judged =
      json_lines(golden::scan(patched_wrong.str(), with({"--json"})).out)[0];
  EXPECT_GT(judged.at("warnings").num(), 10);
  EXPECT_LT(judged.at("warnings").num(), 60);
  // With room for all, every patched record is judged.
  EXPECT_EQ(json_lines(golden::scan(patched_wrong.str(), {"--check", "--json"}).out)[0]
                .at("warnings")
                .num(),
            n);
  EXPECT_EQ(golden::scan(right.str(), {"--stats", "--image-memory=1M"}).status, 2);
}

#ifdef FWGEN_BIN
// The generator writes before-images that agree with its records: a check
// of its logs, as a stream of logs and as a series of files, is silent.
TEST(Consistency, GeneratedLogsAreSilent) {
  const std::string dir = golden::work_dir();
  for (const char* seed : {"1", "2", "3"}) {
    const std::string log = dir + "/gen" + seed + ".fwlog", series = dir + "/gen" + seed;
    ASSERT_EQ(std::system((std::string(FWGEN_BIN) + " --seed " + seed +
                           " --tags 3000 --logs 3 -o " + log + " && " + FWGEN_BIN + " --seed " +
                           seed + " --tags 3000 --logs 3 --series " + series)
                              .c_str()),
              0);
    for (const std::string& operand : {log, series}) {
      const golden::result r = golden::run({"--check", "--strict", operand});
      EXPECT_EQ(r.err, "") << seed << " " << operand;
      EXPECT_EQ(r.status, 0) << r.out;
    }
  }
}
#endif
