// The log generator: its logs are deterministic, hold every kind of tag and
// record, and are read by jrnscan to their end without a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"

extern char** environ;

namespace {

struct scratch_dir {
  std::string path;
  scratch_dir() {
    char tmpl[] = "/tmp/fwgen-test-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~scratch_dir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

const std::string& scratch() {
  static scratch_dir d;
  return d.path;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct gen_result {
  std::string out, err;
  int status = -1;
};

// Runs the built fwgen with its standard output and error captured in files.
gen_result fwgen(std::vector<std::string> args) {
  std::vector<char*> argv{const_cast<char*>("fwgen")};
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const std::string out = scratch() + "/stdout", err = scratch() + "/stderr";
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  gen_result r;
  if (posix_spawn(&pid, FWGEN_BIN, &files, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    r = {slurp(out), slurp(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  posix_spawn_file_actions_destroy(&files);
  return r;
}

// The log that fwgen writes to standard output.
std::string log_of(const std::vector<std::string>& args) {
  gen_result r = fwgen(args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  return r.out;
}

TEST(Fwgen, SameSeedGivesSameBytesOtherSeedOthers) {
  const std::string log = log_of({"--seed", "5"});
  EXPECT_EQ(log.substr(0, 16), std::string("DRAV.FWLOG1.05\0\0", 16));
  EXPECT_EQ(log, log_of({"--seed", "5"}));
  EXPECT_NE(log, log_of({"--seed", "6"}));
  // The same bytes into a file as to standard output.
  const std::string file = scratch() + "/s5.fwlog";
  ASSERT_EQ(fwgen({"--seed", "5", "-o", file}).status, 0);
  EXPECT_EQ(slurp(file), log);
}

TEST(Fwgen, EveryLogIsReadToItsEndInEveryView) {
  const std::vector<std::vector<std::string>> cases = {
      {"--version", "1.00", "--logs", "3", "--tags", "600"},
      {"--version", "1.01", "--logs", "3", "--tags", "600"},
      {"--version", "1.02", "--logs", "3", "--tags", "600"},
      {"--version", "1.03", "--logs", "3", "--tags", "600"},
      {"--version", "1.04", "--logs", "3", "--tags", "600"},
      {"--version", "1.05", "--logs", "3", "--tags", "600"},
      {"--mix", "fixrec", "--logs", "3", "--tags", "600"},
      {"--mix", "page", "--logs", "3", "--tags", "600"},
      {"--seed", "9", "--logs", "3", "--tags", "5"},  // logs too short for a transaction
  };
  for (const std::vector<std::string>& args : cases) {
    const std::string what = ::testing::PrintToString(args);
    const std::string log = log_of(args);
    for (const std::vector<std::string>& view :
         std::vector<std::vector<std::string>>{{}, {"-a"}, {"-a", "-vvv"}}) {
      golden::result r = golden::scan(log, view);
      EXPECT_EQ(r.status, 0) << what << " " << ::testing::PrintToString(view);
      EXPECT_EQ(r.err, "") << what << " " << ::testing::PrintToString(view);
      EXPECT_EQ(count(r.out, "\nFile: t.fwlog\n"), 3u) << what;
      EXPECT_EQ(count(r.out, "\ntag = EOF_CONT (67)\n"), 2u) << what;
      const std::string last = "\ntag = EOF_FINISH (70)\n";
      EXPECT_EQ(r.out.rfind(last), r.out.size() - last.size()) << what;
      if (view.size() == 1) {
        EXPECT_EQ(count(r.out, "\nsequence = "), std::stoul(args.back())) << what;
      }
    }
  }
}

TEST(Fwgen, DefaultLogHoldsEveryKindOfTagAndRecord) {
  golden::result r = golden::scan(log_of({}), {"-a"});
  ASSERT_EQ(r.status, 0);
  const char* const expected[] = {
      // Tags.
      "tag = SLAVE_SYNC (83)", "tag = PAGE (50)", "tag = CLUSTER (51)", "tag = NODEMETA (52)",
      "tag = BEFORE_IMAGE (53)", "tag = AUDIT (54)", "tag = CONTEXT (55)", "tag = EOF_FINISH (70)",
      // Record opcodes, decoded and not.
      " opcode: NODE (4)", " opcode: NODEDELETE (5)", " opcode: NODEPAGE (6)",
      " opcode: NODECLUSTER (7)", " opcode: NODELISTPAGE (8)", " opcode: NODELISTPAGEHEAD (9)",
      " opcode: NODELISTITEM (10)", " opcode: NODELISTITEMSET (11)",
      " opcode: NODELISTFILLITEM (12)", " opcode: FIXREC (13)", " opcode: FIXREC_META (14)",
      " opcode: FIXREC_NEWCLUSTER (15)", " opcode: BTREE (16)", " opcode: POOL (18)",
      " opcode: VOL_EXTEND (19)", " opcode: POOL_FLIST (23)", " opcode: BTREE_FWR (26)",
      " opcode: FWR_SERIAL (28)", " opcode: BEGIN (3)", " opcode: CHECKPOINT (2)",
      " opcode: SYSCAT (17)",
      // FIXREC operations, free-list steps, transaction states.
      "opcode = UPDATE (1)", "opcode = UPDATE_NO_DATA (2)", "opcode = PUT (3)",
      "opcode = PUT_NO_DATA (4)", "opcode = DELETE (5)", "opcode = UPDATE_RANGE (7)",
      "op = NEWPAGE (0)", "op = DELPAGE (1)", "op = ADDITEM (2)", "op = DELITEM (3)",
      " txn state: BEGIN (2)", " txn state: END (3)", " txn state: TXN (5)",
      // Audit and context records.
      " type: MEMO (0)", " type: SIGN_ON (10)", " type: SIGN_OFF (11)", " type: DBLIST_SUM (20)",
      " type: DBLIST_UPD (21)", "  data: user=", " type: DB (1)", " type: SET (2)",
      " type: SET_ITEMS (3)", " type: INDEX (4)"};
  for (const char* e : expected) EXPECT_NE(r.out.find(e), std::string::npos) << e;
}

TEST(Fwgen, NamesAndBeforeImagesComeFirst) {
  const std::string log = log_of({"--logs", "3", "--tags", "1200"});
  // Every database, set and index is named by a context record before a
  // record shows it: only the sort work files (#9xx) and node 0 go unnamed.
  golden::result all = golden::scan(log, {"-a"});
  for (const char* unnamed : {"node_id: #1", "node_id: #2", "node_id=#"})
    EXPECT_EQ(all.out.find(unnamed), std::string::npos) << unnamed;
  // In the default view every UPDATE and DELETE follows its before-image.
  golden::result r = golden::scan(log);
  std::vector<std::string> tags;
  for (size_t at = r.out.find("\nsequence = "); at != std::string::npos;) {
    size_t next = r.out.find("\nsequence = ", at + 1);
    tags.push_back(r.out.substr(at, next - at));
    at = next;
  }
  int checked = 0;
  for (size_t i = 1; i < tags.size(); ++i) {
    for (const char* op : {"UPDATE (1)", "DELETE (5)"}) {
      if (tags[i].find(std::string("  opcode = ") + op) == std::string::npos) continue;
      const std::string recno = tags[i].substr(tags[i].find("  recno = ") + 10);
      EXPECT_NE(tags[i - 1].find(std::string(" opcode: ") + op), std::string::npos) << tags[i];
      EXPECT_NE(tags[i - 1].find(" recno: " + recno.substr(0, recno.find('\n'))), std::string::npos)
          << tags[i];
      ++checked;
    }
  }
  EXPECT_GT(checked, 20);
}

TEST(Fwgen, SizeTargetIsMetWithinAFewPercent) {
  const std::vector<std::vector<std::string>> cases = {
      {"--size", "3"},
      {"--size", "3", "--mix", "page"},
      {"--size", "3", "--mix", "fixrec"},
      {"--size", "2.5", "--logs", "2", "--version", "1.00"}};
  for (const std::vector<std::string>& args : cases) {
    const double target = std::stod(args[1]) * 1048576;
    const std::string log = log_of(args);
    EXPECT_NEAR(static_cast<double>(log.size()), target, target * 0.02)
        << ::testing::PrintToString(args);
    golden::result r = golden::scan(log, {"-s", "1:1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
}

TEST(Fwgen, MapFileLoadsAndNamesTheNodes) {
  const std::string map = scratch() + "/nodes.map", file = scratch() + "/m.fwlog";
  ASSERT_EQ(fwgen({"--map", map, "-o", file}).status, 0);
  golden::temp_file(slurp(map), "nodes.map");
  golden::result r = golden::scan(slurp(file), {"-M", "nodes.map", "-a"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* name : {" node_id: Shop.Orders (#102)", " node_id: Shop.Orders.OrderDate (#112)",
                           " node_id: Hr.Employees (#201)", "node_id=Shop (#100)"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name;
  EXPECT_EQ(r.out.find("SHOP."), std::string::npos);
  // Without the map the log's own context records name them, in upper case.
  EXPECT_NE(golden::scan(slurp(file)).out.find(" node_id: SHOP.ORDERS (#102)"), std::string::npos);
}

TEST(Fwgen, BadArgumentsExitWith2AndOneLine) {
  const std::vector<std::vector<std::string>> cases = {{"--seed", "x"},
                                                       {"--seed", "-1"},
                                                       {"--tags", "0"},
                                                       {"--tags", "12abc"},
                                                       {"--version", "1.06"},
                                                       {"--version", "2.00"},
                                                       {"--version", "1.5"},
                                                       {"--mix", "btree"},
                                                       {"--logs", "0"},
                                                       {"--size", "-1"},
                                                       {"--size", "lots"},
                                                       {"--tags", "5", "--size", "1"},
                                                       {"--tags", "2", "--logs", "3"},
                                                       {"--bogus"},
                                                       {"-x"},
                                                       {"--tags"},
                                                       {"-o"},
                                                       {"stray"}};
  for (const std::vector<std::string>& args : cases) {
    gen_result r = fwgen(args);
    const std::string what = ::testing::PrintToString(args);
    EXPECT_EQ(r.status, 2) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_EQ(r.err.rfind("fwgen: ", 0), 0u) << what << r.err;
    EXPECT_EQ(count(r.err, "\n"), 1u) << what << r.err;
  }
}

TEST(Fwgen, HelpListsEveryOption) {
  gen_result r = fwgen({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* opt : {"--seed N", "--tags N", "--size MIB", "--version V", "--logs N",
                          "--map FILE", "--mix KIND", "-o FILE"})
    EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
}

}  // namespace
