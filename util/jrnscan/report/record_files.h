// Files of bytes from the log in a directory (the record contents of
// --history and --undo, the images of --save), with DIR/manifest.jsonl of
// one JSON object per line that says what each file holds. Nothing is ever
// overwritten: a file that exists already, or one that cannot be written,
// ends the run with a message and exit status 1. No file is left cut
// short, and no manifest line is left cut short. Files and manifest are
// readable by their owner only (less the umask) unless told otherwise: a
// record's bytes are no one else's business.
#pragma once

#include <sys/types.h>

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
  // A new file of n bytes with these read and write bits (less the
  // umask); false after a message (the run is halted).
  bool write(const std::string& name, const uint8_t* p, size_t n, mode_t mode = 0600);
  // One manifest line: a JSON object, without its line break; false after
  // a message (the run is halted). A line for a file is written after it;
  // when file names it, a line that cannot be written removes that file,
  // so that every line is of a file that is there and every such file has
  // its line.
  bool manifest(const std::string& object, const std::string& file = std::string());
  // Closes the manifest; false after a message. With a mode, the manifest
  // gets those read and write bits first (it stays owner-only when that
  // fails: never more readable than it should be).
  bool close();
  bool close(mode_t mode);
  bool failed() const { return failed_; }

 private:
  // Says "<DIR>/<name> already exists; ..." for EEXIST, else "cannot
  // write <DIR>/<name>: <system's text>", and halts the run: nothing more
  // is written.
  void fail(const std::string& name, int err);

  diagnostics& diag_;
  std::string dir_;
  int dir_fd_ = -1;
  int manifest_fd_ = -1;
  int64_t manifest_size_ = 0;  // bytes of whole lines
  std::string line_;
  bool failed_ = false;
};

}  // namespace jrn
