// Every table bound, set tiny, in every mode it applies to: one warning on
// standard error that names the option to raise, the answer marked
// incomplete (a line of text; "complete": false and a reason in JSON) and
// exit status 1. Set roomy, the same run says nothing of it and prints what
// it prints without the option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

enum state : uint8_t { BEGIN = 2, END = 3, TXN = 5 };

// Three sessions signed on and three transactions open at once; three nodes
// named hr.staff; record 2 changed by nodes without an asked name before
// node 31 is named hr.late; 60 records for the check's record table.
std::string bounded_log() {
  log_builder b;
  b.context_db(4, "hr");
  for (uint32_t node : {10, 11, 12}) b.context_set(node, 4, "staff");
  for (uint32_t s : {1, 2, 3}) b.sign_on(s, {"user=u" + std::to_string(s)});
  for (uint32_t t : {1, 2, 3}) b.image(logbuild::OP_BEGIN, t, 0, "", BEGIN, t);
  b.before_image(1, 1, 10, 2, logbuild::UPDATE, "aaaa");
  b.fixrec(logbuild::UPDATE, 1, 10, 2, "AAAA", TXN, 1);
  b.fixrec(logbuild::PUT, 1, 30, 2, "xxxx", TXN, 1);
  b.fixrec(logbuild::PUT, 1, 31, 2, "yyyy", TXN, 1);
  b.context_set(31, 4, "late");
  b.fixrec(logbuild::UPDATE, 1, 31, 2, "zzzz", TXN, 1);
  b.fixrec(logbuild::UPDATE, 2, 11, 2, "BBBB", TXN, 2);
  b.fixrec(logbuild::UPDATE, 3, 12, 2, "CCCC", TXN, 3);
  for (uint32_t r = 100; r < 160; ++r) {
    b.fixrec(logbuild::PUT, 3, 40, r, std::string(200, 'r'), TXN, 3);
    b.before_image(3, 3, 40, r, logbuild::DELETE, std::string(200, 'r'));
  }
  for (uint32_t t : {1, 2, 3}) b.image(logbuild::OP_EOT, t, 0, "", END, t);
  for (uint32_t s : {1, 2, 3}) b.sign_off(s);
  return b.end().str();
}

struct bound_case {
  std::vector<std::string> mode;
  std::string option, tiny, roomy;
};

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<std::string> with(std::vector<std::string> args, const std::string& option,
                              const std::string& value) {
  if (!option.empty()) args.push_back(option + "=" + value);
  args.push_back("b.fwlog");
  return args;
}

}  // namespace

TEST(Bounds, ReachingOneIsOneWarningAnIncompleteAnswerAndStatus1InEveryMode) {
  golden::temp_file(bounded_log(), "b.fwlog");
  const std::vector<bound_case> cases = {
      {{"--txns"}, "--txn-table", "2", "50000"},
      {{"--sessions"}, "--txn-table", "2", "50000"},
      {{"--check"}, "--txn-table", "2", "50000"},
      {{"--txns"}, "--session-table", "2", "20000"},
      {{"--sessions"}, "--session-table", "2", "20000"},
      {{"--transaction", "1"}, "--session-table", "2", "20000"},
      {{"--check"}, "--image-memory", "4K", "1G"},
      {{"--undo", "1"}, "--undo-records", "2", "100000"},
      {{"--history", "hr.staff:2"}, "--nodes-per-name", "2", "16"},
      {{"--history", "hr.staff:2", "--as-of", "2023-11-14T22:13:40Z"},
       "--nodes-per-name",
       "2",
       "16"},
      {{"--history", "hr.late:2"}, "--early-nodes", "1", "64"},
      {{"--history", "hr.late:2", "--as-of", "2023-11-15"}, "--early-nodes", "1", "64"},
  };
  for (const bound_case& c : cases) {
    const std::string what = c.mode[0] + " " + c.option;
    const std::string named = "; raise " + c.option + "\n";
    for (bool json : {false, true}) {
      std::vector<std::string> mode = c.mode;
      if (json) mode.insert(mode.begin(), "--json");
      const golden::result r = golden::run(with(mode, c.option, c.tiny));
      EXPECT_EQ(r.status, 1) << what << r.err;
      EXPECT_EQ(count_of(r.err, "; raise "), 1u) << what << r.err;
      EXPECT_EQ(count_of(r.err, named), 1u) << what << r.err;
      const std::string mark = "(" + c.option + ")";
      if (!json) {
        // One line says so; undo's own line is indented under its summary.
        size_t at = r.out.find("incomplete: ");
        ASSERT_NE(at, std::string::npos) << what << r.out;
        EXPECT_EQ(count_of(r.out, "incomplete: "), 1u) << what << r.out;
        EXPECT_NE(r.out.substr(at, r.out.find('\n', at) - at).find(mark), std::string::npos)
            << what << r.out;
        continue;
      }
      const json_reader::value last =
          json_reader::parse(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1)).v;
      ASSERT_TRUE(last.has("complete")) << what << r.out;
      EXPECT_FALSE(last["complete"].b) << what;
      EXPECT_NE(last["reason"].text.find(mark), std::string::npos) << what << r.out;
    }
    // With room, nothing of it: the output is that of the default bound.
    for (bool json : {false, true}) {
      std::vector<std::string> mode = c.mode;
      if (json) mode.insert(mode.begin(), "--json");
      const golden::result roomy = golden::run(with(mode, c.option, c.roomy));
      const golden::result plain = golden::run(with(mode, "", ""));
      EXPECT_EQ(roomy.status, 0) << what << roomy.err;
      EXPECT_EQ(roomy.out, plain.out) << what;
      EXPECT_EQ(roomy.err, plain.err) << what;
      EXPECT_EQ(roomy.err.find("raise"), std::string::npos) << what << roomy.err;
      EXPECT_EQ(roomy.out.find("incomplete"), std::string::npos) << what << roomy.out;
      EXPECT_EQ(roomy.out.find("\"complete\":false"), std::string::npos) << what << roomy.out;
    }
  }
  // The history's bounds are its own.
  for (const char* option : {"--nodes-per-name=2", "--early-nodes=2"})
    EXPECT_EQ(golden::run({"--txns", option, "b.fwlog"}).status, 2) << option;
}
