// The JSON Lines report (--json): every line one strict JSON object in
// valid UTF-8, the same tags as the text report with the same options, the
// header and tag objects with their keys, codes without names, raw bytes
// whole from -v on, texts from the log escaped, no key twice in an object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "test_files.h"

using logbuild::log_builder;

namespace {

using json_reader::value;
using test_files::hex;
using test_files::slurp;

// Every line of a JSON Lines text as an object; a line that is not one
// fails the test (with what names the run).
std::vector<value> json_lines(const std::string& out, const std::string& what) {
  std::vector<value> objects;
  if (!out.empty() && out.back() != '\n') ADD_FAILURE() << what << ": last line without newline";
  std::istringstream in(out);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    json_reader::result r = json_reader::parse(line);
    if (!r.ok()) {
      ADD_FAILURE() << what << ": line " << n << " is not JSON: " << r.message() << "\n"
                    << line.substr(0, 400);
      continue;
    }
    if (!r.v.is_object()) ADD_FAILURE() << what << ": line " << n << " is not an object";
    objects.push_back(std::move(r.v));
  }
  return objects;
}

std::vector<value> tags_of(const std::vector<value>& objects) {
  std::vector<value> tags;
  for (const value& v : objects)
    if (v["type"].text == "tag") tags.push_back(v);
  return tags;
}

// ---------------------------------------------------------------------------
// The tags of a text report, as far as its lines show them.

struct tag_view {
  std::string sequence, kind, opcode, transaction, node;
  bool operator==(const tag_view& o) const {
    return sequence == o.sequence && kind == o.kind && opcode == o.opcode &&
           transaction == o.transaction && node == o.node;
  }
};

std::ostream& operator<<(std::ostream& os, const tag_view& t) {
  return os << "{seq " << t.sequence << ", " << t.kind << ", op '" << t.opcode << "', txn '"
            << t.transaction << "', node '" << t.node << "'}";
}

bool starts(const std::string& s, const std::string& prefix, std::string* rest = nullptr) {
  if (s.compare(0, prefix.size(), prefix) != 0) return false;
  if (rest) *rest = s.substr(prefix.size());
  return true;
}

// "NAME (code)" → "NAME (code)" as is; the text names placeholders.
std::vector<tag_view> text_tags(const std::string& out, bool brief) {
  std::vector<tag_view> tags;
  std::istringstream in(out);
  std::string line, rest;
  while (std::getline(in, line)) {
    if (starts(line, "sequence = ", &rest)) {
      tags.push_back(tag_view());
      tags.back().sequence = rest;
      if (brief) tags.back().kind = "REC";  // a brief record has no tag line
      continue;
    }
    if (tags.empty()) continue;
    tag_view& t = tags.back();
    if (starts(line, "tag = ", &rest)) {
      t.kind = rest.substr(0, rest.find(" ("));
    } else if (starts(line, " opcode: ", &rest)) {
      t.opcode = rest;
    } else if (starts(line, " transaction_id: ", &rest)) {
      t.transaction = rest;
    } else if (starts(line, " node_id: ", &rest)) {
      t.node = rest;
    }
  }
  return tags;
}

// "NAME (code)" as the text shows a code and its name (or placeholder).
std::string named_code(const value& name, const value& code, const std::string& placeholder) {
  return (name.is_null() ? placeholder : name.text) + " (" + code.text + ")";
}

// The same view of the JSON tag objects.
std::vector<tag_view> json_tags(const std::vector<value>& objects, bool brief) {
  std::vector<tag_view> tags;
  for (const value& v : tags_of(objects)) {
    tag_view t;
    t.sequence = v["sequence"].text;
    t.kind = v["tag"].text;
    const bool is_record = t.kind == "REC", is_before_image = t.kind == "BEFORE_IMAGE";
    if (is_record && !brief)
      t.opcode = named_code(v["opcode"], v["opcode_code"], "** UNKNOWN OP **");
    if (is_before_image)
      t.opcode = named_code(v["fixrec_op"], v["fixrec_op_code"], "** UNKNOWN FIXREC OP **");
    if (is_record || is_before_image) {
      t.transaction = v["transaction_id"].text;
      const std::string id = v["node_id"].text;
      t.node = v["node"].is_null() ? "#" + id : v["node"].text + " (#" + id + ")";
    } else if (v.has("node_id")) {
      t.node = v["node_id"].text;  // CONTEXT, CLUSTER and NODEMETA show the number
    }
    tags.push_back(t);
  }
  return tags;
}

// ---------------------------------------------------------------------------

// A log that fwgen writes with the given arguments.
std::string generated(const std::string& args) {
  const std::string path = golden::work_dir() + "/gen.fwlog";
  const std::string command = std::string(FWGEN_BIN) + " " + args + " -o " + path;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return slurp(path);
}

// Bytes taken as ISO 8859-1 characters, in UTF-8.
std::string latin1_utf8(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      out += static_cast<char>(0xc0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3f));
    }
  }
  return out;
}

bool brief_options(const std::vector<std::string>& options) {
  for (const std::string& o : options)
    if (o == "-a" || o == "-p" || o == "-o" || o.rfind("-vv", 0) == 0 || o == "--kind")
      return false;
  return true;
}

}  // namespace

// The strict reader itself (tests/json_reader.h, shared by the tests that
// read JSON): what it must refuse, where it says the fault is, and what it
// gives back.
TEST(JsonReader, RefusesWhatIsNotStrictJson) {
  const char* const bad[] = {
      "{\"a\":1,}",
      "{\"a\":01}",
      "{\"a\":1,\"a\":2}",
      "{\"a\":\"\x01\"}",
      "{\"a\":\"\xff\"}",
      "{\"a\":\"\xc0\xaf\"}",
      "{\"a\":\"\\ud800\"}",
      "{\"a\":NaN}",
      "{\"a\":'x'}",
      "{\"a\":1} x",
      "{\"a\":\"\\x41\"}",
      "{\"a\":[1,]}",
      "{\"a\":\"\xed\xa0\x80\"}",
      "{a:1}",
      "",
      " ",
      "-",
      "1.",
      "1e+",
      "+1",
      "{\"a\":\"\\u12\"}",
      "{\"a\":\"\\ud800\\u0041\"}",
      "{\"a\":\"\xe0\x80\x80\"}",      // the long form of U+0000
      "{\"a\":\"\xf4\x90\x80\x80\"}",  // above U+10FFFF
      "{\"a\":\"\xc3\"}",              // cut in a character
      "{\"a\":tru}",
      "[1 2]",
  };
  for (const char* text : bad) EXPECT_FALSE(json_reader::parse(text).ok()) << text;
  // Nesting is bounded, so hostile input cannot exhaust the stack.
  EXPECT_FALSE(json_reader::parse(std::string(100, '[') + std::string(100, ']')).ok());
  EXPECT_TRUE(json_reader::parse(std::string(50, '[') + std::string(50, ']')).ok());
  // The error names the byte where the text stops being JSON.
  const json_reader::result twice = json_reader::parse("{\"a\":1, \"a\":2}");
  EXPECT_EQ(twice.message(), "key \"a\" twice at byte 11");
  EXPECT_EQ(json_reader::parse("[1,2] x").message(), "text after the value at byte 6");

  const json_reader::result r =
      json_reader::parse(" {\"a\":[1,-2.5e3,\"\\u00e9\\ud83d\\ude00\xc3\xa9\"],\"b\":null}\n");
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r.v.keys(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(r.v["a"].items[2].text, "\xc3\xa9\xf0\x9f\x98\x80\xc3\xa9");
  EXPECT_EQ(r.v["a"].items[0].num(), 1);
  // Asking for a number as an integer, or for a key that must be there,
  // fails loudly instead of giving 0 or null.
  EXPECT_THROW(r.v["a"].items[1].num(), std::domain_error);
  EXPECT_THROW(r.v["b"].num(), std::domain_error);
  EXPECT_TRUE(r.v["c"].is_null());
  EXPECT_THROW(r.v.at("c"), std::out_of_range);
}

// On generated logs of several versions and seeds, two logs to a stream,
// with several filter sets: every line is strict JSON, and the JSON report
// holds exactly the tags of the text report, in the same order, with the
// same sequence, kind, opcode, transaction and node; standard error and
// exit status are the text report's.
TEST(Json, SameTagsAsTheTextReportOnGeneratedLogs) {
  const std::vector<std::vector<std::string>> option_sets = {
      {"-a", "-v"},
      {},
      {"-p", "122"},
      {"-o", "NODELIST*"},
      {"-n", "102"},
      {"-a", "-vv", "-x", "5:40"},
      {"--kind", "rec,page,context"},
      {"-a", "--limit", "57"},
  };
  size_t compared = 0;
  for (int seed = 1; seed <= 3; ++seed) {
    for (const char* version : {"1.00", "1.02", "1.05"}) {
      const std::string args =
          "--seed " + std::to_string(seed) + " --version " + version + " --logs 2 --tags 300";
      const std::string log = generated(args);
      for (const std::vector<std::string>& options : option_sets) {
        const std::string what = args + " " + ::testing::PrintToString(options);
        golden::result text = golden::scan(log, options);
        std::vector<std::string> json_options = options;
        json_options.push_back("--json");
        golden::result json = golden::scan(log, json_options);
        EXPECT_EQ(json.status, text.status) << what;
        EXPECT_EQ(json.err, text.err) << what;
        const std::vector<value> objects = json_lines(json.out, what);
        const bool brief = brief_options(options);
        const std::vector<tag_view> from_text = text_tags(text.out, brief);
        const std::vector<tag_view> from_json = json_tags(objects, brief);
        EXPECT_EQ(from_json, from_text) << what;
        EXPECT_FALSE(from_text.empty()) << what;
        compared += from_text.size();
        // One header object per log read, before its tags.
        size_t headers = 0, files = 0;
        for (const value& v : objects) headers += v["type"].text == "header";
        for (size_t at = 0; (at = text.out.find("\nFile: ", at)) != std::string::npos; ++at)
          ++files;
        EXPECT_EQ(headers, files) << what;
        EXPECT_EQ(objects.front()["type"].text, "header") << what;
      }
    }
  }
  EXPECT_GT(compared, 3000u);
}

// The same cross-check with a system JSON parser, which also refuses
// duplicate keys and bytes that are not UTF-8.
TEST(Json, SystemParserAcceptsEveryLine) {
  if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 is not installed";
  std::string all;
  for (int seed = 1; seed <= 3; ++seed) {
    const std::string log = generated("--seed " + std::to_string(seed) + " --logs 2");
    for (const char* level : {"-a", "-avvv"}) all += golden::scan(log, {level, "--json"}).out;
  }
  const std::string path = golden::temp_file(all, "all.jsonl");
  const std::string script =
      "import json,sys\n"
      "def pairs(p):\n"
      "    keys=[k for k,_ in p]\n"
      "    if len(keys)!=len(set(keys)): raise ValueError('duplicate key')\n"
      "    return dict(p)\n"
      "def bad(c): raise ValueError(c)\n"
      "n=0\n"
      "for line in open(sys.argv[1],'rb').read().decode('utf-8','strict').split('\\n')[:-1]:\n"
      "    assert isinstance(json.loads(line,object_pairs_hook=pairs,parse_constant=bad),dict)\n"
      "    n+=1\n"
      "print(n)\n";
  const std::string script_path = golden::temp_file(script, "check.py");
  const std::string command =
      "python3 " + golden::work_dir() + "/" + script_path + " " + golden::work_dir() + "/" + path;
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[64] = {};
  const size_t got = std::fread(buf, 1, sizeof buf - 1, p);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(std::strtoul(std::string(buf, got).c_str(), nullptr, 10),
            static_cast<unsigned long>(std::count(all.begin(), all.end(), '\n')));
}

// The header object and a record object in full; "time" is UTC whatever
// TZ says.
TEST(Json, HeaderAndRecordObjects) {
  log_builder b;
  b.at(9, 1700111618).context_db(100, "Shop").context_set(102, 100, "Orders");
  b.fixrec(logbuild::PUT, 17, 102, 7, "ab", 2, 44).end();
  const std::string header =
      "{\"type\":\"header\",\"log\":\"t.fwlog\",\"signature\":\"DRAV.FWLOG\",\"version\":\"1.05\","
      "\"major\":1,\"minor\":5,\"audit_only\":false,\"byte_order\":1234,\"charset\":"
      "\"iso-8859-1\",\"charset_code\":1,\"release\":8,\"volume_set_id\":24301,"
      "\"volume_generation\":3,\"file_sequence\":1,\"header_bytes\":36,\"offset\":0,\"schema_"
      "version\":\"1.0.0\"}\n";
  const std::string put =
      "{\"type\":\"tag\",\"log\":\"t.fwlog\",\"offset\":84,\"sequence\":11,\"timestamp\":"
      "1700111620,\"time\":\"2023-11-16T05:13:40Z\",\"tag\":\"REC\",\"tag_code\":49,\"opcode\":"
      "\"FIXREC\",\"opcode_code\":13,\"transaction_id\":17,\"session_id\":44,\"txn_state\":"
      "\"BEGIN\",\"txn_state_code\":2,\"node_id\":102,\"node\":\"SHOP.ORDERS\","
      "\"prev_cluster\":0,\"prev_offset\":0,\"prev_size\":0,\"recno\":7,\"start_page\":0,"
      "\"fixrec_op\":\"PUT\",\"fixrec_op_code\":3";
  const std::string end =
      "{\"type\":\"tag\",\"log\":\"t.fwlog\",\"offset\":128,\"sequence\":12,\"timestamp\":"
      "1700111621,\"time\":\"2023-11-16T05:13:41Z\",\"tag\":\"EOF_FINISH\",\"tag_code\":70,"
      "\"length\":9}\n";
  // The default view: the record, its data counted but not dumped.
  golden::result r =
      golden::run({"--json", golden::temp_file(b.str(), "t.fwlog")}, "", {{"TZ", "JST-9"}});
  EXPECT_EQ(r.out, header + put + ",\"data_size\":2,\"length\":44}\n" + end);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  // From -v on the data too.
  r = golden::scan(b.str(), {"--json", "-v"});
  EXPECT_EQ(r.out, header + put + ",\"data_size\":2,\"data\":\"6162\",\"length\":44}\n" + end);
  json_lines(r.out, "header and record");
}

// One tag of every kind at -a -v: the keys of each object, in order.
TEST(Json, KeysOfEveryTagKind) {
  log_builder b;
  b.slave_sync(1, 2, 3, 4).page(logbuild::page_image(1));
  b.cluster(102, 7, {logbuild::page_image(2)}).nodemeta(102, "meta");
  b.before_image(17, 3, 102, 7, logbuild::PUT, "xy");
  b.context_db(100, "Shop").context_set_items(102, 100, "Orders", {{"Total", 'I', 1, 4, 0}});
  b.context_index(112, 102, "OrderDate");
  b.memo(3, 1, "memo").sign_on(3, {"user=BOB"}).dblist(3, logbuild::DBLIST_SUM, {{100, 1}});
  b.image(logbuild::OP_NODE, 17, 102, std::string(58, '\0'));
  b.image(logbuild::OP_NODEPAGE, 17, 102,
          logbuild::bytes().u32(1).u32(9).u32(0).u32(1).fill(756).str());
  b.image(logbuild::OP_VOL_EXTEND, 17, 0,
          logbuild::bytes().u32(1).u32(2).u32(3).u32(1).u32(8).str());
  b.end('C');
  golden::result r = golden::scan(b.str(), {"--json", "-a", "-v"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  const std::string common = "type log offset sequence timestamp time tag tag_code ";
  const std::string record = common +
                             "opcode opcode_code transaction_id session_id txn_state "
                             "txn_state_code node_id node ";
  const std::vector<std::string> expected = {
      "type log signature version major minor audit_only byte_order charset charset_code release "
      "volume_set_id volume_generation file_sequence header_bytes offset schema_version",
      common + "vol_generation log_generation log_sequence tag_sequence length",
      common + "key image length",
      common + "node_id start_page count images length",
      common + "node_id meta_size length",
      common +
          "transaction_id session_id node_id node recno fixrec_op fixrec_op_code data_size data "
          "length",
      common + "node_id context_type context_type_code size name length",
      common + "node_id context_type context_type_code size db_node name items length",
      common + "node_id context_type context_type_code size set_node name length",
      common + "session_id audit_type audit_type_code size mode data_size data length",
      common + "session_id audit_type audit_type_code size entries length",
      common + "session_id audit_type audit_type_code size entries length",
      record + "target_node_id length",
      record + "pages length",
      record + "volume_id curr_size ext_count free_count free_entries length",
      common + "length",
  };
  const std::vector<value> objects = json_lines(r.out, "every kind");
  ASSERT_EQ(objects.size(), expected.size());
  for (size_t i = 0; i < objects.size(); ++i) {
    std::string keys;
    for (const std::string& k : objects[i].keys()) keys += (keys.empty() ? "" : " ") + k;
    EXPECT_EQ(keys, expected[i]) << "object " << i;
  }
  // The groups: their items and values.
  EXPECT_EQ(objects[3]["images"].items.size(), 1u);
  EXPECT_EQ(objects[3]["images"].items[0]["image"].text, hex(logbuild::page_image(2)));
  EXPECT_EQ(objects[10]["entries"].items[0]["data"].text, "user=BOB");
  const value& db = objects[11]["entries"].items[0];
  EXPECT_EQ(db.keys(), (std::vector<std::string>{"index", "node_id", "node", "mode"}));
  EXPECT_EQ(db["node"].text, "SHOP");  // learnt from the CONTEXT record before
  const value& item = objects[7]["items"].items[0];
  EXPECT_EQ(item.keys(),
            (std::vector<std::string>{"index", "name", "type", "count", "size", "fmt"}));
  EXPECT_EQ(item["type"].text, "I");
  const value& page = objects[13]["pages"].items[0];
  EXPECT_EQ(page.keys(), (std::vector<std::string>{"page", "state", "state_code", "logpage_key"}));
  EXPECT_EQ(page["page"].num(), 9);
  EXPECT_EQ(page["state"].text, "MODIFIED");
  EXPECT_EQ(objects[14]["free_entries"].items.size(), 1u);
  EXPECT_EQ(objects[14]["free_entries"].items[0].num(), 8);
  EXPECT_EQ(objects[15]["tag"].text, "EOF_CONT");
  // Numbers are numbers, whatever base the text shows them in.
  EXPECT_TRUE(objects[0]["volume_set_id"].is_number());
  EXPECT_TRUE(item["fmt"].is_number());
}

// A code without a name: null for the name, the code kept. The text shows
// the placeholder.
TEST(Json, CodesWithoutNamesGiveNull) {
  log_builder b;
  b.image(200, 17, 7, "abc", /*state=*/9);
  b.fixrec(11, 17, 7, 7, "", 5);  // a FIXREC operation without a name
  b.context(5, 9, "");
  // States, page actions, list ids and list types out of their tables.
  b.image(logbuild::OP_NODEPAGE, 17, 7,
          logbuild::bytes().u32(1).u32(9).u32(0).u32(7).fill(756).str());
  b.image(logbuild::OP_NODECLUSTER, 17, 7, logbuild::bytes().u32(64).i16(8).u16(1).str());
  b.image(logbuild::OP_NODELISTPAGE, 17, 7,
          logbuild::bytes().u32(5).u16(6).u8(2).u8(9).u32(1).fill(28).str());
  b.image(logbuild::OP_NODELISTPAGEHEAD, 17, 7, logbuild::bytes().u32(5).u32(4).fill(16).str());
  b.end();
  golden::result r = golden::scan(b.str(), {"--json", "-a"});
  EXPECT_EQ(r.status, 0);
  const std::vector<value> tags = tags_of(json_lines(r.out, "unnamed codes"));
  ASSERT_EQ(tags.size(), 8u);
  EXPECT_TRUE(tags[0]["opcode"].is_null());
  EXPECT_EQ(tags[0]["opcode_code"].num(), 200);
  EXPECT_TRUE(tags[0]["txn_state"].is_null());
  EXPECT_EQ(tags[0]["txn_state_code"].num(), 9);
  EXPECT_EQ(tags[0]["size"].num(), 3);
  EXPECT_TRUE(tags[1]["fixrec_op"].is_null());
  EXPECT_EQ(tags[1]["fixrec_op_code"].num(), 11);
  EXPECT_TRUE(tags[2]["context_type"].is_null());
  EXPECT_EQ(tags[2]["context_type_code"].num(), 9);
  // Every name keeps its code beside it, known or not.
  const value& entry = tags[3]["pages"].items.at(0);
  EXPECT_TRUE(entry["state"].is_null());
  EXPECT_EQ(entry["state_code"].num(), 7);
  EXPECT_EQ(tags[4]["state"].text, "ALLOCATED");
  EXPECT_EQ(tags[4]["state_code"].num(), 1);
  EXPECT_TRUE(tags[5]["action"].is_null());
  EXPECT_EQ(tags[5]["action_code"].num(), 6);
  EXPECT_EQ(tags[5]["list_id"].text, "FIXREC_FLIST");
  EXPECT_EQ(tags[5]["list_id_code"].num(), 2);
  EXPECT_TRUE(tags[5]["list_type"].is_null());
  EXPECT_EQ(tags[5]["list_type_code"].num(), 9);
  EXPECT_TRUE(tags[6]["list_type"].is_null());
  EXPECT_EQ(tags[6]["list_type_code"].num(), 4);
  for (const value& tag : tags)
    for (const std::string& k : tag.keys()) {
      if (k == "node" || k == "tag" || k == "log" || k == "time" || k == "type") continue;
      const value& v = tag[k];
      if (v.is_string() || (v.is_null() && k != "length")) {
        EXPECT_TRUE(tag.has(k + "_code")) << k << " of " << tag["opcode"].text;
      }
    }
  const std::string text = golden::scan(b.str(), {"-a"}).out;
  EXPECT_NE(text.find(" opcode: ** UNKNOWN OP ** (200)\n"), std::string::npos);
  EXPECT_NE(text.find(" txn state: ** UNKNOWN STATE ** (9)\n"), std::string::npos);
  EXPECT_NE(text.find("  page 0x9 ???\n"), std::string::npos);
  EXPECT_NE(text.find("  page 0x1 ??? id=FIXREC_FLIST type=??? timestamp=5\n"), std::string::npos);
  // An unknown tag letter: no kind name, the letter's code.
  log_builder u;
  u.tag('Z');
  r = golden::scan(u.str(), {"--json"});
  const std::vector<value> unknown = tags_of(json_lines(r.out, "unknown letter"));
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_TRUE(unknown[0]["tag"].is_null());
  EXPECT_EQ(unknown[0]["tag_code"].num(), 'Z');
}

// Raw bytes: absent at level 0, whole from -v on (never cut at 256 bytes
// as the text dump is), lowercase hex.
TEST(Json, RawBytesWholeFromVerboseOn) {
  std::string payload;
  for (int i = 0; i < 300; ++i) payload += static_cast<char>(i * 7 + 0xa0);
  std::string memo(300, '\0');
  for (int i = 0; i < 300; ++i) memo[i] = static_cast<char>(0xff - i);
  log_builder b;
  b.image(logbuild::OP_SYSCAT, 17, 7, payload);
  b.fixrec(logbuild::PUT, 17, 7, 7, payload);
  b.memo(3, 0, memo);
  b.before_image(17, 3, 7, 7, logbuild::PUT, payload);
  b.page(logbuild::page_image(4)).end();
  const std::vector<std::string> raw_keys = {"data", "data", "data", "data", "image"};
  const std::vector<std::string> whole = {hex(payload), hex(payload), hex(memo), hex(payload),
                                          hex(logbuild::page_image(4))};
  for (const char* level : {"-v", "-vv", "-vvv"}) {
    golden::result r = golden::scan(b.str(), {"--json", "-a", level});
    EXPECT_EQ(r.status, 0);
    const std::vector<value> tags = tags_of(json_lines(r.out, level));
    ASSERT_EQ(tags.size(), 6u) << level;
    for (size_t i = 0; i < whole.size(); ++i) {
      EXPECT_EQ(tags[i][raw_keys[i]].text, whole[i]) << level << " tag " << i;
      EXPECT_TRUE(tags[i][raw_keys[i]].is_string()) << level << " tag " << i;
    }
  }
  golden::result r = golden::scan(b.str(), {"--json", "-a"});
  const std::vector<value> tags = tags_of(json_lines(r.out, "level 0"));
  ASSERT_EQ(tags.size(), 6u);
  for (size_t i = 0; i < whole.size(); ++i) EXPECT_FALSE(tags[i].has(raw_keys[i])) << i;
  EXPECT_EQ(tags[0]["size"].num(), 300);
  EXPECT_EQ(tags[1]["data_size"].num(), 300);
  EXPECT_EQ(tags[2]["data_size"].num(), 300);
  EXPECT_EQ(tags[3]["data_size"].num(), 300);
}

// Every decoded field is there at every detail level: the objects at level
// 0 hold the keys of those at -vvv, less the raw bytes, in every list item
// too.
TEST(Json, EveryFieldAtEveryDetailLevel) {
  const std::set<std::string> raw = {"data", "item", "image"};
  std::function<std::string(const value&)> shape = [&](const value& v) {
    std::string s;
    for (const auto& m : v.members) {
      if (raw.count(m.first)) continue;
      s += m.first;
      if (m.second.kind == value::array_v && !m.second.items.empty() &&
          m.second.items[0].kind == value::object_v) {
        s += "[";
        for (const value& item : m.second.items) s += "{" + shape(item) + "}";
        s += "]";
      }
      s += " ";
    }
    return s;
  };
  for (int seed = 1; seed <= 2; ++seed) {
    const std::string log = generated("--seed " + std::to_string(seed) + " --logs 2");
    const std::vector<value> low = json_lines(golden::scan(log, {"--json", "-a"}).out, "level 0");
    const std::vector<value> high =
        json_lines(golden::scan(log, {"--json", "-a", "-vvv"}).out, "level 3");
    ASSERT_EQ(low.size(), high.size());
    for (size_t i = 0; i < low.size(); ++i)
      EXPECT_EQ(shape(low[i]), shape(high[i])) << "seed " << seed << " object " << i;
  }
}

// Texts from the log hold control characters, bytes above 0x7f, quotes
// and backslashes: every line stays valid JSON in UTF-8 and the texts come
// back byte for byte (bytes above 0x7f as ISO 8859-1 characters).
TEST(Json, HostileTextsAreEscaped) {
  const std::string name = "a\x1b[31mb\x01\x07\t\n\r\"\\\x7f\xff\xe9z";
  const std::string sign_on = std::string("user=\x1b]0;x\x07\x9b\xc3\xa9") + "\x80";
  const std::string cut = std::string("cut\0hidden", 10);
  log_builder b;
  b.context_db(100, name).context_set(102, 100, "s\x02t");
  b.sign_on(3, {sign_on, cut}).fixrec(logbuild::PUT, 17, 102, 7, "ab").end();
  const std::string file = golden::temp_file(b.str(), "n\x1b\xff\"\\.fwlog");
  golden::result r = golden::run({"--json", "-a", "-v", file});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::vector<value> objects = json_lines(r.out, "hostile texts");
  ASSERT_EQ(objects.size(), 6u);
  EXPECT_EQ(objects[0]["log"].text, latin1_utf8(file));
  EXPECT_EQ(objects[1]["name"].text, latin1_utf8(name));
  EXPECT_EQ(objects[2]["name"].text, "s\x02t");
  const value& entries = objects[3]["entries"];
  ASSERT_EQ(entries.items.size(), 2u);
  EXPECT_EQ(entries.items[0]["data"].text, latin1_utf8(sign_on));
  EXPECT_EQ(entries.items[1]["data"].text, "cut");  // as the text report: up to the zero byte
  // The learnt name, in upper case.
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  EXPECT_EQ(objects[4]["node"].text, latin1_utf8(upper) + ".S\x02T");
  // Nothing raw: no byte below 0x20 inside a line.
  EXPECT_EQ(std::count_if(r.out.begin(), r.out.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
            0);
}

// A tag cut short inside a list of its body, or a list that a malformed
// count leaves unfinished: the object is closed all the same, and standard
// error and exit status are the text report's.
TEST(Json, DamagedTagsStillGiveWholeLines) {
  log_builder b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "ab");
  b.cluster(102, 7, {logbuild::page_image(1), logbuild::page_image(2)});
  b.audit(3, logbuild::SIGN_ON, logbuild::bytes().u16(3).u16(2).raw("ab").str());
  b.dblist(3, logbuild::DBLIST_UPD, {{100, 1}, {102, 2}});
  b.end();
  const std::string log = b.str();
  // Every cut, and the log whole: the sign-on promises three entries.
  std::vector<size_t> cuts;
  for (size_t at = 40; at < log.size(); at += 997) cuts.push_back(at);
  for (size_t at = log.size() - 40; at <= log.size(); ++at) cuts.push_back(at);
  for (size_t at : cuts) {
    const std::string part = log.substr(0, at);
    const std::string what = "cut at " + std::to_string(at);
    golden::result text = golden::scan(part, {"-a", "-v"});
    golden::result json = golden::scan(part, {"-a", "-v", "--json"});
    EXPECT_EQ(json.status, text.status) << what;
    EXPECT_EQ(json.err, text.err) << what;
    const std::vector<value> objects = json_lines(json.out, what);
    EXPECT_EQ(json_tags(objects, false), text_tags(text.out, false)) << what;
  }
  golden::result json = golden::scan(log, {"-a", "--json"});
  EXPECT_EQ(json.status, 1);
  const std::vector<value> tags = tags_of(json_lines(json.out, "whole"));
  ASSERT_EQ(tags.size(), 5u);
  EXPECT_EQ(tags[2]["entries"].items.size(), 1u);
  EXPECT_EQ(tags[2]["entries"].items[0]["data"].text, "ab");
  EXPECT_EQ(tags[3]["entries"].items.size(), 2u);
  // A tag whose body the input ends in has no length.
  json = golden::scan(log.substr(0, 36 + 40 + 8192), {"-a", "--json"});
  const std::vector<value> cut = tags_of(json_lines(json.out, "cut in the cluster"));
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[1]["tag"].text, "CLUSTER");
  EXPECT_TRUE(cut[1]["length"].is_null());
  EXPECT_TRUE(cut[0]["length"].is_number());
}

// A node number has one form in every object and in the manifest of
// --save: unsigned 32 bits, whether the text shows it signed or not. The
// text keeps its forms.
TEST(Json, NodeNumbersAreUnsignedEverywhere) {
  const uint32_t node = 0xfffffffbu;  // -5 as a signed number
  const int32_t signed_node = static_cast<int32_t>(node);
  log_builder b;
  b.context_db(node, "Shop").context_set(7, node, "Orders").context_index(8, node, "Key");
  b.fixrec(logbuild::PUT, 17, node, 7, "ab");
  b.before_image(17, 3, signed_node, 7, logbuild::PUT, "xy");
  b.cluster(signed_node, 7, {logbuild::page_image(1)}).nodemeta(signed_node, "meta");
  b.dblist(3, logbuild::DBLIST_SUM, {{signed_node, 1}});
  b.image(logbuild::OP_NODE, 17, 7, logbuild::bytes().u16(0).u32(node).fill(52).str());
  b.image(logbuild::OP_NODEDELETE, 17, 7, logbuild::bytes().u32(node).str());
  b.end();
  const std::string log = b.str();
  golden::temp_file(log, "t.fwlog");
  golden::result r = golden::run({"--json", "-a", "--save", "nodes", "t.fwlog"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<value> tags = tags_of(json_lines(r.out, "node numbers"));
  ASSERT_EQ(tags.size(), 11u);
  const std::set<std::string> node_keys = {"node_id", "target_node_id", "db_node", "set_node"};
  size_t seen = 0;
  std::function<void(const value&)> visit = [&](const value& v) {
    for (const auto& m : v.members) {
      if (node_keys.count(m.first) && m.second.num() != 7 && m.second.num() != 8) {
        EXPECT_EQ(m.second.text, "4294967291") << m.first;
        ++seen;
      }
      for (const value& item : m.second.items) visit(item);
    }
  };
  for (const value& t : tags) visit(t);
  EXPECT_EQ(seen, 10u);
  EXPECT_EQ(tags[3]["node"].text, "SHOP");  // the name is found all the same
  EXPECT_EQ(tags[7]["entries"].items.at(0)["node"].text, "SHOP");
  // The manifest says it the same way.
  const std::string manifest = slurp(golden::work_dir() + "/nodes/manifest.jsonl");
  size_t lines = 0;
  for (const value& line : json_lines(manifest, "manifest")) {
    EXPECT_EQ(line["node_id"].text, "4294967291") << line["file"].text;
    ++lines;
  }
  EXPECT_EQ(lines, 3u);  // the FIXREC data, the before-image, the cluster's image
  // And the summary's busiest nodes.
  const golden::result stats = golden::run({"--stats", "--json", "t.fwlog"});
  EXPECT_NE(stats.out.find("{\"node_id\":4294967291,\"name\":\"SHOP\""), std::string::npos)
      << stats.out;
  // The text: signed where it always was, unsigned where it always was.
  const std::string text = golden::scan(log, {"-a"}).out;
  EXPECT_NE(text.find(" node_id: -5\n start_page: 7\n"), std::string::npos);
  EXPECT_NE(text.find(" node_id: -5\n meta_size: 4 bytes\n"), std::string::npos);
  EXPECT_NE(text.find(" node_id: 4294967291\n type: DB (1)\n"), std::string::npos);
  EXPECT_NE(text.find("  node_id = 4294967291\n"), std::string::npos);
}

// A malformed item marks the object of its tag with the message's text,
// behind the fields that were read, whether it is found in a list, in the
// record's payload or before the tag was shown; the line stays one JSON
// object, and a sound tag has no mark.
TEST(Json, MalformedItemsAreMarkedInTheirObject) {
  log_builder b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "ab");
  // 70 NODEPAGE entries promised, 64 held.
  b.image(logbuild::OP_NODEPAGE, 17, 7,
          logbuild::bytes().u32(70).u32(9).u32(0).u32(1).fill(756).str());
  // A NODECLUSTER payload of 7 bytes instead of 8.
  b.image(logbuild::OP_NODECLUSTER, 17, 7, std::string(7, '\0'));
  // A set item whose name runs past the body.
  b.context(102, logbuild::CTX_SET_ITEMS,
            logbuild::bytes()
                .u32(100)
                .u8(1)
                .raw("S")
                .u8(1)
                .raw("A")
                .u8(73)
                .u16(1)
                .u16(4)
                .u32(0)
                .u8(200)
                .raw("B")
                .str());
  b.end();
  const std::string log = b.str();
  golden::result r = golden::scan(log, {"--json", "-a"});
  EXPECT_EQ(r.status, 1);
  std::vector<value> tags = tags_of(json_lines(r.out, "malformed"));
  ASSERT_EQ(tags.size(), 5u);
  EXPECT_FALSE(tags[0].has("malformed"));
  EXPECT_EQ(tags[1]["malformed"].text,
            "malformed IMAGE record: NODEPAGE count 70 exceeds 64 entries");
  EXPECT_EQ(tags[1]["pages"].items.size(), 64u);
  EXPECT_EQ(tags[2]["malformed"].text,
            "malformed IMAGE record: NODECLUSTER payload of 7 bytes, expected 8");
  EXPECT_FALSE(tags[2].has("state"));
  EXPECT_EQ(tags[3]["items"].items.size(), 1u);
  EXPECT_EQ(tags[3]["malformed"].text.rfind("malformed CONTEXT SET_ITEMS body: ", 0), 0u)
      << tags[3]["malformed"].text;
  for (size_t i = 1; i <= 3; ++i) {
    const std::vector<std::string> keys = tags[i].keys();
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[keys.size() - 2], "malformed") << i;
    EXPECT_EQ(keys.back(), "length") << i;
  }
  EXPECT_FALSE(tags[4].has("malformed"));
  // Found while a page filter reads the payload, before the tag is shown.
  r = golden::scan(log, {"--json", "-p", "9"});
  tags = tags_of(json_lines(r.out, "malformed, by page"));
  ASSERT_EQ(tags.size(), 2u);  // and the end tag
  EXPECT_EQ(tags[0]["opcode"].text, "NODEPAGE");
  EXPECT_EQ(tags[0]["malformed"].text,
            "malformed IMAGE record: NODEPAGE count 70 exceeds 64 entries");
}

// A PAGE tag whose image the input ends in keeps its key, which comes from
// where the tag lies.
TEST(Json, ACutPageKeepsItsKey) {
  log_builder b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "ab").page(logbuild::page_image(1));
  const std::string log = b.str();
  const golden::result r = golden::scan(log.substr(0, log.size() - 100), {"--json", "-a"});
  EXPECT_EQ(r.status, 1);
  const std::vector<value> tags = tags_of(json_lines(r.out, "cut page"));
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[1]["tag"].text, "PAGE");
  EXPECT_EQ(tags[1]["key"].num(), 1);
  EXPECT_TRUE(tags[1]["length"].is_null());
  EXPECT_FALSE(tags[1].has("image"));
}
