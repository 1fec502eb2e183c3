// --check on transactions left open: one never ended before EOF_FINISH is
// a warning; one open at an EOF_CONT goes on into the next file of its
// series (in a stream and across operands), and is let go without a
// verdict at the end of the input or before a log that does not follow;
// the table's bound; generated logs stay silent.
#include <gtest/gtest.h>

#include <cstdlib>
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

header_fields file(int32_t sequence) {
  header_fields h;
  h.file_sequence = sequence;
  return h;
}

std::vector<json_reader::value> json_lines(const std::string& text) {
  std::vector<json_reader::value> v;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    json_reader::result r = json_reader::parse(text.substr(at, end - at));
    EXPECT_TRUE(r.ok()) << r.message();
    v.push_back(r.v);
  }
  return v;
}

}  // namespace

TEST(OpenTxn, NeverEndedBeforeEofFinish) {
  // 7 of session 12 begins and never ends; 8 ends; 9 of session 13 has
  // only a TXN record (its BEGIN not read: not judged); GLOBAL records,
  // transaction 0 and before-images open no transaction.
  log_builder b;
  const uint64_t at7 = b.log_offset();
  begin(b, 7, 12);
  b.fixrec(logbuild::PUT, 7, 100, 1, "a", TXN, 12);
  begin(b, 8, 12);
  eot(b, 8, 12);
  b.fixrec(logbuild::PUT, 9, 100, 2, "b", TXN, 13);
  b.before_image(5, 14, 100, 3, logbuild::UPDATE, "c");
  b.fixrec(logbuild::UPDATE, 5, 100, 3, "d", GLOBAL, 14);
  b.fixrec(logbuild::PUT, 0, 100, 4, "d", TXN, 14);
  b.fixrec(logbuild::UPDATE, 6, 100, 1, "e", BEGIN_END, 14);
  b.end('F');
  const std::string log = b.str();
  golden::result r = golden::scan(log, {"--check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "t.fwlog: check: warning at offset " + std::to_string(at7) +
                       ": transaction 7 of session 12 began at 2023-11-14 22:13:20 (1700000000) "
                       "and never ended\n");
  EXPECT_EQ(r.out.substr(0, r.out.find(',')), "t.fwlog: 1 warning");
  EXPECT_EQ(golden::scan(log, {"--check", "--strict"}).status, 1);

  const std::vector<json_reader::value> v =
      json_lines(golden::scan(log, {"--check", "--json"}).out);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0]["transactions_not_ended"].num(), 1);
  ASSERT_EQ(v[0]["findings"].items.size(), 1u);
  EXPECT_EQ(v[0]["findings"].items[0]["offset"].num(), static_cast<double>(at7));
  EXPECT_EQ(v[2]["transactions_not_ended"].num(), 1);
  EXPECT_FALSE(v[2]["txn_table_full"].b);

  // Of many, five are listed, then their count.
  log_builder m;
  for (uint32_t t = 1; t <= 7; ++t) begin(m, t, 1);
  m.end('F');
  r = golden::scan(m.str(), {"--check"});
  EXPECT_EQ(r.out.substr(0, r.out.find(',')), "t.fwlog: 7 warnings");
  EXPECT_NE(r.err.find("transaction 5 of session 1 began"), std::string::npos);
  EXPECT_EQ(r.err.find("transaction 6 of session 1"), std::string::npos);
  EXPECT_NE(r.err.find("t.fwlog: check: 7 transactions never ended in all (the first 5 listed)"),
            std::string::npos);
}

TEST(OpenTxn, GoesOnIntoTheNextFileOfItsSeries) {
  // 7 begins in file 1 and ends in file 2; 8 begins in file 1 and never
  // ends.
  log_builder b;
  begin(b, 7, 12);
  const uint64_t at8 = b.log_offset();
  begin(b, 8, 12);
  b.end('C');
  const size_t first_size = b.str().size();
  b.next_log(file(2));
  b.fixrec(logbuild::PUT, 7, 100, 1, "a", TXN, 12);
  eot(b, 7, 12);
  b.end('F');
  const std::string stream = b.str();
  const std::string warning8 =
      "transaction 8 of session 12 began at 2023-11-14 22:13:21 (1700000001) at offset " +
      std::to_string(at8);

  // In a stream: 7 is silent, 8 is told with the second log, named where
  // it began.
  golden::result r = golden::scan(stream, {"--check"});
  EXPECT_EQ(r.err, "t.fwlog (log 2): check: warning at offset " +
                       std::to_string(stream.size() - 9) + ": " + warning8 +
                       " in t.fwlog and never ended\n");

  // As two files read in file sequence order, whatever the order given.
  golden::temp_file(stream.substr(0, first_size), "one.fwlog");
  golden::temp_file(stream.substr(first_size), "two.fwlog");
  r = golden::run({"--check", "--order=sequence", "two.fwlog", "one.fwlog"});
  EXPECT_EQ(r.err, "two.fwlog: check: warning at offset " +
                       std::to_string(stream.size() - first_size - 9) + ": " + warning8 +
                       " in one.fwlog and never ended\n");

  // When the next log read is not the next file of the series, what was
  // open is let go: 8 is not told, 7's END closes a transaction whose
  // BEGIN was not read.
  log_builder c;
  c.next_log(file(3));
  c.fixrec(logbuild::PUT, 7, 100, 1, "a", TXN, 12);
  eot(c, 7, 12);
  c.end('F');
  golden::temp_file(c.str().substr(c.str().find("DRAV")), "three.fwlog");
  r = golden::run({"--check", "--order=given", "one.fwlog", "three.fwlog"});
  EXPECT_EQ(r.err.find("transaction"), std::string::npos) << r.err;
}

TEST(OpenTxn, LetGoWithoutAVerdict) {
  // Open at an EOF_CONT with nothing behind it: the file that continues
  // the series was not given (which the series' line says), so nothing is
  // said of the transaction.
  log_builder b;
  begin(b, 7, 12);
  b.fixrec(logbuild::PUT, 7, 100, 1, "a", TXN, 12);
  b.end('C');
  golden::result r = golden::scan(b.str(), {"--check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "series 0x5eed generation 3: check: warning: the series ends with EOF_CONT at file "
            "sequence 1 (t.fwlog): the file that continues it is not in the input\n");

  // Nor in a log without an end tag (an error of its own), nor when a
  // break in the tag sequence may have lost its END.
  const std::string cut = b.str().substr(0, b.str().size() - 9);
  r = golden::scan(cut, {"--check"});
  EXPECT_EQ(r.err.find("transaction"), std::string::npos) << r.err;
  log_builder g;
  begin(g, 7, 12);
  g.at(10, 1700000010);
  g.fixrec(logbuild::PUT, 8, 100, 1, "a", BEGIN, 12);
  g.end('F');
  r = golden::scan(g.str(), {"--check"});
  EXPECT_EQ(r.out.substr(0, r.out.find(',')), "t.fwlog: 2 warnings");
  EXPECT_NE(r.err.find("tag sequence 10 follows 1"), std::string::npos);
  EXPECT_NE(r.err.find("transaction 8 of session 12 began"), std::string::npos);
  EXPECT_EQ(r.err.find("transaction 7"), std::string::npos) << r.err;
}

TEST(OpenTxn, TheTablesBound) {
  // --txn-table 2: 3 and 4 are not followed while 1 and 2 are open, which
  // is said once; once 1 has ended, 5 is followed.
  log_builder b;
  begin(b, 1, 1);
  begin(b, 2, 1);
  const uint64_t at3 = b.log_offset();
  begin(b, 3, 1);
  b.fixrec(logbuild::PUT, 3, 100, 1, "a", TXN, 1);
  begin(b, 4, 1);
  eot(b, 1, 1);
  begin(b, 5, 1);
  b.end('F');
  golden::result r = golden::scan(b.str(), {"--check", "--txn-table", "2"});
  EXPECT_NE(r.err.find("t.fwlog: warning: 2 transactions are open at once at offset " +
                       std::to_string(at3) +
                       ", as many as are followed; whether further ones end is not judged; "
                       "raise --txn-table\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find(',')), "t.fwlog: 2 warnings");
  EXPECT_EQ(r.err.find("transaction 3 "), std::string::npos);
  EXPECT_EQ(r.err.find("transaction 4 "), std::string::npos);
  EXPECT_NE(r.err.find("transaction 2 of session 1 began"), std::string::npos);
  EXPECT_NE(r.err.find("transaction 5 of session 1 began"), std::string::npos);
  EXPECT_EQ(r.err.find("are open at once", r.err.find("are open at once") + 1), std::string::npos);
  const std::vector<json_reader::value> v =
      json_lines(golden::scan(b.str(), {"--check", "--json", "--txn-table", "2"}).out);
  EXPECT_TRUE(v.back()["txn_table_full"].b);
  EXPECT_EQ(v.back()["transactions_not_ended"].num(), 2);

  // --session-table is not the check's.
  EXPECT_EQ(golden::scan(b.str(), {"--check", "--session-table", "2"}).status, 2);
}

TEST(OpenTxn, GeneratedLogsAreSilent) {
  // The generator ends every transaction it begins, one of them in the
  // log after the one it began in.
  const std::string dir = golden::work_dir();
  const std::string cmd = std::string(FWGEN_BIN) + " --seed 1 --tags 2000 --logs 3 -o " + dir +
                          "/gen.fwlog && " + FWGEN_BIN +
                          " --seed 1 --tags 2000 --logs 3 --series " + dir + "/gen";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::vector<json_reader::value> v =
      json_lines(golden::run({"--txns", "--json", "gen.fwlog"}).out);
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v.back()["not_ended"].num(), 0);
  EXPECT_GT(v.back()["ended"].num(), 100);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--check", "--strict", "gen.fwlog"},
        {"--check", "--strict", "gen"},
        {"--check", "--strict", "gen/000002.fwlog", "gen/000003.fwlog"}}) {
    const golden::result r = golden::run(args);
    EXPECT_EQ(r.status, 0) << args[2];
    EXPECT_EQ(r.err, "") << args[2];
  }
}
