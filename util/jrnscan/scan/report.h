// What the scan tells its back-ends. Every tag, shown or not, is announced
// as a summary; a shown tag's contents follow as report lines, each a
// printf format with its values named and typed, so that the text
// back-end can render the format as it always was and others (JSON, the
// page saver) can use the names.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "scan/catalogue.h"
#include "scan/header.h"

namespace jrn {

enum class field_kind : uint8_t { u32, i32, i64, hex, name, text, node, node_number };

struct field {
  const char* key;  // the catalogue's JSON key of id
  fid id;
  field_kind kind;
  bool known;       // a name: false when the code has none (a placeholder is shown)
  int64_t num;      // numbers, and the node number of a node
  const char* str;  // names and texts
  uint32_t len;     // texts: their length (they may hold any byte)
};

// Typed makers (built with parentheses, so that a line's values can pass
// through a macro). Each turns into a field and gives the value that printf
// takes for it, so that the compiler checks every line's format.
struct u32f {
  u32f(fid k, uint32_t value) : key(k), v(value) {}
  fid key;
  uint32_t v;
  unsigned arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::u32, true, v, nullptr, 0}; }
};
struct i32f {
  i32f(fid k, int32_t value) : key(k), v(value) {}
  fid key;
  int32_t v;
  int arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::i32, true, v, nullptr, 0}; }
};
struct i64f {
  i64f(fid k, int64_t value) : key(k), v(value) {}
  fid key;
  int64_t v;
  long long arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::i64, true, v, nullptr, 0}; }
};
struct hexf {
  hexf(fid k, uint32_t value) : key(k), v(value) {}
  fid key;
  uint32_t v;
  unsigned arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::hex, true, v, nullptr, 0}; }
};
// The name of a code (shown with %s); known is false for the placeholder
// of a code without a name.
struct namef {
  namef(fid k, const char* value, bool is_known = true) : key(k), v(value), known(is_known) {}
  fid key;
  const char* v;
  bool known;
  const char* arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::name, known, 0, v, 0}; }
};
// A text from the log or a map file (shown with %s): any bytes, len of them.
struct textf {
  textf(fid k, const char* value, uint32_t length) : key(k), v(value), len(length) {}
  fid key;
  const char* v;
  uint32_t len;
  const char* arg() const { return v; }
  operator field() const { return {field_key(key), key, field_kind::text, true, 0, v, len}; }
};
// A node number, shown (with %s) as its qualified name and number.
struct nodef {
  nodef(fid k, int32_t value) : key(k), v(value) {}
  fid key;
  int32_t v;
  const char* arg() const { return ""; }
  operator field() const { return {field_key(key), key, field_kind::node, true, v, nullptr, 0}; }
};

// A node number shown as a plain number (with %d): the JSON report gives
// it unsigned, as every node number.
struct nodenumf {
  nodenumf(fid k, int32_t value) : key(k), v(value) {}
  fid key;
  int32_t v;
  int arg() const { return v; }
  operator field() const {
    return {field_key(key), key, field_kind::node_number, true, v, nullptr, 0};
  }
};

inline void printf_check(const char*, ...) __attribute__((format(printf, 1, 2)));
inline void printf_check(const char*, ...) {}

// One tag as the tag loop and its handler saw it. One cache line: the tag
// loop makes a fresh one for every tag.
struct tag_summary {
  uint8_t letter = 0;
  bool is_record = false;
  uint8_t opcode = 0;
  uint8_t txn_state = 0;
  bool shown = false;
  uint16_t payload_size = 0;  // of payload
  uint32_t sequence = 0;
  uint32_t timestamp = 0;   // seconds since 1970-01-01 00:00:00 UTC
  int64_t offset = 0;       // input offset of the tag's first byte
  int64_t body_offset = 0;  // log offset right behind the tag header (the page key)
  int64_t bytes = 0;        // the whole tag, header included (when done)
  uint32_t transaction_id = 0;
  uint32_t session_id = 0;
  int32_t node_id = 0;
  // The pages a tag names, for the summary: a CLUSTER tag's first page (its
  // images fill the rest of the tag), and an IMAGE record's payload (valid
  // until tag_done returns; null when it has none).
  int32_t first_page = 0;
  const uint8_t* payload = nullptr;
};
static_assert(sizeof(tag_summary) <= 64, "a tag summary takes one cache line");

// How a log ended.
enum class log_end : uint8_t {
  eof_finish,      // end tag EOF_FINISH
  eof_cont,        // end tag EOF_CONT
  next_log,        // a further log started without an end tag
  input_between,   // end of input between tags
  input_inside,    // end of input inside a tag
  unknown_letter,  // an unrecognized tag letter
  read_failure,    // a read failed
  header_failure,  // the file header was refused
  body_failure,    // a tag body could not be read
  stopped,         // the run stopped (--limit, a signal)
};

// A break in a series of logs that the back-ends must not carry what they
// know across: before the log just begun, file sequences of its series
// are missing, it is read after a later file sequence of its series, or
// it is of another series than the log read before it (logs of different
// series share nothing).
struct series_gap_info {
  enum kind_t : uint8_t { missing, out_of_order, other_series };
  kind_t kind = missing;
  const char* reason = "";  // "file sequence 10 of series 0x5eed generation 3 is missing"
  int64_t offset = 0;       // input offset of the log just begun
  uint32_t volume_set = 0;  // the series of the log just begun
  uint32_t generation = 0;
  // The first tag time of that series in the input, when a log of it was
  // read before.
  bool have_first_time = false;
  uint32_t first_time = 0;
};

// The kinds of problem a back-end is told of.
enum class problem_kind : uint8_t { malformed, failure };

class report_sink {
 public:
  virtual ~report_sink() = default;
  // Whether the shown tags' lines are wanted at all; when not, handlers
  // skip describing them.
  virtual bool wants_lines() const { return false; }
  // Whether every item is to be validated, shown or not (otherwise items
  // are checked where the report needs them).
  virtual bool wants_all_problems() const { return false; }

  // An input (an operand) is about to be read: its name, and its size in
  // bytes when it is a regular file (else -1). Every log read from it
  // until the next begin_input lies in it, one behind the other.
  virtual void begin_input(const char* /*name*/, int64_t /*size*/) {}
  // An input could not be opened (the reason is already on standard error).
  virtual void input_failed(const char* /*name*/) {}
  // An archive could not be read to its end (a damaged or truncated tar):
  // why is already on standard error; the logs read from it were reported.
  virtual void input_damaged(const char* /*name*/, const char* /*why*/) {}
  // An input of an archive was passed over unread because its tags lie
  // outside the --since/--until window: its name, size in bytes (-1 when
  // unknown), and the time range its first tag and its end (or the next
  // file's first tag) give.
  virtual void input_skipped(const char* /*name*/, int64_t /*size*/, uint32_t /*first_ts*/,
                             uint32_t /*last_ts*/) {}
  // The exit status the back-end asks for once the run is over: 0 or 1, or
  // -1 for no opinion (the run's own status stands).
  virtual int exit_status() const { return -1; }

  virtual void begin_log(const char* /*log_name*/, const fwlog_header& /*h*/) {}
  // Right behind begin_log: the log does not follow the one read before it
  // (told only to the back-ends of the analysis modes).
  virtual void series_gap(const series_gap_info& /*g*/) {}
  // A shown tag begins: its lines follow until tag_done.
  virtual void show_tag(const tag_summary& /*t*/) {}
  // One report line; text_shown is false for a line that the text report
  // leaves out at the current detail level (its values still count).
  virtual void line(bool /*text_shown*/, const char* /*fmt*/, std::initializer_list<field>) {}
  // Raw bytes: n of them in all, of which the text report dumps text_n
  // (and "..." behind them when ellipsis is set) if text_shown.
  virtual void data(bool /*text_shown*/, fid /*id*/, const uint8_t* /*p*/, uint32_t /*n*/,
                    uint32_t /*text_n*/, bool /*ellipsis*/) {}
  // 32-bit words (count of them), listed eight to a line in the text.
  virtual void words(bool /*text_shown*/, fid /*id*/, const uint8_t* /*p*/, uint32_t /*count*/) {}
  // Repeated groups of lines (entries, items, page images).
  virtual void list_begin(fid /*id*/) {}
  virtual void list_item() {}
  virtual void list_end() {}
  // Every tag, shown or not, once it has been read.
  virtual void tag_done(const tag_summary& /*t*/) {}
  // The log ended at this input offset.
  virtual void end_log(log_end /*how*/, int64_t /*offset*/) {}
  // Bytes of the input that were not read as a log: behind an end tag that
  // no further log follows, or behind a refused file header. count is the
  // number of them from input offset `offset` on, or -1 when the input's
  // end is unknown (the look for a further log stopped short of it).
  virtual void unread(int64_t /*offset*/, int64_t /*count*/) {}
  virtual void problem(problem_kind /*kind*/, int64_t /*offset*/, const char* /*text*/) {}
  // Before a message on standard error: what was reported goes out first.
  virtual void flush() {}
  virtual void finish() {}
};

}  // namespace jrn
