#include "report/record_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jrn {

namespace {

const char manifest_name[] = "manifest.jsonl";

bool make_dirs(const std::string& dir) {
  for (size_t at = 0; at <= dir.size();) {
    size_t slash = dir.find('/', at);
    if (slash == std::string::npos) slash = dir.size();
    if (slash > 0 && mkdir(dir.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST)
      return false;
    at = slash + 1;
  }
  return true;
}

bool write_whole(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

record_files::~record_files() {
  if (manifest_fd_ >= 0) ::close(manifest_fd_);
  if (dir_fd_ >= 0) ::close(dir_fd_);
}

bool record_files::open(const std::string& dir) {
  dir_ = dir;
  while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
  if (!make_dirs(dir) || (dir_fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0) {
    diag_.say("jrnscan: cannot make the directory %s: %s\n", dir.c_str(), std::strerror(errno));
    return false;
  }
  manifest_fd_ = openat(dir_fd_, manifest_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (manifest_fd_ < 0) {
    const int err = errno;
    const std::string path = dir_ + "/" + manifest_name;
    if (err == EEXIST)
      diag_.say("jrnscan: %s already exists; saved files are never overwritten\n", path.c_str());
    else
      diag_.say("jrnscan: cannot write %s: %s\n", path.c_str(), std::strerror(err));
    return false;
  }
  return true;
}

void record_files::fail(const std::string& name, int err) {
  // What was reported goes out first (the message path flushes it); then
  // the run halts, as it does when the report itself cannot be written.
  failed_ = true;
  const std::string path = dir_ + "/" + name;
  if (err == EEXIST)
    diag_.say("jrnscan: %s already exists; saved files are never overwritten\n", path.c_str());
  else
    diag_.say("jrnscan: cannot write %s: %s\n", path.c_str(), std::strerror(err));
  diag_.halt();
}

bool record_files::write(const std::string& name, const uint8_t* p, size_t n, mode_t mode) {
  if (failed_ || dir_fd_ < 0) return false;
  const int fd = openat(dir_fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    fail(name, errno);
    return false;
  }
  int err = 0;
  if (!write_whole(fd, p, n)) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    unlinkat(dir_fd_, name.c_str(), 0);  // no cut file to be taken for a whole one
    fail(name, err);
    return false;
  }
  return true;
}

bool record_files::manifest(const std::string& object, const std::string& file) {
  if (failed_ || manifest_fd_ < 0) return false;
  line_.assign(object);
  line_ += '\n';
  if (!write_whole(manifest_fd_, line_.data(), line_.size())) {
    // A line cut short is taken back, and so is the file it was for.
    const int err = errno;
    if (ftruncate(manifest_fd_, manifest_size_) != 0) {
      // The cut line stays; the message says the manifest failed.
    }
    if (!file.empty()) unlinkat(dir_fd_, file.c_str(), 0);
    fail(manifest_name, err);
    return false;
  }
  manifest_size_ += static_cast<int64_t>(line_.size());
  return true;
}

bool record_files::close(mode_t mode) {
  if (manifest_fd_ >= 0 && fchmod(manifest_fd_, mode) != 0) {
    // Left as it is: never more readable than it should be.
  }
  return close();
}

bool record_files::close() {
  if (manifest_fd_ < 0) return !failed_;
  const int fd = manifest_fd_;
  manifest_fd_ = -1;
  if (::close(fd) != 0) {
    fail(manifest_name, errno);
    return false;
  }
  return !failed_;
}

}  // namespace jrn
