// The four decompressions, each straight into the caller's block. Every
// one checks what its format checks (the gzip CRC and length, the zstd
// content checksum when the frame has one, the xz check, the bzip2 block
// CRCs), takes streams written one behind the other as one, and tells a
// stream cut short from its end.
#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>

#include "io/stream.h"

namespace jrn {

namespace {

constexpr size_t input_chunk = 128 << 10;
// The most memory an xz stream may ask for (the largest preset needs 65
// MiB); a stream that wants more is refused rather than obeyed.
constexpr uint64_t xz_memory_limit = uint64_t{256} << 20;

// The compressed input, read a chunk at a time. Each decoder runs its
// library on what input there is and asks for more only when that gives
// nothing (a library may hold output back), and hands over what it has
// instead of waiting for a pipe.
class decoder : public byte_reader {
 public:
  bool would_wait() override { return at_ == len_ && !input_ended_ && in_.would_wait(); }

 protected:
  explicit decoder(byte_reader& in, const char* name)
      : in_(in), name_(name), buffer_(new uint8_t[input_chunk]) {}

  enum class input { more, ended, failed, paused };
  // The library needs more input: reads the next chunk, unless `done`
  // bytes are there to hand over and the input would wait.
  input next_input(size_t done) {
    if (input_ended_) return failed() ? input::failed : input::ended;
    if (done > 0 && in_.would_wait()) return input::paused;
    const ssize_t n = in_.read(buffer_.get(), input_chunk);
    at_ = 0;
    len_ = 0;
    if (n <= 0) {
      input_ended_ = true;
      if (n == 0) return input::ended;
      fail(in_.err(), in_.why());
      return input::failed;
    }
    len_ = static_cast<size_t>(n);
    return input::more;
  }
  bool failed() const { return err_ != 0; }
  // What a read that produced `done` bytes returns after a failure: the
  // bytes first, the failure at the next read.
  ssize_t after_failure(size_t done) {
    if (done > 0) return static_cast<ssize_t>(done);
    errno = err_;
    return -1;
  }
  ssize_t damaged(size_t done, const char* what) {
    fail(EILSEQ, std::string("damaged ") + name_ + " data (" + what + ")");
    return after_failure(done);
  }
  ssize_t cut_short(size_t done) {
    fail(EILSEQ, std::string("the ") + name_ + " data is cut short");
    return after_failure(done);
  }
  // After next_input() gave no input: the count to return, or the end
  // inside a stream (inside) is a cut.
  ssize_t no_input(input why, size_t done, bool inside) {
    if (why == input::failed) return after_failure(done);
    if (why == input::ended && inside) return cut_short(done);
    return static_cast<ssize_t>(done);
  }

  byte_reader& in_;
  const char* name_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t at_ = 0;   // the next byte of buffer_ to decode
  size_t len_ = 0;  // bytes in buffer_
  bool input_ended_ = false;
};

class gzip_decoder : public decoder {
 public:
  explicit gzip_decoder(byte_reader& in) : decoder(in, "gzip") {
    std::memset(&z_, 0, sizeof z_);
    // A gzip header and trailer (its CRC and length are checked).
    if (inflateInit2(&z_, 16 + MAX_WBITS) != Z_OK) fail(ENOMEM, "no memory for gzip");
  }
  ~gzip_decoder() override { inflateEnd(&z_); }

  ssize_t read(uint8_t* dst, size_t cap) override {
    if (failed()) return after_failure(0);
    const size_t want = cap > UINT32_MAX ? UINT32_MAX : cap;
    z_.next_out = dst;
    z_.avail_out = static_cast<uInt>(want);
    while (z_.avail_out > 0) {
      const size_t done = want - z_.avail_out;
      if (!in_member_) {
        // Members written one behind the other are one stream; the end
        // between two is the end.
        if (at_ == len_) {
          const input got = next_input(done);
          if (got != input::more) return no_input(got, done, false);
        }
        inflateReset(&z_);
        in_member_ = true;
      }
      z_.next_in = buffer_.get() + at_;
      z_.avail_in = static_cast<uInt>(len_ - at_);
      const int r = inflate(&z_, Z_NO_FLUSH);
      const bool progress = z_.avail_in < len_ - at_ || want - z_.avail_out > done;
      at_ = len_ - z_.avail_in;
      if (r == Z_STREAM_END) {
        in_member_ = false;
        continue;
      }
      if (r != Z_OK && r != Z_BUF_ERROR)
        return damaged(want - z_.avail_out, z_.msg != nullptr ? z_.msg : "unreadable");
      if (progress) continue;
      const input got = next_input(done);
      if (got != input::more) return no_input(got, done, true);
    }
    return static_cast<ssize_t>(want);
  }

 private:
  z_stream z_;
  bool in_member_ = true;
};

class zstd_decoder : public decoder {
 public:
  explicit zstd_decoder(byte_reader& in) : decoder(in, "zstd"), z_(ZSTD_createDStream()) {
    if (z_ == nullptr) fail(ENOMEM, "no memory for zstd");
  }
  ~zstd_decoder() override { ZSTD_freeDStream(z_); }

  ssize_t read(uint8_t* dst, size_t cap) override {
    if (failed()) return after_failure(0);
    ZSTD_outBuffer out = {dst, cap, 0};
    while (out.pos < out.size) {
      ZSTD_inBuffer in = {buffer_.get() + at_, len_ - at_, 0};
      const size_t before = out.pos;
      // Frames one behind the other are read on; a frame with a checksum
      // has it checked.
      const size_t r = ZSTD_decompressStream(z_, &out, &in);
      at_ += in.pos;
      if (ZSTD_isError(r)) return damaged(out.pos, ZSTD_getErrorName(r));
      if (in.pos > 0 || out.pos > before) {
        frame_done_ = r == 0;
        continue;
      }
      const input got = next_input(out.pos);
      if (got != input::more) return no_input(got, out.pos, !frame_done_);
    }
    return static_cast<ssize_t>(out.pos);
  }

 private:
  ZSTD_DStream* z_;
  bool frame_done_ = true;
};

class xz_decoder : public decoder {
 public:
  explicit xz_decoder(byte_reader& in) : decoder(in, "xz") {
    // Streams one behind the other (and their padding) are one.
    if (lzma_stream_decoder(&z_, xz_memory_limit, LZMA_CONCATENATED) != LZMA_OK)
      fail(ENOMEM, "no memory for xz");
  }
  ~xz_decoder() override { lzma_end(&z_); }

  ssize_t read(uint8_t* dst, size_t cap) override {
    if (failed()) return after_failure(0);
    if (ended_) return 0;
    z_.next_out = dst;
    z_.avail_out = cap;
    while (z_.avail_out > 0) {
      z_.next_in = buffer_.get() + at_;
      z_.avail_in = len_ - at_;
      const size_t before = z_.avail_out;
      // The end of the input is told to the library, which says whether
      // it was the end of the streams.
      const lzma_ret r = lzma_code(&z_, input_ended_ ? LZMA_FINISH : LZMA_RUN);
      const bool progress = z_.avail_in < len_ - at_ || z_.avail_out < before;
      at_ = len_ - z_.avail_in;
      if (r == LZMA_STREAM_END) {
        ended_ = true;
        break;
      }
      if (r == LZMA_BUF_ERROR && input_ended_) return cut_short(cap - z_.avail_out);
      if (r != LZMA_OK && r != LZMA_BUF_ERROR) return damaged(cap - z_.avail_out, text_of(r));
      if (progress) continue;
      const input got = next_input(cap - z_.avail_out);
      // An ended input goes round once more, to be finished.
      if (got != input::more && got != input::ended) return no_input(got, cap - z_.avail_out, true);
    }
    return static_cast<ssize_t>(cap - z_.avail_out);
  }

 private:
  static const char* text_of(lzma_ret r) {
    switch (r) {
      case LZMA_MEM_ERROR: return "out of memory";
      case LZMA_MEMLIMIT_ERROR: return "it needs more than 256 MiB of memory";
      case LZMA_FORMAT_ERROR: return "not in the xz format";
      case LZMA_OPTIONS_ERROR: return "unsupported options";
      case LZMA_DATA_ERROR: return "corrupt data";
      default: return "unreadable";
    }
  }

  lzma_stream z_ = LZMA_STREAM_INIT;
  bool ended_ = false;
};

class bzip2_decoder : public decoder {
 public:
  explicit bzip2_decoder(byte_reader& in) : decoder(in, "bzip2") {
    std::memset(&z_, 0, sizeof z_);
    if (BZ2_bzDecompressInit(&z_, 0, 0) != BZ_OK) fail(ENOMEM, "no memory for bzip2");
  }
  ~bzip2_decoder() override { BZ2_bzDecompressEnd(&z_); }

  ssize_t read(uint8_t* dst, size_t cap) override {
    if (failed()) return after_failure(0);
    const size_t want = cap > UINT32_MAX ? UINT32_MAX : cap;
    z_.next_out = reinterpret_cast<char*>(dst);
    z_.avail_out = static_cast<unsigned>(want);
    while (z_.avail_out > 0) {
      const size_t done = want - z_.avail_out;
      if (!in_stream_) {
        // Streams one behind the other (as parallel compressors write
        // them) are one; the end between two is the end.
        if (at_ == len_) {
          const input got = next_input(done);
          if (got != input::more) return no_input(got, done, false);
        }
        const unsigned room = z_.avail_out;
        BZ2_bzDecompressEnd(&z_);
        std::memset(&z_, 0, sizeof z_);
        if (BZ2_bzDecompressInit(&z_, 0, 0) != BZ_OK) return damaged(done, "out of memory");
        z_.next_out = reinterpret_cast<char*>(dst) + done;
        z_.avail_out = room;
        in_stream_ = true;
      }
      z_.next_in = reinterpret_cast<char*>(buffer_.get() + at_);
      z_.avail_in = static_cast<unsigned>(len_ - at_);
      const int r = BZ2_bzDecompress(&z_);
      const bool progress = z_.avail_in < len_ - at_ || want - z_.avail_out > done;
      at_ = len_ - z_.avail_in;
      if (r == BZ_STREAM_END) {
        in_stream_ = false;
        continue;
      }
      if (r != BZ_OK) {
        return damaged(want - z_.avail_out, r == BZ_DATA_ERROR_MAGIC ? "not in the bzip2 format"
                                            : r == BZ_MEM_ERROR      ? "out of memory"
                                                                     : "a CRC does not match");
      }
      if (progress) continue;
      // The library holds back no output it could give: it needs input.
      const input got = next_input(done);
      if (got != input::more) return no_input(got, done, true);
    }
    return static_cast<ssize_t>(want - z_.avail_out);
  }

 private:
  bz_stream z_;
  bool in_stream_ = true;
};

}  // namespace

std::unique_ptr<byte_reader> make_decoder(const char* compression, byte_reader& in) {
  if (compression == nullptr) return nullptr;
  if (std::strcmp(compression, "gzip") == 0) return std::make_unique<gzip_decoder>(in);
  if (std::strcmp(compression, "zstd") == 0) return std::make_unique<zstd_decoder>(in);
  if (std::strcmp(compression, "xz") == 0) return std::make_unique<xz_decoder>(in);
  if (std::strcmp(compression, "bzip2") == 0) return std::make_unique<bzip2_decoder>(in);
  return nullptr;
}

}  // namespace jrn
