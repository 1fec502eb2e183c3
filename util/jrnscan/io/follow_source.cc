#include "io/follow_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace jrn {

namespace {

// How long a wait sleeps before it looks again (for a stop, a replaced
// file, or growth that inotify did not tell of).
constexpr int notify_wait_ms = 200;
constexpr int poll_wait_ms = 100;
constexpr int stream_wait_ms = 250;
// A stop inside a tag waits this long for the rest of the tag.
constexpr int64_t stop_grace_ms = 1000;

volatile sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int) { stop_signal = 1; }

int64_t monotonic_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

bool stop_signalled() { return stop_signal != 0; }

void nap_ms(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

void catch_stop_signals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  // Reads and writes go on after the signal; the waits (poll, nanosleep)
  // are cut short and look at the flag. A second signal is not caught, so
  // a run that cannot get to its end can still be interrupted.
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction old;
    // A signal ignored by whoever started the run stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

follow_source::follow_source(int fd, const char* path) : fd_(fd), path_(path) {
  watch_stop_flag(&stop_signal);
  struct stat st;
  regular_ = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular_) return;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  const off_t at = lseek(fd, 0, SEEK_CUR);
  read_pos_ = at > 0 ? at : 0;
  notify_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (notify_fd_ < 0) return;
  // The descriptor's own file, whatever its name is now.
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  const uint32_t events = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF;
  if (inotify_add_watch(notify_fd_, self, events) < 0 &&
      (path_ == nullptr || inotify_add_watch(notify_fd_, path_, events) < 0)) {
    ::close(notify_fd_);
    notify_fd_ = -1;
  }
}

follow_source::~follow_source() {
  if (notify_fd_ >= 0) ::close(notify_fd_);
}

ssize_t follow_source::fill(uint8_t* dst, size_t cap) {
  return regular_ ? fill_file(dst, cap) : fill_stream(dst, cap);
}

bool follow_source::stop_now() {
  if (at_tag_boundary()) return true;
  const int64_t now = monotonic_ms();
  if (stop_deadline_ms_ < 0) stop_deadline_ms_ = now + stop_grace_ms;
  return now >= stop_deadline_ms_;
}

const char* follow_source::trouble() const {
  struct stat st;
  if (fstat(fd_, &st) == 0 && st.st_size < read_pos_)
    return "the file shrank while it was followed";
  struct stat named;
  if (path_ && stat(path_, &named) == 0 && (named.st_dev != dev_ || named.st_ino != ino_))
    return "the file was replaced while it was followed";
  return nullptr;
}

void follow_source::nap() {
  if (notify_fd_ >= 0) {
    struct pollfd p = {notify_fd_, POLLIN, 0};
    if (poll(&p, 1, notify_wait_ms) > 0) {
      // The events only wake the wait; what happened is seen in the file.
      alignas(struct inotify_event) char events[4096];
      while (::read(notify_fd_, events, sizeof events) > 0) {
      }
    }
    return;
  }
  struct timespec ts = {0, poll_wait_ms * 1000000L};
  nanosleep(&ts, nullptr);
}

ssize_t follow_source::fill_file(uint8_t* dst, size_t cap) {
  bool told = false;
  for (;;) {
    const ssize_t n = ::read(fd_, dst, cap);
    if (n > 0) {
      read_pos_ += n;
      return n;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (!following_) return 0;
    // At the end of what was written so far.
    if (const char* why = trouble()) {
      set_failure_text(why);
      errno = ESTALE;
      return -1;
    }
    if (stop_requested() && stop_now()) {
      set_stopped();
      return 0;
    }
    if (!told) {
      about_to_wait();
      told = true;
    }
    nap();
  }
}

ssize_t follow_source::fill_stream(uint8_t* dst, size_t cap) {
  bool told = false;
  for (;;) {
    struct pollfd p = {fd_, POLLIN, 0};
    const int ready = poll(&p, 1, told ? stream_wait_ms : 0);
    // Data, the writer's end closed, or a descriptor poll cannot watch:
    // the read tells which.
    if (ready > 0 || (ready < 0 && errno != EINTR)) return ::read(fd_, dst, cap);
    if (stop_requested() && stop_now()) {
      set_stopped();
      return 0;
    }
    if (!told) {
      about_to_wait();
      told = true;
    }
  }
}

bool follow_source::nothing_new() {
  // A stream is read as standard input is: a read waits for the writer.
  if (!regular_ || !following_) return false;
  bool told = false;
  for (;;) {
    // The wait hook may have ended the following (the report could not be
    // written): what was written so far is all.
    if (!following_) return true;
    struct stat st;
    if (fstat(fd_, &st) != 0 || st.st_size > read_pos_) return false;
    if (stop_requested()) {
      set_stopped();
      return true;
    }
    if (linger_ == nullptr || !linger_(linger_ctx_)) return true;
    // A shrunk or replaced file: the read that follows says so.
    if (trouble()) return false;
    if (!told) {
      about_to_wait();
      told = true;
    }
    nap();
  }
}

}  // namespace jrn
