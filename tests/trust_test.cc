// Damaged and hostile input, and a report that cannot be delivered: write
// and read errors, several operands, option values that do not convert,
// endings the report alone would hide, hash flooding, output amplification,
// terminal escapes and the bound on learnt names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "golden.h"
#include "logbuild/log_builder.h"
#include "scan/node_map.h"

using logbuild::bytes;
using logbuild::log_builder;

namespace {

struct spawn_result {
  std::string out, err;
  int status = -1;
  long long fed = 0;  // bytes of standard input the tool took
};

// Runs jrnscan in the scratch directory with a child-side set-up of its
// descriptors (stdout, stdin and the environment are the caller's to set).
int start(const std::vector<std::string>& args, const std::function<void()>& child_setup) {
  const std::string dir = golden::work_dir();
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>("jrnscan")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (chdir(dir.c_str()) != 0) _exit(126);
    setenv("TZ", "UTC", 1);
    child_setup();
    execv(golden::binary(), argv.data());
    _exit(127);
  }
  return pid;
}

int wait_status(int pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string drain(int fd) {
  std::string s;
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<size_t>(n));
  close(fd);
  return s;
}

// Standard output goes where out_setup puts it; standard error is caught.
spawn_result run_with_stdout(const std::vector<std::string>& args,
                             const std::function<void()>& out_setup) {
  int err[2];
  if (pipe(err) != 0) throw std::runtime_error("pipe");
  int pid = start(args, [&] {
    dup2(err[1], 2);
    close(err[0]);
    close(err[1]);
    out_setup();
  });
  close(err[1]);
  spawn_result r;
  r.err = drain(err[0]);
  r.status = wait_status(pid);
  return r;
}

// 8192-byte page images: -a -vvv prints about four and a half times as many
// bytes as it reads.
std::string page_log(int pages) {
  log_builder b;
  for (int i = 0; i < pages; ++i) b.page(logbuild::page_image(static_cast<uint8_t>(i)));
  return b.end().str();
}

// Feeds a large log on standard input to a run whose reader has gone away;
// returns how much of the log the run took before it ended.
spawn_result feed_gone_reader(bool ignore_sigpipe, const std::string& chunk, int chunks) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe");
  int pid = start({"-a", "-vvv", "-"}, [&] {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
  });
  close(in[0]);
  close(out[1]);
  close(err[1]);
  close(out[0]);  // nobody reads the report
  signal(SIGPIPE, SIG_IGN);
  spawn_result r;
  for (int i = 0; i < chunks; ++i) {
    size_t done = 0;
    while (done < chunk.size()) {
      ssize_t w = write(in[1], chunk.data() + done, chunk.size() - done);
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    r.fed += static_cast<long long>(done);
    if (done < chunk.size()) break;
  }
  close(in[1]);
  r.err = drain(err[0]);
  r.status = wait_status(pid);
  return r;
}

}  // namespace

TEST(WriteErrors, EndTheRunWithAMessage) {
  golden::temp_file(page_log(3), "p.fwlog");
  spawn_result full = run_with_stdout({"-a", "-vvv", "p.fwlog"}, [] {
    int fd = open("/dev/full", O_WRONLY);
    dup2(fd, 1);
  });
  EXPECT_EQ(full.err, "jrnscan: write error: No space left on device\n");
  EXPECT_EQ(full.status, 1);

  spawn_result closed = run_with_stdout({"-a", "p.fwlog"}, [] { close(1); });
  EXPECT_EQ(closed.err, "jrnscan: write error: Bad file descriptor\n");
  EXPECT_EQ(closed.status, 1);
}

// A reader that went away stops the run early: with SIGPIPE ignored the
// write fails with EPIPE, otherwise the signal ends the run. Either way
// only a small part of a 96 MiB log is read.
TEST(WriteErrors, GoneReaderStopsTheRunEarly) {
  const std::string header = logbuild::header_bytes({});
  log_builder pages;
  for (int i = 0; i < 128; ++i) pages.page(logbuild::page_image(static_cast<uint8_t>(i)));
  const std::string body = pages.str().substr(header.size());  // 1 MiB of tags
  const long long total = 96ll * static_cast<long long>(body.size());

  spawn_result ignored = feed_gone_reader(true, header + body, 96);
  EXPECT_EQ(ignored.err, "jrnscan: write error: Broken pipe\n");
  EXPECT_EQ(ignored.status, 1);
  EXPECT_LT(ignored.fed, total / 8);

  spawn_result killed = feed_gone_reader(false, header + body, 96);
  EXPECT_EQ(killed.status, 128 + SIGPIPE);
  EXPECT_LT(killed.fed, total / 8);
}

TEST(ReadErrors, AreNotTheEndOfTheLog) {
  log_builder b;
  b.at(4, 0).fixrec(logbuild::PUT, 17, 7, 7, "ab");
  const size_t first_tag_end = b.str().size();
  b.fixrec(logbuild::PUT, 17, 7, 8, "cd").end();
  golden::temp_file(b.str(), "t.fwlog");
  struct {
    size_t fail_after;
    std::string err;
  } cases[] = {
      // Between tags: no "Unexpected EOF", the read error instead.
      {first_tag_end,
       "t.fwlog: read error at offset " + std::to_string(first_tag_end) + ": Input/output error\n"},
      // Inside a tag: the handler says what it could not read, too.
      {first_tag_end + 20, "t.fwlog: read error at offset " + std::to_string(first_tag_end + 20) +
                               ": Input/output error\nUnable to read record header\n"},
      {10, "t.fwlog: read error at offset 10: Input/output error\n"},
  };
  for (const auto& c : cases) {
    spawn_result r = run_with_stdout({"t.fwlog"}, [&] {
      setenv("LD_PRELOAD", FAIL_READ_SHIM, 1);
      setenv("FAIL_READ_AFTER", std::to_string(c.fail_after).c_str(), 1);
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
      int fd = open("/dev/null", O_WRONLY);
      dup2(fd, 1);
    });
    EXPECT_EQ(r.err, c.err) << c.fail_after;
    EXPECT_EQ(r.status, 1);
  }
}

TEST(Operands, EmptyDirectoriesAndUnreadableOnesAreSaidAndTheRestRead) {
  const std::string log = log_builder().at(1, 0).end().str();
  golden::temp_file(log, "t.fwlog");
  mkdir((golden::work_dir() + "/adir").c_str(), 0700);
  // With a directory among them the operands are read by file sequence:
  // what holds no log comes first, in the order given.
  golden::result r = golden::run({"adir", "t.fwlog", "nosuch.fwlog"});
  EXPECT_EQ(r.err, "adir: is a directory without files\nnosuch.fwlog: No such file or directory\n");
  EXPECT_NE(r.out.find("\nFile: t.fwlog\n"), std::string::npos);
  EXPECT_NE(r.both.find("No such file or directory\n\nFile: t.fwlog"), std::string::npos);
  EXPECT_EQ(r.status, 1);
  // A malformed item in one of several logs makes the status 1 as well.
  log_builder bad;
  bad.nodemeta(9, std::string(9000, 'm')).end();
  golden::temp_file(bad.str(), "bad.fwlog");
  r = golden::run({"bad.fwlog", "t.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\nFile: t.fwlog\n"), std::string::npos);
}

TEST(OptionValues, ValuesThatDoNotConvertAreWarnedAbout) {
  golden::temp_file(log_builder().at(1, 0).end().str(), "t.fwlog");
  const std::string w = "jrnscan: warning: ";
  struct {
    std::vector<std::string> options;
    std::string err;
  } cases[] = {
      {{"-p", "0x7a"}, w + "-p '0x7a' is not a decimal number; read as 0 (no page filter)\n"},
      {{"-p", ""}, w + "-p '' is empty; read as 0 (no page filter)\n"},
      {{"-r", "-5"}, w + "-r '-5' is negative; read as 4294967291\n"},
      {{"-r", "1d0b"}, w + "-r '1d0b' is not a decimal number; read as 1\n"},
      {{"-n", "99999999999"}, w + "-n '99999999999' is out of range; read as 1215752191\n"},
      {{"-n", "abc"}, w + "-n 'abc' is not a decimal number; read as 0 (no node filter)\n"},
      {{"-x", "4466-4470"},
       w + "-x '4466-4470' is not a range f:t of decimal numbers; read as 4466:0 (from 4466, no "
           "upper bound)\n"},
      {{"-t", "2023-11-16"},
       w + "-t '2023-11-16' is not a range f:t of decimal numbers; read as 2023:0 (from 2023, no "
           "upper bound)\n"},
      {{"-s", "-3:5"},
       w + "-s '-3:5' holds a negative number; read as 4294967293:5\n" + w +
           "-s '-3:5' has its lower bound 4294967293 above its upper bound 5; no tag can match\n"},
      {{"-s", "1:99999999999"},
       w + "-s '1:99999999999' holds a number out of range; read as 1:1215752191\n"},
      {{"--page", "x"}, w + "--page 'x' is not a decimal number; read as 0 (no page filter)\n"},
      // Values that convert completely say nothing.
      {{"-p", "122", "-n", "-7", "-t", "100", "-x", "5:9", "-r", "+3"}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.options;
    args.push_back("t.fwlog");
    golden::result r = golden::run(args);
    EXPECT_EQ(r.err, c.err) << c.options[0] << " " << c.options[1];
    EXPECT_EQ(r.status, 0);
    // Warnings come before the report.
    EXPECT_EQ(r.both.substr(0, c.err.size()), c.err);
  }
}

// Node numbers chosen to share one hash bucket of any fixed table size:
// the keyed hash spreads them all the same.
TEST(HostileInput, NodeNumbersCannotFloodTheNameTable) {
  jrn::node_map map;
  const uint32_t n = 42000;
  auto id = [](uint32_t i) { return static_cast<int32_t>(i * 65536u); };
  for (uint32_t i = 1; i <= n; ++i) map.learn(id(i), 3, "n", 1, 0);
  std::string s;
  for (uint32_t i = 1; i <= n; ++i) {
    s.clear();
    map.append_display(id(i), true, false, s);
  }
  // Insertions and displays: a few slots per lookup on average.
  EXPECT_LT(map.probes(), 8ull * 3 * n);

  // The same through the binary: 42,000 context records, then records of
  // those nodes.
  log_builder b;
  for (uint32_t i = 1; i <= n; ++i) b.context_db(i * 65536u, "db");
  for (uint32_t i = 1; i <= n; i += 7) b.image(logbuild::OP_BEGIN, 1, i * 65536u, "");
  b.end();
  golden::temp_file(b.str(), "flood.fwlog");
  golden::result r = golden::run({"-o", "BEGIN", "flood.fwlog"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" node_id: DB (#" + std::to_string(id(41973)) + ")\n"), std::string::npos);
}

// 256 nested names of 8191 bytes would make every record print 2 MB;
// cut at 4096 bytes, the output stays in proportion to the log.
TEST(HostileInput, LongQualifiedNamesAreCut) {
  log_builder b;
  b.context_db(1, std::string(8191, 'a'));
  for (uint32_t id = 2; id <= 256; ++id) b.context_set(id, id - 1, std::string(8191, 'b'));
  const int records = 2000;
  for (int i = 0; i < records; ++i) b.image(logbuild::OP_BEGIN, 1, 256, "");
  b.end();
  golden::temp_file(b.str(), "deep.fwlog");
  golden::result r = golden::run({"-o", "BEGIN", "deep.fwlog"});
  EXPECT_EQ(r.status, 0);
  EXPECT_LT(r.out.size(), static_cast<size_t>(records) * 4400);
  const std::string shown = " node_id: ..." + std::string(4093, 'B') + " (#256)\n";
  EXPECT_NE(r.out.find(shown), std::string::npos);
}

// A name of control bytes takes four bytes a byte escaped for a terminal
// and six in JSON; cut at 4096 bytes as written, one 8-byte DBLIST entry
// gives at most about 4.2 KB at any detail level.
TEST(HostileInput, NamesOfControlBytesAreCutAsWritten) {
  log_builder b;
  b.context_db(0x80000000u, std::string(8191, '\x01'));
  b.dblist(1, logbuild::DBLIST_SUM,
           std::vector<std::pair<int32_t, int32_t>>(8191, {INT32_MIN, -1}));
  const std::string log = b.end().str();
  golden::temp_file(log, "amp.fwlog");
  const std::string out = golden::work_dir() + "/amp.out";
  for (const char* form : {"--escape=always", "--json"}) {
    for (const char* level : {"-a", "-avvv"}) {
      spawn_result r = run_with_stdout({form, level, "amp.fwlog"}, [&] {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
      });
      struct stat st;
      ASSERT_EQ(stat(out.c_str(), &st), 0);
      EXPECT_EQ(r.status, 0);
      EXPECT_GT(st.st_size, 8191ll * 4096);
      EXPECT_LE(st.st_size, 700ll * static_cast<long long>(log.size())) << form << " " << level;
    }
  }
  // Whole escapes behind the "...", 4095 bytes in all.
  std::string escaped;
  for (int i = 0; i < 1023; ++i) escaped += "\\x01";
  log_builder one;
  one.context_db(0x80000000u, std::string(8191, '\x01'))
      .dblist(1, logbuild::DBLIST_SUM, {{INT32_MIN, -1}});
  const std::string text = golden::scan(one.end().str(), {"--escape=always", "-a"}).out;
  EXPECT_NE(text.find("  #1: node_id=..." + escaped + " (#-2147483648) mode=-1\n"),
            std::string::npos);
}

// What the names take, the table's blocks and slots included, counts
// against --name-memory (here 40 names of 4000 bytes, in text blocks of
// 16 KiB, under 64 KiB).
TEST(HostileInput, LearntNamesAreBounded) {
  log_builder b;
  for (uint32_t id = 1; id <= 40; ++id) b.context_db(id, std::string(4000, 'a'));
  b.image(logbuild::OP_BEGIN, 1, 1, "").image(logbuild::OP_BEGIN, 1, 40, "").end();
  golden::temp_file(b.str(), "t.fwlog");
  golden::result r = golden::run({"--name-memory=64K", "-o", "BEGIN", "t.fwlog"});
  const std::string said =
      "t.fwlog: warning: names learnt from context records reach the bound of 65536 bytes at "
      "offset ";
  EXPECT_EQ(r.err.substr(0, said.size()), said);
  EXPECT_NE(r.err.find("; no further names are learnt (--name-memory sets the bound)\n"),
            std::string::npos);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_NE(r.out.find(" node_id: " + std::string(4000, 'A') + " (#1)\n"), std::string::npos);
  EXPECT_NE(r.out.find(" node_id: #40\n"), std::string::npos);
  EXPECT_EQ(r.status, 0);
  r = golden::run({"--name-memory=lots", "t.fwlog"});
  EXPECT_EQ(r.err,
            "jrnscan: --name-memory takes a size such as 64M or 1G, not 'lots'\n"
            "jrnscan: bad arguments\nTry 'jrnscan --help' for more information.\n");
  EXPECT_EQ(r.status, 2);
}

namespace {

// A log whose names hold escape sequences: a context name that would set
// the window title, a set item, sign-on data.
std::string hostile_names_log() {
  log_builder b;
  b.context_db(5, "ev\x1b]0;pwned\x07il");
  b.context_set_items(6, 5, "set\x9b", {{"it\x1b[2J", '\x1b', 1, 4, 0}});
  b.sign_on(1, {"user\x1b[31m"});
  b.image(logbuild::OP_BEGIN, 1, 6, "");
  return b.end().str();
}

}  // namespace

TEST(TerminalEscapes, NamesFromTheLogCannotDriveTheTerminal) {
  golden::temp_file(hostile_names_log(), "t.fwlog");
  const std::vector<std::string> opts = {"-a", "-v", "t.fwlog"};
  auto with = [&](const char* flag) {
    std::vector<std::string> args{flag};
    args.insert(args.end(), opts.begin(), opts.end());
    return golden::run(args).out;
  };
  const std::string always = with("--escape=always");
  EXPECT_NE(always.find("  name: 'ev\\x1b]0;pwned\\x07il'\n"), std::string::npos);
  EXPECT_NE(always.find("  item[0]: 'it\\x1b[2J' type=\\x1b count=1"), std::string::npos);
  EXPECT_NE(always.find("  data: user\\x1b[31m\n"), std::string::npos);
  EXPECT_NE(always.find(" node_id: EV\\x1b]0;PWNED\\x07IL.SET\\x9b (#6)\n"), std::string::npos);
  EXPECT_EQ(always.find('\x1b'), std::string::npos);
  // Not a terminal, or never: the bytes pass as they are.
  const std::string raw = golden::run(opts).out;
  EXPECT_EQ(with("--escape=never"), raw);
  EXPECT_NE(raw.find("  name: 'ev\x1b]0;pwned\x07il'\n"), std::string::npos);

  // JSON writes C1 controls as escapes too, not as characters.
  const std::string json = golden::run({"--json", "-a", "t.fwlog"}).out;
  EXPECT_NE(json.find("\"node\":\"EV\\u001b]0;PWNED\\u0007IL.SET\\u009b\""), std::string::npos);
  EXPECT_EQ(json.find("\xc2\x9b"), std::string::npos);

  golden::result bad = golden::run({"--escape=sometimes", "t.fwlog"});
  EXPECT_EQ(bad.err,
            "jrnscan: --escape takes auto, always or never, not 'sometimes'\njrnscan: bad "
            "arguments\nTry 'jrnscan --help' for more information.\n");
  EXPECT_EQ(bad.status, 2);
}

// A file name is shown escaped like the log's texts wherever it appears:
// the report's header, messages, summaries and check lines. Characters of
// other UTF-8 names stay whole.
TEST(TerminalEscapes, FileNamesCannotDriveTheTerminal) {
  const std::string name = "ev\x1b]0;x\x07.fwlog";
  const std::string shown = "ev\\x1b]0;x\\x07.fwlog";
  golden::temp_file(log_builder().at(1, 0).end().str() + "junk", name);
  golden::temp_file(log_builder().at(1, 0).end().str(), "\xc3\x84rger.fwlog");
  golden::result r = golden::run({"--escape=always", name, "gone\x1b[2J.fwlog"});
  EXPECT_NE(r.out.find("\nFile: " + shown + "\n"), std::string::npos);
  EXPECT_NE(r.err.find(shown + ": 4 bytes after the end of the log"), std::string::npos);
  EXPECT_NE(r.err.find("gone\\x1b[2J.fwlog: No such file or directory\n"), std::string::npos);
  // The summaries, the check and JSON (where the escape's backslash is
  // written as JSON writes one), with the progress line on standard error.
  const std::string in_json = "ev\\\\x1b]0;x\\\\x07.fwlog";
  const struct {
    std::vector<std::string> mode;
    const std::string& shown;
  } modes[] = {{{"--check"}, shown},
               {{"--stats", "--progress"}, shown},
               {{"--json"}, in_json},
               {{"--check", "--json"}, in_json}};
  for (const auto& m : modes) {
    std::vector<std::string> args{"--escape=always"};
    args.insert(args.end(), m.mode.begin(), m.mode.end());
    args.push_back(name);
    r = golden::run(args);
    EXPECT_NE(r.out.find(m.shown), std::string::npos) << m.mode[0];
    EXPECT_EQ(r.both.find(name), std::string::npos) << m.mode[0];
    EXPECT_EQ(r.both.find('\x07'), std::string::npos) << m.mode[0];
  }
  r = golden::run({"--escape=always", "\xc3\x84rger.fwlog"});
  EXPECT_NE(r.out.find("\nFile: \xc3\x84rger.fwlog\n"), std::string::npos);
  // Not a terminal, or never: the name as it is.
  r = golden::run({name});
  EXPECT_NE(r.out.find("\nFile: " + name + "\n"), std::string::npos);
}

// A type letter that is a zero byte is printed as the byte it is (not cut
// as the end of a string), or as \x00 where escaping is on.
TEST(TerminalEscapes, ZeroTypeLetterIsOneByte) {
  log_builder b;
  b.context_set_items(6, 5, "set", {{"it", '\0', 1, 4, 0}});
  golden::temp_file(b.end().str(), "t.fwlog");
  const std::string raw = golden::run({"-a", "-v", "t.fwlog"}).out;
  EXPECT_NE(raw.find(std::string("  item[0]: 'it' type=") + '\0' + " count=1"), std::string::npos);
  const std::string escaped = golden::run({"--escape=always", "-a", "-v", "t.fwlog"}).out;
  EXPECT_NE(escaped.find("  item[0]: 'it' type=\\x00 count=1"), std::string::npos);
}

// With standard output on a terminal, escaping is on by itself.
TEST(TerminalEscapes, OnByDefaultForATerminal) {
  golden::temp_file(hostile_names_log(), "t.fwlog");
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave_name = ptsname(master);
  spawn_result r = run_with_stdout({"-a", "t.fwlog"}, [&] {
    setsid();
    int slave = open(slave_name.c_str(), O_RDWR);
    struct termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    dup2(slave, 1);
    close(slave);
    close(master);
  });
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(master);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(out.find("  name: 'ev\\x1b]0;pwned\\x07il'"), std::string::npos) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

TEST(MapFile, FailuresAreCommandLineErrors) {
  golden::temp_file("h\nh\n7 3 OR\x1b[2JDERS\n", "esc.map");
  mkdir((golden::work_dir() + "/mapdir").c_str(), 0700);
  struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-M", "mapdir", "t.fwlog"},
       "mapdir: Is a directory\njrnscan: bad arguments\nTry 'jrnscan --help' for more "
       "information.\n"},
      // A read that fails is not the end of the file.
      {{"-M", "/proc/self/mem", "t.fwlog"},
       "/proc/self/mem: Input/output error\njrnscan: bad arguments\nTry 'jrnscan --help' for more "
       "information.\n"},
      // The echo of a bad line escapes what a terminal would act on.
      {{"--escape=always", "-M", "esc.map", "t.fwlog"},
       "bad format: 7 3 OR\\x1b[2JDERS\n\njrnscan: bad arguments\nTry 'jrnscan --help' for more "
       "information.\n"},
  };
  for (const auto& c : cases) {
    golden::result r = golden::run(c.args);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 2);
  }
}
