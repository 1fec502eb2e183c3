// Writes what the tool reads besides plain logs: logs compressed with
// gzip, zstd, xz or bzip2, and tar archives of logs (plain or compressed),
// with directory and symbolic link entries among the members. Output is
// deterministic: the same input gives the same bytes (no times, owners or
// process ids are taken from the machine).
//
//   std::string gz = logbuild::compress(b.str(), logbuild::compression::gzip);
//   std::string tar = logbuild::tar_bytes({{"2023-11-16/", "", logbuild::tar_member::directory},
//                                          {"2023-11-16/000042.fwlog", b.str()},
//                                          {"latest", "2023-11-16/000042.fwlog",
//                                           logbuild::tar_member::symlink}},
//                                         logbuild::compression::zstd);
//   golden::temp_file(tar, "archive.tar.zst");
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct archive;

namespace logbuild {

enum class compression { none, gzip, zstd, xz, bzip2 };

// "gzip", "zstd", "xz" or "bzip2" (or "none"); false for any other name.
bool compression_named(const std::string& name, compression* c);
// The file name suffix of a compression: ".gz", ".zst", ".xz", ".bz2", or "".
const char* compression_suffix(compression c);

// Receives bytes written; returns false when it cannot take them.
using byte_sink = std::function<bool(const char* data, size_t n)>;

// One compressed stream written in pieces: gzip with a header of time 0,
// zstd with a content checksum, xz with a CRC64 check, bzip2 with 900 kB
// blocks. compression::none hands the bytes on as they are.
class compressor {
 public:
  static std::unique_ptr<compressor> make(compression c, byte_sink out);
  virtual ~compressor() = default;
  // False when the library or the sink fails (failure() says which).
  virtual bool write(const char* data, size_t n) = 0;
  // Ends the stream: what the library still holds and the trailer.
  virtual bool finish() = 0;
  const std::string& failure() const { return failure_; }

 protected:
  explicit compressor(byte_sink out) : out_(std::move(out)) {}
  bool fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    return false;
  }
  // Hands the produced bytes to the sink.
  bool emit(const char* data, size_t n) {
    return n == 0 || out_(data, n) || fail("the output cannot be written");
  }
  byte_sink out_;
  std::string failure_;
};

// The bytes as one compressed stream (compression::none: the bytes as
// they are).
std::string compress(const std::string& bytes, compression c);

// A tar archive (POSIX format) written in pieces and compressed as a whole.
// Members: regular files (whose size is given before their bytes),
// directories and symbolic links; owner 0, modes 0644, 0755 and 0777, the
// modification time given (seconds since 1970).
class tar_writer {
 public:
  tar_writer(byte_sink out, compression c = compression::none);
  ~tar_writer();
  tar_writer(const tar_writer&) = delete;
  tar_writer& operator=(const tar_writer&) = delete;

  // A regular file of size bytes, which data() must give in full before
  // the next member or finish().
  bool begin_file(const std::string& name, uint64_t size, int64_t mtime = 0);
  bool data(const char* p, size_t n);
  bool file(const std::string& name, const std::string& bytes, int64_t mtime = 0);
  bool directory(const std::string& name, int64_t mtime = 0);
  bool symlink(const std::string& name, const std::string& target, int64_t mtime = 0);
  // The archive's end blocks and the compression's trailer.
  bool finish();
  // What went wrong first, empty when nothing did.
  const std::string& failure() const { return failure_; }

 private:
  bool open();
  bool entry(const std::string& name, int type, int perm, uint64_t size, int64_t mtime,
             const std::string& link);
  bool end_member();
  bool fail(const std::string& why);
  static ssize_t write_block(struct archive*, void* self, const void* data, size_t n);

  std::unique_ptr<compressor> z_;
  struct archive* a_ = nullptr;
  bool finished_ = false;
  std::string member_;        // the regular file being written
  uint64_t member_left_ = 0;  // ... and its bytes still to come
  std::string failure_;
};

struct tar_member {
  enum kind_t { file, directory, symlink };
  std::string name;
  std::string bytes;  // a file's bytes; a link's target
  kind_t kind = file;
  int64_t mtime = 0;
};

// A whole tar of the members, in their order, compressed as asked.
std::string tar_bytes(const std::vector<tar_member>& members, compression c = compression::none);

}  // namespace logbuild
