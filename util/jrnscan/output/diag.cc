#include "output/diag.h"

#include <cstdarg>
#include <cstdio>

#include "cli/run.h"
#include "output/out.h"

namespace jrn {

bool malformed_seen = false;

namespace {
int64_t last_reported = -1;  // one report per item, even if two tests find it
}

void malformed_new_log() { last_reported = -1; }

void diag(const char* fmt, ...) {
  out_flush();
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
}

void diag_perror(const char* prefix) {
  out_flush();
  std::perror(prefix);
}

void report_malformed(const char* what, int64_t offset, const char* fmt, ...) {
  malformed_seen = true;
  if (offset == last_reported) return;
  last_reported = offset;
  out_flush();
  char detail[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(detail, sizeof detail, fmt, ap);
  va_end(ap);
  std::fprintf(stderr, "%s: malformed %s at offset %lld: %s\n", log_name, what,
               static_cast<long long>(offset), detail);
}

}  // namespace jrn
