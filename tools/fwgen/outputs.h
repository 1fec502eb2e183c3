// Where the generator's logs go: one stream (a file or standard output), a
// file per log in a directory (a series, named by file sequence), or those
// files as the members of one tar archive; each compressed when asked.
// An output that cannot be opened says why in failure() from the start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fwgen/generator.h"
#include "logbuild/archive_writer.h"

namespace fwgen {

class output {
 public:
  virtual ~output() = default;
  // A piece of the current log.
  virtual bool write(const std::string& piece) = 0;
  // The current log is whole.
  virtual bool log_done(const log_info& log) = 0;
  // Everything is written.
  virtual bool close() = 0;
  // What went wrong: "cannot write PATH: why".
  const std::string& failure() const { return failure_; }

 protected:
  bool fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    return false;
  }
  std::string failure_;
};

// The name of the file of a log of a series: "000042.fwlog".
std::string log_file_name(int32_t file_sequence);

// Every log one behind the other into path ("-": standard output).
std::unique_ptr<output> stream_output(const std::string& path, logbuild::compression c);
// A file per log in dir (made when missing), the first of file sequence
// first_sequence, its name followed by the compression's suffix; no file
// for the log of file sequence drop (0: none), whose writes must not come.
std::unique_ptr<output> series_output(const std::string& dir, int32_t first_sequence,
                                      logbuild::compression c, int32_t drop = 0);
// The files of a series as members of a tar at path ("-": standard
// output), compressed as a whole: "YYYY-MM-DD/000042.fwlog" by the UTC date
// of the log's first tag, behind a directory entry for each date, each
// member of the time of its log's end tag.
std::unique_ptr<output> tar_output(const std::string& path, logbuild::compression c);
// inner without the log of file sequence drop: its bytes are not passed on
// (the logs are numbered from first_sequence on).
std::unique_ptr<output> dropping_output(std::unique_ptr<output> inner, int32_t first_sequence,
                                        int32_t drop);

}  // namespace fwgen
