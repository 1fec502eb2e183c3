// --txns, --sessions and --transaction: transactions joined across the logs
// of a stream, sessions interleaved, a transaction that never ends, hostile
// and damaged AUDIT bodies, the filters, --top and --by, the tables' bounds,
// one transaction in full, and a generated log against the generator's own
// account of its transactions.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

enum state : uint8_t { GLOBAL = 1, BEGIN = 2, END = 3, BEGIN_END = 4, TXN = 5 };

void begin(log_builder& b, uint32_t txn, uint32_t session) {
  b.image(logbuild::OP_BEGIN, txn, 0, "", BEGIN, session);
}
void eot(log_builder& b, uint32_t txn, uint32_t session) {
  b.image(logbuild::OP_EOT, txn, 0, "", END, session);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<json_reader::value> json_lines(const std::string& text) {
  std::vector<json_reader::value> v;
  for (const std::string& line : lines_of(text)) {
    json_reader::result r = json_reader::parse(line);
    EXPECT_TRUE(r.ok()) << r.message() << ": " << line;
    v.push_back(r.v);
  }
  return v;
}

// Two logs of one stream: transaction 7 of session 12 begins in the first
// and ends in the second; transaction 8 of session 13 (signed on before the
// input) never ends; 9 is one BEGIN-END record; two checkpoints, one of
// them of transaction 7, belong to no transaction.
std::string two_logs() {
  log_builder b;
  b.context_db(100, "shop");
  b.context_set(102, 100, "orders");
  b.sign_on(12, {"user=alice", "program=pay"});
  b.dblist(12, logbuild::DBLIST_SUM, {{100, 3}});
  begin(b, 7, 12);
  b.fixrec(logbuild::PUT, 7, 102, 5, "row5", TXN, 12);
  b.before_image(7, 12, 102, 6, logbuild::UPDATE, "old6");
  b.fixrec(logbuild::UPDATE, 7, 102, 6, "new6", TXN, 12);
  b.fixrec(logbuild::PUT, 8, 103, 1, "x", TXN, 13);
  b.image(logbuild::OP_CHECKPOINT, 0, 0, "", GLOBAL, 0);
  b.end('C');
  header_fields h;
  h.file_sequence = 2;
  b.next_log(h);
  b.fixrec(logbuild::DELETE, 7, 102, 5, "", TXN, 12);
  eot(b, 7, 12);
  b.fixrec(logbuild::UPDATE_RANGE, 9, 102, 6, "abcdef", BEGIN_END, 12);
  b.memo(12, 1, "pay run done");
  b.sign_off(12);
  b.image(logbuild::OP_CHECKPOINT, 7, 0, "", GLOBAL, 12);
  b.end('F');
  return b.str();
}

}  // namespace

TEST(Txns, JoinedAcrossTheLogsOfAStream) {
  const std::string log = two_logs();
  golden::result r = golden::scan(log, {"--txns"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "txn 7 END: session 12, seq 5-13, offset 153-458, 2023-11-14 22:13:24 to 2023-11-14 "
            "22:13:32 (8 s); records 5: BEGIN 1, FIXREC 3, EOT 1; nodes 1: SHOP.ORDERS (#102) 3; "
            "before-images 1; who: user=alice, program=pay\n"
            "txn 9 BEGIN-END: session 12, seq 14-14, offset 483-483, 2023-11-14 22:13:33 to "
            "2023-11-14 22:13:33 (0 s); records 1: FIXREC 1; nodes 1: SHOP.ORDERS (#102) 1; "
            "before-images 0; who: user=alice, program=pay\n"
            "txn 8 never ended, its log ended with EOF_FINISH (no BEGIN in the input): session "
            "13, seq 9-9, offset 303-303, 2023-11-14 22:13:28 to 2023-11-14 22:13:28 (0 s); "
            "records 1: FIXREC 1; nodes 1: #103 1; before-images 0; who: session 13, no sign-on "
            "in the input\n"
            "transactions: 3 (1 END, 1 BEGIN-END, 1 not ended), 3 listed; records in no "
            "transaction: 2\n");

  // The same as JSON, with the places of the first and last tag.
  const std::vector<json_reader::value> v = json_lines(golden::scan(log, {"--txns", "--json"}).out);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0]["type"].text, "txn");
  EXPECT_EQ(v[0]["end"].text, "END");
  EXPECT_EQ(v[0]["first"]["offset"].num(), 153);
  EXPECT_EQ(v[0]["last"]["sequence"].num(), 13);
  EXPECT_EQ(v[0]["last"]["log"].text, "t.fwlog");
  EXPECT_EQ(v[0]["who"].items.size(), 2u);
  EXPECT_EQ(v[0]["nodes"].items[0]["name"].text, "SHOP.ORDERS");
  EXPECT_EQ(v[2]["end"].text, "eof_finish");
  EXPECT_FALSE(v[2]["begin_seen"].b);
  EXPECT_EQ(v[2]["sign_on"].text, "none");
  EXPECT_EQ(v[3]["type"].text, "txns_total");
  EXPECT_EQ(v[3]["records_in_no_transaction"].num(), 2);

  // Without the end tag of the second log the transaction is still open
  // at the end of the input; read as two operands, the first log's open
  // transaction goes on into the second operand.
  const std::string first = log.substr(0, log.find("DRAV.FWLOG", 10));
  const std::string cut = log.substr(0, log.size() - 9);
  r = golden::scan(cut, {"--txns"});
  EXPECT_NE(r.out.find("txn 8 still open at the end of the input (no BEGIN in the input)"),
            std::string::npos)
      << r.out;
  golden::temp_file(first, "one.fwlog");
  golden::temp_file(log.substr(first.size()), "two.fwlog");
  r = golden::run({"--txns", "--order=given", "one.fwlog", "two.fwlog"});
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "txn 7 END: session 12, seq 5-13, offset 153 in one.fwlog to 78 in two.fwlog, "
            "2023-11-14 22:13:24 to 2023-11-14 22:13:32 (8 s); records 5: BEGIN 1, FIXREC 3, EOT "
            "1; nodes 1: SHOP.ORDERS (#102) 3; before-images 1; who: user=alice, program=pay");
  EXPECT_NE(r.out.find("txn 8 never ended"), std::string::npos);
}

TEST(Txns, FiltersTopAndBy) {
  // 1: 4 records on nodes 50, 51 over 2 s; 2: 2 records on node 52 over
  // 100 s, no record between 22:13:30 and 22:14:50; 3: 3 records on 50;
  // 4 of session 2: 2 records on 53.
  log_builder b;
  b.at(1, 1700000000);
  begin(b, 1, 1);
  b.fixrec(logbuild::PUT, 1, 50, 1, "a", TXN, 1).fixrec(logbuild::PUT, 1, 51, 1, "a", TXN, 1);
  begin(b, 2, 1);
  b.fixrec(logbuild::PUT, 2, 52, 1, "a", TXN, 1);
  eot(b, 1, 1);
  b.at(10, 1700000100);
  eot(b, 2, 1);
  begin(b, 3, 1);
  b.fixrec(logbuild::PUT, 3, 50, 2, "a", TXN, 1);
  eot(b, 3, 1);
  b.image(logbuild::OP_BEGIN, 4, 0, "", BEGIN, 2);
  b.fixrec(logbuild::PUT, 4, 53, 1, "a", TXN, 2);
  b.image(logbuild::OP_EOT, 4, 0, "", END, 2);
  b.end('F');
  const std::string log = b.str();
  auto ids = [&](std::vector<std::string> opts) {
    opts.insert(opts.begin(), "--txns");
    std::string got;
    for (const std::string& l : lines_of(golden::scan(log, opts).out))
      if (l.rfind("txn ", 0) == 0) got += l.substr(4, l.find(' ', 4) - 4) + " ";
    return got;
  };
  EXPECT_EQ(ids({}), "1 2 3 4 ");  // in the order they end
  EXPECT_EQ(ids({"-x", "2:3"}), "2 3 ");
  EXPECT_EQ(ids({"-x", "3"}), "3 4 ");
  EXPECT_EQ(ids({"-n", "50"}), "1 3 ");
  EXPECT_EQ(ids({"--session", "2"}), "4 ");
  // Active in the window: 2 spans it without a record inside.
  EXPECT_EQ(ids({"--utc", "--since", "2023-11-14 22:13:40", "--until", "2023-11-14 22:14:30"}),
            "2 ");
  EXPECT_EQ(ids({"-s", "9:10"}), "2 ");
  EXPECT_EQ(ids({"--top", "2"}), "1 2 ");  // by records: 4, then 3 (2 and 3 tie: 2 ended first)
  EXPECT_EQ(ids({"--top", "2", "--by", "records"}), "1 2 ");
  EXPECT_EQ(ids({"--top", "1", "--by", "duration"}), "2 ");
  EXPECT_EQ(ids({"--by", "nodes"}), "1 2 3 4 ");
  EXPECT_EQ(ids({"--top", "2", "--by", "nodes", "-x", "2:4"}), "2 3 ");
  EXPECT_NE(golden::scan(log, {"--txns", "--top", "2"}).out.find("4 listed, the top 2 by records"),
            std::string::npos);

  // Options that would be ignored are refused; the older abbreviations
  // keep their meaning.
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--txns", "--stats"},
                                              {"--sessions", "--txns"},
                                              {"--by", "records"},
                                              {"--txns", "-p", "1"},
                                              {"--txns", "--limit", "1"},
                                              {"--sessions", "-n", "5"},
                                              {"--transaction", "0"},
                                              {"--transaction", "5", "-x", "5"},
                                              {"--transaction", "5", "--limit", "3"},
                                              {"--session", "3"},
                                              {"--txn-table", "5"},
                                              {"--txns", "--by", "size"},
                                              {"--txns", "--save", "d"}}) {
    std::vector<std::string> args = bad;
    args.push_back("t.fwlog");
    EXPECT_EQ(golden::run(args).status, 2) << args[0] << " " << args[1];
  }
  EXPECT_EQ(golden::scan(log, {"--tx", "2:2"}).out, golden::scan(log, {"-x", "2:2"}).out);
  EXPECT_EQ(golden::scan(log, {"--se", "2:3"}).out, golden::scan(log, {"-s", "2:3"}).out);
}

TEST(Txns, ManySessionsInterleavedAndTheBounds) {
  // 40 sessions sign on; each runs a transaction, all open at once and
  // written round-robin; every other session signs off once they have
  // ended, but session 1001 before its transaction has.
  const int n = 40;
  log_builder b;
  for (int s = 1; s <= n; ++s) b.sign_on(1000 + s, {"user=u" + std::to_string(s)});
  for (int s = 1; s <= n; ++s) begin(b, 500 + s, 1000 + s);
  for (int round = 0; round < 3; ++round)
    for (int s = 1; s <= n; ++s)
      b.fixrec(logbuild::UPDATE, 500 + s, 60 + s % 3, s, "d", TXN, 1000 + s);
  b.sign_off(1001);
  for (int s = 1; s <= n; ++s) eot(b, 500 + s, 1000 + s);
  for (int s = 3; s <= n; s += 2) b.sign_off(1000 + s);
  b.end('F');
  const std::string log = b.str();

  golden::result r = golden::scan(log, {"--txns", "--json"});
  std::vector<json_reader::value> v = json_lines(r.out);
  ASSERT_EQ(v.size(), size_t(n + 1));
  for (int s = 1; s <= n; ++s) {
    const json_reader::value& t = v[s - 1];
    EXPECT_EQ(t["transaction_id"].num(), 500 + s);
    EXPECT_EQ(t["session_id"].num(), 1000 + s);
    EXPECT_EQ(t["records"].num(), 5);
    ASSERT_EQ(t["who"].items.size(), 1u);
    // Signed off or not, the transaction keeps who signed its session on.
    EXPECT_EQ(t["who"].items[0].text, "user=u" + std::to_string(s));
  }
  r = golden::scan(log, {"--sessions"});
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), size_t(n + 2)) << r.out;
  // Those that signed off as they did, then the others in the order they
  // were met; the record of session 1001 behind its sign-off is not its.
  EXPECT_EQ(lines[0],
            "session 1001: signed on 2023-11-14 22:13:20 (seq 1), signed off 2023-11-14 "
            "22:16:40 (seq 201); transactions 1, records 4, memos 0; who: user=u1");
  EXPECT_EQ(lines[1].rfind("session 1003: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[n / 2],
            "session 1002: signed on 2023-11-14 22:13:21 (seq 2), still signed on when its log "
            "ended (EOF_FINISH); transactions 1, records 5, memos 0; who: user=u2");
  EXPECT_EQ(lines[n],
            "session 1001: no sign-on in the input, first met 2023-11-14 22:16:41 (seq 202), "
            "still signed on when its log ended (EOF_FINISH); transactions 0, records 1, memos 0");
  EXPECT_EQ(lines[n + 1], "sessions: 41 (20 signed off, 21 not), 41 listed");

  // Bounds: 10 transactions open at once and 15 sessions. What is beyond
  // is counted, said once, and never listed as something it is not (the
  // records of a transaction left out do not open one when room is made).
  r = golden::scan(log, {"--txns", "--txn-table", "10", "--session-table", "15"});
  lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  for (int s = 1; s <= 10; ++s) {
    EXPECT_EQ(lines[s - 1].rfind("txn " + std::to_string(500 + s) + " END: ", 0), 0u);
    EXPECT_EQ(lines[s - 1].find("no BEGIN"), std::string::npos);
  }
  EXPECT_EQ(lines[10],
            "transactions: 10 (10 END, 0 BEGIN-END, 0 not ended), 10 listed; records in no "
            "transaction: 0; records and before-images of transactions not followed: 150 (more "
            "than 10 open at once; see --txn-table)");
  EXPECT_EQ(lines[11],
            "incomplete: sessions beyond the 15 signed on at once are counted but not followed "
            "(--session-table); transactions beyond the 10 open at once are counted but not "
            "followed (--txn-table)");
  EXPECT_EQ(r.err,
            "t.fwlog: warning: 15 sessions are signed on at once at offset 462, as many as are "
            "followed; further ones are counted but not listed; raise --session-table\n"
            "t.fwlog: warning: 10 transactions are open at once at offset 1437, as many as are "
            "followed; the records of further ones are counted but not listed; raise "
            "--txn-table\n");
  // A session whose sign-on was not kept is not said to have none.
  r = golden::scan(log, {"--txns", "--session-table", "15", "-x", "520"});
  EXPECT_NE(r.out.find("who: session 1020, its sign-on not kept"), std::string::npos) << r.out;
  r = golden::scan(log, {"--sessions", "--session-table", "15"});
  EXPECT_NE(r.out.find("sessions: 15 (8 signed off, 7 not), 15 listed; tags of sessions not "
                       "followed: "),
            std::string::npos)
      << r.out;
}

TEST(Sessions, HostileAndDamagedAuditBodies) {
  const std::string esc =
      "evil\x1b]0;owned\x07\x9b"
      "2J";
  log_builder b;
  b.context_db(100, "shop");
  b.sign_on(5, {esc, "line\nbreak", std::string(300, 'L'), std::string("cut\0here", 8)});
  b.memo(5, 0, "memo \x1b[31mred");
  // SIGN_ON of session 6: three entries said, the body holds one and the
  // size of a second that does not fit.
  b.audit(6, logbuild::SIGN_ON, logbuild::bytes().u16(3).u16(2).raw("ok").u16(50).str());
  // A DBLIST of 12 bytes, a memo too short for its mode, a SIGN_OFF with a
  // body.
  b.audit(6, logbuild::DBLIST_SUM, logbuild::bytes().i32(100).i32(3).u32(9).str());
  b.audit(6, logbuild::MEMO, "ab");
  begin(b, 70, 6);
  eot(b, 70, 6);
  b.audit(6, logbuild::SIGN_OFF, "abcd");
  b.end('F');
  const std::string log = b.str();

  golden::result r = golden::scan(log, {"--sessions", "-v", "--escape=always"});
  EXPECT_EQ(r.status, 1);  // malformed bodies
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 5u) << r.out;
  // The memo too short for its mode is counted, with nothing to show.
  EXPECT_EQ(lines[0],
            "session 6: signed on 2023-11-14 22:13:23 (seq 4), signed off 2023-11-14 22:13:28 "
            "(seq 9); transactions 1, records 2, memos 1; opened: SHOP (#100); damaged AUDIT "
            "bodies 3; who: ok (damaged sign-on)");
  EXPECT_EQ(lines[1], "  memos not shown: 1");
  EXPECT_EQ(lines[2].rfind("session 5: signed on 2023-11-14 22:13:21 (seq 2), still signed on "
                           "when its log ended (EOF_FINISH); transactions 0, records 0, memos 1; "
                           "who: evil\\x1b]0;owned\\x07\\x9b2J, line\\x0abreak, " +
                               std::string(256, 'L') + " ..., cut",
                           0),
            0u)
      << lines[2];
  EXPECT_EQ(lines[3], "  memo (mode 0, 13 bytes): memo \\x1b[31mred");
  EXPECT_EQ(lines[4], "sessions: 2 (1 signed off, 1 not), 2 listed");
  // Unescaped only when asked; as JSON, escaped as JSON.
  r = golden::scan(log, {"--sessions", "--escape=never"});
  EXPECT_NE(r.out.find("who: " + esc + ", line\nbreak"), std::string::npos);
  const std::vector<json_reader::value> v =
      json_lines(golden::scan(log, {"--sessions", "--json"}).out);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_FALSE(v[0]["who_complete"].b);
  EXPECT_EQ(v[0]["damaged_audit_bodies"].num(), 3);
  EXPECT_EQ(v[1]["who"].items[0].text, esc.substr(0, 14) +
                                           "\xc2\x9b"
                                           "2J");
  EXPECT_EQ(v[1]["who"].items[2].text.size(), 256u);
  EXPECT_FALSE(v[1]["who_complete"].b);
  EXPECT_FALSE(v[1].has("memo_texts"));  // only with -v
  // The transaction after the damaged bodies is read whole.
  EXPECT_NE(golden::scan(log, {"--txns"}).out.find("txn 70 END: session 6"), std::string::npos);
}

TEST(Transaction, OneInFullWithWhoAndSummary) {
  const std::string log = two_logs();
  const golden::result r = golden::scan(log, {"--transaction", "7"});
  EXPECT_EQ(r.status, 0);
  // What -x 7:7 -a shows, without the logs' announcements, end tags, the
  // GLOBAL record and the headers of logs without a tag of it; the
  // who-line before, the summary behind.
  const std::string all = golden::scan(log, {"-x", "7:7", "-a"}).out;
  auto tags_of = [](const std::string& report) {
    std::string tags;
    for (size_t at = report.find("\nsequence = "); at != std::string::npos;) {
      const size_t next = report.find("\nsequence = ", at + 1);
      std::string tag = report.substr(at, next == std::string::npos ? next : next - at);
      const size_t behind = tag.find("\n\n");  // a header or the summary behind it
      if (behind != std::string::npos) tag = tag.substr(0, behind + 1);
      if (tag.find("tag = EOF_") == std::string::npos &&
          tag.find("txn state: GLOBAL") == std::string::npos)
        tags += tag;
      at = next;
    }
    return tags;
  };
  EXPECT_EQ(tags_of(r.out), tags_of(all));
  EXPECT_EQ(r.out.rfind("transaction 7: session 12, user=alice, program=pay\n\nFile: t.fwlog\n", 0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("file sequence: 2\n"), std::string::npos);  // the log it ends in
  EXPECT_EQ(r.out.substr(r.out.rfind("\n\n") + 2),
            "txn 7 END: session 12, seq 5-13, offset 153-458, 2023-11-14 22:13:24 to 2023-11-14 "
            "22:13:32 (8 s); records 5: BEGIN 1, FIXREC 3, EOT 1; nodes 1: SHOP.ORDERS (#102) 3; "
            "before-images 1; who: user=alice, program=pay\n");

  const std::vector<json_reader::value> v =
      json_lines(golden::scan(log, {"--transaction", "7", "--json"}).out);
  std::string types;
  for (const json_reader::value& o : v) types += o["type"].text + " ";
  EXPECT_EQ(types, "who header tag tag tag tag header tag tag txn transaction_total ");
  EXPECT_EQ(v.back()["transactions"].num(), 1);

  EXPECT_EQ(golden::scan(log, {"--transaction", "77"}).out, "transaction 77: not in the input\n");
}

// A generated series of three logs against what the generator says it
// wrote: every transaction with its session and FIXREC changes; and each
// transaction's who against the sign-ons that the report shows.
TEST(Txns, GeneratedLogsAgreeWithTheGenerator) {
  const std::string dir = golden::work_dir();
  const std::string cmd = std::string(FWGEN_BIN) + " --seed 21 --tags 3000 --logs 3 -o " + dir +
                          "/gen.fwlog --truth " + dir + "/gen.truth";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream truth_file(dir + "/gen.truth");
  std::stringstream truth_text;
  truth_text << truth_file.rdbuf();

  // The generator's changes by transaction: session and sequences.
  struct expected {
    int64_t session = -1;
    std::vector<long long> sequences;
    bool ended = false;
  };
  std::map<long long, expected> want;
  for (const json_reader::value& t : json_lines(truth_text.str())) {
    if (t["type"].text == "change") {
      expected& e = want[t["transaction_id"].num()];
      e.session = t["session_id"].num();
      e.sequences.push_back(t["sequence"].num());
    } else if (t["type"].text == "transaction") {
      want[t["transaction_id"].num()].ended = true;
    }
  }
  ASSERT_GT(want.size(), 50u);

  // Who signed each session on, as the report shows the SIGN_ON tags.
  std::map<long long, std::string> sign_ons;
  {
    const golden::result a = golden::run({"-a", "--kind", "AUDIT", "gen.fwlog"});
    long long session = -1;
    bool sign_on = false;
    for (const std::string& l : lines_of(a.out)) {
      if (l.rfind(" session_id: ", 0) == 0) session = std::stoll(l.substr(13));
      if (l.rfind(" type: ", 0) == 0) sign_on = l == " type: SIGN_ON (10)";
      if (sign_on && l.rfind("  data: ", 0) == 0)
        sign_ons[session] += (sign_ons[session].empty() ? "" : "|") + l.substr(8);
    }
  }
  ASSERT_FALSE(sign_ons.empty());

  const golden::result r = golden::run({"--txns", "--json", "gen.fwlog"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::set<long long> seen;
  for (const json_reader::value& t : json_lines(r.out)) {
    if (t["type"].text != "txn") continue;
    const long long id = t["transaction_id"].num();
    seen.insert(id);
    EXPECT_TRUE(t["begin_seen"].b) << id;
    EXPECT_TRUE(t["end"].text == "END" || t["end"].text == "BEGIN-END") << id;
    // Its who is the sign-on of its session, when the log has one.
    auto s = sign_ons.find(t["session_id"].num());
    if (s != sign_ons.end()) {
      std::string who;
      for (const json_reader::value& e : t["who"].items) who += (who.empty() ? "" : "|") + e.text;
      EXPECT_EQ(who, s->second) << id;
    } else {
      EXPECT_TRUE(t["who"].is_null()) << id;
    }
    long long fixrecs = 0;
    for (const json_reader::value& op : t["operations"].items)
      if (op["code"].num() == logbuild::OP_FIXREC) fixrecs = op["records"].num();
    auto w = want.find(id);
    if (w == want.end()) {
      EXPECT_EQ(fixrecs, 0) << id;
      continue;
    }
    EXPECT_EQ(t["session_id"].num(), w->second.session) << id;
    EXPECT_EQ(fixrecs, static_cast<long long>(w->second.sequences.size())) << id;
    EXPECT_EQ(t["end"].text == "BEGIN-END", t["records"].num() == 1) << id;
    for (long long seq : w->second.sequences) {
      EXPECT_LE(t["first"]["sequence"].num(), seq) << id;
      EXPECT_GE(t["last"]["sequence"].num(), seq) << id;
    }
  }
  for (const auto& w : want) EXPECT_TRUE(seen.count(w.first)) << "transaction " << w.first;
}
