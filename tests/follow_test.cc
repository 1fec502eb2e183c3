// --follow: a log read while it is still being written, in pieces cut in
// the middle of tags; the run's end at the end tag, by a signal, and when
// the file shrinks or is replaced; the report let out before a read from a
// pipe waits; a directory followed from file to file as the server
// switches files, and where a followed file's log continues.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

int64_t now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pause_ms(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

std::string path_of(const std::string& name) { return golden::work_dir() + "/" + name; }

void append(const std::string& name, const std::string& bytes) {
  std::ofstream f(path_of(name), std::ios::binary | std::ios::app);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// jrnscan running in the scratch directory, read as it writes.
class running {
 public:
  // stdin_pipe: standard input is a pipe the test writes to (feed, close_input).
  explicit running(const std::vector<std::string>& args, bool stdin_pipe = false) {
    int in[2] = {-1, -1}, out[2], err[2];
    if (stdin_pipe && pipe(in) != 0) ADD_FAILURE() << "pipe";
    if (pipe(out) != 0 || pipe(err) != 0) ADD_FAILURE() << "pipe";
    const std::string dir = golden::work_dir();
    pid_ = fork();
    if (pid_ == 0) {
      if (stdin_pipe) dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        if (fd >= 0) close(fd);
      std::vector<char*> argv{const_cast<char*>("jrnscan")};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      if (chdir(dir.c_str()) != 0) _exit(126);
      setenv("TZ", "UTC", 1);
      execv(golden::binary(), argv.data());
      _exit(127);
    }
    if (stdin_pipe) {
      close(in[0]);
      in_ = in[1];
    }
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~running() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_fd_, err_fd_})
      if (fd >= 0) close(fd);
  }

  void feed(const std::string& bytes) {
    ASSERT_EQ(write(in_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void close_input() {
    close(in_);
    in_ = -1;
  }
  void signal_it(int sig) { kill(pid_, sig); }

  // Collects output until done() holds or ms pass; whether it held.
  bool read_until(const std::function<bool()>& done, int ms) {
    const int64_t deadline = now_ms() + ms;
    for (;;) {
      if (done()) return true;
      const int64_t left = deadline - now_ms();
      if (left <= 0 || (out_fd_ < 0 && err_fd_ < 0)) return done();
      struct pollfd p[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
      if (poll(p, 2, static_cast<int>(left)) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!p[i].revents) continue;
        char buf[65536];
        const ssize_t got = read(p[i].fd, buf, sizeof buf);
        if (got <= 0) {
          close(p[i].fd);
          (i == 0 ? out_fd_ : err_fd_) = -1;
        } else {
          (i == 0 ? out : err).append(buf, static_cast<size_t>(got));
        }
      }
    }
  }
  bool shows(const std::string& text, int ms = 3000) {
    return read_until([&] { return out.find(text) != std::string::npos; }, ms);
  }
  bool still_running() {
    if (status_ >= 0) return false;
    int st;
    if (waitpid(pid_, &st, WNOHANG) == 0) return true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  // The exit status once both streams closed; -1 if the run did not end
  // within ms (it is killed then).
  int finish(int ms = 4000) {
    read_until([&] { return out_fd_ < 0 && err_fd_ < 0; }, ms);
    const int64_t deadline = now_ms() + ms;
    while (still_running()) {
      if (now_ms() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        status_ = 999;
        return -1;
      }
      pause_ms(10);
    }
    return status_;
  }

  std::string out, err;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  int in_ = -1, out_fd_ = -1, err_fd_ = -1;
};

// Six tags of several kinds (seq 1 to 6, then the end tag) and where each
// tag starts.
struct sample {
  std::string bytes;
  std::vector<size_t> starts;
};
sample six_tags(char end_letter = 'F', const header_fields& h = header_fields()) {
  log_builder b(h);
  sample s;
  auto mark = [&] { s.starts.push_back(b.str().size()); };
  b.at(1, 1700000000);
  b.context_db(7, "shop");
  mark();
  b.fixrec(logbuild::PUT, 17, 7, 3, "first");
  mark();
  b.page(logbuild::page_image(1));
  mark();
  b.before_image(18, 1, 7, 4, logbuild::UPDATE, "old data");
  mark();
  b.fixrec(logbuild::UPDATE, 18, 7, 4, "new data");
  mark();
  b.cluster(7, 40, {logbuild::page_image(2), logbuild::page_image(3)});
  mark();
  b.end(end_letter);
  s.bytes = b.str();
  return s;
}

header_fields series_file(uint32_t volume_set, uint32_t generation, int32_t file_sequence) {
  header_fields h;
  h.volume_set_id = volume_set;
  h.volume_generation = generation;
  h.file_sequence = file_sequence;
  return h;
}

// Sets a file's modification time to seconds before now.
void age(const std::string& name, int seconds) {
  struct utimbuf t;
  t.actime = t.modtime = time(nullptr) - seconds;
  ASSERT_EQ(utime(path_of(name).c_str(), &t), 0);
}

// The report of the whole file read at once: what following must add up to.
golden::result at_once(const std::string& name) { return golden::run({"-a", name}); }

}  // namespace

TEST(Follow, ReadsAGrowingLogPieceByPieceAndEndsAtTheEndTag) {
  const sample s = six_tags();
  const std::string name = "grow.fwlog";
  // The file starts with part of the header only.
  golden::temp_file(s.bytes.substr(0, 10), name);
  running r({"-a", "-f", name});
  // Cuts: inside the header, in the middle of the FIXREC, the page image,
  // the before-image header, and both cluster images.
  const size_t cuts[] = {30,
                         s.starts[1] - 5,
                         s.starts[1] + 4000,
                         s.starts[2] + 12,
                         s.starts[4] + 100,
                         s.starts[4] + 9000};
  size_t written = 10;
  for (size_t cut : cuts) {
    ASSERT_GT(cut, written);
    append(name, s.bytes.substr(written, cut - written));
    written = cut;
    pause_ms(60);
    EXPECT_TRUE(r.still_running()) << "ended before the end tag, at " << written;
    // What is complete is shown while the writer is still writing.
    if (written > s.starts[1]) {
      EXPECT_TRUE(r.shows("recno = 3")) << r.out;
    }
    if (written > s.starts[3]) {
      EXPECT_TRUE(r.shows("opcode: UPDATE (1)")) << r.out;
    }
  }
  append(name, s.bytes.substr(written));
  EXPECT_EQ(r.finish(), 0);
  const golden::result whole = at_once(name);
  EXPECT_EQ(r.out, whole.out);
  EXPECT_EQ(r.err, "");
}

TEST(Follow, GoesOnIntoALogThatStartsBehindTheEndTag) {
  const sample first = six_tags('C');
  log_builder second;
  second.at(100, 1700000100).fixrec(logbuild::DELETE, 30, 7, 9).end('F');
  const std::string name = "two.fwlog";
  golden::temp_file(first.bytes + second.str().substr(0, 20), name);
  running r({"-a", "-f", name});
  EXPECT_TRUE(r.shows("EOF_CONT"));
  pause_ms(100);
  EXPECT_TRUE(r.still_running());
  append(name, second.str().substr(20));
  EXPECT_EQ(r.finish(), 0);
  EXPECT_EQ(r.out, at_once(name).out);
  EXPECT_EQ(r.err, "");

  // Nothing behind the end tag yet: a further log appended shortly after
  // is still read.
  const std::string late = "late.fwlog";
  golden::temp_file(first.bytes, late);
  running l({"-a", "-f", late});
  EXPECT_TRUE(l.shows("EOF_CONT"));
  pause_ms(200);
  append(late, second.str());
  EXPECT_EQ(l.finish(), 0);
  EXPECT_EQ(l.out, at_once(late).out);
  EXPECT_EQ(l.err, "");
}

TEST(Follow, BytesBehindTheEndTagAreCountedWithoutWaiting) {
  const std::string name = "trail.fwlog";
  golden::temp_file(six_tags().bytes + "junk", name);
  running r({"-a", "-f", name});
  EXPECT_EQ(r.finish(), 0);
  EXPECT_EQ(r.err, "trail.fwlog: 4 bytes after the end of the log at offset " +
                       std::to_string(six_tags().bytes.size()) + " are not a log; ignored\n");
}

TEST(Follow, ASignalEndsTheRunWithTheReportFlushed) {
  const sample s = six_tags();
  const std::string name = "stop.fwlog";
  for (int sig : {SIGINT, SIGTERM}) {
    // Waiting between tags: the run ends at once, without a word about a
    // cut log.
    golden::temp_file(s.bytes.substr(0, s.starts[3]), name);
    running r({"-a", "-f", name});
    ASSERT_TRUE(r.shows("opcode: UPDATE (1)")) << r.out;
    pause_ms(50);
    const int64_t sent = now_ms();
    r.signal_it(sig);
    EXPECT_EQ(r.finish(), 0) << sig;
    EXPECT_LT(now_ms() - sent, 900) << "the stop between tags waited";
    const golden::result part = at_once(name);
    EXPECT_EQ(r.out, part.out);
    EXPECT_EQ(part.err, "Unexpected EOF reading tag opcode\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(Follow, ASignalInsideATagWaitsBrieflyForItsRest) {
  const sample s = six_tags();
  const std::string name = "grace.fwlog";
  // Cut in the middle of the page image; the rest of it and the next tag
  // come after the signal: the page is shown whole, and nothing behind it.
  golden::temp_file(s.bytes.substr(0, s.starts[1] + 3000), name);
  running r({"-a", "-f", name});
  ASSERT_TRUE(r.shows("recno = 3"));
  pause_ms(50);
  r.signal_it(SIGINT);
  pause_ms(100);
  append(name, s.bytes.substr(s.starts[1] + 3000, s.starts[2] + 30 - (s.starts[1] + 3000)));
  EXPECT_EQ(r.finish(), 0);
  golden::temp_file(s.bytes.substr(0, s.starts[2]), "grace-part.fwlog");
  std::string expected = at_once("grace-part.fwlog").out;
  expected.replace(expected.find("grace-part"), 10, "grace");
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
}

TEST(Follow, AFileThatShrinksOrIsReplacedEndsTheRun) {
  const sample s = six_tags();
  {
    const std::string name = "shrink.fwlog";
    golden::temp_file(s.bytes.substr(0, s.starts[2]), name);
    running r({"-a", "-f", name});
    ASSERT_TRUE(r.shows("recno = 3"));
    ASSERT_EQ(truncate(path_of(name).c_str(), 100), 0);
    EXPECT_EQ(r.finish(), 1);
    EXPECT_EQ(r.err, "shrink.fwlog: the file shrank while it was followed\n");
  }
  {
    const std::string name = "replace.fwlog";
    golden::temp_file(s.bytes.substr(0, s.starts[2]), name);
    running r({"-a", "-f", name});
    ASSERT_TRUE(r.shows("recno = 3"));
    // A longer file under the same name: the followed one never grows.
    golden::temp_file(s.bytes, "replace.new");
    ASSERT_EQ(rename(path_of("replace.new").c_str(), path_of(name).c_str()), 0);
    EXPECT_EQ(r.finish(), 1);
    EXPECT_EQ(r.err, "replace.fwlog: the file was replaced while it was followed\n");
  }
}

TEST(Follow, APipeIsReadAsItComesAndTheReportIsFlushedBeforeEachWait) {
  const sample s = six_tags();
  // Without --follow too: a tag is seen as soon as it is whole, before the
  // writer closes the pipe.
  for (bool follow : {false, true}) {
    std::vector<std::string> args = {"-a", "-"};
    if (follow) args.insert(args.begin(), "-f");
    running r(args, true);
    r.feed(s.bytes.substr(0, s.starts[1] + 100));
    EXPECT_TRUE(r.shows("recno = 3")) << follow;
    r.feed(s.bytes.substr(s.starts[1] + 100, s.starts[4] - s.starts[1] - 100));
    EXPECT_TRUE(r.shows("opcode = UPDATE (1)")) << follow;
    EXPECT_TRUE(r.still_running());
    if (follow) {
      // A pipe in follow mode stops on a signal, cleanly.
      r.signal_it(SIGINT);
      EXPECT_EQ(r.finish(), 0);
      EXPECT_EQ(r.err, "");
      continue;
    }
    r.feed(s.bytes.substr(s.starts[4]));
    r.close_input();
    EXPECT_EQ(r.finish(), 0);
    EXPECT_EQ(r.out, golden::run({"-a", "-"}, s.bytes).out);
  }
}

TEST(Follow, ADirectoryIsFollowedIntoTheFileThatContinuesItsLog) {
  // Series 0x1234 generation 2 is the one written last; another series
  // has a file with the sequence that comes next, and a file that is no
  // log lies beside them.
  ASSERT_EQ(mkdir(path_of("live").c_str(), 0700), 0);
  golden::temp_file(six_tags('C', series_file(0x1234, 2, 5)).bytes, "live/000005.fwlog");
  golden::temp_file(six_tags('F', series_file(0x77, 1, 7)).bytes, "live/other.fwlog");
  golden::temp_file("not a log", "live/notes.txt");
  age("live/000005.fwlog", 100);
  age("live/other.fwlog", 50);
  const sample six = six_tags('C', series_file(0x1234, 2, 6));
  golden::temp_file(six.bytes.substr(0, six.starts[2]), "live/000006.fwlog");

  running r({"-a", "-f", "live"});
  ASSERT_TRUE(r.shows("recno = 3")) << r.out << r.err;
  append("live/000006.fwlog", six.bytes.substr(six.starts[2]));
  EXPECT_TRUE(r.shows("EOF_CONT"));
  pause_ms(400);
  EXPECT_TRUE(r.still_running()) << "ended at EOF_CONT";
  // The server's next file: its header comes in two writes.
  const sample seven = six_tags('F', series_file(0x1234, 2, 7));
  golden::temp_file(seven.bytes.substr(0, 20), "live/000007.fwlog");
  pause_ms(300);
  EXPECT_TRUE(r.still_running());
  append("live/000007.fwlog", seven.bytes.substr(20));
  EXPECT_EQ(r.finish(), 0);
  EXPECT_EQ(r.out, golden::run({"-a", "live/000006.fwlog", "live/000007.fwlog"}).out);
  EXPECT_EQ(r.err, "");
}

TEST(Follow, ADirectoryWithoutALogIsWaitedOnAndASignalEndsTheWaitForTheNextFile) {
  ASSERT_EQ(mkdir(path_of("empty").c_str(), 0700), 0);
  running r({"-a", "-f", "empty/"});
  pause_ms(300);
  EXPECT_TRUE(r.still_running());
  golden::temp_file(six_tags('C', series_file(0x99, 1, 1)).bytes, "empty/a.fwlog");
  ASSERT_TRUE(r.shows("EOF_CONT")) << r.err;
  pause_ms(400);
  EXPECT_TRUE(r.still_running()) << "ended at EOF_CONT";
  const int64_t sent = now_ms();
  r.signal_it(SIGTERM);
  EXPECT_EQ(r.finish(), 0);
  EXPECT_LT(now_ms() - sent, 900);
  EXPECT_EQ(r.out, at_once("empty/a.fwlog").out);
  EXPECT_EQ(r.err, "");
}

TEST(Follow, AFollowedFileThatEndsWithEofContSaysWhereItsLogContinues) {
  ASSERT_EQ(mkdir(path_of("cont").c_str(), 0700), 0);
  golden::temp_file(six_tags('C', series_file(0x1234, 2, 7)).bytes, "cont/000007.fwlog");
  golden::temp_file(six_tags('F', series_file(0x1234, 2, 8)).bytes, "cont/000008.fwlog");
  // The next file is there: said at once.
  const int64_t started = now_ms();
  running r({"-a", "-f", "cont/000007.fwlog"});
  EXPECT_EQ(r.finish(), 0);
  EXPECT_LT(now_ms() - started, 900);
  EXPECT_EQ(r.out, at_once("cont/000007.fwlog").out);
  EXPECT_EQ(r.err,
            "cont/000007.fwlog: the log continues in file sequence 8 of volume set 0x1234 "
            "generation 2: cont/000008.fwlog\n");

  // Not there: said after the wait for a further log in the same file.
  golden::temp_file(six_tags('C', series_file(0x4321, 5, 41)).bytes, "alone.fwlog");
  running a({"-a", "-f", "alone.fwlog"});
  EXPECT_EQ(a.finish(), 0);
  EXPECT_EQ(a.err,
            "alone.fwlog: the log continues in file sequence 42 of volume set 0x4321 "
            "generation 5: not in .\n");
}
