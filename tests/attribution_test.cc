// Which transaction and session a tag belongs to, told alike by --txns,
// --transaction and --sessions: a before-image belongs to the transaction
// of the change behind it (also when that change begins one), session 0 is
// no session whatever AUDIT tags name, and a tag of the transaction cut
// short by the end of the input still ends --transaction with its line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

// A log from words: i<txn> a before-image, b<txn> BEGIN, e<txn> EOT (END),
// t<txn> a FIXREC of state TXN, s<txn> one of state BEGIN, o<txn> one of
// state BEGIN-END; @<session> behind a word gives its session (else 1);
// "z" a sign-on and a memo of session 0.
log_builder build(const std::string& words) {
  log_builder b;
  std::istringstream in(words);
  for (std::string w; in >> w;) {
    if (w == "z") {
      b.sign_on(0, {"user=nobody"}).memo(0, 1, "zero");
      continue;
    }
    const size_t at = w.find('@');
    const uint32_t txn = std::stoul(w.substr(1, at - 1));
    const uint32_t session = at == std::string::npos ? 1 : std::stoul(w.substr(at + 1));
    // The state of each letter's record: BEGIN 2, END 3, BEGIN-END 4, TXN 5.
    const uint8_t state = w[0] == 'e' ? 3 : w[0] == 'o' ? 4 : w[0] == 't' ? 5 : 2;
    if (w[0] == 'i')
      b.before_image(txn, session, 102, 7, logbuild::UPDATE, "old");
    else if (w[0] == 'b' || w[0] == 'e')
      b.image(w[0] == 'b' ? logbuild::OP_BEGIN : logbuild::OP_EOT, txn, 0, "", state, session);
    else
      b.fixrec(logbuild::UPDATE, txn, 102, 7, "new", state, session);
  }
  return b;
}

// The "txn" or "session" objects of a JSON report as "id end
// records/before-images from-sequence" or "id transactions/records".
std::string objects(const std::string& json, const std::string& type, uint32_t only = 0) {
  std::string s;
  std::istringstream in(json);
  for (std::string line; std::getline(in, line);) {
    const json_reader::result r = json_reader::parse(line);
    EXPECT_TRUE(r.ok()) << line;
    const json_reader::value& o = r.v;
    if (o["type"].text != type) continue;
    if (type == "session") {
      s += std::to_string(o["session_id"].num()) + " " + std::to_string(o["transactions"].num()) +
           "/" + std::to_string(o["records"].num()) + "; ";
    } else if (only == 0 || o["transaction_id"].num() == only) {
      s += std::to_string(o["transaction_id"].num()) + " " + o["end"].text + " " +
           std::to_string(o["records"].num()) + "/" + std::to_string(o["before_images"].num()) +
           " from " + std::to_string(o["first"]["sequence"].num()) + "; ";
    }
  }
  return s;
}

}  // namespace

TEST(Attribution, TransactionsAndSessionsAgreeAcrossModes) {
  struct sample {
    const char* log;
    const char* txns;      // --txns, and --transaction 5 for those of 5
    const char* sessions;  // --sessions
  };
  const std::vector<sample> samples = {
      {"i5 o5", "5 BEGIN-END 1/1 from 1; ", "1 1/1; "},
      {"i5 b5 t5 e5", "5 END 3/1 from 1; ", "1 1/3; "},
      {"b5 t5 i5 o5", "5 begun_again 2/0 from 1; 5 BEGIN-END 1/1 from 3; ", "1 2/3; "},
      {"b5 i5 t5 i5 i5 e5", "5 END 3/3 from 1; ", "1 1/3; "},
      {"i5 o6 t5", "6 BEGIN-END 1/0 from 2; 5 eof_finish 1/1 from 1; ", "1 2/2; "},
      {"s5 i5", "5 eof_finish 1/1 from 1; ", "1 1/1; "},
      {"z b5@0 t5@0 e5@0 o6@2", "5 END 3/0 from 3; 6 BEGIN-END 1/0 from 6; ", "0 0/0; 2 1/1; "},
  };
  for (const sample& s : samples) {
    SCOPED_TRACE(s.log);
    const std::string log = build(s.log).end('F').str();
    const golden::result txns = golden::scan(log, {"--txns", "--json"});
    EXPECT_EQ(txns.status, 0) << txns.err;
    EXPECT_EQ(objects(txns.out, "txn"), s.txns);
    EXPECT_EQ(objects(golden::scan(log, {"--transaction", "5", "--json"}).out, "txn"),
              objects(txns.out, "txn", 5));
    EXPECT_EQ(objects(golden::scan(log, {"--sessions", "--json"}).out, "session"), s.sessions);
  }
  // A transaction of session 0 has no sign-on, whatever session 0 signed
  // on with.
  const std::string out = golden::scan(build(samples.back().log).str(), {"--txns"}).out;
  EXPECT_NE(out.find("before-images 0; who: session 0, no sign-on in the input\n"),
            std::string::npos)
      << out;
}

// The input ends inside a tag of transaction 5, its first or a later one:
// the who-line once, the tag as -a shows it, then the transaction's line.
TEST(Attribution, TransactionCutInsideItsTag) {
  for (const char* words : {"i5", "b5 i5", "t5", "b5 t5"}) {
    for (size_t cut : {1, 3}) {
      SCOPED_TRACE(words + std::string(", cut ") + std::to_string(cut));
      log_builder b = build(words);
      const std::string log = b.str().substr(0, b.str().size() - cut);
      const golden::result r = golden::scan(log, {"--transaction", "5"});
      EXPECT_EQ(r.status, 1);
      size_t who = 0, txn = 0;
      std::istringstream in(r.out);
      for (std::string line; std::getline(in, line);) {
        who += line.rfind("transaction 5: session 1", 0) == 0;
        txn += line.rfind("txn 5 still open at the end of the input", 0) == 0;
      }
      EXPECT_EQ(who, 1u) << r.out;
      EXPECT_EQ(txn, 1u) << r.out;
      const golden::result all = golden::scan(log, {"-a", "-x", "5:5"});
      EXPECT_NE(r.out.find(all.out.substr(all.out.rfind("\nsequence = "))), std::string::npos);
      EXPECT_EQ(all.err, r.err);
    }
  }
}
