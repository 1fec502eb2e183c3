// One rule set for what the log tells of a fixed record: --check and
// --history judge every before-image alike, on generated logs, damaged
// copies of them and hand-built ones; and the faults of the modes that
// follow records, each on the smallest log that shows it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "test_files.h"

using logbuild::bytes;
using logbuild::log_builder;
using test_files::json_lines;

namespace {

// The before-images that --check warns of: their offsets as listed, and
// how many there are in all (only the first few of a log are listed).
struct check_view {
  std::set<int64_t> listed;
  int64_t count = 0;
};

check_view check_of(const std::string& path) {
  check_view v;
  const golden::result r = golden::run({"--check", "--json", path});
  for (const json_reader::value& line : json_lines(r.out, path)) {
    if (line.at("type").text != "check") continue;
    v.count += static_cast<int64_t>(line.at("before_image_mismatches").num());
    for (const json_reader::value& f : line.at("findings").items)
      if (f.at("text").text.rfind("before-image of record", 0) == 0)
        v.listed.insert(static_cast<int64_t>(f.at("offset").num()));
  }
  return v;
}

// The records that before-images are of, as --history takes them.
std::vector<std::string> imaged_records(const std::string& path) {
  std::set<std::string> records;
  const golden::result r = golden::run({"--json", path});
  for (const json_reader::value& line : json_lines(r.out, path))
    if (line.has("tag") && line.at("tag").text == "BEFORE_IMAGE")
      records.insert(std::to_string(static_cast<uint32_t>(line.at("node_id").num())) + ":" +
                     std::to_string(static_cast<uint32_t>(line.at("recno").num())));
  return {records.begin(), records.end()};
}

// The offsets of the before-images that --history notes.
std::multiset<int64_t> history_notes(const std::string& path) {
  std::multiset<int64_t> notes;
  std::vector<std::string> args;
  for (const std::string& r : imaged_records(path)) args.push_back("--history=" + r);
  if (args.empty()) return notes;
  args.push_back(path);
  const golden::result r = golden::run(args);
  const std::string head = "note: the before-image at offset ";
  for (size_t at = 0; (at = r.out.find(head, at)) != std::string::npos; at += head.size())
    notes.insert(std::stoll(r.out.substr(at + head.size())));
  return notes;
}

struct tag_place {
  int64_t offset, length;
  bool image;  // a before-image, else a FIXREC record with data
};

// The before-images and FIXREC records with data of a log.
std::vector<tag_place> data_tags(const std::string& path) {
  std::vector<tag_place> tags;
  const golden::result r = golden::run({"--json", "-a", path});
  for (const json_reader::value& line : json_lines(r.out, path)) {
    if (!line.has("tag") || !line.has("data_size") || line.at("data_size").num() == 0) continue;
    const bool image = line.at("tag").text == "BEFORE_IMAGE";
    if (image || (line.has("opcode") && line.at("opcode").text == "FIXREC"))
      tags.push_back({static_cast<int64_t>(line.at("offset").num()),
                      static_cast<int64_t>(line.at("length").num()), image});
  }
  return tags;
}

// Copies of the log: the last data byte of some changes and before-images
// flipped; with a byte of some tags' sequence numbers flipped too; cut
// short too; single bytes flipped anywhere.
std::vector<std::string> damaged(const std::string& log, const std::vector<tag_place>& tags) {
  std::string data = log;
  for (size_t i = 0; i < tags.size(); ++i)
    if (i % (tags[i].image ? 11 : 7) == 3) data[tags[i].offset + tags[i].length - 1] ^= 0x20;
  std::string breaks = data, cut = data, anywhere = log;
  for (size_t i = 5; i < tags.size(); i += 40) breaks[tags[i].offset + 2] ^= 0x01;
  cut.resize(tags[tags.size() / 2].offset + 10);
  for (size_t at = log.size() / 7; at < log.size(); at += log.size() / 5) anywhere[at] ^= 0x55;
  return {data, breaks, cut, anywhere};
}

// Hand-built logs where the rules decide: a PUT's before-image, one of a
// deleted record, one of a record longer than a before-image holds, one
// as long as a before-image can be, two before one change, one at a break
// in the tag sequence, one whose change is cut off, and ones behind
// malformed records.
std::vector<std::string> hand_built() {
  using namespace logbuild;
  std::vector<std::string> logs;
  log_builder a;
  a.fixrec(PUT, 1, 7, 7, "AAAAAAAA").before_image(2, 1, 7, 7, PUT, "ZZZZZZZZ");
  a.fixrec(PUT, 2, 7, 7, "BBBBBBBB").fixrec(DELETE, 3, 7, 7);
  a.before_image(4, 1, 7, 7, UPDATE, "CCCCCCCC").fixrec(UPDATE, 4, 7, 7, "DDDDDDDD");
  logs.push_back(a.end().str());
  log_builder b;
  const std::string longer(9000, 'L'), full(8192, 'F');
  b.fixrec(PUT, 1, 7, 1, longer).before_image(2, 1, 7, 1, UPDATE, std::string(8192, 'X'));
  b.fixrec(UPDATE, 2, 7, 1, "short").before_image(3, 1, 7, 1, UPDATE, full);
  b.fixrec(UPDATE, 3, 7, 1, "x").before_image(4, 1, 7, 2, UPDATE, full);
  b.fixrec(UPDATE, 4, 7, 2, "y").before_image(5, 1, 7, 2, UPDATE, "z");
  b.fixrec(UPDATE, 5, 7, 2, "w");
  logs.push_back(b.end().str());
  log_builder c;
  c.fixrec(PUT, 1, 7, 3, "one").before_image(2, 1, 7, 3, UPDATE, "two");
  c.before_image(2, 1, 7, 3, UPDATE, "three").fixrec(UPDATE, 2, 7, 3, "four");
  c.at(40, 1700000100).before_image(3, 1, 7, 3, UPDATE, "FOUR");
  c.fixrec(UPDATE, 3, 7, 3, "five").before_image(4, 1, 7, 3, UPDATE, "six");
  logs.push_back(c.str());
  // Malformed records: a NODEPAGE hides no change; an unreadable FIXREC
  // hides one of its node's records, not of another node's.
  log_builder d;
  const std::string unreadable = bytes().u32(0).u32(0).u32(5).str();
  d.fixrec(PUT, 1, 7, 1, "aaaa").image(OP_NODEPAGE, 2, 7, "abc");
  d.before_image(3, 1, 7, 1, UPDATE, "bbbb").fixrec(UPDATE, 3, 7, 1, "cccc");
  d.image(OP_FIXREC, 4, 8, unreadable).before_image(5, 1, 7, 1, UPDATE, "dddd");
  d.fixrec(UPDATE, 5, 7, 1, "eeee").image(OP_FIXREC, 6, 7, unreadable);
  d.before_image(7, 1, 7, 1, UPDATE, "ffff").fixrec(UPDATE, 7, 7, 1, "gggg");
  logs.push_back(d.end().str());
  return logs;
}

}  // namespace

#ifdef FWGEN_BIN
// Every before-image that --check warns of, --history notes, and the
// reverse, whatever the log: generated, damaged or built by hand.
TEST(Rules, CheckAndHistoryJudgeEveryBeforeImageAlike) {
  const std::string dir = golden::work_dir();
  std::vector<std::string> paths;
  for (const char* seed : {"1", "2", "5"}) {
    const std::string log = dir + "/gen" + seed + ".fwlog";
    ASSERT_EQ(std::system(
                  (std::string(FWGEN_BIN) + " --seed " + seed + " --tags 3000 -o " + log).c_str()),
              0);
    paths.push_back(log);
    const std::vector<std::string> copies = damaged(test_files::slurp(log), data_tags(log));
    for (size_t i = 0; i < copies.size(); ++i)
      paths.push_back(golden::temp_file(
          copies[i], std::string("gen") + seed + "-" + std::to_string(i) + ".fwlog"));
  }
  const std::vector<std::string> built = hand_built();
  for (size_t i = 0; i < built.size(); ++i)
    paths.push_back(golden::temp_file(built[i], "built" + std::to_string(i) + ".fwlog"));

  int64_t warned = 0;
  for (const std::string& path : paths) {
    const check_view check = check_of(path);
    const std::multiset<int64_t> notes = history_notes(path);
    warned += check.count;
    EXPECT_EQ(static_cast<int64_t>(notes.size()), check.count) << path;
    for (int64_t offset : check.listed) EXPECT_EQ(notes.count(offset), 1u) << path << " " << offset;
    if (check.count == static_cast<int64_t>(check.listed.size())) {
      for (int64_t offset : notes)
        EXPECT_EQ(check.listed.count(offset), 1u) << path << " " << offset;
    }
  }
  EXPECT_GT(warned, 10);  // the damage made before-images disagree
}
#endif

namespace {

const uint32_t t0 = 1700000000;  // 2023-11-14 22:13:20 UTC

// A log whose run shows a fault of a mode that follows records: what the
// output (standard output, standard error, then the manifest of the
// --save directory when there is one) must hold, in this order, and what
// it must not.
struct fault_case {
  const char* name;
  std::string log;
  std::vector<std::string> args;
  std::vector<std::string> in_order;
  std::string absent;
  std::string saved = "";  // the --save directory
};

std::vector<fault_case> fault_cases() {
  using namespace logbuild;
  std::vector<fault_case> cases;
  {
    // A PUT over a record: its before-image is of the slot, not judged;
    // the undo of a PUT is a delete.
    log_builder b;
    b.fixrec(PUT, 1, 7, 7, "AAAAAAAA").before_image(2, 1, 7, 7, PUT, "ZZZZZZZZ");
    const std::string log = b.fixrec(PUT, 2, 7, 7, "BBBBBBBB").end().str();
    cases.push_back({"put's before-image: check", log, {"--check"}, {"t.fwlog: ok"}, "warning"});
    cases.push_back({"put's before-image: history",
                     log,
                     {"--history=7:7"},
                     {"PUT, sequence 3", "before: 8 bytes\n", "'AAAAAAAA' -> 'BBBBBBBB'"},
                     "note:"});
    cases.push_back(
        {"put's before-image: undo", log, {"--undo=2"}, {"delete it (it did not exist)"}, "ZZ"});
  }
  {
    // A before-image of a record deleted and not put again.
    log_builder b;
    b.fixrec(PUT, 1, 7, 7, "AAAAAAAA").fixrec(DELETE, 2, 7, 7);
    const int64_t image = static_cast<int64_t>(b.str().size());
    b.before_image(3, 1, 7, 7, UPDATE, "CCCCCCCC").fixrec(UPDATE, 3, 7, 7, "DDDDDDDD");
    const std::string log = b.end().str(), at = std::to_string(image);
    cases.push_back({"deleted record's before-image: check",
                     log,
                     {"--check"},
                     {"warning at offset " + at + ": before-image of record 7 of #7 at offset " +
                      at + " is of a record deleted at offset 86 and not put again"},
                     "t.fwlog: ok"});
    cases.push_back({"deleted record's before-image: history",
                     log,
                     {"--history=7:7"},
                     {"note: the before-image at offset " + at +
                      " of t.fwlog is of a record deleted at offset 86 of t.fwlog and not put "
                      "again"},
                     "\x01"});
  }
  {
    // The undo's records in the order of the transaction's first change
    // of each, not of their before-images.
    log_builder b;
    b.before_image(5, 1, 7, 1, UPDATE, "one").before_image(5, 1, 7, 2, UPDATE, "two");
    b.fixrec(UPDATE, 5, 7, 2, "TWO").fixrec(UPDATE, 5, 7, 1, "ONE");
    cases.push_back(
        {"undo order",
         b.end().str(),
         {"--undo=5", "--save=undo-order"},
         {"#7 record 2: put back", "#7 record 1: put back", "\"recno\":2", "\"recno\":1"},
         "\x01",
         "undo-order"});
  }
  {
    // Items whose own bytes did not change are not listed, though the
    // changed bytes around them merge into one range.
    log_builder b;
    b.at(1, t0).context_db(5, "shop");
    b.context_set_items(7, 5, "orders", {{"A", 'X', 1, 1}, {"B", 'X', 1, 1}, {"C", 'X', 1, 1}});
    b.fixrec(PUT, 1, 7, 5, "aBc").fixrec(UPDATE, 2, 7, 5, "xBz");
    cases.push_back({"unchanged item",
                     b.end().str(),
                     {"--history=7:5"},
                     {"UPDATE, sequence", "item A: 'a' -> 'x'\n  item C: 'c' -> 'z'\n"},
                     "'B' -> 'B'"});
  }
  {
    // A change that is itself the tag at a break in the sequence is
    // followed after the break.
    log_builder b;
    b.fixrec(PUT, 1, 7, 5, "aaaa").at(10, t0 + 10).fixrec(PUT, 2, 7, 5, "bbbb");
    b.before_image(3, 1, 7, 5, UPDATE, "cccc").fixrec(UPDATE, 3, 7, 5, "dddd");
    const std::string log = b.end().str();
    cases.push_back({"change at a break: check",
                     log,
                     {"--check"},
                     {"does not match its content after the change at offset"},
                     "t.fwlog: ok"});
    cases.push_back({"change at a break: history",
                     log,
                     {"--history=7:5"},
                     {"tag sequence 10 follows 1: tags may be missing between them",
                      "note: the before-image at offset"},
                     "\x01"});
  }
  {
    // An unreadable FIXREC of the node before the record's first change:
    // by name as by number, what the record was before its PUT is not
    // known.
    log_builder b;
    b.at(1, t0).context_db(5, "shop").context_set(7, 5, "orders");
    b.image(OP_FIXREC, 4, 7, bytes().u32(0).u32(0).u32(5).str());
    b.at(10, t0 + 100).fixrec(PUT, 5, 7, 5, "aaaa");
    const std::string log = b.end().str();
    for (const char* record : {"--history=7:5", "--history=shop.orders:5"})
      cases.push_back({"unreadable FIXREC before the first change",
                       log,
                       {record, "--as-of=2023-11-14T22:14:00Z"},
                       {"record 5 as of 2023-11-14 22:14:00: cannot tell: at offset"},
                       "did not exist"});
  }
  {
    // A before-image judged wrong whose change is cut off: the note goes
    // with the gap.
    log_builder b;
    b.fixrec(PUT, 1, 7, 1, "aaaa").before_image(2, 1, 7, 1, UPDATE, "bbbb");
    std::string log = b.fixrec(UPDATE, 2, 7, 1, "cccc").str();
    log.resize(log.size() - 2);
    cases.push_back({"before-image before a cut",
                     log,
                     {"--json", "--history=7:1"},
                     {"\"type\":\"record_gap\"", "\"note\":\"the before-image at offset 82"},
                     "\"type\":\"record_change\",\"log\":\"t.fwlog\",\"node_id\":7,"
                     "\"node\":null,\"recno\":1,\"sequence\":3"});
  }
  {
    // A malformed record that is no FIXREC hides no change; an unreadable
    // FIXREC hides one of its own node's records only.
    const std::string unreadable = bytes().u32(0).u32(0).u32(5).str();
    log_builder b;
    b.fixrec(PUT, 1, 7, 1, "aaaa").image(OP_NODEPAGE, 2, 7, "abc");
    b.before_image(3, 1, 7, 1, UPDATE, "bbbb").fixrec(UPDATE, 3, 7, 1, "cccc");
    b.image(OP_FIXREC, 4, 8, unreadable).before_image(5, 1, 7, 1, UPDATE, "dddd");
    b.fixrec(UPDATE, 5, 7, 1, "eeee").image(OP_FIXREC, 6, 7, unreadable);
    b.before_image(7, 1, 7, 1, UPDATE, "ffff").fixrec(UPDATE, 7, 7, 1, "gggg");
    cases.push_back({"malformed records",
                     b.end().str(),
                     {"--check"},
                     {"3 errors, 2 warnings", "record 1 of #7 at offset 110 does not match",
                      "record 1 of #7 at offset 226 does not match"},
                     "warning at offset 342"});
  }
  return cases;
}

}  // namespace

TEST(Rules, FaultsOfTheModesThatFollowRecords) {
  for (const fault_case& c : fault_cases()) {
    const golden::result r = golden::scan(c.log, c.args);
    std::string all = r.out + r.err;
    if (!c.saved.empty())
      all += test_files::slurp(golden::work_dir() + "/" + c.saved + "/manifest.jsonl");
    size_t at = 0;
    for (const std::string& want : c.in_order) {
      const size_t found = all.find(want, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": " << want << "\n" << all;
      if (found != std::string::npos) at = found + want.size();
    }
    EXPECT_EQ(all.find(c.absent), std::string::npos) << c.name << "\n" << all;
  }
}
