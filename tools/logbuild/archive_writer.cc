#include "logbuild/archive_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace logbuild {

namespace {

constexpr size_t out_chunk = 128 << 10;
// The libraries take at most this many bytes at a time (zlib and bzip2
// count in unsigned int).
constexpr size_t in_chunk = size_t{1} << 30;

class plain : public compressor {
 public:
  explicit plain(byte_sink out) : compressor(std::move(out)) {}
  bool write(const char* data, size_t n) override { return emit(data, n); }
  bool finish() override { return true; }
};

class gzip : public compressor {
 public:
  explicit gzip(byte_sink out) : compressor(std::move(out)), buf_(out_chunk) {
    // 16 + window bits: a gzip header (time 0, no name) and trailer.
    ok_ = deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                       Z_DEFAULT_STRATEGY) == Z_OK;
    if (!ok_) fail("no memory for gzip");
  }
  ~gzip() override {
    if (ok_) deflateEnd(&z_);
  }
  bool write(const char* data, size_t n) override {
    while (ok_ && n > 0) {
      const size_t part = n < in_chunk ? n : in_chunk;
      if (!run(data, part, Z_NO_FLUSH)) return false;
      data += part;
      n -= part;
    }
    return ok_;
  }
  bool finish() override { return ok_ && run(nullptr, 0, Z_FINISH); }

 private:
  bool run(const char* data, size_t n, int flush) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z_.avail_in = static_cast<uInt>(n);
    for (;;) {
      z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
      z_.avail_out = static_cast<uInt>(buf_.size());
      const int r = deflate(&z_, flush);
      if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return ok_ = fail("gzip failed");
      if (!emit(buf_.data(), buf_.size() - z_.avail_out)) return ok_ = false;
      if (flush == Z_FINISH ? r == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out > 0) return true;
    }
  }
  z_stream z_{};
  std::vector<char> buf_;
  bool ok_;
};

class zstd : public compressor {
 public:
  explicit zstd(byte_sink out)
      : compressor(std::move(out)), z_(ZSTD_createCCtx()), buf_(out_chunk) {
    ok_ = z_ != nullptr && !ZSTD_isError(ZSTD_CCtx_setParameter(z_, ZSTD_c_compressionLevel, 3)) &&
          !ZSTD_isError(ZSTD_CCtx_setParameter(z_, ZSTD_c_checksumFlag, 1));
    if (!ok_) fail("no memory for zstd");
  }
  ~zstd() override { ZSTD_freeCCtx(z_); }
  bool write(const char* data, size_t n) override { return ok_ && run(data, n, ZSTD_e_continue); }
  bool finish() override { return ok_ && run(nullptr, 0, ZSTD_e_end); }

 private:
  bool run(const char* data, size_t n, ZSTD_EndDirective how) {
    ZSTD_inBuffer in{data, n, 0};
    for (;;) {
      ZSTD_outBuffer out{buf_.data(), buf_.size(), 0};
      const size_t left = ZSTD_compressStream2(z_, &out, &in, how);
      if (ZSTD_isError(left)) return ok_ = fail(std::string("zstd: ") + ZSTD_getErrorName(left));
      if (!emit(buf_.data(), out.pos)) return ok_ = false;
      if (how == ZSTD_e_end ? left == 0 : in.pos == in.size) return true;
    }
  }
  ZSTD_CCtx* z_;
  std::vector<char> buf_;
  bool ok_;
};

class xz : public compressor {
 public:
  explicit xz(byte_sink out) : compressor(std::move(out)), buf_(out_chunk) {
    // A fast preset: the format is what matters here, not the ratio.
    ok_ = lzma_easy_encoder(&z_, 1, LZMA_CHECK_CRC64) == LZMA_OK;
    if (!ok_) fail("no memory for xz");
  }
  ~xz() override { lzma_end(&z_); }
  bool write(const char* data, size_t n) override { return ok_ && run(data, n, LZMA_RUN); }
  bool finish() override { return ok_ && run(nullptr, 0, LZMA_FINISH); }

 private:
  bool run(const char* data, size_t n, lzma_action how) {
    z_.next_in = reinterpret_cast<const uint8_t*>(data);
    z_.avail_in = n;
    for (;;) {
      z_.next_out = reinterpret_cast<uint8_t*>(buf_.data());
      z_.avail_out = buf_.size();
      const lzma_ret r = lzma_code(&z_, how);
      if (r != LZMA_OK && r != LZMA_STREAM_END && r != LZMA_BUF_ERROR)
        return ok_ = fail("xz failed (" + std::to_string(r) + ")");
      if (!emit(buf_.data(), buf_.size() - z_.avail_out)) return ok_ = false;
      if (how == LZMA_FINISH ? r == LZMA_STREAM_END : z_.avail_in == 0 && z_.avail_out > 0)
        return true;
    }
  }
  lzma_stream z_ = LZMA_STREAM_INIT;
  std::vector<char> buf_;
  bool ok_;
};

class bzip2 : public compressor {
 public:
  explicit bzip2(byte_sink out) : compressor(std::move(out)), buf_(out_chunk) {
    ok_ = BZ2_bzCompressInit(&z_, 9, 0, 0) == BZ_OK;
    if (!ok_) fail("no memory for bzip2");
  }
  ~bzip2() override {
    if (ok_) BZ2_bzCompressEnd(&z_);
  }
  bool write(const char* data, size_t n) override {
    while (ok_ && n > 0) {
      const size_t part = n < in_chunk ? n : in_chunk;
      if (!run(data, part, BZ_RUN)) return false;
      data += part;
      n -= part;
    }
    return ok_;
  }
  bool finish() override { return ok_ && run(nullptr, 0, BZ_FINISH); }

 private:
  bool run(const char* data, size_t n, int how) {
    z_.next_in = const_cast<char*>(data);
    z_.avail_in = static_cast<unsigned>(n);
    for (;;) {
      z_.next_out = buf_.data();
      z_.avail_out = static_cast<unsigned>(buf_.size());
      const int r = BZ2_bzCompress(&z_, how);
      if (r != BZ_RUN_OK && r != BZ_FINISH_OK && r != BZ_STREAM_END)
        return ok_ = fail("bzip2 failed (" + std::to_string(r) + ")");
      if (!emit(buf_.data(), buf_.size() - z_.avail_out)) return ok_ = false;
      if (how == BZ_FINISH ? r == BZ_STREAM_END : z_.avail_in == 0) return true;
    }
  }
  bz_stream z_{};
  std::vector<char> buf_;
  bool ok_;
};

[[noreturn]] void helper_failed(const std::string& what) {
  std::fprintf(stderr, "archive_writer: %s\n", what.c_str());
  std::abort();
}

}  // namespace

bool compression_named(const std::string& name, compression* c) {
  static const struct {
    const char* name;
    compression c;
  } names[] = {{"none", compression::none},
               {"gzip", compression::gzip},
               {"zstd", compression::zstd},
               {"xz", compression::xz},
               {"bzip2", compression::bzip2}};
  for (const auto& n : names) {
    if (name == n.name) {
      *c = n.c;
      return true;
    }
  }
  return false;
}

const char* compression_suffix(compression c) {
  switch (c) {
    case compression::none: return "";
    case compression::gzip: return ".gz";
    case compression::zstd: return ".zst";
    case compression::xz: return ".xz";
    case compression::bzip2: return ".bz2";
  }
  return "";
}

std::unique_ptr<compressor> compressor::make(compression c, byte_sink out) {
  switch (c) {
    case compression::none: break;
    case compression::gzip: return std::make_unique<gzip>(std::move(out));
    case compression::zstd: return std::make_unique<zstd>(std::move(out));
    case compression::xz: return std::make_unique<xz>(std::move(out));
    case compression::bzip2: return std::make_unique<bzip2>(std::move(out));
  }
  return std::make_unique<plain>(std::move(out));
}

std::string compress(const std::string& bytes, compression c) {
  std::string out;
  auto z = compressor::make(c, [&out](const char* p, size_t n) {
    out.append(p, n);
    return true;
  });
  if (!z->write(bytes.data(), bytes.size()) || !z->finish()) helper_failed(z->failure());
  return out;
}

tar_writer::tar_writer(byte_sink out, compression c) : z_(compressor::make(c, std::move(out))) {}

tar_writer::~tar_writer() {
  if (a_) archive_write_free(a_);
}

bool tar_writer::fail(const std::string& why) {
  if (failure_.empty()) failure_ = why;
  return false;
}

ssize_t tar_writer::write_block(struct archive*, void* self, const void* data, size_t n) {
  tar_writer& t = *static_cast<tar_writer*>(self);
  if (!t.z_->write(static_cast<const char*>(data), n)) {
    t.fail(t.z_->failure());
    return -1;
  }
  return static_cast<ssize_t>(n);
}

bool tar_writer::open() {
  if (a_) return failure_.empty();
  if (finished_) return fail("the archive is finished");
  a_ = archive_write_new();
  // POSIX tar: ustar headers, with an extended header only for what ustar
  // cannot hold (long names); the compression is ours, after libarchive.
  if (!a_ || archive_write_set_format_pax_restricted(a_) != ARCHIVE_OK ||
      archive_write_add_filter_none(a_) != ARCHIVE_OK ||
      archive_write_open(a_, this, nullptr, write_block, nullptr) != ARCHIVE_OK)
    return fail(a_ && archive_error_string(a_) ? archive_error_string(a_) : "no memory for tar");
  return true;
}

bool tar_writer::end_member() {
  if (member_left_ > 0)
    return fail(member_ + ": " + std::to_string(member_left_) + " bytes of the member are missing");
  member_.clear();
  return failure_.empty();
}

bool tar_writer::entry(const std::string& name, int type, int perm, uint64_t size, int64_t mtime,
                       const std::string& link) {
  if (!open() || !end_member()) return false;
  archive_entry* e = archive_entry_new();
  if (!e) return fail("no memory for a tar entry");
  archive_entry_set_pathname(e, name.c_str());
  archive_entry_set_filetype(e, static_cast<unsigned>(type));
  archive_entry_set_perm(e, static_cast<mode_t>(perm));
  archive_entry_set_size(e, static_cast<la_int64_t>(size));
  archive_entry_set_mtime(e, static_cast<time_t>(mtime), 0);
  archive_entry_set_uid(e, 0);
  archive_entry_set_gid(e, 0);
  if (!link.empty()) archive_entry_set_symlink(e, link.c_str());
  const int r = archive_write_header(a_, e);
  archive_entry_free(e);
  if (r != ARCHIVE_OK) {
    const char* why = archive_error_string(a_);
    return fail(name + ": " + (why ? why : "the tar header cannot be written"));
  }
  return true;
}

bool tar_writer::begin_file(const std::string& name, uint64_t size, int64_t mtime) {
  if (!entry(name, AE_IFREG, 0644, size, mtime, "")) return false;
  member_ = name;
  member_left_ = size;
  return true;
}

bool tar_writer::data(const char* p, size_t n) {
  if (!a_ || !failure_.empty()) return fail("no member to write to");
  if (n > member_left_) return fail(member_ + ": more bytes than the member's size");
  while (n > 0) {
    const la_ssize_t done = archive_write_data(a_, p, n);
    if (done <= 0) {
      const char* why = archive_error_string(a_);
      return fail(member_ + ": " + (why ? why : "the data cannot be written"));
    }
    p += done;
    n -= static_cast<size_t>(done);
    member_left_ -= static_cast<uint64_t>(done);
  }
  return true;
}

bool tar_writer::file(const std::string& name, const std::string& bytes, int64_t mtime) {
  return begin_file(name, bytes.size(), mtime) && data(bytes.data(), bytes.size());
}

bool tar_writer::directory(const std::string& name, int64_t mtime) {
  return entry(name, AE_IFDIR, 0755, 0, mtime, "");
}

bool tar_writer::symlink(const std::string& name, const std::string& target, int64_t mtime) {
  return entry(name, AE_IFLNK, 0777, 0, mtime, target);
}

bool tar_writer::finish() {
  if (!open() || !end_member()) return false;
  finished_ = true;
  const int r = archive_write_close(a_);
  if (r != ARCHIVE_OK && failure_.empty()) {
    const char* why = archive_error_string(a_);
    fail(why ? why : "the archive cannot be ended");
  }
  archive_write_free(a_);
  a_ = nullptr;
  if (!failure_.empty()) return false;
  return z_->finish() || fail(z_->failure());
}

std::string tar_bytes(const std::vector<tar_member>& members, compression c) {
  std::string out;
  tar_writer t(
      [&out](const char* p, size_t n) {
        out.append(p, n);
        return true;
      },
      c);
  for (const tar_member& m : members) {
    const bool ok = m.kind == tar_member::directory ? t.directory(m.name, m.mtime)
                    : m.kind == tar_member::symlink ? t.symlink(m.name, m.bytes, m.mtime)
                                                    : t.file(m.name, m.bytes, m.mtime);
    if (!ok) helper_failed(t.failure());
  }
  if (!t.finish()) helper_failed(t.failure());
  return out;
}

}  // namespace logbuild
