// A log that is still being written, read as it grows. At the end of what
// was written the source lets the report out (the wait hook) and waits for
// more, so a tag that is only partly written is waited for rather than
// taken as cut. A regular file is watched for growth; anything else (a
// pipe, a terminal) is read as it comes, as standard input always is.
//
// A stop asked for by SIGINT or SIGTERM ends the input: at once when the
// wait is between tags, else after a short grace for the rest of the tag.
// A followed file that shrinks or is replaced by another file ends the
// input with a failure (failure_text()).
//
// Where the reader asks whether the writer is done (caught_up(): every
// byte written so far has been read), the source's owner may have it wait
// a while longer for the file to grow (on_caught_up()).
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "io/source.h"

namespace jrn {

// Makes SIGINT and SIGTERM ask every following source to stop (a second
// one of the same signal acts as if there were no handler).
void catch_stop_signals();

// Whether SIGINT or SIGTERM asked the run to stop.
bool stop_signalled();

// Sleeps for ms milliseconds, or until a signal arrives.
void nap_ms(int ms);

class follow_source : public byte_source {
 public:
  // fd is not closed here. path names the file for the check that it was
  // not replaced; null for standard input.
  follow_source(int fd, const char* path);
  ~follow_source() override;
  follow_source(const follow_source&) = delete;
  follow_source& operator=(const follow_source&) = delete;

  void stop_following() override { following_ = false; }

  // Called, with ctx, while a followed regular file that has been read to
  // its end is waited for where the reader asks whether anything more will
  // come: the wait goes on (for growth, a stop or a changed file) as long
  // as the hook returns true, asked again after each short wait. Without a
  // hook, or once it returns false, the answer is that nothing more came.
  using caught_up_hook = bool (*)(void* ctx);
  void on_caught_up(caught_up_hook hook, void* ctx) {
    linger_ = hook;
    linger_ctx_ = ctx;
  }

 protected:
  ssize_t fill(uint8_t* dst, size_t cap) override;
  bool nothing_new() override;

 private:
  ssize_t fill_file(uint8_t* dst, size_t cap);
  ssize_t fill_stream(uint8_t* dst, size_t cap);
  // What went wrong with the followed file, or null.
  const char* trouble() const;
  // Whether a stop that was asked for ends the input now.
  bool stop_now();
  // Sleeps until the file may have grown, or a little while.
  void nap();

  int fd_;
  const char* path_;
  bool regular_;  // watched for growth; otherwise read as it comes
  bool following_ = true;
  int64_t read_pos_ = 0;  // bytes read from fd_
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  int notify_fd_ = -1;  // inotify instance, or -1: plain polling
  int64_t stop_deadline_ms_ = -1;
  caught_up_hook linger_ = nullptr;
  void* linger_ctx_ = nullptr;
};

}  // namespace jrn
