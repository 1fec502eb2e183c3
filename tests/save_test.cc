// --save DIR: the files of the shown page images, before-images and FIXREC
// data, byte for byte what the log holds; their names and the manifest;
// what the filters leave out is not saved; nothing is overwritten; a file
// that cannot be written ends the run.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

std::string path_of(const std::string& name) { return golden::work_dir() + "/" + name; }

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The directory's file names, sorted.
std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(path_of(dir).c_str());
  if (!d) return names;
  while (struct dirent* e = readdir(d))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// One manifest line, read strictly (tests/json_reader.h): a JSON object,
// not empty, of strings, integers and nulls; the values as their JSON text
// (strings unquoted). False, with the reason in error, when the line is
// not such an object.
bool parse_line(const std::string& line, std::map<std::string, std::string>& out,
                std::string& error) {
  const json_reader::result r = json_reader::parse(line);
  if (!r.ok()) {
    error = r.message();
    return false;
  }
  if (!r.v.is_object() || r.v.members.empty()) {
    error = "not an object with members";
    return false;
  }
  for (const auto& m : r.v.members) {
    const json_reader::value& v = m.second;
    if (v.is_null()) {
      out[m.first] = "null";
    } else if (v.is_string() || v.is_integer()) {
      out[m.first] = v.text;
    } else {
      error = "the value of \"" + m.first + "\" is no string, integer or null";
      return false;
    }
  }
  return true;
}

std::vector<std::map<std::string, std::string>> manifest_of(const std::string& dir) {
  std::vector<std::map<std::string, std::string>> entries;
  std::istringstream in(read_file(path_of(dir + "/manifest.jsonl")));
  for (std::string line; std::getline(in, line);) {
    std::map<std::string, std::string> e;
    std::string error;
    EXPECT_TRUE(parse_line(line, e, error)) << error << "\n" << line;
    entries.push_back(e);
  }
  return entries;
}

// Every kind of tag; where each one starts.
struct sample {
  std::string bytes;
  size_t put, page, before, range, no_data, memo, syscat, cluster;
};
sample every_kind() {
  log_builder b;
  sample s;
  b.at(1, 1700000000);
  b.context_db(7, "shop");
  s.put = b.str().size();
  b.fixrec(logbuild::PUT, 17, 7, 3, "first");
  s.page = b.str().size();
  b.page(logbuild::page_image(1));
  s.before = b.str().size();
  b.before_image(18, 1, 7, 4, logbuild::UPDATE, "old data");
  s.range = b.str().size();
  // UPDATE_RANGE: a range header (offset 2, length 3), then the bytes.
  b.fixrec(logbuild::UPDATE_RANGE, 18, 7, 4, logbuild::bytes().u16(2).u16(3).raw("xyz"));
  s.no_data = b.str().size();
  b.fixrec(logbuild::PUT_NO_DATA, 18, 7, 5);
  s.memo = b.str().size();
  b.memo(1, 0, "a memo");
  s.syscat = b.str().size();
  b.image(logbuild::OP_SYSCAT, 18, 7, "catalog");
  s.cluster = b.str().size();
  b.cluster(9, 40, {logbuild::page_image(2), logbuild::page_image(3)});
  s.bytes = b.end().str();
  return s;
}

std::string padded(size_t offset) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%012zu", offset);
  return buf;
}

// Each saved file holds the log's bytes where its manifest line says:
// behind the 9-byte tag header, the record header and FIXREC header
// (17 bytes, 21 for UPDATE_RANGE), the before-image header, the cluster
// header and the images before it.
void expect_bytes_from_log(const std::string& dir, const std::string& log) {
  for (const auto& e : manifest_of(dir)) {
    const size_t offset = std::stoul(e.at("offset"));
    const size_t size = std::stoul(e.at("size"));
    size_t at = offset + 9;
    const std::string& tag = e.at("tag");
    if (tag == "REC") {
      const uint8_t op = static_cast<uint8_t>(log[at + 16 + 16]);
      at += 16 + (op == logbuild::UPDATE_RANGE ? 21 : 17);
    } else if (tag == "BEFORE_IMAGE") {
      at += 20;
    } else if (tag == "CLUSTER") {
      at += 12 + std::stoul(e.at("image")) * 8192;
    }
    EXPECT_EQ(read_file(path_of(dir + "/" + e.at("file"))), log.substr(at, size)) << e.at("file");
  }
}

// Runs jrnscan with standard output and error in files (or the report to
// /dev/null); the file size limit makes writes beyond it fail (EFBIG) in
// the run.
golden::result run_limited(const std::vector<std::string>& args, rlim_t file_limit,
                           bool report_to_null = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(golden::work_dir().c_str()) != 0) _exit(126);
    const int out =
        open(report_to_null ? "/dev/null" : "limited.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("limited.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {file_limit, file_limit};
    setrlimit(RLIMIT_FSIZE, &lim);
    std::vector<char*> argv{const_cast<char*>("jrnscan")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("TZ", "UTC", 1);
    execv(golden::binary(), argv.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  golden::result r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  if (!report_to_null) r.out = read_file(path_of("limited.out"));
  r.err = read_file(path_of("limited.err"));
  return r;
}

}  // namespace

TEST(Save, EveryShownImageAndDataBlockInAFileOfItsOwn) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  const golden::result r = golden::run({"-a", "--save", "deep/er/all", "t.fwlog"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // The report is what it is without --save.
  EXPECT_EQ(r.out, golden::run({"-a", "t.fwlog"}).out);

  const std::string put = "t.fwlog.1." + padded(s.put) + ".2";
  const std::string page = "t.fwlog.1." + padded(s.page) + ".3";
  const std::string before = "t.fwlog.1." + padded(s.before) + ".4";
  const std::string range = "t.fwlog.1." + padded(s.range) + ".5";
  const std::string cluster = "t.fwlog.1." + padded(s.cluster) + ".9";
  // No file for the FIXREC without data, the memo or the SYSCAT record.
  const std::vector<std::string> files = {"manifest.jsonl",        put + ".data",
                                          page + ".page",          before + ".before",
                                          range + ".data",         cluster + ".000000.page",
                                          cluster + ".000001.page"};
  EXPECT_EQ(listing("deep/er/all"), files);

  auto where = [](size_t offset, int seq, int secs) {
    return "\"log\":\"t.fwlog\",\"offset\":" + std::to_string(offset) +
           ",\"sequence\":" + std::to_string(seq) +
           ",\"time\":\"2023-11-14T22:13:" + std::to_string(20 + secs) + "Z\"";
  };
  const std::string expected =
      "{\"file\":\"" + put + ".data\"," + where(s.put, 2, 1) +
      ",\"tag\":\"REC\",\"node_id\":7,\"node\":\"SHOP\",\"opcode\":\"FIXREC\",\"recno\":3,"
      "\"size\":5}\n"
      "{\"file\":\"" +
      page + ".page\"," + where(s.page, 3, 2) +
      ",\"tag\":\"PAGE\",\"node_id\":null,\"node\":null,\"key\":1,\"size\":8192}\n"
      "{\"file\":\"" +
      before + ".before\"," + where(s.before, 4, 3) +
      ",\"tag\":\"BEFORE_IMAGE\",\"node_id\":7,\"node\":\"SHOP\",\"recno\":4,\"size\":8}\n"
      "{\"file\":\"" +
      range + ".data\"," + where(s.range, 5, 4) +
      ",\"tag\":\"REC\",\"node_id\":7,\"node\":\"SHOP\",\"opcode\":\"FIXREC\",\"recno\":4,"
      "\"size\":3}\n"
      "{\"file\":\"" +
      cluster + ".000000.page\"," + where(s.cluster, 9, 8) +
      ",\"tag\":\"CLUSTER\",\"node_id\":9,\"node\":null,\"image\":0,\"size\":8192}\n"
      "{\"file\":\"" +
      cluster + ".000001.page\"," + where(s.cluster, 9, 8) +
      ",\"tag\":\"CLUSTER\",\"node_id\":9,\"node\":null,\"image\":1,\"size\":8192}\n";
  EXPECT_EQ(read_file(path_of("deep/er/all/manifest.jsonl")), expected);
  EXPECT_EQ(read_file(path_of("deep/er/all/" + range + ".data")), "xyz");
  expect_bytes_from_log("deep/er/all", s.bytes);
}

TEST(Save, OnlyWhatTheFiltersShowIsSaved) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  // The default view: image-like records and before-images.
  golden::result r = golden::run({"--save", "plain", "t.fwlog"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(listing("plain"),
            (std::vector<std::string>{"manifest.jsonl", "t.fwlog.1." + padded(s.put) + ".2.data",
                                      "t.fwlog.1." + padded(s.before) + ".4.before"}));
  expect_bytes_from_log("plain", s.bytes);
  // One page by its key; a node (the cluster's); a tag kind.
  r = golden::run({"-p", "1", "--save", "by-page", "t.fwlog"});
  EXPECT_EQ(listing("by-page"), (std::vector<std::string>{
                                    "manifest.jsonl", "t.fwlog.1." + padded(s.page) + ".3.page"}));
  r = golden::run({"-a", "-n", "9", "--save", "by-node", "t.fwlog"});
  EXPECT_EQ(listing("by-node").size(), 3u);
  expect_bytes_from_log("by-node", s.bytes);
  r = golden::run({"-a", "--kind", "BEFORE_IMAGE", "--save", "by-kind", "t.fwlog"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      listing("by-kind"),
      (std::vector<std::string>{"manifest.jsonl", "t.fwlog.1." + padded(s.before) + ".4.before"}));
}

TEST(Save, TheOtherOutputsAreUnchangedBesideTheSavedFiles) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  int n = 0;
  for (const std::vector<std::string>& mode :
       {std::vector<std::string>{"--json"}, {"--stats"}, {"--check"}, {"-vvv"}}) {
    const std::string dir = "mode" + std::to_string(n++);
    std::vector<std::string> with = {"-a", "--save", dir, "t.fwlog"};
    with.insert(with.begin(), mode.begin(), mode.end());
    std::vector<std::string> without = {"-a", "t.fwlog"};
    without.insert(without.begin(), mode.begin(), mode.end());
    const golden::result saved = golden::run(with);
    const golden::result plain = golden::run(without);
    EXPECT_EQ(saved.out, plain.out) << mode[0];
    EXPECT_EQ(saved.err, plain.err) << mode[0];
    EXPECT_EQ(saved.status, plain.status) << mode[0];
    EXPECT_EQ(listing(dir).size(), 7u) << mode[0];
    expect_bytes_from_log(dir, s.bytes);
  }
  // The check's own verdict stands beside the saver: a gap in the tag
  // sequence fails a strict check.
  log_builder gap;
  gap.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, "a");
  gap.at(5, 1700000001).fixrec(logbuild::PUT, 17, 7, 4, "b").end();
  golden::temp_file(gap.str(), "gap.fwlog");
  const golden::result saved = golden::run({"--check", "--strict", "--save", "gap", "gap.fwlog"});
  const golden::result plain = golden::run({"--check", "--strict", "gap.fwlog"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(saved.status, 1);
  EXPECT_EQ(saved.out, plain.out);
  EXPECT_EQ(listing("gap").size(), 3u);
}

TEST(Save, LogsOfOneNameAndStandardInputGetNamesOfTheirOwn) {
  const sample s = every_kind();
  // Two logs in one stream from standard input; the second one's tags are
  // named by their offsets in the stream (where `xxd -s` finds them).
  log_builder second;
  second.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, "second").end();
  golden::result r = golden::run({"--save", "in", "-"}, s.bytes + second.str());
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string later = "stdin.1.log000002." + padded(s.bytes.size() + 36) + ".1.data";
  EXPECT_EQ(listing("in"),
            (std::vector<std::string>{"manifest.jsonl", "stdin.1." + padded(s.put) + ".2.data",
                                      "stdin.1." + padded(s.before) + ".4.before", later}));
  EXPECT_EQ(read_file(path_of("in/" + later)), "second");
  EXPECT_EQ(manifest_of("in").back().at("offset"), std::to_string(s.bytes.size() + 36));
  EXPECT_NE(read_file(path_of("in/manifest.jsonl")).find("\"log\":\"(stdin)\""), std::string::npos);
  // Characters beyond the plain ones in a log's name become '_'.
  golden::temp_file(second.str(), "a b\"(1).fwlog");
  r = golden::run({"--save", "odd", "a b\"(1).fwlog"});
  EXPECT_EQ(listing("odd"), (std::vector<std::string>{"a_b__1_.fwlog.1." + padded(36) + ".1.data",
                                                      "manifest.jsonl"}));
  EXPECT_NE(read_file(path_of("odd/manifest.jsonl")).find("\"log\":\"a b\\\"(1).fwlog\""),
            std::string::npos);
}

TEST(Save, NothingIsOverwritten) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  ASSERT_EQ(golden::run({"--save", "again", "t.fwlog"}).status, 0);
  const std::string first_manifest = read_file(path_of("again/manifest.jsonl"));
  // A second run into the same directory: refused before the report.
  golden::result r = golden::run({"--save", "again", "t.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "jrnscan: again/manifest.jsonl already exists; saved files are never overwritten\n");
  EXPECT_EQ(read_file(path_of("again/manifest.jsonl")), first_manifest);
  // A file of the name a page would get: the run stops there, the report
  // so far is out, the file is left as it was.
  mkdir(path_of("taken").c_str(), 0755);
  const std::string page = "t.fwlog.1." + padded(s.page) + ".3.page";
  golden::temp_file("mine", "taken/" + page);
  r = golden::run({"-a", "--save", "taken", "t.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "jrnscan: taken/" + page + " already exists; saved files are never overwritten\n");
  EXPECT_NE(r.out.find("recno = 3"), std::string::npos);
  EXPECT_EQ(read_file(path_of("taken/" + page)), "mine");
  EXPECT_EQ(manifest_of("taken").size(), 1u);
  // A directory that cannot be made.
  golden::temp_file("", "plainfile");
  r = golden::run({"--save", "plainfile/sub", "t.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "jrnscan: cannot make the directory plainfile/sub: Not a directory\n");
}

// The summary's progress line is on standard error too: a save that fails
// in the run says so on a line of its own, the progress line erased first.
TEST(Save, AFailureSaysItOnALineOfItsOwnBesideTheProgressLine) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  const std::string page = "t.fwlog.1." + padded(s.page) + ".3.page";
  for (const std::string mode : {"--stats", "--check"}) {
    const std::string dir = "taken" + mode;
    mkdir(path_of(dir).c_str(), 0755);
    golden::temp_file("mine", dir + "/" + page);
    const golden::result r = golden::run({mode, "--progress", "--save", dir, "t.fwlog"});
    EXPECT_EQ(r.status, 1) << mode;
    EXPECT_EQ(r.out, "") << mode;  // the run ended before its summary
    const std::string message =
        "jrnscan: " + dir + "/" + page + " already exists; saved files are never overwritten\n";
    const size_t at = r.err.find(message);
    ASSERT_NE(at, std::string::npos) << mode << ": " << r.err;
    const std::string before = r.err.substr(0, at);
    EXPECT_NE(before.find("t.fwlog: "), std::string::npos) << mode << ": the line was drawn";
    const std::string erase = "\r\033[K";
    EXPECT_TRUE(before.size() >= erase.size() &&
                before.compare(before.size() - erase.size(), erase.size(), erase) == 0)
        << mode << ": " << r.err;
    EXPECT_EQ(r.err.find("t.fwlog: ", at), std::string::npos) << mode << ": not drawn again";
  }
}

TEST(Save, AFileThatCannotBeWrittenEndsTheRunAndIsRemoved) {
  const sample s = every_kind();
  golden::temp_file(s.bytes, "t.fwlog");
  // Files may grow to 4096 bytes: the page image (8192) fails halfway.
  const golden::result r = run_limited({"-a", "--save", "limited", "t.fwlog"}, 4096);
  EXPECT_EQ(r.status, 1);
  const std::string page = "t.fwlog.1." + padded(s.page) + ".3.page";
  EXPECT_EQ(r.err, "jrnscan: cannot write limited/" + page + ": File too large\n");
  EXPECT_FALSE(exists(path_of("limited/" + page)));
  EXPECT_EQ(listing("limited").size(), 2u);  // the manifest and the first FIXREC's data
  EXPECT_NE(r.out.find("recno = 3"), std::string::npos);
}

// The names of one input sort in the order of its logs, however many it
// holds; operands of one base name, or named like another's files, each
// keep names of their own, numbered by their place among the operands
// (one that cannot be opened keeps its number).
TEST(Save, NamesSortInLogOrderAndNeverMeet) {
  std::string stream;
  for (int i = 1; i <= 11; ++i) {
    log_builder b;
    b.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, "log" + std::to_string(i)).end();
    stream += b.str();
  }
  golden::result r = golden::run({"--save", "many", "-"}, stream);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> in_log_order, contents;
  for (const auto& e : manifest_of("many")) {
    in_log_order.push_back(e.at("file"));
    contents.push_back(read_file(path_of("many/" + e.at("file"))));
  }
  ASSERT_EQ(in_log_order.size(), 11u);
  EXPECT_EQ(contents.front(), "log1");
  EXPECT_EQ(contents.back(), "log11");
  std::vector<std::string> sorted = in_log_order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, in_log_order);

  auto log_of = [](const std::string& data) {
    log_builder b;
    b.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, data).end();
    return b.str();
  };
  mkdir(path_of("d1").c_str(), 0755);
  mkdir(path_of("d2").c_str(), 0755);
  golden::temp_file(log_of("one"), "d1/x.fwlog");
  golden::temp_file(log_of("two"), "d2/x.fwlog");
  golden::temp_file(log_of("three"), "x.fwlog.log2");
  golden::temp_file(log_of("four"), "x.fwlog.3");
  r = golden::run(
      {"--save", "same", "d1/x.fwlog", "missing.fwlog", "d2/x.fwlog", "x.fwlog.log2", "x.fwlog.3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "missing.fwlog: No such file or directory\n");
  const std::string tail = "." + padded(36) + ".1.data";
  EXPECT_EQ(listing("same"),
            (std::vector<std::string>{"manifest.jsonl", "x.fwlog.1" + tail, "x.fwlog.3" + tail,
                                      "x.fwlog.3.5" + tail, "x.fwlog.log2.4" + tail}));
  EXPECT_EQ(read_file(path_of("same/x.fwlog.1" + tail)), "one");
  EXPECT_EQ(read_file(path_of("same/x.fwlog.3" + tail)), "two");
  EXPECT_EQ(read_file(path_of("same/x.fwlog.log2.4" + tail)), "three");
  EXPECT_EQ(read_file(path_of("same/x.fwlog.3.5" + tail)), "four");
}

namespace {

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

// The saved files carry the log's data: none is more readable than its
// log, standard input gives 0600, and the manifest gets what every input
// allows.
TEST(Save, FilesAreNoMoreReadableThanTheirLog) {
  const mode_t old_mask = umask(022);
  log_builder b;
  b.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, "secret").end();
  golden::temp_file(b.str(), "private.fwlog");
  golden::temp_file(b.str(), "group.fwlog");
  golden::temp_file(b.str(), "open.fwlog");
  chmod(path_of("private.fwlog").c_str(), 0600);
  chmod(path_of("group.fwlog").c_str(), 0640);
  chmod(path_of("open.fwlog").c_str(), 0666);  // less the umask
  const std::string tail = "." + padded(36) + ".1.data";

  golden::result r = golden::run({"--save", "modes", "open.fwlog", "group.fwlog"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(path_of("modes/open.fwlog.1" + tail)), 0644u);
  EXPECT_EQ(mode_of(path_of("modes/group.fwlog.2" + tail)), 0640u);
  EXPECT_EQ(mode_of(path_of("modes/manifest.jsonl")), 0640u);

  r = golden::run({"--save", "private", "open.fwlog", "private.fwlog"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(path_of("private/private.fwlog.2" + tail)), 0600u);
  EXPECT_EQ(mode_of(path_of("private/manifest.jsonl")), 0600u);

  r = golden::run({"--save", "piped", "-"}, b.str());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(path_of("piped/stdin.1" + tail)), 0600u);
  EXPECT_EQ(mode_of(path_of("piped/manifest.jsonl")), 0600u);
  umask(old_mask);
}

// A manifest line that a failed write cuts short is taken back, and the
// file it was for is removed: the manifest stays whole lines, each of a
// file that is there.
TEST(Save, AFailedManifestWriteLeavesWholeLines) {
  log_builder b;
  b.at(1, 1700000000).fixrec(logbuild::PUT, 17, 7, 3, "a");
  b.fixrec(logbuild::PUT, 17, 7, 4, "b").end();
  golden::temp_file(b.str(), "t.fwlog");
  ASSERT_EQ(golden::run({"--save", "unlimited", "t.fwlog"}).status, 0);
  const std::string whole = read_file(path_of("unlimited/manifest.jsonl"));
  const size_t first_line = whole.find('\n') + 1;
  ASSERT_GT(whole.size(), first_line + 40);
  // Room for the first line and 40 bytes of the second.
  const golden::result r =
      run_limited({"--save", "cut", "t.fwlog"}, first_line + 40, /*report_to_null=*/true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "jrnscan: cannot write cut/manifest.jsonl: File too large\n");
  EXPECT_EQ(read_file(path_of("cut/manifest.jsonl")), whole.substr(0, first_line));
  EXPECT_EQ(listing("cut"),
            (std::vector<std::string>{"manifest.jsonl", manifest_of("cut")[0].at("file")}));
}
