#include "report/progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace jrn {

namespace {

constexpr int64_t redraw_ns = 100000000;  // ten times a second at most
const char erase_line[] = "\r\033[K";

int64_t now_ns() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void put(const char* s, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(2, s, n);
    if (w <= 0) return;  // the indicator is not worth a failed run
    s += w;
    n -= static_cast<size_t>(w);
  }
}

}  // namespace

progress_meter::progress_meter(int mode) : mode_(mode), stderr_tty_(isatty(2) != 0) {}

progress_meter::~progress_meter() { end_input(); }

void progress_meter::begin_input(const char* name, int64_t size) {
  end_input();
  if (mode_ == 0) return;
  if (mode_ < 0 && (!stderr_tty_ || size < min_size)) return;
  active_ = true;
  size_ = size;
  name_ = name;
  countdown_ = tags_per_look;
  start_ns_ = now_ns();
  draw(0, start_ns_);
}

void progress_meter::look(int64_t position) {
  countdown_ = tags_per_look;
  const int64_t now = now_ns();
  if (now - last_draw_ns_ >= redraw_ns) draw(position, now);
}

void progress_meter::draw(int64_t position, int64_t now) {
  last_draw_ns_ = now;
  const double seconds = static_cast<double>(now - start_ns_) / 1e9;
  const double rate = seconds > 0 ? static_cast<double>(position) / seconds : 0;  // bytes/s
  char line[160];
  int n;
  if (size_ > 0) {
    const double share = position >= size_ ? 100.0 : 100.0 * position / size_;
    n = std::snprintf(line, sizeof line, "\r%.60s: %3.0f%%  %.1f MB/s", name_.c_str(), share,
                      rate / 1e6);
    if (rate > 0 && position > 0 && position < size_) {
      const int64_t left = static_cast<int64_t>((size_ - position) / rate + 0.5);
      n += std::snprintf(line + n, sizeof line - n, "  %lld:%02lld left",
                         static_cast<long long>(left / 60), static_cast<long long>(left % 60));
    }
  } else {
    n = std::snprintf(line, sizeof line, "\r%.60s: %.1f MB read  %.1f MB/s", name_.c_str(),
                      position / 1e6, rate / 1e6);
  }
  if (n < 0) return;
  if (static_cast<size_t>(n) >= sizeof line) n = sizeof line - 1;
  // The rest of a longer line drawn before is erased behind the text.
  std::snprintf(line + n, sizeof line - n, "\033[K");
  put(line, std::strlen(line));
  drawn_ = true;
}

void progress_meter::clear() {
  if (!drawn_) return;
  put(erase_line, sizeof erase_line - 1);
  drawn_ = false;
  last_draw_ns_ = 0;  // drawn again at the next look
}

void progress_meter::end_input() {
  clear();
  active_ = false;
}

}  // namespace jrn
