// Files of record contents in a directory, with DIR/manifest.jsonl of one
// JSON object per line that says what each file holds. Nothing is ever
// overwritten: a file that exists already, or one that cannot be written,
// ends the run with a message and exit status 1. No file is left cut
// short, and no manifest line is left cut short. Files and manifest are
// readable by their owner only (less the umask): a record's bytes are no
// one else's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scan/diag.h"

namespace jrn {

class record_files {
 public:
  explicit record_files(diagnostics& diag) : diag_(diag) {}
  ~record_files();
  record_files(const record_files&) = delete;
  record_files& operator=(const record_files&) = delete;

  // Makes the directory (and its missing parents) and creates the manifest
  // in it; false after a message on standard error.
  bool open(const std::string& dir);
  // A new file of n bytes; false after a message (the run is halted).
  bool write(const std::string& name, const uint8_t* p, size_t n);
  // One manifest line: a JSON object, without its line break; false after
  // a message (the run is halted). A line for a file is written after it.
  bool manifest(const std::string& object);
  // Closes the manifest; false after a message.
  bool close();
  bool failed() const { return failed_; }

 private:
  void fail(const std::string& name, int err);

  diagnostics& diag_;
  std::string dir_;
  int dir_fd_ = -1;
  int manifest_fd_ = -1;
  int64_t manifest_size_ = 0;  // bytes of whole lines
  bool failed_ = false;
};

}  // namespace jrn
