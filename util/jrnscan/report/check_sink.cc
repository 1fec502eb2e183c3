#include "report/check_sink.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "log/scan.h"
#include "model/series.h"
#include "records/opcodes.h"
#include "report/out.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

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
  ++run_.inputs_failed;
  ++run_.errors;
  if (opt_.json) input_object(name, "not_opened", nullptr);
}

void check_sink::input_damaged(const char* name, const char* why) {
  ++run_.inputs_damaged;
  ++run_.errors;
  if (opt_.json) input_object(name, "damaged", why);
}

int check_sink::exit_status() const { return run_.failed(opt_.strict) ? 1 : 0; }

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
  ++log_.errors;
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
  log_ = check_log_counts();
  // A log whose header is refused begins where the one before it ended.
  tags_end_ = log_start_ = next_log_start_;
  last_letter_ = 0;
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
  log_.have_header = true;
  log_.volume_set = h.volume_set_id;
  log_.generation = h.volume_generation;
  log_.file_sequence = h.file_sequence;
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
  ++log_.warnings;
  if (++log_.sequence_breaks > listed_per_kind) return;
  warning(t.offset, "tag sequence %u follows %u (expected %u)", t.sequence, log_.last_seq,
          log_.last_seq + 1);
}

void check_sink::time_back(const tag_summary& t) {
  ++log_.warnings;
  if (++log_.times_back > listed_per_kind) return;
  const time_text now = format_time(t.timestamp, opt_.utc);
  const time_text before = format_time(log_.last_ts, opt_.utc);
  warning(t.offset, "timestamp %s (%u) is earlier than the previous tag's %s (%u)", now.c_str(),
          t.timestamp, before.c_str(), log_.last_ts);
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
  if (log_.tags == 0) {
    log_.first_seq = t.sequence;
    log_.first_ts = t.timestamp;
  } else {
    if (t.sequence != log_.last_seq + 1) sequence_break(t);
    if (t.timestamp < log_.last_ts) time_back(t);
  }
  ++log_.tags;
  log_.last_seq = t.sequence;
  log_.last_ts = t.timestamp;
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
    ++log_.errors;
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
  log_.unread = count;
  ++log_.errors;
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
  carry_ = log_.have_header && (how == log_end::eof_finish || how == log_end::eof_cont);
  carry_volume_set_ = log_.volume_set;
  carry_generation_ = log_.generation;
  carry_file_sequence_ = log_.file_sequence;
  if (!carry_) {
    contents_.clear();
    forget_txns();
    sequence_known_ = false;
  }
  judge_end(how, offset);
  if (how == log_end::eof_finish) finish_txns();
  say_log_totals();
  run_.add_log(log_);
  if (log_.have_header) remember_log(how);

  progress_.clear();
  if (opt_.json)
    print_log_json(how, offset);
  else
    print_log_text(how);
}

void check_sink::judge_end(log_end how, int64_t offset) {
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
    case log_end::read_failure: ++log_.errors; break;
  }
}

void check_sink::say_log_totals() {
  if (log_.sequence_breaks > listed_per_kind)
    say("%s: check: %llu tag sequence breaks in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(log_.sequence_breaks), listed_per_kind);
  if (log_.times_back > listed_per_kind)
    say("%s: check: %llu timestamps going back in all (the first %u listed)\n", log_label_.c_str(),
        static_cast<unsigned long long>(log_.times_back), listed_per_kind);
  if (log_.mismatches > listed_per_kind)
    say("%s: check: %llu before-images that do not match their record in all (the first %u "
        "listed)\n",
        log_label_.c_str(), static_cast<unsigned long long>(log_.mismatches), listed_per_kind);
  if (log_.txns_not_ended > listed_per_kind)
    say("%s: check: %llu transactions never ended in all (the first %u listed)\n",
        log_label_.c_str(), static_cast<unsigned long long>(log_.txns_not_ended), listed_per_kind);
}

void check_sink::flush() {
  progress_.clear();
  out_.flush();
}

void check_sink::finish() {
  progress_.end_input();
  judge_all_series();
  if (opt_.json)
    print_run_json();
  else
    print_run_text();
  out_.flush();
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
  ++log_.warnings;
  if (++log_.txns_not_ended > listed_per_kind) return;
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

}  // namespace jrn
