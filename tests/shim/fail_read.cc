// Preloaded into jrnscan by tests: reads from descriptors above 2 deliver
// FAIL_READ_AFTER bytes in all, then fail with EIO, as a failing disk does.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" ssize_t read(int fd, void* buf, size_t n) {
  using read_fn = ssize_t (*)(int, void*, size_t);
  static const read_fn real = reinterpret_cast<read_fn>(dlsym(RTLD_NEXT, "read"));
  static const char* limit_text = std::getenv("FAIL_READ_AFTER");
  static const long long limit = limit_text ? std::atoll(limit_text) : -1;
  static long long done = 0;
  if (fd <= 2 || limit < 0) return real(fd, buf, n);
  if (done >= limit) {
    errno = EIO;
    return -1;
  }
  if (static_cast<long long>(n) > limit - done) n = static_cast<size_t>(limit - done);
  const ssize_t got = real(fd, buf, n);
  if (got > 0) done += got;
  return got;
}
