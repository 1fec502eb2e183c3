// Runs the built jrnscan binary on logs that a test builds and captures its
// whole standard output, standard error and exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace golden {

struct result {
  std::string out;
  std::string err;
  int status = -1;
  // Both streams in the order written (one pipe for both).
  std::string both;
};

// Writes bytes to a file of the given name in the test's scratch directory,
// where jrnscan runs, and returns the name; the directory is removed when
// the test program ends.
std::string temp_file(const std::string& bytes, const std::string& name);

// The built binary and the scratch directory the runs happen in.
const char* binary();
const std::string& work_dir();

// Variables set in jrnscan's environment on top of TZ=UTC (which one of
// them may replace).
using environment = std::vector<std::pair<std::string, std::string>>;

// Runs jrnscan with argv[0] "jrnscan", the given arguments, TZ=UTC and the
// given standard input.
result run(const std::vector<std::string>& args, const std::string& stdin_bytes = "",
           const environment& env = {});
// Runs jrnscan on a log written to "t.fwlog": the options, then that name.
result scan(const std::string& log, std::vector<std::string> options = {});

}  // namespace golden
