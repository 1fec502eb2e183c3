// --undo TXN and --undo with -x F:T: each record the transactions changed,
// its content before (before-image, "did not exist" for a PUT, unknown and
// why) and after, the later changes of other transactions as conflicts;
// across logs; as files with a manifest; damaged input; the command line;
// and against the generator's own account of its transactions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "test_files.h"

using json_reader::value;
using logbuild::bytes;
using logbuild::log_builder;
using test_files::json_lines;
using test_files::slurp;
using test_files::unhex;

namespace {

std::string range(uint16_t offset, const std::string& data) {
  return bytes().u16(offset).u16(static_cast<uint16_t>(data.size())).raw(data);
}

logbuild::header_fields header(int32_t file_sequence) {
  logbuild::header_fields h;
  h.file_sequence = file_sequence;
  return h;
}

// SHOP.ORDERS (#7), records 1 to 3 put by transaction 10. Transaction 20
// updates record 1 and patches record 2 (each after a before-image),
// updates record 3 without one and puts record 4; transaction 21 patches
// record 2 between 20's two patches of it and updates record 1 after it;
// transaction 22 deletes record 4. at: the offsets of the changes, of the
// before-images of 20's first changes of records 1 and 2, in log order.
std::string conflicts_log(std::vector<std::string>* at = nullptr) {
  log_builder b(header(1));
  auto mark = [&] {
    if (at) at->push_back(std::to_string(b.log_offset()));
  };
  b.at(1, 1700000000).context_db(5, "shop").context_set(7, 5, "orders");
  b.fixrec(logbuild::PUT, 10, 7, 1, "alpha-01").fixrec(logbuild::PUT, 10, 7, 2, "bravo-02");
  b.fixrec(logbuild::PUT, 10, 7, 3, "charl-03");
  mark();  // 0
  b.before_image(20, 2, 7, 1, logbuild::UPDATE, "alpha-01");
  mark();  // 1
  b.fixrec(logbuild::UPDATE, 20, 7, 1, "ALPHA-01", 5, 2);
  mark();  // 2
  b.before_image(20, 2, 7, 2, logbuild::UPDATE_RANGE, "bravo-02");
  mark();  // 3
  b.fixrec(logbuild::UPDATE_RANGE, 20, 7, 2, range(0, "B"), 5, 2);
  mark();  // 4
  b.fixrec(logbuild::UPDATE, 20, 7, 3, "CHARL-03", 5, 2);
  mark();  // 5
  b.fixrec(logbuild::PUT, 20, 7, 4, "delta-04", 5, 2);
  b.before_image(21, 3, 7, 2, logbuild::UPDATE_RANGE, "Bravo-02");
  mark();  // 6
  b.fixrec(logbuild::UPDATE_RANGE, 21, 7, 2, range(6, "99"), 5, 3);
  mark();  // 7
  b.fixrec(logbuild::UPDATE_RANGE, 20, 7, 2, range(1, "RAVO"), 5, 2);
  b.before_image(21, 3, 7, 1, logbuild::UPDATE, "ALPHA-01");
  mark();  // 8
  b.fixrec(logbuild::UPDATE, 21, 7, 1, "ALPHA-77", 5, 3);
  mark();  // 9
  b.fixrec(logbuild::DELETE, 22, 7, 4, "", 5, 4);
  b.fixrec(logbuild::PUT, 23, 7, 5, "echo-05");
  return b.end().str();
}

}  // namespace

TEST(Undo, PutsBackDeletesAndNamesTheConflictsInText) {
  std::vector<std::string> at;
  const std::string log = golden::temp_file(conflicts_log(&at), "u.fwlog");
  const golden::result r = golden::run({"--undo", "20", log});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "\nSHOP.ORDERS (#7) record 1: put back the 8 bytes it had; 1 conflict\n"
            "  change: UPDATE, sequence 7, 2023-11-14 22:13:26, transaction 20, offset " +
                at[1] +
                " of u.fwlog\n"
                "  before: 8 bytes, from the before-image at offset " +
                at[0] +
                " of u.fwlog\n"
                "  after: 8 bytes\n"
                "  bytes 0..4: 'alpha' -> 'ALPHA'\n"
                "  conflict: UPDATE, sequence 16, 2023-11-14 22:13:35, transaction 21, offset " +
                at[8] +
                " of u.fwlog\n"
                "\nSHOP.ORDERS (#7) record 2: put back the 8 bytes it had; 1 conflict\n"
                "  2 changes, the first: UPDATE_RANGE, sequence 9, 2023-11-14 22:13:28, "
                "transaction 20, offset " +
                at[3] +
                " of u.fwlog\n"
                "  the last: UPDATE_RANGE, sequence 14, 2023-11-14 22:13:33, transaction 20, "
                "offset " +
                at[7] +
                " of u.fwlog\n"
                "  before: 8 bytes, from the before-image at offset " +
                at[2] +
                " of u.fwlog\n"
                "  after: 8 bytes\n"
                "  bytes 0..7: 'bravo-02' -> 'BRAVO-99'\n"
                "  conflict: UPDATE_RANGE, sequence 13, 2023-11-14 22:13:32, transaction 21, "
                "offset " +
                at[6] +
                " of u.fwlog\n"
                "\nSHOP.ORDERS (#7) record 3: cannot be undone (what it was is not known)\n"
                "  change: UPDATE, sequence 10, 2023-11-14 22:13:29, transaction 20, offset " +
                at[4] +
                " of u.fwlog\n"
                "  before: unknown (its first change by the transaction, the UPDATE at offset " +
                at[4] +
                " of u.fwlog, has no before-image)\n"
                "  after: 8 bytes: 'CHARL-03'\n"
                "\nSHOP.ORDERS (#7) record 4: delete it (it did not exist); 1 conflict\n"
                "  change: PUT, sequence 11, 2023-11-14 22:13:30, transaction 20, offset " +
                at[5] +
                " of u.fwlog\n"
                "  before: none (the record did not exist: the first change puts it)\n"
                "  after: 8 bytes: 'delta-04'\n"
                "  conflict: DELETE, sequence 17, 2023-11-14 22:13:36, transaction 22, offset " +
                at[9] +
                " of u.fwlog\n"
                "\nUndo of transaction 20: 4 records: 2 to put back, 1 to delete, 1 that cannot "
                "be undone; 3 with conflicts\n");

  // The same as JSON Lines; transaction 21 alone finds record 2 known
  // from its before-image, and transaction 22's DELETE puts record 4 back.
  std::vector<value> v = json_lines(golden::run({"--json", "--undo=21", log}).out);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].at("recno").num(), 2);
  EXPECT_EQ(v[0].at("action").text, "put_back");
  EXPECT_EQ(unhex(v[0].at("before").text), "Bravo-02");
  EXPECT_EQ(v[0].at("before_source").text, "before_image");
  EXPECT_EQ(unhex(v[0].at("after").text), "Bravo-99");
  ASSERT_EQ(v[0].at("conflicts").items.size(), 1u);
  EXPECT_EQ(v[0].at("conflicts").items[0].at("transaction_id").num(), 20);
  EXPECT_EQ(v[0].at("conflicts").items[0].at("offset").text, at[7]);
  EXPECT_EQ(v[1].at("recno").num(), 1);
  EXPECT_EQ(v[2].at("type").text, "undo_summary");
  EXPECT_EQ(v[2].at("put_back").num(), 2);
  v = json_lines(golden::run({"--json", "--undo", "22", log}).out);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].at("action").text, "cannot");  // a DELETE without a before-image
  EXPECT_FALSE(v[0].at("before_known").b);
  EXPECT_TRUE(v[0].at("after_known").b);
  EXPECT_TRUE(v[0].at("after").is_null());
  EXPECT_TRUE(v[1].at("complete").b);
}

// A transaction that begins in one log and ends in the next, alone and in
// a range with the one that changes its record after it.
TEST(Undo, FollowsARecordAcrossLogsAndARangeOfTransactions) {
  log_builder a(header(1));
  a.context_db(5, "shop").context_set(7, 5, "orders");
  a.fixrec(logbuild::PUT, 10, 7, 1, "alpha-01");
  a.before_image(30, 1, 7, 1, logbuild::UPDATE, "alpha-01");
  a.fixrec(logbuild::UPDATE, 30, 7, 1, "alpha-30");
  const std::string first = golden::temp_file(a.end('C').str(), "a.fwlog");
  log_builder b(header(2));  // its tags go on from the first log's six
  b.at(7, 1700000006).fixrec(logbuild::UPDATE_RANGE, 31, 7, 1, range(0, "ALPHA"));
  b.fixrec(logbuild::PUT, 30, 7, 2, "bravo-30");
  b.fixrec(logbuild::UPDATE, 32, 7, 1, "alpha-32");
  const std::string second = golden::temp_file(b.end().str(), "b.fwlog");

  std::vector<value> v = json_lines(golden::run({"--json", "--undo", "30", first, second}).out);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(unhex(v[0].at("before").text), "alpha-01");
  EXPECT_EQ(unhex(v[0].at("after").text), "alpha-30");  // as 30 left it, not as 31 did
  ASSERT_EQ(v[0].at("conflicts").items.size(), 2u);
  EXPECT_EQ(v[0].at("conflicts").items[0].at("transaction_id").num(), 31);
  EXPECT_EQ(v[0].at("conflicts").items[0].at("log").text, "b.fwlog");
  EXPECT_EQ(v[0].at("conflicts").items[1].at("transaction_id").num(), 32);
  EXPECT_EQ(v[1].at("action").text, "delete");
  EXPECT_EQ(v[1].at("first_change").at("log").text, "b.fwlog");

  v = json_lines(golden::run({"--json", "--undo", "-x", "30:31", first, second}).out);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].at("changes").num(), 2);
  EXPECT_EQ(v[0].at("first_change").at("log").text, "a.fwlog");
  EXPECT_EQ(v[0].at("last_change").at("transaction_id").num(), 31);
  EXPECT_EQ(unhex(v[0].at("after").text), "ALPHA-30");
  ASSERT_EQ(v[0].at("conflicts").items.size(), 1u);
  EXPECT_EQ(v[0].at("conflicts").items[0].at("transaction_id").num(), 32);
  EXPECT_EQ(v[2].at("from_txn").num(), 30);
  EXPECT_EQ(v[2].at("to_txn").num(), 31);

  // Transaction 31 alone: the record is followed from its change on, not
  // before, so its patch has nothing known to apply to.
  v = json_lines(golden::run({"--json", "--undo", "31", first, second}).out);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].at("action").text, "cannot");
  EXPECT_EQ(v[0].at("after_reason").text, "the content it patches is not known");
}

TEST(Undo, SavesTheContentsWithAManifestAndOverwritesNothing) {
  const std::string log = golden::temp_file(conflicts_log(), "u.fwlog");
  const std::string dir = golden::work_dir() + "/undo-20";
  golden::result r = golden::run({"--undo", "20", "--save", dir, "--json", log});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dir + "/undo.7.1.before"), "alpha-01");
  EXPECT_EQ(slurp(dir + "/undo.7.1.after"), "ALPHA-01");
  EXPECT_EQ(slurp(dir + "/undo.7.2.after"), "BRAVO-99");
  const std::vector<value> m = json_lines(slurp(dir + "/manifest.jsonl"));
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0].at("node").text, "SHOP.ORDERS");
  EXPECT_EQ(m[0].at("before_file").text, "undo.7.1.before");
  EXPECT_EQ(m[0].at("after_file").text, "undo.7.1.after");
  EXPECT_EQ(m[0].at("conflicts").items.at(0).at("fixrec_op").text, "UPDATE");
  EXPECT_EQ(m[2].at("action").text, "cannot");
  EXPECT_TRUE(m[2].at("before_file").is_null());
  EXPECT_FALSE(m[2].at("before_known").b);
  EXPECT_NE(m[2].at("reason").text.find("has no before-image"), std::string::npos);
  EXPECT_EQ(m[3].at("action").text, "delete");
  EXPECT_TRUE(m[3].at("before_file").is_null());
  EXPECT_TRUE(m[3].at("before_known").b);
  EXPECT_EQ(m[3].at("conflicts_total").num(), 1);
  std::ifstream missing(dir + "/undo.7.3.before");
  EXPECT_FALSE(missing.good());

  r = golden::run({"--undo", "20", "--save", dir, log});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already exists; saved files are never overwritten"), std::string::npos)
      << r.err;
  EXPECT_EQ(slurp(dir + "/undo.7.1.before"), "alpha-01");
}

// Where the log hides a change, the undo says so: a FIXREC record too
// short to name its record, of another transaction (a possible conflict)
// and of the transaction itself (the undo is incomplete); a log cut inside
// a tag.
TEST(Undo, DamagedInputIsToldNotGuessed) {
  log_builder b(header(1));
  b.fixrec(logbuild::PUT, 10, 7, 1, "alpha-01");
  b.before_image(20, 1, 7, 1, logbuild::UPDATE, "alpha-01");
  b.fixrec(logbuild::UPDATE, 20, 7, 1, "alpha-20");
  b.image(logbuild::OP_FIXREC, 21, 7, "short");
  b.image(logbuild::OP_FIXREC, 20, 7, "short");
  b.fixrec(logbuild::UPDATE, 22, 7, 1, "alpha-22");
  std::string bytes = b.str();
  bytes.resize(bytes.size() - 3);  // the last change cut short
  const golden::result r = golden::scan(bytes, {"--undo", "20"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("record 1: put back the 8 bytes it had; 2 conflicts\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  after: unknown (a FIXREC record of the node could not be read, so "
                       "whether it changed the record is not known)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  possible conflict: sequence 4, "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("transaction 21, offset "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  possible conflict: offset "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(": a tag of the log could not be read to its end: a change of the record "
                       "there cannot be ruled out\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  incomplete: a FIXREC record of transaction 20 at offset "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" could not be read (and 1 more)\n"), std::string::npos) << r.out;
}

TEST(Undo, RefusesWhatMakesNoSenseAndKeepsTheOldAbbreviations) {
  const std::string log = golden::temp_file(conflicts_log(), "u.fwlog");
  const std::vector<std::vector<std::string>> refused = {{"--undo", "20", "--stats"},
                                                         {"--undo", "20", "--check"},
                                                         {"--undo", "20", "--history", "7:1"},
                                                         {"--undo", "20", "-x", "5:9"},
                                                         {"--undo"},
                                                         {"--undo", "20", "-n", "7"},
                                                         {"--undo", "20", "--since", "2023-11-14"},
                                                         {"--undo", "20", "-f"},
                                                         {"--undo", "20", "--limit", "3"},
                                                         {"--undo-records", "5"},
                                                         {"--undo=0"},
                                                         {"--undo", "20", "--undo", "21"}};
  for (std::vector<std::string> args : refused) {
    args.push_back(log);
    const golden::result r = golden::run(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
  // --un means --until, as before --undo came.
  EXPECT_EQ(golden::run({"--un", "2023-11-14", log}).status, 0);
  // The id as the next argument, with -x instead, and the bound.
  EXPECT_EQ(golden::run({"--undo", "-x", "20:20", log}).out,
            golden::run({"--undo", "20", log}).out);
  const golden::result bounded = golden::run({"--undo", "20", "--undo-records", "2", log});
  EXPECT_EQ(bounded.status, 1);
  EXPECT_NE(bounded.err.find("2 records are followed, as many as are allowed"), std::string::npos)
      << bounded.err;
  EXPECT_NE(bounded.out.find("Undo of transaction 20: 2 records"), std::string::npos);
  EXPECT_NE(bounded.out.find("  incomplete: 2 changes of records beyond the 2 followed"),
            std::string::npos)
      << bounded.out;
}

// For transactions of a generated series of three logs, read as a
// directory: the records each changed, in the order of their first change,
// and where the undo knows a content before or after, the generator's
// account has the same bytes.
TEST(Undo, AgreesWithTheGeneratorsAccountOfItsTransactions) {
  const std::string dir = golden::work_dir() + "/series", truth = dir + ".truth";
  const std::string command = std::string(FWGEN_BIN) +
                              " --seed 3 --version 1.05 --logs 3 --tags 1500 --series '" + dir +
                              "' --truth '" + truth + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::vector<value> txns;
  std::map<long long, std::set<long long>> files;  // of each transaction's changes
  for (value& v : json_lines(slurp(truth))) {
    if (v.at("type").text == "change")
      files[v.at("transaction_id").num()].insert(v.at("file_sequence").num());
    if (v.at("type").text == "transaction") txns.push_back(std::move(v));
  }
  ASSERT_GT(txns.size(), 40u);
  size_t compared = 0, before_known = 0, after_known = 0, spanning = 0;
  for (size_t i = 0; i < txns.size(); ++i) {
    const value& t = txns[i];
    const long long id = t.at("transaction_id").num();
    const bool spans = files[id].size() > 1;
    if (i % 5 != 0 && !spans) continue;
    SCOPED_TRACE("transaction " + std::to_string(id));
    spanning += spans;
    const golden::result r = golden::run({"--json", "--undo", std::to_string(id), dir});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<value> got = json_lines(r.out);
    const std::vector<value>& want = t.at("records").items;
    ASSERT_EQ(got.size(), want.size() + 1);
    EXPECT_TRUE(got.back().at("complete").b);
    for (size_t k = 0; k < want.size(); ++k) {
      const value &u = got[k], &w = want[k];
      ++compared;
      EXPECT_EQ(u.at("node_id").num(), w.at("node_id").num());
      EXPECT_EQ(u.at("recno").num(), w.at("recno").num());
      // A side the undo knows: the account has the same bytes, or none.
      auto agrees = [&](const std::string& side, size_t& known) {
        if (!u.at(side + "_known").b) return;
        ++known;
        EXPECT_FALSE(w.has(side + "_unknown")) << side;
        EXPECT_EQ(u.at(side).is_null(), w.at(side).is_null()) << side;
        if (!w.at(side).is_null()) {
          EXPECT_EQ(u.at(side).text, w.at(side).text) << side;
        }
      };
      agrees("before", before_known);
      agrees("after", after_known);
    }
  }
  EXPECT_GT(compared, 60u);
  EXPECT_GT(before_known, compared / 2);
  EXPECT_GT(after_known, compared / 2);
  EXPECT_GE(spanning, 2u);
}
