#include "scan/diag.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "scan/report.h"

namespace jrn {

void diagnostics::flush() {
  if (hook_) hook_(hook_arg_);
  if (sink_) sink_->flush();
}

void diagnostics::vsay(const char* fmt, va_list ap) {
  if (halted_) return;  // the message that halted the run is the last
  flush();
  std::vfprintf(stderr, fmt, ap);
}

void diagnostics::message(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsay(fmt, ap);
  va_end(ap);
}

void diagnostics::say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsay(fmt, ap);
  va_end(ap);
}

void diagnostics::perror(const char* prefix) {
  if (halted_) return;
  flush();
  std::perror(prefix);
}

void diagnostics::malformed(const char* what, int64_t offset, const char* fmt, ...) {
  malformed_seen_ = true;
  if (offset == last_reported_) return;
  last_reported_ = offset;
  if (halted_) return;
  flush();
  char detail[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(detail, sizeof detail, fmt, ap);
  va_end(ap);
  std::fprintf(stderr, "%s: malformed %s at offset %lld: %s\n", log_name_, what,
               static_cast<long long>(offset), detail);
  if (sink_) {
    char text[512];
    std::snprintf(text, sizeof text, "malformed %s: %s", what, detail);
    sink_->problem(problem_kind::malformed, offset, text);
  }
}

void diagnostics::bound_reached(const char* option, const std::string& reason, const char* fmt,
                                ...) {
  for (const cut& c : cuts_)
    if (std::strcmp(c.option, option) == 0) return;
  cuts_.push_back({option, reason});
  if (halted_) return;
  flush();
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  std::fprintf(stderr, "; raise %s\n", option);
}

std::string diagnostics::cut_reason() const {
  std::string s;
  for (const cut& c : cuts_) {
    if (!s.empty()) s += "; ";
    s += c.reason;
  }
  return s;
}

}  // namespace jrn
