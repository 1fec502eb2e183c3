// --check: every log is read to its end and judged, without a report.
//
// Errors (the run exits with status 1): a log that does not end with an end
// tag (the input ends between tags or inside a tag, or a further log begins
// without one), an unrecognized tag letter, a read failure, a tag body that
// cannot be read, a malformed item, a refused file header, an input that
// cannot be opened.
// Bytes behind an end tag that are not a further log are an error too: the
// log "ended" early, or a damaged tag letter reads as an end tag.
// Warnings (status 1 only with --strict): tag sequence numbers that do not
// go up by exactly one from tag to tag, timestamps that go back.
//
// Continuity across files is judged per series (the logs of one volume set
// id and volume generation) by file sequence, whatever order the logs are
// read in: each log leaves a small record, and once all are read each
// series gets one line (one object) and its findings: file sequences missing (an error per gap), a
// file sequence read more than once (a warning when both reads gave the same tags, else an error),
// and between consecutive file sequences a tag sequence that does not go on by one or a time that
// goes back (warnings), and a series whose last log ends with EOF_CONT (a warning: the file that
// continues it was not read).
//
// Before-images are judged against what the log told of their record
// before, by the rules of record_rules.h that --history and --undo follow
// too (kept as hashes, see record_contents): where a record's content is
// known from a PUT or UPDATE (or an earlier before-image) and the
// UPDATE_RANGE patches since, its next before-image must equal it, and a
// record deleted and not put again has no before-image but one of a PUT.
// A mismatch is a warning.
// What is known carries over into a log that follows the one before it
// (the same series, the next file sequence, behind an end tag); any other
// log and a break in the tag sequence forget it all, and a FIXREC record
// that cannot be read the records of its node, as changes may be missing
// there.
//
// Transactions are followed from the records that begin and end them
// (txn_table): one whose BEGIN was read and that is still open when its
// log ends with EOF_FINISH never ended, a warning. One open at an EOF_CONT
// goes on into the next log when that log follows the one before it, as
// the records do; otherwise (another log, the end of the input, a log
// without an end tag, a break in the tag sequence, where its END may be
// the tag missing) it is let go without a verdict. The table is bounded by
// --txn-table: a transaction begun while it is full is not followed, which
// is said once.
//
// Each error and warning goes to standard error with the log's name and the
// offset, unless the tool's own message already says both (malformed items,
// unrecognized letters, read failures); of each kind of warning only the
// first five of a log are listed, then their count. Standard output gets
// one line per log with its verdict, tag count and sequence and time range,
// and a last line for the whole run; with --json, one object per log and
// one for the run instead.
//
// The files: check_sink.cc follows the tags and the logs, check_images.cc
// the records' contents and their before-images, check_series.cc the
// continuity across files (judged in model/check_series.h); check_text.cc
// and check_json.cc write the lines and the objects.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/check_records.h"
#include "model/check_series.h"
#include "model/check_verdict.h"
#include "model/txn_table.h"
#include "report/out.h"
#include "report/progress.h"
#include "scan/diag.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

struct check_options {
  bool strict = false;  // warnings fail the run too
  bool utc = false;
  bool json = false;  // the verdicts as JSON Lines
  int progress = -1;
  // The bound on the memory of the record table (--image-memory); 0 judges
  // no before-image.
  uint64_t image_memory = default_image_memory;
  static constexpr uint64_t default_image_memory = uint64_t{1} << 30;
  // The most transactions followed while open at once (--txn-table).
  uint32_t max_txns = 50000;
  // Node names in the findings: the map's qualified names (null: numbers),
  // escaped on standard error when escape is set.
  const node_map* names = nullptr;
  bool escape = false;
};

class check_sink : public report_sink, public record_observer, private txn_listener {
 public:
  static constexpr uint32_t listed_per_kind = 5;
  // Findings kept for a log's JSON object; the rest are counted.
  static constexpr size_t findings_kept = 100;

  // The verdicts go to out, the findings through diag (which erases the
  // progress line first).
  check_sink(output& out, diagnostics& diag, const check_options& o);

  bool wants_all_problems() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void input_failed(const char* name) override;
  void input_damaged(const char* name, const char* why) override;
  int exit_status() const override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void unread(int64_t offset, int64_t count) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;
  // Every FIXREC change and before-image (set the scan's records to this).
  void record(const tag_summary& t, const record_event& e) override;

 private:
  void start_log();
  void error(int64_t offset, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void warning(int64_t offset, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void say(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // One finding on standard error: "<log>: check: <level> at offset N: ...".
  void finding(const char* level, int64_t offset, const char* fmt, va_list ap);
  // A finding that the tool's own message already said, for the JSON.
  void keep_finding(const char* level, int64_t offset, const char* text);
  void sequence_break(const tag_summary& t);
  void time_back(const tag_summary& t);
  // How the log ended, as an error where it did not end with an end tag.
  void judge_end(log_end how, int64_t offset);
  // The counts of each kind of warning beyond those listed.
  void say_log_totals();

  // The lines (check_text.cc) and the JSON objects (check_json.cc).
  void print_log_text(log_end how);
  void print_series_text(const series_judgement& j);
  void print_run_text();
  void input_object(const char* name, const char* verdict, const char* why);
  void print_log_json(log_end how, int64_t offset);
  void print_series_json(const series_judgement& j);
  void print_run_json();

  // Before-images (check_images.cc): record events of the tag at an input
  // offset, a change, or a before-image judged.
  void judge(int64_t offset, const record_event& e);
  void record_change(int64_t offset, const record_event& e);
  void judge_before_image(int64_t offset, const record_event& e);
  record_contents::entry* record_entry(int32_t node, uint32_t recno);
  void mark(record_contents::entry& r, int64_t offset, record_contents::source from);
  // "before-image of record 12 of SHOP.ORDERS at offset X", in the form
  // the text goes to.
  std::string record_text(int64_t offset, const record_event& e, text_form form) const;
  // " in t.fwlog (log 2)" when the entry's tag lies in another log.
  std::string elsewhere(const record_contents::origin& o) const;
  void mismatch(int64_t offset, const record_event& e, record_contents::entry& r);

  // Transactions: a new table, the open ones let go unjudged, those
  // still open at an EOF_FINISH told to txn_done.
  void new_txn_table();
  void forget_txns();
  void finish_txns();
  uint64_t txns_open() const { return txns_->opened() - txns_done_; }
  void txn_done(const txn_info& x) override;
  void txn_table_full(const tag_summary& t);

  // Continuity across files (check_series.cc): each log remembered, each
  // series judged once all are read, its findings said and its verdict
  // printed.
  void remember_log(log_end how);
  void judge_all_series();
  void report_series(const series_judgement& j);
  void say_series_finding(const series_finding& f);
  void series_say(const char* level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void say_series_totals(const series_judgement& j);

  output& out_;
  diagnostics& diag_;
  check_options opt_;
  progress_meter progress_;
  std::string input_name_ = "(input)";
  std::string log_label_;  // the name in messages: "t.fwlog", "t.fwlog (log 2)"
  uint32_t log_index_ = 0;
  bool log_open_ = false;

  // The current log.
  check_log_counts log_;
  int64_t tags_end_ = 0;  // input offset behind the last tag read
  int64_t log_start_ = 0;
  int64_t next_log_start_ = 0;  // where a further log of the input would begin
  uint8_t last_letter_ = 0;
  int64_t last_tag_offset_ = 0;
  struct kept_finding {
    const char* level;
    int64_t offset;
    std::string text;
  };
  std::vector<kept_finding> findings_;
  uint64_t findings_dropped_ = 0;
  uint64_t digest_ = 0;
  int cached_letter_ = -1;     // the last tag's letter, and whether it
  bool cached_known_ = false;  //   starts a tag of a known kind

  // Across logs and inputs: the inputs' names, the run's counts, the logs
  // remembered for continuity across files.
  std::vector<std::string> input_names_;
  check_run_counts run_;
  check_continuity continuity_;
  // The series being judged, as its findings name it.
  std::string series_label_;
  bool run_stopped_ = false;  // a signal ended the run: not all logs were read

  // What is known of the records, and what the next log must be for it to
  // carry over: the series and file sequence of the last log, whether it
  // ended with an end tag, the tag sequence expected next.
  record_contents contents_;
  bool carry_ = false;
  uint32_t carry_volume_set_ = 0, carry_generation_ = 0;
  int32_t carry_file_sequence_ = 0;
  bool sequence_known_ = false;
  uint32_t sequence_next_ = 0;
  // The tag at which a break in the sequence made the records' contents
  // be forgotten before its own record event was followed.
  int64_t cleared_at_ = -1;
  int64_t last_event_offset_ = -1;  // the tag of the last record event
  uint32_t input_number_ = 0;       // of the input being read, into input_names_
  bool contents_full_said_ = false;
  uint64_t all_mismatches_ = 0;

  // The open transactions, carried over like what is known of the
  // records; made anew when emptied after it opened many (its index keeps
  // the size it grew to, and emptying it goes through all of that).
  std::unique_ptr<txn_table> txns_;
  uint64_t txns_done_ = 0;      // told to txn_done, of txns_
  const char* txn_input_ = "";  // the input being read (as txns_ names it)
  bool txn_table_full_said_ = false;
  uint64_t all_txns_not_ended_ = 0;
};

}  // namespace jrn
