// The log generator: its logs are deterministic, hold every kind of tag and
// record, and are read by jrnscan to their end without a message; a series
// of files is its stream cut between the logs, and its compressed files and
// tars give those bytes back. The archive writer of the tests writes what
// the input layer reads.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "io/archive.h"
#include "logbuild/archive_writer.h"
#include "logbuild/log_builder.h"
#include "scan/log_peek.h"

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

using named_bytes = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The files of a directory, in the order of their names.
named_bytes files_in(const std::string& dir) {
  named_bytes out;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back({e->d_name, slurp(dir + "/" + e->d_name)});
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The members of an operand as the tool's input layer reads them, each to
// its end without a failure; how the operand is compressed ("" if not).
named_bytes members_of(const std::string& path, std::string* compression = nullptr) {
  named_bytes out;
  const int fd = ::open(path.c_str(), O_RDONLY);
  auto in = fd >= 0 ? jrn::input_operand::open(fd, "op", {}) : nullptr;
  EXPECT_TRUE(in != nullptr) << path;
  while (in && in->next()) {
    std::string bytes;
    char buf[65536];
    for (size_t n; (n = in->source().read(buf, sizeof buf)) > 0;) bytes.append(buf, n);
    EXPECT_EQ(in->source().error(), 0) << in->name() << ": " << in->source().failure_text();
    out.push_back({in->name(), bytes});
  }
  if (in) {
    EXPECT_EQ(in->trouble(), "") << path;
    if (compression) *compression = in->compression() ? in->compression() : "";
  }
  in.reset();
  if (fd >= 0) ::close(fd);
  return out;
}

jrn::log_peek peek(const std::string& log) {
  return jrn::peek_log(reinterpret_cast<const uint8_t*>(log.data()), log.size());
}

std::string file_name(int32_t file_sequence) {
  char name[32];
  std::snprintf(name, sizeof name, "%06d.fwlog", file_sequence);
  return name;
}

// The verdicts of --check on each log, without the log's name: "ok, 225
// tags, sequence 1 to 225, <first> to <last>, end tag EOF_CONT".
std::vector<std::string> log_verdicts(const std::string& out) {
  std::vector<std::string> v;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" tags, sequence ");
    if (at != std::string::npos) v.push_back(line.substr(line.rfind(": ", at) + 2));
  }
  return v;
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

TEST(Fwgen, SeriesIsTheStreamCutBetweenItsLogs) {
  const std::vector<std::vector<std::string>> cases = {
      {"--logs", "4", "--tags", "900", "--first-sequence", "41"},
      {"--logs", "3", "--size", "0.5", "--version", "1.00", "--mix", "fixrec"}};
  for (const std::vector<std::string>& args : cases) {
    const std::string what = ::testing::PrintToString(args);
    const std::string stream = log_of(args);
    const std::string dir = scratch() + "/series";
    std::system(("rm -rf '" + dir + "'").c_str());
    gen_result g = fwgen(args + std::vector<std::string>{"--series", dir});
    ASSERT_EQ(g.status, 0) << what << g.err;
    EXPECT_EQ(g.out + g.err, "") << what;
    const named_bytes files = files_in(dir);
    const int32_t first = args.size() > 4 && args[4] == "--first-sequence" ? 41 : 1;
    ASSERT_EQ(files.size(), static_cast<size_t>(std::stoi(args[1]))) << what;
    std::string joined;
    jrn::end_peek before;
    std::vector<std::string> check = {"--check"};
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string& log = files[i].second;
      const int32_t file_sequence = first + static_cast<int32_t>(i);
      EXPECT_EQ(files[i].first, file_name(file_sequence)) << what;
      const jrn::log_peek head = peek(log);
      ASSERT_TRUE(head.is_log && head.has_first_tag && log.size() > 64) << what << " " << i;
      EXPECT_EQ(head.volume_set_id, 0x5eedu);
      EXPECT_EQ(head.volume_generation, 3u);
      EXPECT_EQ(head.file_sequence, file_sequence) << what;
      const jrn::end_peek end = jrn::peek_end_tag(
          reinterpret_cast<const uint8_t*>(log.data() + log.size() - 9), head.minor);
      ASSERT_TRUE(end.is_end) << what << " " << i;
      EXPECT_EQ(end.letter, i + 1 < files.size() ? 'C' : 'F') << what << " " << i;
      // Tag sequences and time go on from one file to the next.
      if (i > 0) {
        EXPECT_EQ(head.first_sequence, before.sequence + 1) << what << " " << i;
        EXPECT_GE(head.first_timestamp, before.timestamp) << what << " " << i;
      }
      before = end;
      joined += log;
      check.push_back(dir + "/" + files[i].first);
    }
    EXPECT_TRUE(joined == stream) << what;
    // Each file is a whole log: checked one by one they give the verdicts
    // of the stream's logs.
    golden::result files_check = golden::run(check),
                   stream_check = golden::scan(stream, {"--check"});
    EXPECT_EQ(files_check.status, 0) << files_check.both;
    EXPECT_EQ(files_check.err, "");
    EXPECT_EQ(log_verdicts(files_check.out).size(), files.size()) << files_check.out;
    EXPECT_EQ(log_verdicts(files_check.out), log_verdicts(stream_check.out));
    EXPECT_NE(files_check.out.find("\ncheck: " + args[1] + " logs: ok\n"), std::string::npos)
        << files_check.out;
  }
}

TEST(Fwgen, CompressedFilesAndTarsGiveTheSeriesBytesBack) {
  const std::vector<std::string> args = {"--logs", "3", "--tags", "600", "--seed", "3"};
  const std::string stream = log_of(args);
  ASSERT_EQ(fwgen(args + std::vector<std::string>{"--series", scratch() + "/plain"}).status, 0);
  const named_bytes plain = files_in(scratch() + "/plain");
  ASSERT_EQ(plain.size(), 3u);
  // A tar's members lie in a folder named by the day of their first tag.
  std::vector<std::string> in_tar;
  for (const auto& f : plain) {
    const time_t t = peek(f.second).first_timestamp;
    struct tm tm;
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", gmtime_r(&t, &tm));
    in_tar.push_back(std::string("op:") + day + "/" + f.first);
  }
  for (const char* c : {"gzip", "zstd", "xz", "bzip2"}) {
    logbuild::compression z;
    ASSERT_TRUE(logbuild::compression_named(c, &z));
    const std::string dir = scratch() + "/series-" + c, file = scratch() + "/stream-" + c;
    ASSERT_EQ(fwgen(args + std::vector<std::string>{"--series", dir, "--compress", c}).status, 0);
    const named_bytes files = files_in(dir);
    ASSERT_EQ(files.size(), plain.size()) << c;
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(files[i].first, plain[i].first + logbuild::compression_suffix(z));
      std::string how;
      const named_bytes got = members_of(dir + "/" + files[i].first, &how);
      EXPECT_EQ(how, c);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_TRUE(got[0].second == plain[i].second) << c << " " << files[i].first;
    }
    ASSERT_EQ(fwgen(args + std::vector<std::string>{"-o", file, "--compress", c}).status, 0);
    const named_bytes got = members_of(file);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].second == stream) << c;
  }
  for (const char* c : {"", "gzip", "zstd", "xz", "bzip2"}) {
    const std::string tar = scratch() + "/logs-" + c + ".tar";
    std::vector<std::string> a = args + std::vector<std::string>{"--tar", tar};
    if (*c) a = a + std::vector<std::string>{"--compress", c};
    ASSERT_EQ(fwgen(a).status, 0) << c;
    const std::string bytes = slurp(tar);
    ASSERT_EQ(fwgen(a).status, 0);
    EXPECT_TRUE(slurp(tar) == bytes) << c << ": written again, other bytes";
    const named_bytes got = members_of(tar);
    ASSERT_EQ(got.size(), plain.size()) << c;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, in_tar[i]);
      EXPECT_TRUE(got[i].second == plain[i].second) << c << " " << got[i].first;
    }
  }
  // Output that cannot be written is a failure, said in one line.
  golden::temp_file("", "not-a-dir");
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--series", golden::work_dir() + "/not-a-dir"},
                                             {"--series", golden::work_dir() + "/no/dir"},
                                             {"--tar", "/dev/full", "--compress", "xz"},
                                             {"-o", "/dev/full", "--compress", "zstd"},
                                             {"--truth", "/dev/full"},
                                             {"--truth", golden::work_dir() + "/no/truth"}}) {
    gen_result r = fwgen(bad);
    EXPECT_EQ(r.status, 1) << ::testing::PrintToString(bad);
    EXPECT_EQ(r.err.rfind("fwgen: cannot ", 0), 0u) << r.err;
    EXPECT_EQ(count(r.err, "\n"), 1u) << r.err;
  }
}

TEST(ArchiveWriter, TarsAndCompressionsAreReadBackByTheInputLayer) {
  logbuild::log_builder b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "abc").end();
  const std::string log = b.str();
  const std::string long_name = std::string(130, 'd') + "/" + std::string(130, 'f') + ".fwlog";
  using m = logbuild::tar_member;
  const std::vector<m> members = {
      {"2023-11-16/", "", m::directory},
      {"2023-11-16/000001.fwlog", log, m::file, 1700000000},
      {"latest", "2023-11-16/000001.fwlog", m::symlink},
      {"000002.fwlog.gz", logbuild::compress(log + log, logbuild::compression::gzip)},
      {long_name, log}};
  for (const char* c : {"none", "gzip", "zstd", "xz", "bzip2"}) {
    logbuild::compression z;
    ASSERT_TRUE(logbuild::compression_named(c, &z));
    golden::temp_file(logbuild::compress(log, z), "w.data");
    std::string how;
    named_bytes got = members_of(golden::work_dir() + "/w.data", &how);
    EXPECT_EQ(how, z == logbuild::compression::none ? "" : c);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].second, log) << c;
    // Only the regular files are members of the tar.
    golden::temp_file(logbuild::tar_bytes(members, z), "w.tar");
    got = members_of(golden::work_dir() + "/w.tar");
    ASSERT_EQ(got.size(), 3u) << c;
    EXPECT_EQ(got[0], std::make_pair(std::string("op:2023-11-16/000001.fwlog"), log));
    EXPECT_EQ(got[1], std::make_pair(std::string("op:000002.fwlog.gz"), log + log));
    EXPECT_EQ(got[2], std::make_pair("op:" + long_name, log));
  }
  // The directory and the link are entries of their kinds.
  const std::string listing = golden::work_dir() + "/w.list";
  ASSERT_EQ(std::system(("tar tvf '" + golden::work_dir() + "/w.tar' > '" + listing + "'").c_str()),
            0);
  const std::string l = slurp(listing);
  EXPECT_EQ(l.rfind("drwxr-xr-x 0/0 ", 0), 0u) << l;
  EXPECT_NE(l.find(" 2023-11-14 22:13 2023-11-16/000001.fwlog\n"), std::string::npos) << l;
  EXPECT_NE(l.find(" latest -> 2023-11-16/000001.fwlog\n"), std::string::npos) << l;
}

// --drop and --second-series change nothing else: the files kept are the
// files of the run without them, the second series is the next seed's, and
// the truth holds the lines of both runs (each naming its series), without
// the dropped file's and with its effect said once.
TEST(Fwgen, DropAndSecondSeriesLeaveTheRestAsItWas) {
  const std::string d = scratch() + "/drop";
  std::system(("rm -rf '" + d + "'; mkdir -p '" + d + "'").c_str());
  const std::vector<std::string> args = {"--tags", "3000", "--logs", "4"};
  ASSERT_EQ(fwgen(args + std::vector<std::string>{"--seed", "4", "--series", d + "/a", "--truth",
                                                  d + "/a.truth"})
                .status,
            0);
  ASSERT_EQ(fwgen(args + std::vector<std::string>{"--seed", "5", "--series", d + "/b", "--truth",
                                                  d + "/b.truth"})
                .status,
            0);
  const gen_result g = fwgen(args + std::vector<std::string>{"--seed", "4", "--series", d + "/x",
                                                             "--drop", "2", "--second-series",
                                                             d + "/y", "--truth", d + "/x.truth"});
  ASSERT_EQ(g.status, 0) << g.err;
  named_bytes a = files_in(d + "/a");
  a.erase(a.begin() + 1);
  EXPECT_TRUE(files_in(d + "/x") == a);
  EXPECT_TRUE(files_in(d + "/y") == files_in(d + "/b"));
  // Each line of the joint truth is a line of a run alone with the series
  // named behind its type (behind the gap a reader may know less: the
  // unknown marks aside), but for the dropped file's, which say its effect
  // once instead; a transaction's line holds only what the files kept.
  auto bare = [](std::string line) {
    for (const char* mark :
         {",\"unknown\":true", ",\"before_unknown\":true", ",\"after_unknown\":true"})
      for (size_t m; (m = line.find(mark)) != std::string::npos;) line.erase(m, std::strlen(mark));
    return line;
  };
  std::set<std::string> alone;
  for (const std::string name : {"/a.truth", "/b.truth"}) {
    std::istringstream in(slurp(d + name));
    for (std::string line; std::getline(in, line);) alone.insert(bare(line));
  }
  std::istringstream joint(slurp(d + "/x.truth"));
  size_t said = 0, lines = 0;
  for (std::string line; std::getline(joint, line); ++lines) {
    const size_t at = line.find(",\"volume_set\":");
    ASSERT_NE(at, std::string::npos) << line;
    const size_t end = line.find(',', line.find("\"generation\":", at));
    const std::string plain = bare(line.substr(0, at) + line.substr(end));
    if (plain.rfind("{\"type\":\"dropped\",\"file_sequence\":2,", 0) == 0) {
      ++said;
      continue;
    }
    // The first series is the volume set of seed 4.
    if (line.compare(at, 20, ",\"volume_set\":24304,") == 0) {
      EXPECT_EQ(plain.find("\"file_sequence\":2,"), std::string::npos) << plain;
    }
    if (plain.rfind("{\"type\":\"transaction\"", 0) != 0) {
      EXPECT_EQ(alone.count(plain), 1u) << plain;
    }
  }
  EXPECT_EQ(said, 1u);
  EXPECT_GT(lines, 1000u);
}

TEST(Fwgen, BadArgumentsExitWith2AndOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"--seed", "x"},
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
      {"--first-sequence", "0"},
      {"--first-sequence", "2147483647", "--logs", "2"},
      {"--compress", "lz4"},
      {"--compress", "none"},
      {"--series", ""},
      {"--series", "d", "--tar", "t"},
      {"--series", "d", "-o", "f"},
      {"--tar", "t", "-o", "f"},
      {"--truth", ""},
      {"--drop", "0"},
      {"--drop", "2"},
      {"--second-series", "d"},
      {"--tar", "t", "--second-series", "d"},
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
  for (const char* opt :
       {"--seed N", "--tags N", "--size MIB", "--version V", "--logs N", "--map FILE", "--mix KIND",
        "-o FILE", "--first-sequence S", "--series DIR", "--tar FILE", "--compress Z",
        "--truth FILE", "--drop F", "--second-series DIR"})
    EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
}

}  // namespace
