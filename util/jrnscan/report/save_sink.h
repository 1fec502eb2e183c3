// --save DIR: the raw bytes of what the report shows, each in a file of
// its own: the page image of a PAGE tag, each page image of a CLUSTER tag,
// the data of a BEFORE_IMAGE tag and the data of a FIXREC record. The
// names say what the file holds, and those of one input sort in the order
// of its logs and tags:
//
//   <log>.<tag offset, 12 digits>.<sequence>.page         PAGE
//   <log>.<tag offset>.<sequence>.<image, 6 digits>.page  CLUSTER (from 0)
//   <log>.<tag offset>.<sequence>.before                  BEFORE_IMAGE
//   <log>.<tag offset>.<sequence>.data                    FIXREC
//
// <log> is the input's base name with every byte other than A-Z a-z 0-9 .
// _ - made '_' ("stdin" for standard input), then the operand's number in
// the run (1 for the first operand, whether or not it could be opened),
// and for the second and later log of the input ".log" and the log's
// number in it, 6 digits. The tag offset counts from the input's first
// byte, so it tells the tags of one input apart. Read from the right, the
// fields behind the base name cannot be taken for one another (the offset
// has 12 digits or more, a sequence at most 10, the log number follows
// "log"), so names of different operands never meet, whatever the
// operands are called.
//
// DIR/manifest.jsonl has one JSON object per file (see write_manifest in
// save_sink.cc). A saved file is no more readable than its log: it gets
// the log file's read and write bits (0600 for standard input and for an
// input that is not a regular file), less the umask. The manifest is 0600
// while the run goes on and gets what every input allows at its end.
//
// Nothing is ever overwritten: a file that exists already, or a file that
// cannot be written, ends the run with a message and exit status 1. No
// file is left cut short, and every file saved has its whole manifest
// line: a failed write removes the file, or cuts the manifest back to its
// last whole line and removes the file that line was for.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "report/out.h"
#include "report/record_files.h"
#include "scan/diag.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

class save_sink : public report_sink {
 public:
  // Its messages go through diag; a file it cannot write halts the run.
  save_sink(const node_map& names, diagnostics& diag) : names_(names), files_(diag) {}

  // Makes the directory (and its missing parents) and creates the
  // manifest in it; false after a message on standard error.
  bool open(const std::string& dir);

  bool wants_lines() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void input_failed(const char* name) override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void show_tag(const tag_summary& t) override;
  void line(bool text_shown, const char* fmt, std::initializer_list<field> fields) override;
  void data(bool text_shown, fid id, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis) override;
  void list_begin(fid id) override;
  void list_item() override;
  void list_end() override;
  void tag_done(const tag_summary& t) override;
  void finish() override;

  // Files saved so far.
  uint64_t saved() const { return saved_; }

 private:
  void save(const char* suffix, const uint8_t* p, uint32_t n);
  // False when the line could not be written (said, the run halted).
  bool write_manifest(const std::string& file, uint32_t n);

  const node_map& names_;
  record_files files_;
  mode_t umask_ = 022;
  mode_t inputs_mode_ = 0666;   // the read and write bits every input began so far allows
  uint32_t inputs_ = 0;         // operands so far, the current one included
  uint32_t logs_in_input_ = 0;  // logs of the current input so far
  mode_t file_mode_ = 0600;     // of the files saved from the current input
  std::string prefix_;          // file name start of the current log
  std::string log_json_;        // the log's name as a JSON string
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
  // The manifest's line, written with json_writer through manifest_out_.
  std::string manifest_line_;
  output manifest_out_{manifest_line_};
};

}  // namespace jrn
