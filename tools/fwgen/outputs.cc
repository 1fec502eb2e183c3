#include "fwgen/outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <vector>

namespace fwgen {

using logbuild::compression;
using logbuild::compressor;

namespace {

std::string cannot(const char* what, const std::string& path, int err) {
  return std::string("cannot ") + what + " " + path + ": " + std::strerror(err);
}

// A file (or standard output) that the bytes are written to through a
// compressor.
class compressed_file {
 public:
  explicit compressed_file(compression c) : c_(c) {}
  ~compressed_file() {
    if (f_ && f_ != stdout) std::fclose(f_);
  }
  // "-" is standard output.
  bool open(const std::string& path, std::string* why) {
    shown_ = path == "-" ? "standard output" : path;
    f_ = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (!f_) {
      *why = cannot("write", shown_, errno);
      return false;
    }
    z_ = compressor::make(c_, [this](const char* p, size_t n) {
      if (std::fwrite(p, 1, n, f_) == n) return true;
      sink_error_ = errno ? errno : EIO;
      return false;
    });
    return true;
  }
  bool write(const char* p, size_t n, std::string* why) { return z_->write(p, n) || failed(why); }
  bool close(std::string* why) {
    if (!z_->finish()) return failed(why);
    FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    bool ok = std::fflush(f) == 0;
    int err = errno;
    if (f != stdout && std::fclose(f) != 0 && ok) {
      ok = false;
      err = errno;
    }
    if (!ok) *why = cannot("write", shown_, err ? err : EIO);
    return ok;
  }

 private:
  // The system's word when the file could not take the bytes, else the
  // compression's.
  bool failed(std::string* why) {
    if (sink_error_ || z_->failure().empty())
      *why = cannot("write", shown_, sink_error_ ? sink_error_ : EIO);
    else
      *why = "cannot write " + shown_ + ": " + z_->failure();
    return false;
  }
  compression c_;
  std::string shown_;
  FILE* f_ = nullptr;
  std::unique_ptr<compressor> z_;
  int sink_error_ = 0;
};

class stream_out : public output {
 public:
  explicit stream_out(compression c) : file_(c) {}
  bool open(const std::string& path) { return file_.open(path, &failure_); }
  bool write(const std::string& piece) override {
    return file_.write(piece.data(), piece.size(), &failure_);
  }
  bool log_done(const log_info&) override { return true; }
  bool close() override { return file_.close(&failure_); }

 private:
  compressed_file file_;
};

class series_out : public output {
 public:
  series_out(const std::string& dir, int32_t first, compression c, int32_t drop)
      : dir_(dir), next_(first), c_(c), drop_(drop) {}
  bool open() {
    if (::mkdir(dir_.c_str(), 0777) == 0) return true;
    int err = errno;
    if (err == EEXIST) {
      struct stat st;
      if (::stat(dir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
      err = ENOTDIR;
    }
    return fail(cannot("create directory", dir_, err));
  }
  bool write(const std::string& piece) override {
    if (!file_) {
      // The dropped log's file is not written: the next log's comes.
      if (next_ == drop_) ++next_;
      file_ = std::make_unique<compressed_file>(c_);
      const std::string path = dir_ + "/" + log_file_name(next_) + logbuild::compression_suffix(c_);
      if (!file_->open(path, &failure_)) return false;
    }
    return file_->write(piece.data(), piece.size(), &failure_);
  }
  bool log_done(const log_info& log) override {
    if (!file_ || log.file_sequence != next_) return fail("a log was not written whole");
    const bool ok = file_->close(&failure_);
    file_.reset();
    ++next_;
    return ok;
  }
  bool close() override { return !file_ || fail("the last log was not written whole"); }

 private:
  std::string dir_;
  int32_t next_;
  compression c_;
  int32_t drop_;
  std::unique_ptr<compressed_file> file_;
};

// Passes every log on but the one of file sequence drop.
class dropping_out : public output {
 public:
  dropping_out(std::unique_ptr<output> inner, int32_t first, int32_t drop)
      : inner_(std::move(inner)), next_(first), drop_(drop) {
    failure_ = inner_->failure();
  }
  bool write(const std::string& piece) override {
    return next_ == drop_ || keep(inner_->write(piece));
  }
  bool log_done(const log_info& log) override {
    ++next_;
    return log.file_sequence == drop_ || keep(inner_->log_done(log));
  }
  bool close() override { return keep(inner_->close()); }

 private:
  bool keep(bool ok) {
    if (!ok) fail(inner_->failure());
    return ok;
  }
  std::unique_ptr<output> inner_;
  int32_t next_, drop_;
};

// Each log goes to a scratch file first: a tar member's size comes before
// its bytes, and a log of many GiB is not held in memory.
class tar_out : public output {
 public:
  explicit tar_out(compression c)
      : archive_(c),
        tar_([this](const char* p, size_t n) { return archive_.write(p, n, &failure_); },
             compression::none) {}
  ~tar_out() override {
    if (scratch_) std::fclose(scratch_);
  }
  bool open(const std::string& path) {
    if (!archive_.open(path, &failure_)) return false;
    // The scratch file lies next to the archive (or in TMPDIR when the
    // archive goes to standard output), removed from the directory at once.
    std::string where = path == "-" ? "" : path.substr(0, path.rfind('/') + 1);
    if (path == "-") {
      const char* t = std::getenv("TMPDIR");
      where = std::string(t && *t ? t : "/tmp") + "/";
    }
    std::string name = where + ".fwgen-XXXXXX";
    const int fd = ::mkstemp(&name[0]);
    if (fd < 0) return fail(cannot("create", name, errno));
    ::unlink(name.c_str());
    scratch_ = ::fdopen(fd, "w+b");
    if (!scratch_) {
      ::close(fd);
      return fail(cannot("create", name, errno));
    }
    scratch_name_ = name;
    return true;
  }
  bool write(const std::string& piece) override {
    if (std::fwrite(piece.data(), 1, piece.size(), scratch_) != piece.size())
      return fail(cannot("write", scratch_name_, errno));
    return true;
  }
  bool log_done(const log_info& log) override {
    char day[16];
    const time_t t = log.first_time;
    struct tm tm;
    gmtime_r(&t, &tm);
    std::strftime(day, sizeof day, "%Y-%m-%d", &tm);
    if (days_.insert(day).second && !tar_.directory(std::string(day) + "/", log.first_time))
      return tar_failed();
    const off_t size = ::ftello(scratch_);
    if (size < 0 || std::fflush(scratch_) != 0 || ::fseeko(scratch_, 0, SEEK_SET) != 0)
      return fail(cannot("read", scratch_name_, errno));
    if (!tar_.begin_file(std::string(day) + "/" + log_file_name(log.file_sequence),
                         static_cast<uint64_t>(size), log.last_time))
      return tar_failed();
    std::vector<char> buf(1 << 20);
    for (off_t left = size; left > 0;) {
      const size_t want =
          left < static_cast<off_t>(buf.size()) ? static_cast<size_t>(left) : buf.size();
      errno = 0;
      if (std::fread(buf.data(), 1, want, scratch_) != want)
        return fail(cannot("read", scratch_name_, errno ? errno : EIO));
      if (!tar_.data(buf.data(), want)) return tar_failed();
      left -= static_cast<off_t>(want);
    }
    if (::fseeko(scratch_, 0, SEEK_SET) != 0 || ::ftruncate(fileno(scratch_), 0) != 0)
      return fail(cannot("write", scratch_name_, errno));
    return true;
  }
  bool close() override {
    if (!tar_.finish()) return tar_failed();
    return archive_.close(&failure_);
  }

 private:
  // The archive's own failure, unless writing its bytes failed first.
  bool tar_failed() { return failure_.empty() ? fail(tar_.failure()) : false; }
  compressed_file archive_;
  logbuild::tar_writer tar_;
  FILE* scratch_ = nullptr;
  std::string scratch_name_;
  std::set<std::string> days_;
};

}  // namespace

std::string log_file_name(int32_t file_sequence) {
  char name[32];
  std::snprintf(name, sizeof name, "%06d.fwlog", file_sequence);
  return name;
}

std::unique_ptr<output> stream_output(const std::string& path, compression c) {
  auto o = std::make_unique<stream_out>(c);
  o->open(path);
  return o;
}

std::unique_ptr<output> series_output(const std::string& dir, int32_t first_sequence, compression c,
                                      int32_t drop) {
  auto o = std::make_unique<series_out>(dir, first_sequence, c, drop);
  o->open();
  return o;
}

std::unique_ptr<output> tar_output(const std::string& path, compression c) {
  auto o = std::make_unique<tar_out>(c);
  o->open(path);
  return o;
}

std::unique_ptr<output> dropping_output(std::unique_ptr<output> inner, int32_t first_sequence,
                                        int32_t drop) {
  return std::make_unique<dropping_out>(std::move(inner), first_sequence, drop);
}

}  // namespace fwgen
