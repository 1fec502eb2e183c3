#include "report/check_sink.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "log/scan.h"
#include "model/series.h"
#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "report/stats_sink.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// "ok", or "2 errors, 1 warning": the start of a log's or a series' line.
void print_verdict(output& out, uint64_t errors, uint64_t warnings) {
  if (errors == 0 && warnings == 0) {
    out.str("ok");
    return;
  }
  if (errors > 0)
    out.printf("%llu %s", static_cast<unsigned long long>(errors),
               plural(errors, "error", "errors"));
  if (errors > 0 && warnings > 0) out.str(", ");
  if (warnings > 0)
    out.printf("%llu %s", static_cast<unsigned long long>(warnings),
               plural(warnings, "warning", "warnings"));
}

// An unrecognized letter starts no tag: its sequence and time are not
// judged.
bool letter_known(uint8_t letter) { return tag_kind_of(letter).handler || is_end_tag(letter); }

// Records' transaction states that begin or end a transaction: BEGIN,
// END, BEGIN-END.
constexpr uint8_t txn_state_begin = 2, txn_state_begin_end = 4;

// A transaction table that opened more than this many transactions is made
// anew once it is emptied.
constexpr uint64_t txns_renew_after = 256;

}  // namespace

check_sink::check_sink(output& out, diagnostics& diag, const check_options& o)
    : out_(out), diag_(diag), opt_(o), progress_(o.progress), contents_(o.image_memory) {
  diag.on_before_message([](void* p) { static_cast<progress_meter*>(p)->clear(); }, &progress_);
  new_txn_table();
}

void check_sink::begin_input(const char* name, int64_t size) {
  input_name_ = name;
  input_number_ = static_cast<uint32_t>(input_names_.size());
  input_names_.push_back(name);
  log_index_ = 0;
  next_log_start_ = 0;
  progress_.begin_input(name, size);
}

void check_sink::input_failed(const char* name) {
  ++inputs_failed_;
  ++all_errors_;
  if (opt_.json) input_object(name, "not_opened", nullptr);
}

void check_sink::input_damaged(const char* name, const char* why) {
  ++inputs_damaged_;
  ++all_errors_;
  if (opt_.json) input_object(name, "damaged", why);
}

// The JSON object of an input that was not read whole: why, when known.
void check_sink::input_object(const char* name, const char* verdict, const char* why) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check_input");
  w.string(json_key("input"), name, std::strlen(name));
  w.ascii(json_key("verdict"), verdict);
  if (why != nullptr) w.string(json_key("reason"), why, std::strlen(why));
  w.end_object();
  w.end_line();
}

int check_sink::exit_status() const {
  return (all_errors_ > 0 || series_errors_ > 0 || (opt_.strict && all_warnings_ > 0)) ? 1 : 0;
}

// Through the run's message path: the progress line is erased and what
// was said on standard output goes out first.
void check_sink::say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  diag_.vsay(fmt, ap);
  va_end(ap);
}

void check_sink::finding(const char* level, int64_t offset, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  say("%s: check: %s at offset %lld: %s\n", log_label_.c_str(), level,
      static_cast<long long>(offset), text);
  keep_finding(level, offset, text);
}

void check_sink::keep_finding(const char* level, int64_t offset, const char* text) {
  if (!opt_.json) return;
  if (findings_.size() < findings_kept)
    findings_.push_back({level, offset, text});
  else
    ++findings_dropped_;
}

void check_sink::error(int64_t offset, const char* fmt, ...) {
  ++errors_;
  va_list ap;
  va_start(ap, fmt);
  finding("error", offset, fmt, ap);
  va_end(ap);
}

void check_sink::warning(int64_t offset, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  finding("warning", offset, fmt, ap);
  va_end(ap);
}

void check_sink::start_log() {
  ++log_index_;
  log_open_ = true;
  log_label_ = input_name_;
  if (log_index_ > 1) log_label_ += " (log " + std::to_string(log_index_) + ")";
  tags_ = 0;
  first_seq_ = last_seq_ = first_ts_ = last_ts_ = 0;
  // A log whose header is refused begins where the one before it ended.
  tags_end_ = log_start_ = next_log_start_;
  last_letter_ = 0;
  unread_ = 0;
  have_header_ = false;
  errors_ = warnings_ = 0;
  sequence_breaks_ = times_back_ = 0;
  mismatches_ = 0;
  txns_not_ended_ = 0;
  findings_.clear();
  findings_dropped_ = 0;
  digest_ = 0;
}

void check_sink::begin_log(const char* log_name, const fwlog_header& h) {
  input_name_ = log_name;
  start_log();
  txn_input_ = log_name;
  txns_->set_log(log_name);
  log_start_ = h.start;
  tags_end_ = h.start + h.bytes;
  have_header_ = true;
  volume_set_ = h.volume_set_id;
  generation_ = h.volume_generation;
  file_sequence_ = h.file_sequence;
  // What is known of the records carries over only into the next file of
  // the same series: any other may lie before, or elsewhere.
  if (!carry_ || h.volume_set_id != carry_volume_set_ || h.volume_generation != carry_generation_ ||
      h.file_sequence != static_cast<int32_t>(static_cast<uint32_t>(carry_file_sequence_) + 1)) {
    contents_.clear();
    forget_txns();
    sequence_known_ = false;
  }
  carry_ = false;
  // The file sequences are judged per series once all logs are read,
  // whatever order they came in.
}

void check_sink::sequence_break(const tag_summary& t) {
  ++warnings_;
  if (++sequence_breaks_ > listed_per_kind) return;
  warning(t.offset, "tag sequence %u follows %u (expected %u)", t.sequence, last_seq_,
          last_seq_ + 1);
}

void check_sink::time_back(const tag_summary& t) {
  ++warnings_;
  if (++times_back_ > listed_per_kind) return;
  const time_text now = format_time(t.timestamp, opt_.utc);
  const time_text before = format_time(last_ts_, opt_.utc);
  warning(t.offset, "timestamp %s (%u) is earlier than the previous tag's %s (%u)", now.c_str(),
          t.timestamp, before.c_str(), last_ts_);
}

void check_sink::tag_done(const tag_summary& t) {
  tags_end_ = t.offset + t.bytes;
  progress_.tick(tags_end_);
  digest_ = digest_tag(digest_, t);
  // The letter's kind is looked up when the letter changes.
  if (t.letter != cached_letter_) {
    cached_letter_ = t.letter;
    cached_known_ = letter_known(t.letter);
  }
  if (!cached_known_) return;
  // A break at a tag of any kind: what is known of the records is not
  // sure, and an open transaction's END may be among the tags missing.
  if (sequence_known_ && t.sequence != sequence_next_) {
    // A record event of this tag was followed after the break already.
    if (cleared_at_ != t.offset) contents_.clear();
    forget_txns();
  }
  // A FIXREC record that was not told as a change (its payload broke the
  // size rule): whether it changed a record of its node cannot be told.
  if (t.letter == tag_letter::rec && t.is_record && t.opcode == op_fixrec &&
      last_event_offset_ != t.offset && opt_.image_memory != 0)
    contents_.forget_node(t.node_id);
  sequence_known_ = true;
  sequence_next_ = t.sequence + 1;
  last_letter_ = t.letter;
  if (tags_ == 0) {
    first_seq_ = t.sequence;
    first_ts_ = t.timestamp;
  } else {
    if (t.sequence != last_seq_ + 1) sequence_break(t);
    if (t.timestamp < last_ts_) time_back(t);
  }
  ++tags_;
  last_seq_ = t.sequence;
  last_ts_ = t.timestamp;
  last_tag_offset_ = t.offset;
  // Whether a transaction ends needs only the records that begin and end
  // one (transaction 0 is none): the others do not go through the table.
  if (t.is_record && t.txn_state >= txn_state_begin && t.txn_state <= txn_state_begin_end &&
      t.transaction_id != 0)
    txns_->tag(t);
}

void check_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  // A malformed item was said with the log's name and offset already.
  if (kind == problem_kind::malformed) {
    ++errors_;
    keep_finding("error", offset, text);
  } else {
    error(offset, "%s", text);
  }
}

void check_sink::unread(int64_t offset, int64_t count) {
  // Behind a refused header or an unknown letter the log's end was an
  // error already; behind an end tag, bytes that are no further log are
  // one: the log may have ended early (a damaged letter reading as an end
  // tag), and what they hold was not checked. The tool's message said
  // where and how many.
  if (!log_open_ || !is_end_tag(last_letter_)) return;
  unread_ = count;
  ++errors_;
  char text[160];
  if (count >= 0)
    std::snprintf(text, sizeof text, "%lld bytes after the end of the log are not a log",
                  static_cast<long long>(count));
  else
    std::snprintf(text, sizeof text, "the input goes on after the end of the log");
  keep_finding("error", offset, text);
}

void check_sink::end_log(log_end how, int64_t offset) {
  if (how == log_end::stopped) run_stopped_ = true;
  if (!log_open_ && how == log_end::stopped) return;  // nothing of a further log read
  if (!log_open_) start_log();
  log_open_ = false;
  next_log_start_ = offset;
  // The next log may go on from this one when it ended with an end tag.
  carry_ = have_header_ && (how == log_end::eof_finish || how == log_end::eof_cont);
  carry_volume_set_ = volume_set_;
  carry_generation_ = generation_;
  carry_file_sequence_ = file_sequence_;
  if (!carry_) {
    contents_.clear();
    forget_txns();
    sequence_known_ = false;
  }
  switch (how) {
    case log_end::eof_finish:
    case log_end::eof_cont:
    case log_end::stopped: break;
    case log_end::next_log:
      error(offset, "a further log begins here without an end tag before it");
      break;
    case log_end::input_between:
      error(offset, "the input ends between tags, without an end tag");
      break;
    case log_end::input_inside:
      error(tags_end_, "the input ends inside the tag that begins here (%lld of its bytes read)",
            static_cast<long long>(offset - tags_end_));
      break;
    case log_end::body_failure:
      error(tags_end_,
            "the body of the tag that begins here could not be read (%lld bytes of the tag "
            "read)",
            static_cast<long long>(offset - tags_end_));
      break;
    case log_end::header_failure: error(offset, "the file header is refused"); break;
    // The tool's own message gave the log's name and the offset.
    case log_end::unknown_letter:
    case log_end::read_failure: ++errors_; break;
  }
  if (how == log_end::eof_finish) finish_txns();
  if (sequence_breaks_ > listed_per_kind)
    say("%s: check: %llu tag sequence breaks in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(sequence_breaks_), listed_per_kind);
  if (times_back_ > listed_per_kind)
    say("%s: check: %llu timestamps going back in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(times_back_), listed_per_kind);
  if (mismatches_ > listed_per_kind)
    say("%s: check: %llu before-images that do not match their record in all (the first %u "
        "listed)\n",
        log_label_.c_str(), static_cast<unsigned long long>(mismatches_), listed_per_kind);
  if (txns_not_ended_ > listed_per_kind)
    say("%s: check: %llu transactions never ended in all (the first %u listed)\n",
        log_label_.c_str(), static_cast<unsigned long long>(txns_not_ended_), listed_per_kind);

  ++logs_;
  all_mismatches_ += mismatches_;
  all_txns_not_ended_ += txns_not_ended_;
  all_errors_ += errors_;
  all_warnings_ += warnings_;
  if (errors_ > 0) ++logs_with_errors_;
  if (have_header_) remember_log(how);

  progress_.clear();
  if (opt_.json)
    print_log_json(how, offset);
  else
    print_log_text(how);
}

void check_sink::print_log_text(log_end how) {
  out_.printf("%s: ", log_label_.c_str());
  print_verdict(out_, errors_, warnings_);
  out_.printf(", %llu %s", static_cast<unsigned long long>(tags_), plural(tags_, "tag", "tags"));
  if (tags_ > 0) {
    const time_text first = format_time(first_ts_, opt_.utc);
    const time_text last = format_time(last_ts_, opt_.utc);
    out_.printf(", sequence %u to %u, %s to %s", first_seq_, last_seq_, first.c_str(),
                last.c_str());
  }
  out_.printf(", %s", log_end_text(how));
  if (unread_ > 0)
    out_.printf(", then %lld bytes that are not a log", static_cast<long long>(unread_));
  else if (unread_ < 0)
    out_.str(", then more bytes that are not a log");
  out_.str("\n");
}

void check_sink::print_log_json(log_end how, int64_t offset) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check");
  w.string(json_key("log"), input_name_.data(), input_name_.size());
  w.u64(json_key("log_index"), log_index_);
  w.i64(json_key("offset"), log_start_);
  w.ascii(json_key("verdict"), errors_ > 0 ? "errors" : warnings_ > 0 ? "warnings" : "ok");
  w.u64(json_key("errors"), errors_);
  w.u64(json_key("warnings"), warnings_);
  w.u64(json_key("tags"), tags_);
  if (have_header_) {
    w.u64(json_key("volume_set_id"), volume_set_);
    w.u64(json_key("volume_generation"), generation_);
    w.i64(json_key("file_sequence"), file_sequence_);
  }
  if (tags_ > 0) {
    w.u64(json_key("first_sequence"), first_seq_);
    w.u64(json_key("last_sequence"), last_seq_);
    w.u64(json_key("first_timestamp"), first_ts_);
    w.iso_time(json_key("first_time"), first_ts_);
    w.u64(json_key("last_timestamp"), last_ts_);
    w.iso_time(json_key("last_time"), last_ts_);
  }
  w.ascii(json_key("end"), log_end_key(how));
  w.i64(json_key("end_offset"), offset);
  if (unread_ > 0)
    w.i64(json_key("unread_bytes"), unread_);
  else if (unread_ < 0)
    w.null(json_key("unread_bytes"));
  w.u64(json_key("sequence_breaks"), sequence_breaks_);
  w.u64(json_key("timestamps_back"), times_back_);
  w.u64(json_key("before_image_mismatches"), mismatches_);
  w.u64(json_key("transactions_not_ended"), txns_not_ended_);
  w.begin_array(json_key("findings"));
  for (const kept_finding& f : findings_) {
    w.begin_object();
    w.ascii(json_key("level"), f.level);
    w.i64(json_key("offset"), f.offset);
    w.string(json_key("text"), f.text.data(), f.text.size());
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("findings_omitted"), findings_dropped_);
  w.end_object();
  w.end_line();
}

void check_sink::flush() {
  progress_.clear();
  out_.flush();
}

void check_sink::finish() {
  progress_.end_input();
  judge_all_series();
  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(json_key("type"), "check_run");
    w.u64(json_key("logs"), logs_);
    w.u64(json_key("errors"), all_errors_ - inputs_failed_ - inputs_damaged_);
    w.u64(json_key("logs_with_errors"), logs_with_errors_);
    w.u64(json_key("warnings"), all_warnings_);
    w.u64(json_key("inputs_not_opened"), inputs_failed_);
    w.u64(json_key("inputs_damaged"), inputs_damaged_);
    w.u64(json_key("before_image_mismatches"), all_mismatches_);
    w.boolean(json_key("image_memory_full"), contents_full_said_);
    w.u64(json_key("transactions_not_ended"), all_txns_not_ended_);
    w.boolean(json_key("txn_table_full"), txn_table_full_said_);
    w.u64(json_key("series"), series_);
    w.u64(json_key("series_errors"), series_errors_);
    w.u64(json_key("series_with_errors"), series_with_errors_);
    w.boolean(json_key("strict"), opt_.strict);
    w.ascii(json_key("verdict"), exit_status() != 0 ? "failed" : "ok");
    cut_keys(diag_, w);
    w.end_object();
    w.end_line();
    out_.flush();
    return;
  }
  // "check: 3 logs: 2 errors in 1 log, 1 warning, 1 input not opened: failed"
  out_.printf("check: %llu %s", static_cast<unsigned long long>(logs_),
              plural(logs_, "log", "logs"));
  const uint64_t log_errors = all_errors_ - inputs_failed_ - inputs_damaged_;
  const char* sep = ": ";
  if (log_errors > 0) {
    out_.printf("%s%llu %s in %llu %s", sep, static_cast<unsigned long long>(log_errors),
                plural(log_errors, "error", "errors"),
                static_cast<unsigned long long>(logs_with_errors_),
                plural(logs_with_errors_, "log", "logs"));
    sep = ", ";
  }
  if (series_errors_ > 0) {
    out_.printf("%s%llu %s in %llu series", sep, static_cast<unsigned long long>(series_errors_),
                plural(series_errors_, "error", "errors"),
                static_cast<unsigned long long>(series_with_errors_));
    sep = ", ";
  }
  if (all_warnings_ > 0) {
    out_.printf("%s%llu %s", sep, static_cast<unsigned long long>(all_warnings_),
                plural(all_warnings_, "warning", "warnings"));
    sep = ", ";
  }
  if (inputs_failed_ > 0) {
    out_.printf("%s%llu %s not opened", sep, static_cast<unsigned long long>(inputs_failed_),
                plural(inputs_failed_, "input", "inputs"));
    sep = ", ";
  }
  if (inputs_damaged_ > 0) {
    out_.printf("%s%llu %s not read to the end", sep,
                static_cast<unsigned long long>(inputs_damaged_),
                plural(inputs_damaged_, "archive", "archives"));
  }
  out_.str(exit_status() != 0 ? ": failed\n" : ": ok\n");
  std::string cut;
  cut_line(diag_, cut);
  out_.str(cut.c_str());
  out_.flush();
}

// --- before-images against what the log told of their records ---

void check_sink::record(const tag_summary& t, const record_event& e) {
  if (opt_.image_memory == 0) return;
  last_event_offset_ = t.offset;
  // Tags lost or repeated: changes may be missing, nothing known before is
  // sure. The tag at the break is itself followed from here.
  if (sequence_known_ && t.sequence != sequence_next_) {
    contents_.clear();
    cleared_at_ = t.offset;
  }
  judge(t.offset, e);
}

void check_sink::judge(int64_t offset, const record_event& e) {
  if (e.kind == record_event::before_image)
    judge_before_image(offset, e);
  else
    record_change(offset, e);
}

// The record's entry, added where there is room; when there is none that
// is said once, and the record is not followed.
record_contents::entry* check_sink::record_entry(int32_t node, uint32_t recno) {
  if (record_contents::entry* r = contents_.get(node, recno)) return r;
  if (!contents_full_said_) {
    contents_full_said_ = true;
    diag_.bound_reached("--image-memory",
                        "before-images of records beyond the " + std::to_string(contents_.size()) +
                            " followed are not judged (--image-memory)",
                        "%s: warning: the records followed fill the %llu bytes of the record "
                        "table (%zu records); before-images of further records are not judged",
                        log_label_.c_str(),
                        static_cast<unsigned long long>(contents_.memory_bound()),
                        contents_.size());
  }
  return nullptr;
}

void check_sink::mark(record_contents::entry& r, int64_t offset, record_contents::source from) {
  r.from = from;
  record_contents::origin& o = contents_.origin_of(r);
  o.offset = offset;
  o.input = input_number_;
  o.log = log_index_;
}

// The rules of record_rules.h on the hashed contents. A record that the
// table does not hold is unknown: a change that leaves it unknown does not
// add it.
void check_sink::record_change(int64_t offset, const record_event& e) {
  using state = record_contents::state;
  const auto change = record_contents::source::change;
  const change_rule rule = rule_of_change(e);
  switch (rule.kind) {
    case change_rule::set:
      if (record_contents::entry* r = record_entry(e.node_id, e.recno)) {
        contents_.set_content(*r, e.data, e.size);
        mark(*r, offset, change);
      }
      return;
    case change_rule::remove:
      if (record_contents::entry* r = record_entry(e.node_id, e.recno)) {
        contents_.drop_content(*r, state::absent);
        mark(*r, offset, change);
      }
      return;
    case change_rule::patch: {
      // A content that is not kept cannot take a patch: it becomes unknown.
      record_contents::entry* r = contents_.find(e.node_id, e.recno);
      if (!r) return;
      if (patch_fits(r->st, r->length, e) && contents_.patch(*r, e.range_offset, e.data, e.size))
        mark(*r, offset, change);
      else
        contents_.drop_content(*r, state::unknown);
      return;
    }
    case change_rule::untold: break;
  }
  if (record_contents::entry* r = contents_.find(e.node_id, e.recno))
    contents_.drop_content(*r, state::unknown);
}

void check_sink::judge_before_image(int64_t offset, const record_event& e) {
  record_contents::entry* r = contents_.find(e.node_id, e.recno);
  const content_state st = r ? r->st : content_state::unknown;
  const image_rule rule = rule_of_image(e, st, r ? r->length : 0);
  const image_verdict v =
      verdict_of(rule, st, [&] { return contents_.matches(*r, e.data, e.size); });
  if (v == image_verdict::differs || v == image_verdict::deleted) mismatch(offset, e, *r);
  switch (rule.effect) {
    case image_rule::keep: return;
    case image_rule::make_unknown:
      if (r) contents_.drop_content(*r, record_contents::state::unknown);
      return;
    case image_rule::set:
      if (!r) r = record_entry(e.node_id, e.recno);
      if (!r) return;
      contents_.set_content(*r, e.data, e.size);
      mark(*r, offset, record_contents::source::before_image);
      return;
  }
}

std::string check_sink::record_text(int64_t offset, const record_event& e, text_form form) const {
  std::string s = "before-image of record " + std::to_string(e.recno) + " of ";
  if (opt_.names)
    opt_.names->append_display(e.node_id, false, form, s);
  else
    s += "#" + std::to_string(e.node_id);
  s += " at offset " + std::to_string(offset);
  return s;
}

std::string check_sink::elsewhere(const record_contents::origin& o) const {
  if (o.input == input_number_ && o.log == log_index_) return std::string();
  std::string s = " in " + input_names_[o.input];
  if (o.log > 1) s += " (log " + std::to_string(o.log) + ")";
  return s;
}

void check_sink::mismatch(int64_t offset, const record_event& e, record_contents::entry& r) {
  ++warnings_;
  if (++mismatches_ > listed_per_kind) return;
  std::string why;
  if (r.st == record_contents::state::absent)
    why = " is of a record deleted at offset ";
  else if (r.from == record_contents::source::change)
    why = " does not match its content after the change at offset ";
  else
    why = " does not match the before-image at offset ";
  const record_contents::origin& o = contents_.origin_of(r);
  why += std::to_string(o.offset) + elsewhere(o);
  if (r.st == record_contents::state::absent) why += " and not put again";
  const std::string shown =
      record_text(offset, e, opt_.escape ? text_form::terminal : text_form::raw);
  say("%s: check: warning at offset %lld: %s%s\n", log_label_.c_str(),
      static_cast<long long>(offset), shown.c_str(), why.c_str());
  keep_finding("warning", offset, (record_text(offset, e, text_form::raw) + why).c_str());
}

// --- transactions left open ---

void check_sink::new_txn_table() {
  // Only the records' headers: no detail, no sessions.
  txn_listener& listener = *this;
  txns_ = std::make_unique<txn_table>(listener, opt_.max_txns, nullptr, false);
  txns_->set_log(txn_input_);
  txns_->on_full = [this](const tag_summary& t) { txn_table_full(t); };
  txns_done_ = 0;
}

// The transactions open are told as open, which judges none of them. A
// table that grew is dropped whole instead: making one takes a few
// microseconds for its random key, at most once per txns_renew_after
// transactions opened.
void check_sink::forget_txns() {
  if (txns_->opened() > txns_renew_after)
    new_txn_table();
  else if (txns_open() > 0)
    txns_->finish(false);
}

// The log ended with EOF_FINISH: what is open never ended.
void check_sink::finish_txns() {
  if (txns_open() > 0) txns_->end_log(log_end::eof_finish);
  if (txns_->opened() > txns_renew_after) new_txn_table();
}

void check_sink::txn_done(const txn_info& x) {
  ++txns_done_;
  // One whose BEGIN was not read is an END met first (and told with it).
  if (x.end != txn_end::log_finished || !x.begin_seen) return;
  ++warnings_;
  if (++txns_not_ended_ > listed_per_kind) return;
  const time_text at = format_time(x.first.timestamp, opt_.utc);
  // Where its first tag lies when that is not in this log: offsets count
  // from the first byte of their input.
  const bool here = x.first.log == txn_input_ && x.first.offset >= log_start_;
  std::string where;
  if (!here) where = " at offset " + std::to_string(x.first.offset) + " in " + x.first.log;
  warning(here ? x.first.offset : last_tag_offset_,
          "transaction %u of session %u began at %s (%u)%s and never ended", x.id, x.session,
          at.c_str(), x.first.timestamp, where.c_str());
}

void check_sink::txn_table_full(const tag_summary& t) {
  if (txn_table_full_said_) return;
  txn_table_full_said_ = true;
  diag_.bound_reached("--txn-table",
                      "whether transactions beyond the " + std::to_string(opt_.max_txns) +
                          " open at once end is not judged (--txn-table)",
                      "%s: warning: %u transactions are open at once at offset %lld, as many as "
                      "are followed; whether further ones end is not judged",
                      log_label_.c_str(), opt_.max_txns, static_cast<long long>(t.offset));
}

// --- continuity across the files of a series ---

void check_sink::remember_log(log_end how) {
  const series_key key(volume_set_, generation_);
  if (records_.size() >= logs_remembered) {
    if (remembered_all_) {
      remembered_all_ = false;
      say("%s: check: more than %zu logs read; continuity across files is no longer judged for "
          "further logs\n",
          log_label_.c_str(), logs_remembered);
      for (const log_record& r : records_)
        recorded_series_.emplace_back(r.volume_set, r.generation);
      std::sort(recorded_series_.begin(), recorded_series_.end());
      recorded_series_.erase(std::unique(recorded_series_.begin(), recorded_series_.end()),
                             recorded_series_.end());
    }
    // A series with records must not be judged as if these logs were
    // missing; a series without any gets no line at all.
    if (std::binary_search(recorded_series_.begin(), recorded_series_.end(), key))
      ++not_remembered_[key];
    return;
  }
  if (record_names_.empty() || record_names_.back() != input_name_)
    record_names_.push_back(input_name_);
  log_record r;
  r.volume_set = volume_set_;
  r.generation = generation_;
  r.file_sequence = file_sequence_;
  r.name = static_cast<uint32_t>(record_names_.size() - 1);
  r.log_index = log_index_;
  r.first_seq = first_seq_;
  r.last_seq = last_seq_;
  r.first_ts = first_ts_;
  r.last_ts = last_ts_;
  r.digest = digest_end(digest_, how);
  r.how = how;
  r.has_tags = tags_ > 0;
  r.had_errors = errors_ > 0;
  records_.push_back(r);
}

std::string check_sink::record_label(const log_record& r) const {
  std::string label = record_names_[r.name];
  if (r.log_index > 1) label += " (log " + std::to_string(r.log_index) + ")";
  return label;
}

// "series 0x5eed generation 3: check: error: file sequence 5 is missing ..."
void check_sink::series_finding(const char* level, const char* fmt, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  say("%s: check: %s: %s\n", series_label_.c_str(), level, text);
  keep_finding(level, -1, text);
}

void check_sink::judge_all_series() {
  // By series and file sequence; the copies of a file sequence stay in the
  // order they were read.
  std::stable_sort(records_.begin(), records_.end(), [](const log_record& a, const log_record& b) {
    if (a.volume_set != b.volume_set) return a.volume_set < b.volume_set;
    if (a.generation != b.generation) return a.generation < b.generation;
    return a.file_sequence < b.file_sequence;
  });
  const log_record* const all = records_.data();
  for (size_t i = 0, j; i < records_.size(); i = j) {
    j = i + 1;
    while (j < records_.size() && all[j].volume_set == all[i].volume_set &&
           all[j].generation == all[i].generation)
      ++j;
    const auto n = not_remembered_.find({all[i].volume_set, all[i].generation});
    judge_series(all + i, all + j, n == not_remembered_.end() ? 0 : n->second);
  }
}

void check_sink::judge_series(const log_record* b, const log_record* e, uint64_t not_judged) {
  char label[64];
  std::snprintf(label, sizeof label, "series 0x%x generation %u", b->volume_set, b->generation);
  series_label_ = label;
  uint64_t errors = 0, warnings = 0;
  findings_.clear();
  findings_dropped_ = 0;
  missing_.clear();
  duplicates_.clear();
  missing_omitted_ = duplicates_omitted_ = 0;
  // With logs of the series not remembered, what is absent from the
  // records may have been read, and in a run that was stopped it may not
  // have been read yet: gaps and the series' end are not judged then.
  const bool all_remembered = not_judged == 0 && !run_stopped_;
  uint64_t gaps = 0, missing = 0, copies = 0, breaks = 0, backs = 0, duplicated = 0;
  const log_record* prev = nullptr;  // the first copy of the file sequence before
  for (const log_record* g = b; g != e;) {
    const log_record* next = g + 1;
    while (next != e && next->file_sequence == g->file_sequence) ++next;
    const std::string name = record_label(*g);
    if (prev) {
      const int64_t from = int64_t{prev->file_sequence} + 1, to = int64_t{g->file_sequence} - 1;
      const std::string before = record_label(*prev);
      if (from <= to && all_remembered) {
        ++errors;
        ++gaps;
        missing += static_cast<uint64_t>(to - from + 1);
        if (missing_.size() < findings_kept)
          missing_.emplace_back(static_cast<int32_t>(from), static_cast<int32_t>(to));
        else
          ++missing_omitted_;
        if (gaps <= listed_per_kind && from == to)
          series_finding("error", "file sequence %lld is missing (between %s and %s)",
                         static_cast<long long>(from), before.c_str(), name.c_str());
        else if (gaps <= listed_per_kind)
          series_finding("error", "file sequences %lld to %lld are missing (between %s and %s)",
                         static_cast<long long>(from), static_cast<long long>(to), before.c_str(),
                         name.c_str());
      } else if (from > to && prev->has_tags && g->has_tags) {
        if (g->first_seq != prev->last_seq + 1) {
          ++warnings;
          if (++breaks <= listed_per_kind)
            series_finding("warning",
                           "file sequence %d (%s) ends with tag sequence %u and file sequence %d "
                           "(%s) begins with %u (expected %u)",
                           prev->file_sequence, before.c_str(), prev->last_seq, g->file_sequence,
                           name.c_str(), g->first_seq, prev->last_seq + 1);
        }
        if (g->first_ts < prev->last_ts) {
          ++warnings;
          if (++backs <= listed_per_kind) {
            const time_text end = format_time(prev->last_ts, opt_.utc);
            const time_text start = format_time(g->first_ts, opt_.utc);
            series_finding("warning",
                           "file sequence %d (%s) ends at %s (%u) and file sequence %d (%s) "
                           "begins earlier, at %s (%u)",
                           prev->file_sequence, before.c_str(), end.c_str(), prev->last_ts,
                           g->file_sequence, name.c_str(), start.c_str(), g->first_ts);
          }
        }
      }
    }
    // Further copies of the file sequence, each against the first read.
    if (next - g > 1) {
      ++duplicated;
      duplicate d = {g->file_sequence, static_cast<uint32_t>(next - g), true};
      for (const log_record* c = g + 1; c != next; ++c) {
        const bool same = c->digest == g->digest;
        d.identical = d.identical && same;
        if (same)
          ++warnings;
        else
          ++errors;
        if (++copies > listed_per_kind) continue;
        const std::string again = record_label(*c);
        // Which read had errors helps to choose the copy to keep.
        std::string which;
        if (!same && (g->had_errors || c->had_errors))
          which = g->had_errors && c->had_errors
                      ? "; both had errors"
                      : "; " + (g->had_errors ? name : again) + " had errors";
        const char* level = same ? "warning" : "error";
        if (c == g + 1)
          series_finding(level, "file sequence %d was read twice, as %s and %s, with %s tags%s",
                         g->file_sequence, name.c_str(), again.c_str(),
                         same ? "the same" : "different", which.c_str());
        else
          series_finding(level, "file sequence %d was read %u times: as %s too, with %s%s%s",
                         g->file_sequence, static_cast<unsigned>(c - g + 1), again.c_str(),
                         same ? "the same tags as " : "tags that differ from ", name.c_str(),
                         which.c_str());
      }
      if (duplicates_.size() < findings_kept)
        duplicates_.push_back(d);
      else
        ++duplicates_omitted_;
    }
    prev = g;
    g = next;
  }
  if (all_remembered && prev->how == log_end::eof_cont) {
    ++warnings;
    series_finding("warning",
                   "the series ends with EOF_CONT at file sequence %d (%s): the file that "
                   "continues it is not in the input",
                   prev->file_sequence, record_label(*prev).c_str());
  }
  if (gaps > listed_per_kind)
    say("%s: check: %llu gaps in all, %llu file sequences missing (the first %u listed)\n",
        series_label_.c_str(), static_cast<unsigned long long>(gaps),
        static_cast<unsigned long long>(missing), listed_per_kind);
  if (copies > listed_per_kind)
    say("%s: check: %llu logs read again in all (the first %u listed)\n", series_label_.c_str(),
        static_cast<unsigned long long>(copies), listed_per_kind);
  if (breaks > listed_per_kind)
    say("%s: check: %llu tag sequence breaks between files in all (the first %u listed)\n",
        series_label_.c_str(), static_cast<unsigned long long>(breaks), listed_per_kind);
  if (backs > listed_per_kind)
    say("%s: check: %llu times going back between files in all (the first %u listed)\n",
        series_label_.c_str(), static_cast<unsigned long long>(backs), listed_per_kind);

  ++series_;
  series_errors_now_ = errors;
  series_warnings_now_ = warnings;
  series_errors_ += errors;
  if (errors > 0) ++series_with_errors_;
  all_warnings_ += warnings;
  if (opt_.json)
    print_series_json(b, e, not_judged, missing);
  else
    print_series_text(b, e, not_judged, missing, duplicated);
}

// "series 0x5eed generation 3: 1 error, 4 logs, file sequences 1 to 9 (3 missing)"
void check_sink::print_series_text(const log_record* b, const log_record* e, uint64_t not_judged,
                                   uint64_t missing, uint64_t duplicated) {
  const uint64_t errors = series_errors_now_, warnings = series_warnings_now_;
  out_.printf("%s: ", series_label_.c_str());
  print_verdict(out_, errors, warnings);
  const uint64_t logs = static_cast<uint64_t>(e - b) + not_judged;
  out_.printf(", %llu %s", static_cast<unsigned long long>(logs), plural(logs, "log", "logs"));
  if (not_judged > 0)
    out_.printf(" (%llu not judged)", static_cast<unsigned long long>(not_judged));
  const log_record& last = e[-1];
  if (b->file_sequence == last.file_sequence)
    out_.printf(", file sequence %d", b->file_sequence);
  else
    out_.printf(", file sequences %d to %d", b->file_sequence, last.file_sequence);
  if (missing > 0 && duplicated > 0)
    out_.printf(" (%llu missing, %llu read more than once)",
                static_cast<unsigned long long>(missing),
                static_cast<unsigned long long>(duplicated));
  else if (missing > 0)
    out_.printf(" (%llu missing)", static_cast<unsigned long long>(missing));
  else if (duplicated > 0)
    out_.printf(" (%llu read more than once)", static_cast<unsigned long long>(duplicated));
  out_.str("\n");
}

void check_sink::print_series_json(const log_record* b, const log_record* e, uint64_t not_judged,
                                   uint64_t missing) {
  const uint64_t errors = series_errors_now_, warnings = series_warnings_now_;
  uint64_t with_errors = 0;
  for (const log_record* r = b; r != e; ++r) with_errors += r->had_errors;
  const log_record& last = e[-1];
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check_series");
  w.u64(json_key("volume_set_id"), b->volume_set);
  w.u64(json_key("volume_generation"), b->generation);
  w.ascii(json_key("verdict"), errors > 0 ? "errors" : warnings > 0 ? "warnings" : "ok");
  w.u64(json_key("errors"), errors);
  w.u64(json_key("warnings"), warnings);
  w.u64(json_key("logs"), static_cast<uint64_t>(e - b) + not_judged);
  w.u64(json_key("logs_not_judged"), not_judged);
  w.u64(json_key("logs_with_errors"), with_errors);
  w.i64(json_key("first_file_sequence"), b->file_sequence);
  w.i64(json_key("last_file_sequence"), last.file_sequence);
  w.ascii(json_key("end"), log_end_key(last.how));
  w.u64(json_key("missing_file_sequences"), missing);
  w.begin_array(json_key("missing"));
  for (const auto& m : missing_) {
    w.begin_array();
    w.i64(m.first);
    w.i64(m.second);
    w.end_array();
  }
  w.end_array();
  w.u64(json_key("missing_omitted"), missing_omitted_);
  w.begin_array(json_key("duplicates"));
  for (const duplicate& d : duplicates_) {
    w.begin_object();
    w.i64(json_key("file_sequence"), d.file_sequence);
    w.u64(json_key("copies"), d.copies);
    w.boolean(json_key("identical"), d.identical);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("duplicates_omitted"), duplicates_omitted_);
  w.begin_array(json_key("findings"));
  for (const kept_finding& f : findings_) {
    w.begin_object();
    w.ascii(json_key("level"), f.level);
    w.string(json_key("text"), f.text.data(), f.text.size());
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("findings_omitted"), findings_dropped_);
  w.end_object();
  w.end_line();
}

}  // namespace jrn
