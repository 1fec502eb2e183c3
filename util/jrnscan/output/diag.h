// Messages on standard error. The report buffer is flushed first, so a
// combined capture of both streams keeps the order in which things happened.
#pragma once

#include <cstdint>

namespace jrn {

void diag(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void diag_perror(const char* prefix);

// One line "<log name>: malformed <what> at offset <n>: <detail>" for an
// item that breaks a size rule of the format. The run then ends with exit
// status 1, after everything else was read.
void report_malformed(const char* what, int64_t offset, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
extern bool malformed_seen;
// Offsets restart with every log in the stream.
void malformed_new_log();

}  // namespace jrn
