// A one-line progress indicator on standard error for long runs of the
// summaries and the check: percentage, read speed and time left, redrawn
// in place at most ten times a second and erased before anything else is
// written to standard error and at the end.
#pragma once

#include <cstdint>
#include <string>

namespace jrn {

class progress_meter {
 public:
  // Inputs smaller than this finish too soon to need the indicator.
  static constexpr int64_t min_size = 64ll << 20;
  // The clock is read once per this many tags.
  static constexpr uint32_t tags_per_look = 4096;

  // mode: 1 always (--progress), 0 never (--no-progress), -1 when standard
  // error is a terminal and the input is a regular file of min_size or more.
  explicit progress_meter(int mode);
  ~progress_meter();

  // A new input: its name and size (-1 when not a regular file). Forced,
  // an input of unknown size shows the bytes read and the speed only.
  void begin_input(const char* name, int64_t size);
  // The input position reached, after every tag: nearly free.
  void tick(int64_t position) {
    if (active_ && --countdown_ == 0) look(position);
  }
  // Erases the line (it is drawn again at the next look).
  void clear();
  // The input is read: the line goes for good.
  void end_input();
  bool active() const { return active_; }

 private:
  void look(int64_t position);
  void draw(int64_t position, int64_t now);

  int mode_;
  bool stderr_tty_;
  bool active_ = false;
  bool drawn_ = false;
  uint32_t countdown_ = tags_per_look;
  int64_t size_ = -1;
  int64_t start_ns_ = 0;
  int64_t last_draw_ns_ = 0;
  std::string name_;
};

}  // namespace jrn
