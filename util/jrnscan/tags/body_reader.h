// Field-by-field reading of a variable tag body against the number of body
// bytes not yet read.
#pragma once

#include <cstdint>

namespace jrn {

struct scan_context;

class body_reader {
 public:
  // what names the body in messages about its size, e.g. "AUDIT MEMO body".
  body_reader(scan_context& c, uint32_t size, const char* what) : c_(c), sz_(size), what_(what) {}

  // Reads a field of width bytes. When the body is too short for it, the
  // body is reported as malformed and its remaining bytes are consumed;
  // when the input ends inside it, the field's message (a printf format
  // with the arguments that follow) goes to standard error. Either way the
  // result is false and result() tells the handler what to return.
  bool field(void* dst, uint32_t width, const char* fail_fmt, ...)
      __attribute__((format(printf, 4, 5)));
  // Reports the body as malformed with the detail given and consumes its
  // remaining bytes; fail_msg is printed if the input ends first. Always
  // returns false.
  bool malformed(const char* fail_msg, const char* detail_fmt, ...)
      __attribute__((format(printf, 3, 4)));
  // Consumes what is left of the body unshown (bytes behind the last entry).
  bool skip_rest(const char* fail_msg);

  uint32_t left() const { return sz_; }
  // 0 when the tag stream can go on, -1 after a failed read.
  int result() const { return result_; }

 private:
  scan_context& c_;
  uint32_t sz_;
  const char* what_;
  int result_ = 0;
};

}  // namespace jrn
