// The input layer: compressed logs, tar archives of them and the reader
// thread. A generated log compressed with every compression and packed in
// tars comes back byte for byte under the right names; damage, cuts and the
// size bound end a member after the bytes before them; the threaded source
// behaves exactly as a source over memory under random reads, views, skips
// and push-backs, hands its hooks to the scanning thread and goes away at
// once while its reader waits.
#include "io/archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "golden.h"
#include "io/source.h"
#include "logbuild/log_builder.h"

namespace {

using jrn::byte_source;
using jrn::input_kind;
using jrn::input_operand;

std::string path_of(const std::string& name) { return golden::work_dir() + "/" + name; }

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void run_shell(const std::string& command) {
  const std::string line = "cd '" + golden::work_dir() + "' && " + command;
  ASSERT_EQ(std::system(line.c_str()), 0) << command;
}

// Two logs in one stream, about 1.7 MB: records and page images of noise
// (so that the compressed forms are large enough for damage in their
// middle to lie between blocks).
const std::string& sample_log() {
  static const std::string log = [] {
    std::mt19937 rng(5);
    logbuild::log_builder b;
    for (int i = 0; i < 100; ++i) {
      std::string noise(8192, '\0');
      for (char& c : noise) c = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + i % 3);
      b.fixrec(logbuild::PUT, 100 + i, 7, i, noise.substr(0, 300)).page(noise);
    }
    b.end('C');
    return b.str() + b.str();
  }();
  return log;
}

struct member {
  std::string name;
  std::string bytes;
  int64_t size = -2;
  int error = 0;
  std::string failure;
};

// Reads every member of the operand at path to its end.
std::vector<member> read_members(const std::string& path, jrn::input_options o = {},
                                 std::string* trouble = nullptr) {
  std::vector<member> out;
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << path;
  auto in = input_operand::open(fd, "op", o);
  EXPECT_TRUE(in != nullptr);
  while (in && in->next()) {
    member m;
    m.name = in->name();
    byte_source& s = in->source();
    m.size = s.size();
    char buf[70000];
    size_t n;
    while ((n = s.read(buf, sizeof buf)) > 0) m.bytes.append(buf, n);
    EXPECT_EQ(s.position(), static_cast<int64_t>(m.bytes.size()));
    m.error = s.error();
    if (s.failure_text()) m.failure = s.failure_text();
    out.push_back(m);
  }
  if (trouble && in) *trouble = in->trouble();
  in.reset();
  ::close(fd);
  return out;
}

// How many first bytes a and b have in common.
size_t common(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

// Flips 16 bytes at the given fraction of the file.
void damage(const std::string& name, double where) {
  std::string b = slurp(path_of(name));
  const size_t at = static_cast<size_t>(static_cast<double>(b.size()) * where);
  for (size_t i = at; i < at + 16 && i < b.size(); ++i) b[i] = static_cast<char>(b[i] ^ 0x5a);
  golden::temp_file(b, name);
}

const char* const compressions[][2] = {
    {"gzip", "gzip -c"}, {"zstd", "zstd -q -c"}, {"xz", "xz -c"}, {"bzip2", "bzip2 -c"}};

TEST(ArchiveTest, EveryCompressionAndTarGiveThePlainBytesUnderTheirNames) {
  const std::string& log = sample_log();
  golden::temp_file(log, "a.fwlog");
  for (bool threaded : {true, false}) {
    jrn::input_options o;
    o.read_ahead.threaded = threaded;
    // The log as it is, and each compression of it: one member named by the
    // operand, told by its bytes (the names say nothing).
    auto plain = read_members(path_of("a.fwlog"), o);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].name, "op");
    EXPECT_TRUE(plain[0].bytes == log);
    EXPECT_EQ(plain[0].size, static_cast<int64_t>(log.size()));
    for (auto& c : compressions) {
      run_shell(std::string(c[1]) + " a.fwlog > a.data && cat a.data a.data > twice.data");
      auto got = read_members(path_of("a.data"), o);
      ASSERT_EQ(got.size(), 1u) << c[0];
      EXPECT_EQ(got[0].name, "op");
      EXPECT_TRUE(got[0].bytes == log) << c[0];
      EXPECT_EQ(got[0].error, 0) << c[0] << ": " << got[0].failure;
      EXPECT_EQ(got[0].size, -1);
      // Streams written one behind the other are read as one.
      got = read_members(path_of("twice.data"), o);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_TRUE(got[0].bytes == log + log) << c[0];
    }
  }
  // A tar of members compressed each its own way (and a directory and a
  // link, which hold no log), plain and compressed itself.
  run_shell(
      "rm -rf t && mkdir -p t/sub t/empty && cp a.fwlog t/a.fwlog && gzip -c a.fwlog > "
      "t/sub/b.fwlog.gz && zstd -q -c a.fwlog > t/c && head -c 1000 a.fwlog > t/d.fwlog && "
      "ln -s a.fwlog t/link && tar cf t.tar -C t a.fwlog sub empty c link d.fwlog && "
      "xz -c t.tar > t.tar.xz && gzip -c t.tar > t.tgz");
  for (const char* tar : {"t.tar", "t.tar.xz", "t.tgz"}) {
    const int fd = ::open(path_of(tar).c_str(), O_RDONLY);
    auto in = input_operand::open(fd, "op", {});
    ASSERT_TRUE(in != nullptr);
    auto got = read_members(path_of(tar));
    ASSERT_EQ(got.size(), 4u) << tar;
    EXPECT_EQ(got[0].name, "op:a.fwlog");
    EXPECT_EQ(got[1].name, "op:sub/b.fwlog.gz");
    EXPECT_EQ(got[2].name, "op:c");
    EXPECT_EQ(got[3].name, "op:d.fwlog");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(got[i].bytes == log) << tar << " " << got[i].name;
    EXPECT_EQ(got[3].bytes, log.substr(0, 1000));
    EXPECT_EQ(got[0].size, static_cast<int64_t>(log.size()));  // from the header
    EXPECT_EQ(got[1].size, -1);
    ASSERT_TRUE(in->next());
    EXPECT_EQ(in->kind(), input_kind::tar);
    ::close(fd);
  }
}

TEST(ArchiveTest, DamageCutsAndTheBoundEndAMemberAfterTheBytesBeforeThem) {
  const std::string& log = sample_log();
  golden::temp_file(log, "a.fwlog");
  // A damaged stream fails with what is wrong, behind the good bytes (and
  // what was decoded from the damage before its check found it).
  for (auto& c : compressions) {
    run_shell(std::string(c[1]) + " a.fwlog > bad.data");
    damage("bad.data", std::string(c[0]) == "bzip2" ? 0.8 : 0.5);
    auto got = read_members(path_of("bad.data"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].error, 0) << c[0];
    EXPECT_NE(got[0].failure.find(std::string("damaged ") + c[0] + " data"), std::string::npos)
        << got[0].failure;
    EXPECT_GT(common(got[0].bytes, log), log.size() / 5) << c[0];
  }
  // A cut stream says so.
  run_shell("zstd -q -c a.fwlog | head -c 100000 > cut.zst");
  auto cut = read_members(path_of("cut.zst"));
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_NE(cut[0].failure.find("the zstd data is cut short"), std::string::npos);
  EXPECT_TRUE(log.compare(0, cut[0].bytes.size(), cut[0].bytes) == 0);

  // A damaged member of a tar fails alone: the members behind it follow.
  run_shell(
      "rm -rf t && mkdir t && cp a.fwlog t/1 && gzip -c a.fwlog > t/2 && cp a.fwlog t/3 && "
      "cp t/2 bad.data");
  damage("bad.data", 0.5);
  run_shell("cp bad.data t/2 && tar cf t.tar -C t 1 2 3 && zstd -q -c t.tar > t.tar.zst");
  std::string trouble;
  auto got = read_members(path_of("t.tar.zst"), {}, &trouble);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_TRUE(got[0].bytes == log && got[2].bytes == log);
  EXPECT_NE(got[1].failure.find("damaged gzip data"), std::string::npos) << got[1].failure;
  EXPECT_GT(common(got[1].bytes, log), log.size() / 5);
  EXPECT_EQ(trouble, "");

  // A tar cut inside its second member: the first whole, the second up to
  // the cut with the archive's word for it, and no more members.
  const std::string tar = slurp(path_of("t.tar"));
  golden::temp_file(tar.substr(0, log.size() + 5000), "cut.tar");
  run_shell("gzip -c cut.tar > cut.tgz");
  for (const char* name : {"cut.tar", "cut.tgz"}) {
    got = read_members(path_of(name), {}, &trouble);
    ASSERT_EQ(got.size(), 2u) << name;
    EXPECT_TRUE(got[0].bytes == log);
    EXPECT_NE(got[1].error, 0);
    EXPECT_NE(got[1].failure.find("read error at offset"), std::string::npos) << got[1].failure;
    EXPECT_EQ(trouble, "") << name;
  }

  // The bound: a member of exactly that many bytes is whole; one byte more
  // fails there, after the bytes up to the bound.
  run_shell("gzip -c a.fwlog > a.gz && tar cf b.tar a.fwlog");
  for (const char* name : {"a.gz", "b.tar"}) {
    jrn::input_options o;
    o.max_member_size = static_cast<int64_t>(log.size());
    got = read_members(path_of(name), o);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].error, 0) << got[0].failure;
    o.max_member_size = static_cast<int64_t>(log.size()) - 1;
    got = read_members(path_of(name), o);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].error, EFBIG);
    EXPECT_EQ(got[0].failure, "decompressed size exceeds the bound of " +
                                  std::to_string(log.size() - 1) + " bytes");
    EXPECT_TRUE(got[0].bytes == log.substr(0, log.size() - 1));
  }
}

// A producer of a known input in random short pieces, failing at its end
// when asked to.
class pieces : public jrn::block_producer {
 public:
  pieces(const std::string& data, uint32_t seed, bool fail)
      : data_(data), rng_(seed), fail_(fail) {}
  ssize_t produce(uint8_t* dst, size_t cap) override {
    if (at_ == data_.size()) {
      if (!fail_) return 0;
      errno = EIO;
      return -1;
    }
    size_t n = 1 + rng_() % cap;
    if (n > data_.size() - at_) n = data_.size() - at_;
    std::memcpy(dst, data_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  const char* failure_text() const override { return fail_ ? "the producer gave up" : nullptr; }

 private:
  const std::string& data_;
  size_t at_ = 0;
  std::mt19937 rng_;
  bool fail_;
};

TEST(ReadAheadTest, ThreadedSourceActsAsMemoryUnderRandomUse) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string data(rng() % 20000, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    jrn::read_ahead_settings how;
    how.block_bytes = 1 + rng() % 3000;
    how.blocks = 2 + rng() % 3;
    how.threaded = round % 5 != 0;
    const bool from_file = round % 7 == 0;
    const bool fail = round % 3 == 0 && !from_file;
    golden::temp_file(data, "r.data");
    const int fd = from_file ? ::open(path_of("r.data").c_str(), O_RDONLY) : -1;
    std::unique_ptr<byte_source> s;
    if (from_file)
      s = std::make_unique<jrn::fd_source>(fd, nullptr, 0, how);
    else
      s = std::make_unique<jrn::produced_source>(std::make_unique<pieces>(data, rng(), fail), how);
    jrn::memory_source m(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    const std::thread::id scanner = std::this_thread::get_id();
    struct seen {
      int calls = 0;
      int64_t at = -1;
      bool on_scanner = false;
      std::thread::id scanner;
    } hook;
    hook.scanner = scanner;
    s->on_error(
        [](void* ctx, int, int64_t at) {
          auto& h = *static_cast<seen*>(ctx);
          ++h.calls;
          h.at = at;
          h.on_scanner = std::this_thread::get_id() == h.scanner;
        },
        &hook);
    const int steps = static_cast<int>(rng() % 60);  // some rounds end early
    for (int step = 0; step < steps; ++step) {
      const size_t n = rng() % 4000;
      std::string a(n, '\0'), b(n, '\0');
      switch (rng() % 4) {
        case 0: {
          const size_t got = s->read(a.data(), n);
          ASSERT_EQ(got, m.read(b.data(), n));
          ASSERT_EQ(a.substr(0, got), b.substr(0, got));
          if (got > 0 && rng() % 2) {
            s->unget(static_cast<uint8_t>(a[got - 1]));
            m.unget(static_cast<uint8_t>(b[got - 1]));
          }
          break;
        }
        case 1: {
          const uint8_t* p = s->view(n);
          const uint8_t* q = m.view(n);
          ASSERT_EQ(p == nullptr, q == nullptr);
          if (p) {
            ASSERT_EQ(std::memcmp(p, q, n), 0);
          }
          break;
        }
        case 2: ASSERT_EQ(s->skip(n), m.skip(n)); break;
        case 3: {
          uint8_t x, y;
          const size_t got = s->read(&x, 1);
          ASSERT_EQ(got, m.read(&y, 1));
          if (got == 1) {
            ASSERT_EQ(x, y);
            s->unget(x);
            m.unget(y);
          }
          break;
        }
      }
      ASSERT_EQ(s->position(), m.position()) << "round " << round << " step " << step;
      ASSERT_EQ(s->at_end(), m.at_end());
    }
    if (s->at_end() && fail) {
      EXPECT_EQ(s->error(), EIO);
      EXPECT_STREQ(s->failure_text(), "the producer gave up");
      EXPECT_EQ(hook.calls, 1);
      EXPECT_EQ(hook.at, static_cast<int64_t>(data.size()));
      EXPECT_TRUE(hook.on_scanner);
    } else if (!fail) {
      EXPECT_EQ(s->error(), 0);
      EXPECT_EQ(hook.calls, 0);
    }
    s.reset();  // mid-input, the reader thread stops
    if (fd >= 0) ::close(fd);
  }
}

TEST(ReadAheadTest, PipesWaitAfterTheWaitHookAndSourcesGoAwayWhileTheyWait) {
  // A read from a pipe with nothing ready calls the wait hook first, on
  // the scanning thread; the hook here writes the rest.
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  ASSERT_EQ(write(p[1], "0123456789", 10), 10);
  struct ctx {
    int fd;
    int calls = 0;
    std::thread::id thread;
  } c{p[1], 0, {}};
  {
    jrn::fd_source s(p[0]);
    s.on_wait(
        [](void* v) {
          auto& c = *static_cast<ctx*>(v);
          c.thread = std::this_thread::get_id();
          if (c.calls++ == 0) {
            EXPECT_EQ(write(c.fd, "abcdefghij", 10), 10);
            ::close(c.fd);
          }
        },
        &c);
    // Without the hook nobody writes: a watchdog ends the wait.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 1000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (c.calls == 0) ::close(p[1]);
    });
    char buf[30];
    const size_t got = s.read(buf, sizeof buf);
    done = true;
    watchdog.join();
    EXPECT_EQ(std::string(buf, got), "0123456789abcdefghij");
    EXPECT_GE(c.calls, 1);
    EXPECT_EQ(c.thread, std::this_thread::get_id());
  }
  ::close(p[0]);

  // A pipe that stays open and silent: the source, a compressed operand and
  // its member go away at once, with their readers waiting.
  ASSERT_EQ(pipe(p), 0);
  golden::temp_file(sample_log(), "a.fwlog");
  run_shell("zstd -q -c a.fwlog | head -c 50000 > part.zst");
  const std::string part = slurp(path_of("part.zst"));
  ASSERT_EQ(write(p[1], part.data(), part.size()), static_cast<ssize_t>(part.size()));
  // The readers are destroyed on a thread of their own; should they hang,
  // the pipe is closed to free them and the test fails.
  std::atomic<bool> gone{false};
  std::thread user([&] {
    {
      auto in = input_operand::open(p[0], "-", {});
      ASSERT_TRUE(in != nullptr);
      EXPECT_EQ(in->kind(), input_kind::compressed);
      ASSERT_TRUE(in->next());
      char buf[1000];
      EXPECT_EQ(in->source().read(buf, sizeof buf), sizeof buf);
      EXPECT_EQ(std::string(buf, sizeof buf), sample_log().substr(0, sizeof buf));
    }
    { jrn::fd_source s(p[0]); }
    gone = true;
  });
  for (int i = 0; i < 500 && !gone; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(gone) << "a reader waited on";
  ::close(p[1]);
  user.join();
  ::close(p[0]);
}

}  // namespace
