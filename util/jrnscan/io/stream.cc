#include "io/stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jrn {

ssize_t byte_reader::fail(int err, std::string why) {
  err_ = err != 0 ? err : EIO;
  why_ = std::move(why);
  errno = err_;
  return -1;
}

fd_reader::fd_reader(int fd, const uint8_t* prefix, size_t prefix_len)
    : fd_(fd), prefix_(prefix, prefix + prefix_len) {
  struct stat st;
  may_wait_ = fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
  if (!may_wait_) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    wake_[0] = wake_[1] = -1;
  }
}

int64_t fd_reader::input_size(int fd, size_t prefix_len) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  // A regular file is read from where the descriptor stands to its end.
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || at > st.st_size) return -1;
  return static_cast<int64_t>(prefix_len) + static_cast<int64_t>(st.st_size - at);
}

fd_reader::~fd_reader() {
  for (int w : wake_)
    if (w >= 0) ::close(w);
}

void fd_reader::interrupt() {
  interrupted_.store(true);
  if (wake_[1] >= 0) {
    const char one = 1;
    const ssize_t ignored = ::write(wake_[1], &one, 1);
    (void)ignored;
  }
}

bool fd_reader::would_wait() {
  if (!may_wait_ || prefix_at_ < prefix_.size() || err_ != 0) return false;
  struct pollfd p = {fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

ssize_t fd_reader::read_once(uint8_t* dst, size_t cap) {
  for (;;) {
    if (interrupted_.load()) return fail(ECANCELED, std::strerror(ECANCELED));
    if (may_wait_ && wake_[0] >= 0) {
      // Waits for the input or for interrupt(), whichever comes first.
      struct pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return fail(errno, std::strerror(errno));
      }
      if (p[1].revents != 0) continue;  // interrupted: said above
      if (p[0].revents == 0) continue;
    }
    const ssize_t n = ::read(fd_, dst, cap);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno, std::strerror(errno));
    }
    return n;
  }
}

ssize_t fd_reader::read(uint8_t* dst, size_t cap) {
  if (err_ != 0) {
    errno = err_;
    return -1;
  }
  if (prefix_at_ < prefix_.size()) {
    size_t take = prefix_.size() - prefix_at_;
    if (take > cap) take = cap;
    std::memcpy(dst, prefix_.data() + prefix_at_, take);
    prefix_at_ += take;
    if (prefix_at_ == prefix_.size()) {
      std::vector<uint8_t>().swap(prefix_);
      prefix_at_ = 0;
    }
    return static_cast<ssize_t>(take);
  }
  const ssize_t n = read_once(dst, cap);
  if (n <= 0 || !may_wait_) return n;
  // A pipe delivers a little at a time: what is ready now is taken in the
  // same block, but nothing is waited for.
  size_t got = static_cast<size_t>(n);
  while (got < cap) {
    struct pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) break;
    const ssize_t more = ::read(fd_, dst + got, cap - got);
    // A failure or the end is met again by the next read.
    if (more <= 0) break;
    got += static_cast<size_t>(more);
  }
  return static_cast<ssize_t>(got);
}

ssize_t head_reader::read(uint8_t* dst, size_t cap) {
  if (at_ < head_.size()) {
    size_t take = head_.size() - at_;
    if (take > cap) take = cap;
    std::memcpy(dst, head_.data() + at_, take);
    at_ += take;
    return static_cast<ssize_t>(take);
  }
  const ssize_t n = rest_.read(dst, cap);
  if (n < 0) return fail(rest_.err(), rest_.why());
  return n;
}

const char* compression_of(const uint8_t* p, size_t n) {
  if (n >= 2 && p[0] == 0x1f && p[1] == 0x8b) return "gzip";
  if (n >= 4 && p[0] == 0x28 && p[1] == 0xb5 && p[2] == 0x2f && p[3] == 0xfd) return "zstd";
  static const uint8_t xz[] = {0xfd, 0x37, 0x7a, 0x58, 0x5a, 0x00};
  if (n >= sizeof xz && std::memcmp(p, xz, sizeof xz) == 0) return "xz";
  // "BZh" and the block size, '1' to '9' (hundreds of kilobytes).
  if (n >= 4 && p[0] == 'B' && p[1] == 'Z' && p[2] == 'h' && p[3] >= '1' && p[3] <= '9')
    return "bzip2";
  return nullptr;
}

}  // namespace jrn
