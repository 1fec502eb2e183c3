// --history NODE:RECNO: a record's changes in log order across logs, with
// its content before and after each and what changed (by item where the
// log declares the items); --as-of TIME from each kind of source, and the
// case the log cannot tell; damaged input, where nothing is invented.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "model/record_content.h"
#include "test_files.h"

using logbuild::bytes;
using logbuild::log_builder;
using test_files::json_lines;
using test_files::slurp;

namespace {

const uint32_t t0 = 1700000000;  // 2023-11-14 22:13:20 UTC

std::string range(uint16_t offset, const std::string& data) {
  return bytes().u16(offset).u16(static_cast<uint16_t>(data.size())).raw(data);
}

logbuild::header_fields header(int32_t file_sequence, uint16_t charset = 1) {
  logbuild::header_fields h;
  h.file_sequence = file_sequence;
  h.charset = charset;
  return h;
}

// The first log: names, the items of SHOP.ORDERS (#7) (NAME 6 bytes, QTY
// 2 x 1 byte), record 5 put, updated, patched twice; records of other
// numbers and nodes between. The second log: UPDATE_NO_DATA, a patch on
// the content it left unknown, a before-image and DELETE, a new PUT.
// at: the offsets of record 5's changes, as the test's own count.
std::string first_log(std::vector<std::string>* at = nullptr) {
  log_builder b(header(1));
  auto mark = [&] {
    if (at) at->push_back(std::to_string(b.log_offset()));
  };
  b.at(1, t0).context_db(5, "shop");
  b.context_set_items(7, 5, "orders", {{"NAME", 'X', 1, 6}, {"QTY", 'I', 2, 1}});
  mark();
  b.fixrec(logbuild::PUT, 10, 7, 5, std::string("apple \x01\x00", 8));
  b.fixrec(logbuild::PUT, 10, 7, 6, "otherrec");
  b.fixrec(logbuild::PUT, 10, 8, 5, "nodeight");
  b.before_image(11, 2, 7, 5, logbuild::UPDATE, std::string("apple \x01\x00", 8));
  mark();
  b.fixrec(logbuild::UPDATE, 11, 7, 5, std::string("pear  \x01\x00", 8), 5, 2);
  mark();
  b.fixrec(logbuild::UPDATE_RANGE, 12, 7, 5, range(6, std::string("\x02\x00", 2)));
  mark();
  b.fixrec(logbuild::UPDATE_RANGE, 12, 7, 5, range(0, "b"));
  return b.end('C').str();
}

std::string second_log(std::vector<std::string>* at = nullptr) {
  log_builder b(header(2));
  auto mark = [&] {
    if (at) at->push_back(std::to_string(b.log_offset()));
  };
  mark();
  b.at(11, t0 + 100).fixrec(logbuild::UPDATE_NO_DATA, 13, 7, 5);
  mark();
  b.fixrec(logbuild::UPDATE_RANGE, 13, 7, 5, range(0, "plum"));
  b.before_image(14, 1, 7, 5, logbuild::DELETE, std::string("plum  \x03\x00", 8));
  mark();
  b.fixrec(logbuild::DELETE, 14, 7, 5);
  mark();
  b.fixrec(logbuild::PUT, 15, 7, 5, std::string("fig   \x04\x00", 8));
  return b.end().str();
}

}  // namespace

// Entry by entry: the content carries over from the first log to the
// second; before-images give the before, patches apply to what is known,
// UPDATE_NO_DATA leaves it unknown, a patch on unknown content is shown as
// a patch, DELETE leaves nothing, a PUT after it had nothing before.
TEST(History, ALifeAcrossTwoLogsInText) {
  std::vector<std::string> at;
  const std::string a = golden::temp_file(first_log(&at), "a.fwlog");
  const std::string b = golden::temp_file(second_log(&at), "b.fwlog");
  golden::result r = golden::run({"--history", "SHOP.ORDERS:5", a, b});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      r.out,
      "\nSHOP.ORDERS (#7) record 5: PUT, sequence 3, 2023-11-14 22:13:22, transaction 10, "
      "session 1, offset " +
          at[0] +
          " of a.fwlog\n"
          "  before: unknown (no earlier change of it was read)\n"
          "  after: 8 bytes\n"
          "  item NAME: ? -> 'apple '\n"
          "  item QTY: ? -> x'0100'\n"
          "\nSHOP.ORDERS (#7) record 5: UPDATE, sequence 7, 2023-11-14 22:13:26, transaction 11, "
          "session 2, offset " +
          at[1] +
          " of a.fwlog\n"
          "  before: 8 bytes, from the before-image\n"
          "  after: 8 bytes\n"
          "  item NAME: 'apple ' -> 'pear  '\n"
          "\nSHOP.ORDERS (#7) record 5: UPDATE_RANGE, sequence 8, 2023-11-14 22:13:27, "
          "transaction 12, session 1, offset " +
          at[2] +
          " of a.fwlog\n"
          "  before: 8 bytes\n"
          "  after: 8 bytes\n"
          "  item QTY: x'0100' -> x'0200'\n"
          "\nSHOP.ORDERS (#7) record 5: UPDATE_RANGE, sequence 9, 2023-11-14 22:13:28, "
          "transaction 12, session 1, offset " +
          at[3] +
          " of a.fwlog\n"
          "  before: 8 bytes\n"
          "  after: 8 bytes\n"
          "  item NAME: 'pear  ' -> 'bear  '\n"
          "\nSHOP.ORDERS (#7) record 5: UPDATE_NO_DATA, sequence 11, 2023-11-14 22:15:00, "
          "transaction 13, session 1, offset " +
          at[4] +
          " of b.fwlog\n"
          "  before: 8 bytes\n"
          "  after: unknown: UPDATE_NO_DATA does not carry the new data\n"
          "  item NAME: 'bear  ' -> ?\n"
          "  item QTY: x'0200' -> ?\n"
          "\nSHOP.ORDERS (#7) record 5: UPDATE_RANGE, sequence 12, 2023-11-14 22:15:01, "
          "transaction 13, session 1, offset " +
          at[5] +
          " of b.fwlog\n"
          "  before: unknown (at offset " +
          at[4] +
          " of b.fwlog: UPDATE_NO_DATA does not carry "
          "the new data)\n"
          "  after: unknown: the content it patches is not known\n"
          "  bytes 0..3: ? -> 'plum'\n"
          "\nSHOP.ORDERS (#7) record 5: DELETE, sequence 14, 2023-11-14 22:15:03, transaction 14, "
          "session 1, offset " +
          at[6] +
          " of b.fwlog\n"
          "  before: 8 bytes, from the before-image\n"
          "  after: none (the record does not exist)\n"
          "  item NAME: 'plum  ' -> (none)\n"
          "  item QTY: x'0300' -> (none)\n"
          "\nSHOP.ORDERS (#7) record 5: PUT, sequence 15, 2023-11-14 22:15:04, transaction 15, "
          "session 1, offset " +
          at[7] +
          " of b.fwlog\n"
          "  before: none (the record does not exist)\n"
          "  after: 8 bytes\n"
          "  item NAME: (none) -> 'fig   '\n"
          "  item QTY: (none) -> x'0400'\n"
          "\nSHOP.ORDERS (#7) record 5: 8 changes; at the end 8 bytes, from the after-image at "
          "offset " +
          at[7] + " of b.fwlog\n");

  // The filters narrow what is shown, not what is followed: the entry of
  // transaction 12's second patch still knows the content before it.
  r = golden::run({"--history", "7:5", "-x", "12:12", "-v", a, b});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("item NAME: 'pear  ' -> 'bear  '\n"
                       "  before, 8 bytes:\n"
                       "000: 70 65 61 72 20 20 02 00"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("transaction 11"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("record 5: 8 changes, 2 shown;"), std::string::npos) << r.out;
}

TEST(History, ALifeAcrossTwoLogsInJson) {
  std::vector<std::string> at;
  const std::string a = golden::temp_file(first_log(&at), "a.fwlog");
  const std::string b = golden::temp_file(second_log(&at), "b.fwlog");
  golden::result r = golden::run({"--json", "--history", "7:5", a, b});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<json_reader::value> v = json_lines(r.out);
  ASSERT_EQ(v.size(), 8u) << r.out;
  struct expected {
    const char* op;
    long long sequence;
    const char* log;
    const char* before;  // null: JSON null
    bool before_known;
    const char* after;
    bool after_known;
    const char* diff;  // offset:old:new, ...
  };
  const expected want[] = {
      {"PUT", 3, "a.fwlog", nullptr, false, "6170706c65200100", true, ""},
      {"UPDATE", 7, "a.fwlog", "6170706c65200100", true, "7065617220200100", true,
       "0:6170706c65:7065617220"},
      {"UPDATE_RANGE", 8, "a.fwlog", "7065617220200100", true, "7065617220200200", true, "6:01:02"},
      {"UPDATE_RANGE", 9, "a.fwlog", "7065617220200200", true, "6265617220200200", true, "0:70:62"},
      {"UPDATE_NO_DATA", 11, "b.fwlog", "6265617220200200", true, nullptr, false, ""},
      {"UPDATE_RANGE", 12, "b.fwlog", nullptr, false, nullptr, false, "0:null:706c756d"},
      {"DELETE", 14, "b.fwlog", "706c756d20200300", true, nullptr, true, ""},
      {"PUT", 15, "b.fwlog", nullptr, true, "6669672020200400", true, ""},
  };
  for (size_t i = 0; i < v.size(); ++i) {
    const json_reader::value& o = v[i];
    const expected& w = want[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(o.at("type").text, "record_change");
    EXPECT_EQ(o.at("node_id").num(), 7);
    EXPECT_EQ(o.at("node").text, "SHOP.ORDERS");
    EXPECT_EQ(o.at("recno").num(), 5);
    EXPECT_EQ(o.at("fixrec_op").text, w.op);
    EXPECT_EQ(o.at("sequence").num(), w.sequence);
    EXPECT_EQ(std::to_string(o.at("offset").num()), at[i]);
    EXPECT_EQ(o.at("log").text, w.log);
    EXPECT_EQ(o.at("timestamp").num(), t0 + (i < 4 ? w.sequence - 1 : w.sequence + 89));
    EXPECT_TRUE(o.at("time").is_string());
    EXPECT_TRUE(o.at("transaction_id").is_integer());
    EXPECT_TRUE(o.at("session_id").is_integer());
    if (w.before)
      EXPECT_EQ(o.at("before").text, w.before);
    else
      EXPECT_TRUE(o.at("before").is_null());
    EXPECT_EQ(o.at("before_known").b, w.before_known);
    if (w.after)
      EXPECT_EQ(o.at("after").text, w.after);
    else
      EXPECT_TRUE(o.at("after").is_null());
    EXPECT_EQ(o.at("after_known").b, w.after_known);
    std::string diff;
    for (const json_reader::value& d : o.at("diff").items)
      diff += (diff.empty() ? "" : ",") + std::to_string(d.at("offset").num()) + ":" +
              (d.at("old").is_null() ? "null" : d.at("old").text) + ":" + d.at("new").text;
    EXPECT_EQ(diff, w.diff);
    // Why the content after is unknown, where it is.
    EXPECT_EQ(o.has("reason"), !w.after_known) << o.has("reason");
  }
  // The items that changed, by name, with text where printable.
  const json_reader::value& items = v[1].at("items");
  ASSERT_EQ(items.items.size(), 1u);
  EXPECT_EQ(items.items[0].at("name").text, "NAME");
  EXPECT_EQ(items.items[0].at("old_text").text, "apple ");
  EXPECT_EQ(items.items[0].at("new_text").text, "pear  ");
  const json_reader::value& qty = v[2].at("items").items.at(0);
  EXPECT_EQ(qty.at("name").text, "QTY");
  EXPECT_EQ(qty.at("offset").num(), 6);
  EXPECT_EQ(qty.at("size").num(), 2);
  EXPECT_FALSE(qty.has("old_text"));
  EXPECT_EQ(v[6].at("before_source").text, "before_image");
  EXPECT_EQ(v[7].at("before_source").text, "earlier_changes");
}

// Items apply only where they add up to the record's length; otherwise
// bytes, and -v says why. A name from a -M map serves from the start; one
// learnt from the log only from its CONTEXT record on, and the changes
// before it are told about. Text in a log of hp-roman8 is text in the
// report but hex only in JSON, which could not write its characters right.
TEST(History, ItemsByNameAndNodesByName) {
  log_builder b(header(1, 0));
  b.at(1, t0).fixrec(logbuild::PUT, 1, 9, 2, "abcdefgh");  // before its name
  b.context_db(4, "hr");
  const std::string items_at = std::to_string(b.log_offset());
  b.context_set_items(9, 4, "staff", {{"FIRST", 'X', 1, 4}, {"LAST", 'X', 1, 3}});
  b.fixrec(logbuild::UPDATE, 2, 9, 2, "abcdefgX");  // 7 bytes of items, 8 of record
  b.context_set_items(9, 4, "staff", {{"FIRST", 'X', 1, 4}, {"LAST", 'X', 2, 2}});
  b.fixrec(logbuild::UPDATE, 3, 9, 2,
           std::string("abc\xc1"
                       "efgX",
                       8));
  const std::string log = golden::temp_file(b.end().str(), "items.fwlog");

  golden::result r = golden::run({"-v", "--history", "hr.staff:2", log});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "jrnscan: warning: --history hr.staff:2: 1 change of the record, from offset 36 of "
            "items.fwlog on, came before node 9 was known by that name; the history does not "
            "show it (give the node's number or a -M map)\n");
  EXPECT_EQ(r.out.find("sequence 1,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  before: unknown (no earlier change of it was read)\n"
                       "  after: 8 bytes 'abcdefgX'\n"
                       "  items: the 2 items that the SET_ITEMS record at offset " +
                       items_at +
                       " of items.fwlog declares take 7 bytes, the record 8: bytes are shown\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  item FIRST: 'abcd' -> 'abc\xc1'\n"), std::string::npos) << r.out;

  // By number, and by the map's name (another case), from the first change.
  const std::string map = golden::temp_file(
      "Node map\n  node kind name parent\n 4 2 Hr 0\n 9 3 Staff 4\n", "nodes.map");
  for (const char* node : {"9", "#9", "HR.STAFF"}) {
    r = golden::run({"--json", "-M", map, "--history", std::string(node) + ":2", log});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << node;
    std::vector<json_reader::value> v = json_lines(r.out);
    ASSERT_EQ(v.size(), 3u) << node << r.out;
    EXPECT_EQ(v[0].at("sequence").num(), 1);
    EXPECT_FALSE(v[1].has("items"));
    const json_reader::value& first = v[2].at("items").items.at(0);
    EXPECT_EQ(first.at("name").text, "FIRST");
    EXPECT_EQ(first.at("old_text").text, "abcd");
    EXPECT_EQ(first.at("new").text, "616263c1");
    EXPECT_FALSE(first.has("new_text"));  // hp-roman8 beyond ASCII
  }
}

// The content at a moment from each kind of source, and where the log
// cannot tell, as text, JSON and saved files.
TEST(History, AsOfFromEachSource) {
  log_builder b(header(1));
  std::vector<long long> at;  // each tag's offset
  auto mark = [&]() -> log_builder& {
    at.push_back(static_cast<long long>(b.log_offset()));
    return b;
  };
  b.at(1, t0);
  mark().fixrec(logbuild::PUT, 1, 7, 1, "11111111");               // 0: after_image
  mark().fixrec(logbuild::PUT, 1, 7, 2, "22222222");               // 1
  mark().fixrec(logbuild::UPDATE_RANGE, 1, 7, 2, range(2, "xx"));  // 2: patched
  mark().fixrec(logbuild::PUT, 1, 7, 3, "33333333");               // 3
  mark().fixrec(logbuild::DELETE, 1, 7, 3);                        // 4: deleted
  mark().fixrec(logbuild::UPDATE_NO_DATA, 1, 7, 4);                // 5: untold
  b.at(7, t0 + 100);                                               // the moment: t0 + 50
  mark().before_image(2, 1, 7, 5, logbuild::UPDATE, "55555555");   // 6: before_image
  mark().fixrec(logbuild::UPDATE, 2, 7, 5, "5555555X");            // 7
  mark().fixrec(logbuild::PUT, 2, 7, 6, "66666666");               // 8: before_put
  mark().fixrec(logbuild::UPDATE, 2, 7, 4, "4444444X");            // 9: no before-image
  mark().fixrec(logbuild::UPDATE, 2, 7, 1, "1111111X");
  const std::string log = golden::temp_file(b.end().str(), "asof.fwlog");
  std::vector<std::string> args = {"--utc", "--as-of", "2023-11-14 22:14:10"};
  for (int n = 1; n <= 8; ++n) {
    args.push_back("--history");
    args.push_back("7:" + std::to_string(n));
  }
  std::vector<std::string> json = args;
  json.push_back("--json");
  json.push_back("--save");
  json.push_back("saved");
  json.push_back(log);
  golden::result r = golden::run(json);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<json_reader::value> v = json_lines(r.out);
  ASSERT_EQ(v.size(), 8u) << r.out;
  const struct {
    const char* source;
    bool known;
    const char* content;
    long long source_offset;  // -1: null
  } want[] = {
      {"after_image", true, "3131313131313131", at[0]},
      {"patched", true, "3232787832323232", at[1]},
      {"deleted", true, nullptr, at[4]},
      {"unknown", false, nullptr, -1},
      {"before_image", true, "3535353535353535", at[6]},
      {"before_put", true, nullptr, at[8]},
      {"unknown", false, nullptr, -1},
      {"unknown", false, nullptr, -1},
  };
  for (size_t i = 0; i < v.size(); ++i) {
    SCOPED_TRACE(i);
    const json_reader::value& o = v[i];
    EXPECT_EQ(o.at("type").text, "record_as_of");
    EXPECT_EQ(o.at("recno").num(), static_cast<long long>(i + 1));
    EXPECT_EQ(o.at("as_of").text, "2023-11-14T22:14:10Z");
    EXPECT_EQ(o.at("source").text, want[i].source);
    EXPECT_EQ(o.at("known").b, want[i].known);
    if (want[i].content)
      EXPECT_EQ(o.at("content").text, want[i].content);
    else
      EXPECT_TRUE(o.at("content").is_null());
    if (want[i].source_offset >= 0)
      EXPECT_EQ(o.at("source_offset").num(), want[i].source_offset);
    else
      EXPECT_TRUE(o.at("source_offset").is_null());
    EXPECT_EQ(o.has("reason"), !want[i].known);
  }
  EXPECT_EQ(v[1].at("patches").num(), 1);
  EXPECT_EQ(v[3].at("reason").text,
            "at offset " + std::to_string(at[5]) +
                " of asof.fwlog: UPDATE_NO_DATA does not carry the new data; the first change "
                "after that moment, the UPDATE at offset " +
                std::to_string(at[9]) + " of asof.fwlog, has no before-image");
  EXPECT_EQ(v[7].at("reason").text, "no change of the record was read up to that moment");

  // The files: the known contents, and a manifest line for every record.
  const std::string dir = golden::work_dir() + "/saved/";
  EXPECT_EQ(slurp(dir + "record.7.1.as-of"), "11111111");
  EXPECT_EQ(slurp(dir + "record.7.5.as-of"), "55555555");
  std::vector<json_reader::value> manifest = json_lines(slurp(dir + "manifest.jsonl"));
  ASSERT_EQ(manifest.size(), 8u);
  EXPECT_EQ(manifest[1].at("file").text, "record.7.2.as-of");
  EXPECT_EQ(manifest[1].at("size").num(), 8);
  EXPECT_TRUE(manifest[2].at("file").is_null());  // deleted: no content
  EXPECT_FALSE(manifest[3].at("known").b);
  // Nothing is overwritten.
  r = golden::run(json);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("manifest.jsonl already exists"), std::string::npos) << r.err;

  args.push_back(log);
  r = golden::run(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(
      r.out.find("\n#7 record 2 as of 2023-11-14 22:14:10: 8 bytes, from the after-image "
                 "at offset " +
                 std::to_string(at[1]) + " of asof.fwlog, with 1 patch since\n  '22xx2222'\n"),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\n#7 record 3 as of 2023-11-14 22:14:10: did not exist: deleted at "
                       "offset " +
                       std::to_string(at[4]) + " of asof.fwlog\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\n#7 record 4 as of 2023-11-14 22:14:10: cannot tell: at offset " +
                       std::to_string(at[5])),
            std::string::npos)
      << r.out;
}

// Damaged input: a log cut inside a before-image, a malformed FIXREC of
// the node amid the history, a record number of 2^31 and more. Where the
// log does not tell, the content is unknown and the history says why.
TEST(History, DamagedInputInventsNothing) {
  // A first log whose last tag, a before-image of record 5, is cut; the
  // second log of the series goes on.
  log_builder a(header(1));
  a.at(1, t0).fixrec(logbuild::PUT, 1, 7, 5, "aaaaaaaa");
  a.before_image(2, 1, 7, 5, logbuild::UPDATE, "aaaaaaaa");
  std::string cut = a.str();
  cut.resize(cut.size() - 3);
  log_builder b(header(2));
  b.at(10, t0 + 10).fixrec(logbuild::UPDATE_RANGE, 3, 7, 5, range(0, "zz"));
  // A FIXREC of node 7 whose payload is too short to say its record.
  const long long malformed = static_cast<long long>(b.log_offset());
  b.image(logbuild::OP_FIXREC, 4, 7, bytes().u32(0).u32(0).u32(5).str());
  b.fixrec(logbuild::UPDATE, 5, 7, 5, "bbbbbbbb");
  b.fixrec(logbuild::UPDATE, 5, 7, 0x80000005u, "cccccccc");
  b.image(logbuild::OP_FIXREC, 6, 7, bytes().u32(0).u32(0).u32(5).str());
  b.fixrec(logbuild::UPDATE_RANGE, 7, 7, 5, range(1, "yy"));
  const std::string a_log = golden::temp_file(cut, "cut.fwlog");
  const std::string b_log = golden::temp_file(b.end().str(), "next.fwlog");

  golden::result r = golden::run({"--json", "--history", "7:5", a_log, b_log});
  EXPECT_EQ(r.status, 1) << r.err;  // the malformed records
  EXPECT_NE(r.err.find("Unable to read before-image data"), std::string::npos) << r.err;
  std::vector<json_reader::value> v = json_lines(r.out);
  std::vector<std::string> kinds;
  for (const json_reader::value& o : v) kinds.push_back(o.at("type").text);
  const std::vector<std::string> want = {"record_change", "record_gap", "record_change",
                                         "record_change", "record_gap", "record_change"};
  ASSERT_EQ(kinds, want) << r.out;
  EXPECT_EQ(v[1].at("reason").text,
            "a tag of the log could not be read to its end: a change of the record there cannot "
            "be ruled out");
  EXPECT_EQ(v[1].at("log").text, "cut.fwlog");
  // The patch after the cut is shown as a patch: the content before it is
  // not taken from the first log.
  EXPECT_FALSE(v[2].at("before_known").b);
  EXPECT_EQ(v[2].at("diff").items.at(0).at("new").text, "7a7a");
  EXPECT_TRUE(v[2].at("diff").items.at(0).at("old").is_null());
  EXPECT_EQ(v[3].at("after").text, "6262626262626262");
  EXPECT_EQ(v[4].at("reason").text,
            "a FIXREC record of the node could not be read, so whether it changed the record is "
            "not known (malformed IMAGE record: FIXREC payload of 12 bytes, expected at least 17)");
  EXPECT_EQ(v[4].at("offset").num(), v[5].at("offset").num() - 37);
  EXPECT_EQ(v[4].at("sequence").num(), 14);
  // The first malformed record came while the content was unknown anyway:
  // no gap is told for it (the kinds above), but the UPDATE behind it has
  // no before.
  EXPECT_GT(v[3].at("offset").num(), malformed);
  EXPECT_FALSE(v[3].at("before_known").b);
  EXPECT_FALSE(v[5].at("before_known").b);
  EXPECT_FALSE(v[5].at("after_known").b);

  // Record number 2^31 + 5 is its own record, asked as the report prints
  // it or as the 32-bit number it is.
  for (const char* request : {"7:-2147483643", "7:2147483653"}) {
    r = golden::run({"--history", request, b_log});
    EXPECT_NE(r.out.find("\n#7 record 2147483653: UPDATE, sequence 13,"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n#7 record 2147483653: 1 change; at the end its content is unknown "
                         "(at offset " +
                         std::to_string(v[4].at("offset").num()) +
                         " of next.fwlog: a FIXREC record of the node could not be read"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("(the report prints the record number as -2147483643)\n"),
              std::string::npos);
  }
}

// What changed, as ranges: close ones (fewer than 4 equal bytes between)
// are one; a longer or shorter content has its end as a range of its own
// or joined to the last.
TEST(History, DiffRanges) {
  auto diff = [](const std::string& a, const std::string& b) {
    std::vector<jrn::byte_range> out;
    jrn::diff_bytes(reinterpret_cast<const uint8_t*>(a.data()), static_cast<uint32_t>(a.size()),
                    reinterpret_cast<const uint8_t*>(b.data()), static_cast<uint32_t>(b.size()),
                    out);
    std::string s;
    for (const jrn::byte_range& r : out)
      s += std::to_string(r.offset) + "+" + std::to_string(r.old_length) + "/" +
           std::to_string(r.new_length) + " ";
    return s;
  };
  EXPECT_EQ(diff("abcdefgh", "abcdefgh"), "");
  EXPECT_EQ(diff("abcdefghij", "Xbc...ghiY"), "0+10/10 ");          // gaps of 2 and 3: one range
  EXPECT_EQ(diff("abcdefghij", "XbcdeFghij"), "0+1/1 5+1/1 ");      // a gap of 4
  EXPECT_EQ(diff("Xbcdefghij", "abcdefghijklm"), "0+1/1 10+0/3 ");  // longer
  EXPECT_EQ(diff("abcdefghijklm", "abcdefghiX"), "9+4/1 ");         // shorter, joined
  EXPECT_EQ(diff("", "abc"), "0+0/3 ");
}

// A history prints no report: what would make no sense with it is a
// command-line error, with the reason.
TEST(History, CombinationsThatMakeNoSenseAreRefused) {
  const std::string log = golden::temp_file(first_log(), "a.fwlog");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--history", "7:5", "--stats"}, "--history and --stats cannot be given together"},
      {{"--history", "7:5", "--check"}, "--history and --check cannot be given together"},
      {{"--history", "7:5", "--limit", "3"}, "--limit does not apply to --history"},
      {{"--history", "7:5", "-n", "7"}, "-n does not apply to --history"},
      {{"--history", "7:5", "-o", "FIX*"}, "-p, -o and --kind do not apply to --history"},
      {{"--history", "7:5", "--save", "d"}, "--save applies to --history only with --as-of"},
      {{"--as-of", "2023-11-14"}, "--as-of applies only to --history"},
      {{"--history", "7:5", "--as-of", "2023-11-14", "-x", "1:2"},
       "-t, -s, -x, --since and --until do not apply to --as-of"},
      {{"--history", "7"}, "--history '7' takes NODE:RECNO"},
      {{"--history", "7:x"}, "--history '7:x' has a record number that is not a number"},
      {{"--history", "0:5"}, "--history '0:5' names node 0"},
      {{"--history", "12x:5"}, "--history '12x:5' has a node that is neither"},
      {{"--history", "7:5", "--as-of", "yesterday"}, "--as-of: 'yesterday' is not a date-time"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(log);
    golden::result r = golden::run(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // The old abbreviations keep their meaning.
  EXPECT_EQ(golden::run({"--h"}).status, 0);
  EXPECT_EQ(golden::run({"--a", log}).status, 0);
}
