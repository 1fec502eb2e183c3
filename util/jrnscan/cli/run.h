// The run driver.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jrn {

struct run_options;
class node_map;

// Scans a block of memory as one input named log_name with the given
// settings, into the back-end they choose (the report goes to out_fd, -1
// throws it away); returns the exit status. The fuzzer and in-process
// tests use it.
int scan_bytes(const run_options& o, node_map& names, const uint8_t* data, size_t size,
               const char* log_name, int out_fd = 1);
// The same over a file descriptor, read as the tool reads an operand: a
// compressed log or a tar archive by the logs it holds.
int scan_fd(const run_options& o, node_map& names, int fd, const char* log_name, int out_fd = 1);

// The whole run: options, announcements, the scan of every operand.
// Returns the exit status.
int jrnscan_main(int argc, char** argv);

}  // namespace jrn
