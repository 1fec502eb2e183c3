// --save DIR: the raw bytes of what the report shows, each in a file of
// its own: the page image of a PAGE tag, each page image of a CLUSTER tag,
// the data of a BEFORE_IMAGE tag and the data of a FIXREC record. The
// names sort by log position and say what the file holds:
//
//   <log>.<tag offset, 12 digits>.<sequence>.page         PAGE
//   <log>.<tag offset>.<sequence>.<image, 6 digits>.page  CLUSTER (from 0)
//   <log>.<tag offset>.<sequence>.before                  BEFORE_IMAGE
//   <log>.<tag offset>.<sequence>.data                    FIXREC
//
// <log> is the log's base name with every byte other than A-Z a-z 0-9 . _ -
// made '_' ("stdin" for standard input); a later log of the same base
// name in the run adds ".log2", ".log3", ... DIR/manifest.jsonl has one
// JSON object per file (see manifest_line in save_sink.cc). Nothing is
// ever overwritten: a file that exists already, or a file that cannot be
// written, ends the run with a message and exit status 1.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

class save_sink : public report_sink {
 public:
  explicit save_sink(const node_map& names) : names_(names) {}
  ~save_sink() override;
  save_sink(const save_sink&) = delete;
  save_sink& operator=(const save_sink&) = delete;

  // Makes the directory (and its missing parents) and creates the
  // manifest in it; false after a message on standard error.
  bool open(const std::string& dir);

  bool wants_lines() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, const char* key, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void list_begin(const char* key) override;
  void list_item() override;
  void list_end() override;
  void tag_done(const tag_summary& t) override;
  void finish() override;

  // Files saved so far.
  uint64_t saved() const { return saved_; }

 private:
  void save(const char* suffix, const uint8_t* p, uint32_t n);
  void write_manifest(const std::string& file, uint32_t n);
  void write_all(int fd, const char* p, size_t n, const std::string& name);
  // Ends the run: "<DIR>/<name> already exists; ..." for EEXIST, else
  // "cannot write <DIR>/<name>: <system's text>".
  [[noreturn]] void fail(const std::string& name, int err);

  const node_map& names_;
  std::string dir_;
  int dir_fd_ = -1;
  int manifest_fd_ = -1;
  std::map<std::string, uint32_t> bases_;  // logs of each base name so far
  std::string prefix_;                     // file name start of the current log
  std::string log_json_;                   // the log's name as a JSON string
  uint64_t saved_ = 0;

  // The current shown tag.
  tag_summary tag_;
  bool wanted_ = false;  // a tag kind whose bytes are saved
  bool in_images_ = false;
  int64_t image_ = -1;  // CLUSTER: the page image being listed
  bool have_recno_ = false;
  int64_t recno_ = 0;
  bool have_key_ = false;
  int64_t key_ = 0;
  std::string scratch_;
};

}  // namespace jrn
