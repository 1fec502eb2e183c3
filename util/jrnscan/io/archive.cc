// Tar archives are read with libarchive (its tar reader only: every
// variant of the format, long names, extended headers); the compressions,
// of the operand and of single members, by their own libraries
// (io/decoder.cc), which check what their formats check.
#include "io/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/stream.h"

namespace jrn {

namespace {

constexpr size_t tar_block = 512;

// A tar header: its checksum field holds the sum of its 512 bytes, the
// field itself counted as spaces (unsigned, or signed as some writers
// did).
bool looks_like_tar(const uint8_t* h, size_t n) {
  if (n < tar_block) return false;
  const size_t at = 148, len = 8;
  size_t i = at;
  while (i < at + len && h[i] == ' ') ++i;
  int64_t said = 0;
  int digits = 0;
  for (; i < at + len && h[i] >= '0' && h[i] <= '7'; ++i, ++digits) said = said * 8 + (h[i] - '0');
  if (digits == 0 || (i < at + len && h[i] != ' ' && h[i] != '\0')) return false;
  int64_t sum = 0, signed_sum = 0;
  for (size_t k = 0; k < tar_block; ++k) {
    const uint8_t b = (k >= at && k < at + len) ? ' ' : h[k];
    sum += b;
    signed_sum += static_cast<int8_t>(b);
  }
  // A block of zeros (the end of an archive) is no header of a member.
  return sum != 8 * ' ' && (said == sum || said == signed_sum);
}

// Reads until head holds want bytes or the input ends or fails (the
// failure comes again at the next read).
void read_head(byte_reader& in, std::vector<uint8_t>& head, size_t want) {
  size_t got = head.size();
  head.resize(want);
  while (got < want) {
    const ssize_t n = in.read(head.data() + got, want - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
}

std::string archive_text(struct archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown failure";
}

// The bytes of the current member of a tar, taken block by block from the
// archive (a sparse member's holes as zeros). Remembers a failure that
// ended the archive.
class member_reader : public byte_reader {
 public:
  member_reader(struct archive* a, bool* archive_failed)
      : archive_(a), archive_failed_(archive_failed) {}

  ssize_t read(uint8_t* dst, size_t cap) override {
    if (at_ < head_.size()) {
      size_t take = head_.size() - at_;
      if (take > cap) take = cap;
      std::memcpy(dst, head_.data() + at_, take);
      at_ += take;
      return static_cast<ssize_t>(take);
    }
    while (block_len_ == 0) {
      if (err_ != 0) {
        errno = err_;
        return -1;
      }
      if (ended_) return 0;
      const void* block = nullptr;
      size_t len = 0;
      la_int64_t offset = 0;
      const int r = archive_read_data_block(archive_, &block, &len, &offset);
      if (r == ARCHIVE_EOF) {
        ended_ = true;
        return 0;
      }
      if (r < ARCHIVE_WARN) return failed(r);
      block_ = static_cast<const uint8_t*>(block);
      block_len_ = len;
      hole_ = offset > delivered_ ? offset - delivered_ : 0;
    }
    size_t take;
    if (hole_ > 0) {
      take = hole_ < static_cast<int64_t>(cap) ? static_cast<size_t>(hole_) : cap;
      std::memset(dst, 0, take);
      hole_ -= static_cast<int64_t>(take);
    } else {
      take = block_len_ < cap ? block_len_ : cap;
      std::memcpy(dst, block_, take);
      block_ += take;
      block_len_ -= take;
    }
    delivered_ += static_cast<int64_t>(take);
    return static_cast<ssize_t>(take);
  }
  // The bytes read to tell what the member holds go first again.
  void put_back(std::vector<uint8_t> head) {
    head_ = std::move(head);
    at_ = 0;
  }
  // The archive's failure, as a read of it returned it (r).
  ssize_t failed(int r) {
    if (r == ARCHIVE_FATAL) *archive_failed_ = true;
    const int e = archive_errno(archive_);
    return fail(e > 0 ? e : EIO, archive_text(archive_));
  }

 private:
  struct archive* archive_;
  bool* archive_failed_;
  std::vector<uint8_t> head_;
  size_t at_ = 0;
  const uint8_t* block_ = nullptr;  // the rest of the archive's block
  size_t block_len_ = 0;
  int64_t hole_ = 0;       // zeros before it
  int64_t delivered_ = 0;  // member bytes taken from the archive
  bool ended_ = false;
};

// A member's bytes into blocks, at most the bound of them.
class member_producer : public block_producer {
 public:
  member_producer(byte_reader& bytes, int64_t bound)
      : bytes_(bytes), bound_(bound > 0 ? bound : 0) {}

  ssize_t produce(uint8_t* dst, size_t cap) override {
    if (failed_) {
      errno = failed_;
      return -1;
    }
    // One byte past the bound tells that there is more.
    const int64_t room = bound_ - delivered_;
    if (static_cast<uint64_t>(room) < cap) cap = static_cast<size_t>(room) + 1;
    size_t got = 0;
    // What there is goes to the scan before a wait for a pipe.
    while (got < cap && (got == 0 || !bytes_.would_wait())) {
      const ssize_t n = bytes_.read(dst + got, cap - got);
      if (n == 0) break;
      if (n < 0) {
        fail(bytes_.err(),
             "read error at offset " + std::to_string(delivered_ + got) + ": " + bytes_.why());
        break;
      }
      got += static_cast<size_t>(n);
    }
    if (static_cast<int64_t>(got) > room) {
      got = static_cast<size_t>(room);
      fail(EFBIG, "decompressed size exceeds the bound of " + std::to_string(bound_) + " bytes");
    }
    delivered_ += static_cast<int64_t>(got);
    if (got == 0 && failed_) {
      errno = failed_;
      return -1;
    }
    return static_cast<ssize_t>(got);
  }
  bool would_wait() override { return bytes_.would_wait(); }
  const char* failure_text() const override { return failed_ ? why_.c_str() : nullptr; }

 private:
  void fail(int err, std::string why) {
    failed_ = err != 0 ? err : EIO;
    why_ = std::move(why);
  }

  byte_reader& bytes_;
  const int64_t bound_;
  int64_t delivered_ = 0;
  int failed_ = 0;
  std::string why_;
};

}  // namespace

std::unique_ptr<input_operand> input_operand::open(int fd, const std::string& name,
                                                   const input_options& options) {
  std::unique_ptr<input_operand> in(new input_operand(fd, name, options));
  // A log starts with its signature; a compression with its magic bytes.
  {
    fd_reader raw(fd, nullptr, 0);
    // A read that fails here is read as a plain log: its reads meet the
    // failure again and say at which offset.
    read_head(raw, in->head_, magic_bytes);
    in->head_failed_ = raw.err() != 0;
    if (in->head_failed_) return in;
    const uint8_t* h = in->head_.data();
    const size_t n = in->head_.size();
    if (n >= 4 && std::memcmp(h, "DRAV", 4) == 0) return in;
    in->compression_ = compression_of(h, n);
    if (in->compression_ == nullptr && n == magic_bytes) {
      read_head(raw, in->head_, tar_block);
      in->head_failed_ = raw.err() != 0;
      if (in->head_failed_) return in;
    }
  }
  if (in->compression_ != nullptr) {
    in->kind_ = input_kind::compressed;
    in->in_ = std::make_unique<fd_reader>(fd, in->head_.data(), in->head_.size());
    in->decoder_ = make_decoder(in->compression_, *in->in_);
    // The first decompressed bytes tell whether they are a tar.
    std::vector<uint8_t> head;
    read_head(*in->decoder_, head, tar_block);
    const bool tar = looks_like_tar(head.data(), head.size());
    if (!tar) in->decoded_head_ = head;
    in->stream_ = std::make_unique<head_reader>(std::move(head), *in->decoder_);
    if (tar) in->open_tar(*in->stream_);
  } else if (looks_like_tar(in->head_.data(), in->head_.size())) {
    in->in_ = std::make_unique<fd_reader>(fd, in->head_.data(), in->head_.size());
    in->open_tar(*in->in_);
  }
  return in;
}

input_operand::input_operand(int fd, const std::string& name, const input_options& options)
    : fd_(fd), name_(name), options_(options) {}

input_operand::~input_operand() {
  // A reader thread waiting for a pipe is cut short before it is stopped.
  if (in_) in_->interrupt();
  end_member();
  if (archive_) archive_read_free(archive_);
}

ssize_t input_operand::read_tar(struct archive* a, void* self, const void** data) {
  input_operand& o = *static_cast<input_operand*>(self);
  const ssize_t n = o.tar_bytes_->read(o.tar_buffer_.data(), o.tar_buffer_.size());
  if (n < 0) {
    archive_set_error(a, o.tar_bytes_->err(), "%s", o.tar_bytes_->why().c_str());
    return -1;
  }
  *data = o.tar_buffer_.data();
  return n;
}

void input_operand::open_tar(byte_reader& bytes) {
  kind_ = input_kind::tar;
  tar_bytes_ = &bytes;
  tar_buffer_.resize(byte_source::block_size);
  archive_ = archive_read_new();
  if (archive_ == nullptr) {
    pending_trouble_ = std::strerror(ENOMEM);
    done_ = true;
    return;
  }
  archive_read_support_format_tar(archive_);
  if (archive_read_open(archive_, this, nullptr, read_tar, nullptr) != ARCHIVE_OK) {
    pending_trouble_ = archive_text(archive_);
    done_ = true;
  }
}

std::vector<uint8_t> input_operand::first_bytes(size_t want) {
  if (kind_ == input_kind::compressed) return decoded_head_;
  if (kind_ != input_kind::plain) return {};
  // Read on only before the member reads from the descriptor itself.
  if (head_.size() < want && !head_failed_ && !done_ && !member_) {
    fd_reader raw(fd_, nullptr, 0);
    read_head(raw, head_, want);
    head_failed_ = raw.err() != 0;
  }
  return head_;
}

read_ahead_settings input_operand::member_reading() const {
  read_ahead_settings how = options_.read_ahead;
  if (kind_ == input_kind::plain) {
    how.threaded = how.threaded && read_ahead_for(fd_).threaded;
  } else {
    // Decompressing is worth a thread of its own however small the file:
    // its bytes are many more.
    struct stat st;
    how.threaded =
        how.threaded && fstat(fd_, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
  }
  return how;
}

void input_operand::end_member() {
  // The reader thread goes first: it reads what the others hold.
  member_.reset();
  member_decoded_.reset();
  member_bytes_.reset();
}

bool input_operand::next() {
  end_member();
  trouble_ = std::move(pending_trouble_);
  pending_trouble_.clear();
  if (done_) return false;
  member_path_.clear();
  member_name_ = name_;
  switch (kind_) {
    case input_kind::plain:
      done_ = true;
      member_ = std::make_unique<fd_source>(fd_, head_.data(), head_.size(), member_reading());
      return true;
    case input_kind::compressed:
      done_ = true;
      member_ = std::make_unique<produced_source>(
          std::make_unique<member_producer>(*stream_, options_.max_member_size), member_reading());
      return true;
    case input_kind::tar: break;
  }
  return next_entry();
}

bool input_operand::next_entry() {
  // A member's read that ended the archive was said by the member.
  if (archive_failed_) {
    done_ = true;
    return false;
  }
  for (;;) {
    struct archive_entry* entry = nullptr;
    const int r = archive_read_next_header(archive_, &entry);
    if (r == ARCHIVE_EOF) {
      done_ = true;
      return false;
    }
    if (r == ARCHIVE_FATAL) {
      trouble_ = archive_text(archive_);
      done_ = true;
      return false;
    }
    if (r < ARCHIVE_WARN) {
      // A damaged header that the archive can be read on behind: said
      // once for a run of them.
      if (trouble_.empty()) trouble_ = archive_text(archive_);
      continue;
    }
    // Directories, links and devices hold no log; a hard link's bytes are
    // those of the member it names, read there.
    if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) != nullptr)
      continue;
    const char* path = archive_entry_pathname(entry);
    member_path_ = path != nullptr ? path : "";
    member_name_ = name_ + ":" + member_path_;

    // A member may be compressed on its own: its first bytes tell.
    auto bytes = std::make_unique<member_reader>(archive_, &archive_failed_);
    std::vector<uint8_t> head;
    read_head(*bytes, head, magic_bytes);
    const char* compression = compression_of(head.data(), head.size());
    bytes->put_back(std::move(head));
    member_bytes_ = std::move(bytes);
    byte_reader* log = member_bytes_.get();
    // A member stored as it is has the size its header gives.
    int64_t size = -1;
    if (compression != nullptr) {
      member_decoded_ = make_decoder(compression, *member_bytes_);
      log = member_decoded_.get();
    } else if (archive_entry_size_is_set(entry)) {
      size = archive_entry_size(entry);
    }
    member_ = std::make_unique<produced_source>(
        std::make_unique<member_producer>(*log, options_.max_member_size), member_reading(), size);
    return true;
  }
}

}  // namespace jrn
