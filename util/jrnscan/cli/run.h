// Run state shared by the driver and the log reader.
#pragma once

namespace jrn {

class log_stream;

// The log's name in messages and in the header print-out: the operand as
// typed, or "(stdin)".
extern const char* log_name;
// Set by scan_log when the stream holds a further log after the current one.
extern bool log_continues;

// The whole run: options, announcements, the scan of every log in the
// stream. Returns the exit status.
int jrnscan_main(int argc, char** argv);

// Scans every log in the stream with the current filter settings; returns
// the exit status (1 when a log failed or held a malformed item).
int scan_stream(log_stream& in);

}  // namespace jrn
