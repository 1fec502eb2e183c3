// An operand as the logs it holds: a log file or stream as it is, a log
// compressed with gzip, zstd, xz or bzip2, or a tar archive (plain or
// compressed) of logs. What it is is told by its first bytes, not by its
// name. Each log in it is a member, read through a byte_source of its own
// and named as messages name it.
//
//   auto in = input_operand::open(fd, "archive.tar.zst", options);
//   while (in->next()) {
//     if (!in->trouble().empty()) say(in->operand_name(), in->trouble());
//     scan(in->source(), in->name());  // "archive.tar.zst:2023-11-16/42.fwlog"
//   }
//   if (!in->trouble().empty()) say(in->operand_name(), in->trouble());
//
// A compressed member or stream ends with a failure (error() and
// failure_text() of its source) where it is damaged or cut, or where it
// grows past max_member_size; a damaged stream may have given bytes
// decoded from the damage before its check found it. A tar member whose
// read ends the archive ends the iteration too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/source.h"

struct archive;

namespace jrn {

enum class input_kind {
  plain,       // read as it is: one member
  compressed,  // one compressed stream: one member, named by the operand
  tar,         // a tar archive, compressed or not: a member per regular file
};

struct input_options {
  // A member that decompresses to more bytes than this ends with a
  // failure after that many.
  int64_t max_member_size = int64_t{64} << 30;
  // How members are read; a terminal is never read ahead.
  read_ahead_settings read_ahead;
};

class byte_reader;
class fd_reader;

class input_operand {
 public:
  // Reads the first bytes of fd to tell what it holds (for a pipe, as
  // many as that takes, up to 512). When they cannot be read, it is taken
  // as a plain log, whose reads meet the failure again and say where (the
  // result is never null). fd is not closed here and stays open while the operand is
  // used. name: the operand as messages name it; members of a tar are
  // named "name:path".
  static std::unique_ptr<input_operand> open(int fd, const std::string& name,
                                             const input_options& options);
  // Stops every reader thread first, cutting short a wait for a pipe.
  ~input_operand();
  input_operand(const input_operand&) = delete;
  input_operand& operator=(const input_operand&) = delete;

  // What the operand holds; a compressed operand turns out to be a tar
  // only at the first next().
  input_kind kind() const { return kind_; }
  // "gzip", "zstd", "xz", "bzip2", or null when not compressed.
  const char* compression() const { return compression_; }

  // The first bytes of the log a plain or compressed operand holds, looked
  // at before next() (whose member reads them all the same) to tell where
  // the log belongs: up to want bytes of a plain operand (fewer when it ends
  // or fails first), the bytes decompressed to tell what a compressed one
  // holds (up to 512), none of a tar.
  std::vector<uint8_t> first_bytes(size_t want);

  // Moves to the next member, which ends the one before (its source goes
  // away). False when there are no more, or when the archive cannot be
  // read on (trouble() says why then).
  bool next();
  // The current member's bytes, valid until the next next().
  byte_source& source() { return *member_; }
  // The current member's name: the operand's, or "operand:path" in a tar
  // (the path as the archive holds it: escape it before it is shown).
  const std::string& name() const { return member_name_; }
  // The member's path inside the tar, or empty.
  const std::string& path() const { return member_path_; }
  const std::string& operand_name() const { return name_; }

  // What went wrong with the archive itself (not with a member's bytes,
  // which its source reports): after next() returned false, why the
  // archive ended early; after next() returned true, what was passed over
  // before the member (a damaged header). Empty when nothing.
  const std::string& trouble() const { return trouble_; }

 private:
  input_operand(int fd, const std::string& name, const input_options& options);
  void open_tar(byte_reader& bytes);
  bool next_entry();
  void end_member();
  read_ahead_settings member_reading() const;
  // The archive's read callback: the operand's (decompressed) bytes.
  static ssize_t read_tar(struct archive* a, void* self, const void** data);

  int fd_;
  std::string name_;
  input_options options_;
  input_kind kind_ = input_kind::plain;
  const char* compression_ = nullptr;
  std::vector<uint8_t> head_;          // the first bytes, read to tell the kind
  bool head_failed_ = false;           // ... until a read of them failed
  std::vector<uint8_t> decoded_head_;  // a compressed log's first bytes
  bool done_ = false;                  // no member follows
  std::string pending_trouble_;

  std::unique_ptr<fd_reader> in_;         // the operand's bytes
  std::unique_ptr<byte_reader> decoder_;  // their decompression
  std::unique_ptr<byte_reader> stream_;   // the bytes of the log or tar
  byte_reader* tar_bytes_ = nullptr;      // what the archive reads
  std::vector<uint8_t> tar_buffer_;       // ... into this
  struct archive* archive_ = nullptr;     // a tar, or null
  bool archive_failed_ = false;           // a member's read ended the archive

  std::unique_ptr<byte_reader> member_bytes_;    // a member's bytes in the tar
  std::unique_ptr<byte_reader> member_decoded_;  // ... decompressed
  std::unique_ptr<byte_source> member_;
  std::string member_name_;
  std::string member_path_;
  std::string trouble_;
};

}  // namespace jrn
