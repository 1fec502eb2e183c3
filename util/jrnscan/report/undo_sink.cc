#include "report/undo_sink.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "records/opcodes.h"
#include "report/json_sink.h"
#include "report/record_text.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

struct undo_sink::followed {
  int32_t node_id = 0;
  uint32_t recno = 0;
  record_tracker content;
  // A change by the transactions was read: the record is theirs to undo
  // (until then it is followed from their before-image on).
  bool started = false;
  uint64_t order = 0;    // started as the order-th record
  uint64_t changes = 0;  // by the transactions
  place first, last;     // their first and last change of it
  place image;           // the before-image that it is followed from
  // The content before their first change, and where it comes from
  // (null: not known, before_why says why).
  record_content before;
  const char* before_source = nullptr;
  content_origin before_origin;
  std::string before_why;
  // The content after their last change, once a later change or a gap
  // moved the followed content on; until then it is the tracker's.
  bool after_held = false;
  record_content after;
  std::string after_why;
  std::vector<place> conflicts;  // the first conflicts_listed
  uint64_t conflict_count = 0;
  uint16_t charset = 65535;  // of the log of their first change
};

namespace {

constexpr size_t seen_bit_count = size_t{1} << 16;

const char sequence_break_why[] =
    "the tag sequence does not go on by one here: tags may be missing before it";

uint64_t key_of(int32_t node_id, uint32_t recno) {
  return uint64_t{static_cast<uint32_t>(node_id)} << 32 | recno;
}

size_t seen_bit(uint64_t key) {
  return static_cast<size_t>((key * 0x9e3779b97f4a7c15ull) >> 48);  // 16 bits
}

// Where the content before came from, for the text: "from the
// after-image at ...", "deleted at ..."; empty when nothing was read.
std::string source_text(const content_origin& o) {
  switch (o.kind) {
    case content_origin::after_image:
    case content_origin::before_image: return "from " + origin_text(o);
    case content_origin::deleted: return origin_text(o);
    default: return std::string();
  }
}

// JSON built as text: the manifest takes its lines whole, and the output
// the same objects.
void key(std::string& s, const char* name) {
  if (s.back() != '{' && s.back() != '[') s += ',';
  s += '"';
  s += name;
  s += "\":";
}
void put_u64(std::string& s, const char* name, uint64_t v) {
  key(s, name);
  char n[24];
  std::snprintf(n, sizeof n, "%" PRIu64, v);
  s += n;
}
void put_text(std::string& s, const char* name, const char* v, size_t n) {
  key(s, name);
  s += '"';
  append_json_string(v, n, s);
  s += '"';
}
void put_text(std::string& s, const char* name, const std::string& v) {
  put_text(s, name, v.data(), v.size());
}
void put_word(std::string& s, const char* name, const char* v) {
  key(s, name);
  if (!v) {
    s += "null";
    return;
  }
  s += '"';
  s += v;
  s += '"';
}
void put_bool(std::string& s, const char* name, bool v) {
  key(s, name);
  s += v ? "true" : "false";
}
void put_hex(std::string& s, const char* name, const uint8_t* p, size_t n) {
  key(s, name);
  s += '"';
  append_hex(p, n, s);
  s += '"';
}
// Known content in hexadecimal; null when not known or absent.
void put_content(std::string& s, const char* name, const record_content& c) {
  if (c.is_known()) {
    put_hex(s, name, c.bytes.data(), c.bytes.size());
    return;
  }
  key(s, name);
  s += "null";
}

const char* action_word(int a) {
  static const char* const words[] = {"put_back", "delete", "unchanged", "cannot"};
  return words[a];
}

}  // namespace

undo_sink::undo_sink(output& out, diagnostics& diag, const node_map& names, const undo_options& o)
    : out_(out), diag_(diag), names_(names), opt_(o), seen_bits_(seen_bit_count / 64) {}

undo_sink::~undo_sink() = default;

bool undo_sink::open() {
  if (opt_.save_dir.empty()) return true;
  files_ = std::make_unique<record_files>(diag_);
  return files_->open(opt_.save_dir);
}

void undo_sink::begin_input(const char* name, int64_t) { log_ = name; }

void undo_sink::begin_log(const char* log_name, const fwlog_header& h) {
  log_ = log_name;
  charset_ = h.charset;
  continuity_.begin_log(h);
  other_series_ =
      have_series_ && (h.volume_set_id != volume_set_ || h.volume_generation != generation_);
  volume_set_now_ = h.volume_set_id;
  generation_now_ = h.volume_generation;
}

void undo_sink::series_gap(const series_gap_info& g) {
  // A gap before the transactions were met counts too: their changes
  // may begin in it.
  if (g.kind == series_gap_info::other_series || other_series_) return;
  gap_reasons_.push_back(std::make_unique<std::string>(g.reason));
  const char* why = gap_reasons_.back()->c_str();
  if (incomplete_count_++ == 0)
    incomplete_ = std::string(why) + " before " + offset_in(g.offset, log_) +
                  ", so changes of the transactions there cannot be ruled out";
  place p;
  p.log = log_;
  p.offset = g.offset;
  p.timestamp = last_timestamp_;
  p.gap = why;
  for (const auto& r : records_) lose(*r, p, false);
}

undo_sink::place undo_sink::place_at(const tag_summary& t, const char* log) {
  place p;
  p.log = log;
  p.offset = t.offset;
  p.sequence = t.sequence;
  p.timestamp = t.timestamp;
  p.transaction_id = t.transaction_id;
  p.session_id = t.session_id;
  return p;
}

undo_sink::place undo_sink::place_of(const tag_summary& t, const record_event& e, const char* log) {
  place p = place_at(t, log);
  p.transaction_id = e.transaction_id;
  p.session_id = e.session_id;
  p.operation = e.operation;
  return p;
}

undo_sink::followed* undo_sink::find(int32_t node_id, uint32_t recno) {
  const uint64_t k = key_of(node_id, recno);
  const size_t bit = seen_bit(k);
  if (!(seen_bits_[bit / 64] >> (bit % 64) & 1)) return nullptr;
  auto it = by_key_.find(k);
  return it == by_key_.end() ? nullptr : it->second;
}

// A record that the transactions touch for the first time: followed from
// here on, while the bound allows.
undo_sink::followed* undo_sink::follow(const tag_summary& t, const record_event& e) {
  if (records_.size() >= opt_.max_records) {
    if (e.kind == record_event::change) ++not_followed_;
    if (!bound_said_) {
      bound_said_ = true;
      diag_.bound_reached("--undo-records",
                          "changes of records beyond the " + std::to_string(records_.size()) +
                              " followed are not in it (--undo-records)",
                          "jrnscan: warning: --undo: %zu records are followed, as many as are "
                          "allowed; the changes of further records, from %s on, are not in the "
                          "undo",
                          records_.size(), offset_in(t.offset, log_).c_str());
    }
    return nullptr;
  }
  auto r = std::make_unique<followed>();
  r->node_id = e.node_id;
  r->recno = e.recno;
  if (e.kind == record_event::before_image) r->image = place_of(t, e, log_);
  const uint64_t k = key_of(e.node_id, e.recno);
  const size_t bit = seen_bit(k);
  seen_bits_[bit / 64] |= uint64_t{1} << (bit % 64);
  by_key_[k] = r.get();
  records_.push_back(std::move(r));
  return records_.back().get();
}

// A break in the tag sequence: changes of the transactions, and of others
// to the records followed, may be among the tags missing.
void undo_sink::sequence_broken(const tag_summary& t) {
  if (other_series_) return;
  if (!continuity_.breaks(t.letter, t.sequence, t.offset)) return;
  if (incomplete_count_++ == 0)
    incomplete_ = "at " + offset_in(t.offset, log_) + ": " + continuity_.why(t.sequence) +
                  ", so changes of the transactions there cannot be ruled out";
  place p = place_at(t, log_);
  p.gap = sequence_break_why;
  for (const auto& r : records_) lose(*r, p, false);
}

void undo_sink::record(const tag_summary& t, const record_event& e) {
  last_event_offset_ = t.offset;
  // The tag at a break is itself followed, after what the break lost.
  sequence_break(t);
  if (other_series_) return;
  const bool own = selected(e.transaction_id);
  if (own && !have_series_) {
    have_series_ = true;
    volume_set_ = volume_set_now_;
    generation_ = generation_now_;
  }
  if (!own && records_.empty()) return;
  followed* r = find(e.node_id, e.recno);
  if (!r) {
    if (!own) return;
    r = follow(t, e);
    if (!r) return;
  }
  if (e.kind == record_event::before_image) {
    r->content.before_image(t, e, log_);
    return;
  }
  if (own) {
    own_change(*r, t, e);
    return;
  }
  other_change(*r, place_of(t, e, log_));
  r->content.change(t, e, log_, step_);
}

void undo_sink::own_change(followed& r, const tag_summary& t, const record_event& e) {
  r.content.change(t, e, log_, step_);
  const place p = place_of(t, e, log_);
  if (!r.started) {
    r.started = true;
    r.first = p;
    r.charset = charset_;
    r.order = ++started_;
    const record_step& s = step_;
    if (e.operation == fixrec_put || e.operation == fixrec_put_no_data) {
      // A PUT makes a record that did not exist: the undo deletes it,
      // whatever the PUT's before-image holds (the slot, not a record).
      r.before.set_absent();
      r.before_source = "put";
    } else if (s.before.state != record_content::unknown) {
      r.before = s.before;
      r.before_source = s.before_from_image ? "before_image" : "earlier_changes";
      r.before_origin = s.before_origin;
    } else if (s.before_origin.kind == content_origin::untold) {
      r.before_why = "at " + offset_in(s.before_origin.offset, s.before_origin.log) + ": " +
                     s.before_origin.why;
    } else {
      const char* op = fixrec_op_known(e.operation) ? fixrec_op_name(e.operation) : "change";
      r.before_why = std::string("its first change by the transaction") +
                     (opt_.from_txn == opt_.to_txn ? "" : "s") + ", the " + op + " at " +
                     offset_in(t.offset, log_) + ", has no before-image";
    }
  }
  r.last = p;
  ++r.changes;
  // The after is the followed content again; a copy held before (of a
  // change of theirs that a conflict followed) is no longer it.
  r.after_held = false;
  r.after.set_unknown();
  r.after_why.clear();
}

// Keeps the content after the transactions' last change, before a later
// change moves the followed content on.
void undo_sink::hold_after(followed& r) {
  if (!r.started || r.after_held) return;
  r.after_held = true;
  r.after = r.content.content();
  r.after_why.clear();
  if (r.after.state == record_content::unknown && r.content.origin().kind == content_origin::untold)
    r.after_why = r.content.origin().why;
}

void undo_sink::other_change(followed& r, const place& p) {
  if (!r.started) return;
  hold_after(r);
  ++r.conflict_count;
  if (r.conflicts.size() < conflicts_listed) r.conflicts.push_back(p);
}

// The log does not tell what became of the record at p: its content is
// unknown from here; a change of another transaction there cannot be
// ruled out (own: the change there is the transactions' own).
void undo_sink::lose(followed& r, const place& p, bool own) {
  if (!own) {
    other_change(r, p);
  } else if (r.after_held) {
    // Their own change there may be their last: the after is the
    // followed content again, which is not known from here.
    r.after_held = false;
    r.after.set_unknown();
    r.after_why.clear();
  }
  r.content.lose(p.offset, p.timestamp, p.log, p.gap);
}

// A FIXREC record that was not told as a change (its payload broke the
// size rule): whether it changed a followed record of its node cannot be
// told.
void undo_sink::tag_done(const tag_summary& t) {
  sequence_break(t);
  continuity_.done(t.letter, t.sequence);
  last_timestamp_ = t.timestamp;
  const bool told = last_event_offset_ == t.offset;
  last_event_offset_ = -1;
  if (other_series_) return;
  if (t.letter != tag_letter::rec || !t.is_record || t.opcode != op_fixrec || told) return;
  place p = place_at(t, log_);
  p.gap = unreadable_fixrec_why;
  const bool own = selected(t.transaction_id);
  if (own) {
    if (incomplete_count_++ == 0) {
      char n[64];
      std::snprintf(n, sizeof n, "a FIXREC record of transaction %u at ", t.transaction_id);
      incomplete_ = n + offset_in(t.offset, log_) + " could not be read";
    }
  }
  for (const auto& r : records_)
    if (r->node_id == t.node_id) lose(*r, p, own);
}

void undo_sink::end_log(log_end how, int64_t offset) {
  continuity_.end_log(how == log_end::eof_finish || how == log_end::eof_cont);
  const char* what = unread_log_why(how);
  if (!what || other_series_) return;
  if (incomplete_count_++ == 0)
    incomplete_ = "the log is not read whole from " + offset_in(offset, log_) +
                  ", so changes of the transactions there cannot be ruled out";
  place p;
  p.log = log_;
  p.offset = offset;
  p.timestamp = last_timestamp_;
  p.gap = what;
  for (const auto& r : records_) lose(*r, p, false);
}

void undo_sink::flush() { out_.flush(); }

// ---------------------------------------------------------------- output

// The content after the transactions' last change, and what undoing them
// takes.
undo_sink::action undo_sink::settle(followed& r) {
  hold_after(r);
  if (r.before.state == record_content::unknown) return action::cannot;
  if (r.before.state == record_content::absent)
    return r.after.state == record_content::absent ? action::unchanged : action::remove;
  return r.after.is_known() && r.after.bytes == r.before.bytes ? action::unchanged
                                                               : action::put_back;
}

std::string undo_sink::node_text(int32_t node_id) const {
  std::string s;
  names_.append_display(node_id, true, opt_.escape ? text_form::terminal : text_form::raw, s);
  return s;
}

std::string undo_sink::place_text(const place& p) const {
  std::string s;
  char head[160];
  if (p.gap) {
    if (p.sequence) {
      std::snprintf(head, sizeof head, "sequence %u, %s, transaction %u, ", p.sequence,
                    format_time(p.timestamp, opt_.utc).c_str(), p.transaction_id);
      s = head;
    }
    return s + offset_in(p.offset, p.log) + ": " + p.gap;
  }
  char code[32];
  const bool known = fixrec_op_known(p.operation);
  if (!known) std::snprintf(code, sizeof code, "operation %u", p.operation);
  std::snprintf(head, sizeof head, "%s, sequence %u, %s, transaction %u, ",
                known ? fixrec_op_name(p.operation) : code, p.sequence,
                format_time(p.timestamp, opt_.utc).c_str(), p.transaction_id);
  return head + offset_in(p.offset, p.log);
}

void undo_sink::print_text(const followed& r, action a) {
  const bool verbose = opt_.detail_level >= 1;
  const size_t most = verbose ? SIZE_MAX : 48;
  const uint16_t cs = r.charset;
  std::string& l = scratch_;
  l.assign("\n");
  l += node_text(r.node_id);
  char n[160];
  std::snprintf(n, sizeof n, " record %u: ", r.recno);
  l += n;
  switch (a) {
    case action::put_back:
      std::snprintf(n, sizeof n, "put back the %zu bytes it had", r.before.bytes.size());
      l += n;
      break;
    case action::remove: l += "delete it (it did not exist)"; break;
    case action::unchanged: l += "nothing to undo (it is as it was)"; break;
    case action::cannot: l += "cannot be undone (what it was is not known)"; break;
  }
  if (r.conflict_count) {
    std::snprintf(n, sizeof n, "; %" PRIu64 " conflict%s", r.conflict_count,
                  r.conflict_count == 1 ? "" : "s");
    l += n;
  }
  l += '\n';
  if (r.changes == 1) {
    l += "  change: " + place_text(r.first) + "\n";
  } else {
    std::snprintf(n, sizeof n, "  %" PRIu64 " changes, the first: ", r.changes);
    l += n + place_text(r.first) + "\n  the last: " + place_text(r.last) + "\n";
  }
  const bool both = r.before.is_known() && r.after.is_known();
  // A content with no other side to compare with is shown whole.
  auto describe = [&](const record_content& c, const std::string& from) {
    std::snprintf(n, sizeof n, "%zu bytes", c.bytes.size());
    std::string d = n;
    if (!from.empty()) d += ", " + from;
    if (!both && !c.bytes.empty()) {
      d += ": ";
      append_value(c.bytes.data(), c.bytes.size(), cs, most, d);
    }
    return d;
  };
  l += "  before: ";
  if (r.before.is_known()) {
    l += describe(r.before, source_text(r.before_origin));
  } else if (r.before.state == record_content::absent) {
    l += std::strcmp(r.before_source, "put") == 0
             ? "none (the record did not exist: the first change puts it)"
             : "none (the record did not exist: " + source_text(r.before_origin) + ")";
  } else {
    l += "unknown (" + r.before_why + ")";
  }
  l += "\n  after: ";
  if (r.after.is_known())
    l += describe(r.after, std::string());
  else if (r.after.state == record_content::absent)
    l += "none (the record does not exist)";
  else
    l += "unknown (" + (r.after_why.empty() ? std::string("the log does not tell") : r.after_why) +
         ")";
  l += '\n';
  if (both) {
    std::vector<byte_range> ranges;
    diff_bytes(r.before.bytes.data(), static_cast<uint32_t>(r.before.bytes.size()),
               r.after.bytes.data(), static_cast<uint32_t>(r.after.bytes.size()), ranges);
    for (const byte_range& g : ranges)
      append_range_line(g.offset, r.before.bytes.data() + g.offset, g.old_length,
                        r.after.bytes.data() + g.offset, g.new_length, cs, most, l);
  }
  // The first ten conflicts, with -v all that are kept.
  const size_t shown = verbose ? r.conflicts.size() : std::min<size_t>(r.conflicts.size(), 10);
  for (size_t i = 0; i < shown; ++i)
    l += (r.conflicts[i].gap ? "  possible conflict: " : "  conflict: ") +
         place_text(r.conflicts[i]) + "\n";
  if (r.conflict_count > shown) {
    std::snprintf(n, sizeof n, "  and %" PRIu64 " more conflict%s\n", r.conflict_count - shown,
                  r.conflict_count - shown == 1 ? "" : "s");
    l += n;
  }
  out_.write(l.data(), l.size());
  if (verbose) dump_contents(out_, r.before, r.after);
}

namespace {

// A change or a gap as a JSON object (a member when name is given, else
// an array's item).
void put_place(std::string& s, const char* name, const undo_place& p) {
  if (name)
    key(s, name);
  else if (s.back() != '[')
    s += ',';
  s += '{';
  put_word(s, "kind", p.gap ? "gap" : "change");
  put_text(s, "log", p.log, std::strlen(p.log));
  key(s, "offset");
  char num[24];
  std::snprintf(num, sizeof num, "%lld", static_cast<long long>(p.offset));
  s += num;
  if (!p.gap || p.sequence) {
    put_u64(s, "sequence", p.sequence);
    put_u64(s, "timestamp", p.timestamp);
    put_word(s, "time", format_iso_utc(p.timestamp).c_str());
    put_u64(s, "transaction_id", p.transaction_id);
    put_u64(s, "session_id", p.session_id);
  }
  if (!p.gap) {
    put_word(s, "fixrec_op", fixrec_op_known(p.operation) ? fixrec_op_name(p.operation) : nullptr);
    put_u64(s, "fixrec_op_code", p.operation);
  } else {
    put_text(s, "reason", p.gap, std::strlen(p.gap));
  }
  s += '}';
}

void put_conflicts(std::string& s, const std::vector<undo_place>& listed, uint64_t total) {
  key(s, "conflicts");
  s += '[';
  for (const undo_place& c : listed) put_place(s, nullptr, c);
  s += ']';
  put_u64(s, "conflicts_total", total);
}

}  // namespace

// The record's members: "node_id", "node", "recno" and "action".
void undo_sink::put_record(std::string& s, const followed& r, action a) const {
  put_u64(s, "node_id", static_cast<uint32_t>(r.node_id));
  key(s, "node");
  append_node_json(names_, r.node_id, s);
  put_u64(s, "recno", r.recno);
  put_word(s, "action", action_word(static_cast<int>(a)));
}

void undo_sink::print_json(const followed& r, action a) {
  std::string& s = scratch_;
  s.assign("{\"type\":\"undo_record\"");
  put_record(s, r, a);
  put_u64(s, "changes", r.changes);
  put_place(s, "first_change", r.first);
  put_place(s, "last_change", r.last);
  put_content(s, "before", r.before);
  put_bool(s, "before_known", r.before.state != record_content::unknown);
  put_word(s, "before_source", r.before_source);
  if (r.before.state == record_content::unknown) put_text(s, "before_reason", r.before_why);
  put_content(s, "after", r.after);
  put_bool(s, "after_known", r.after.state != record_content::unknown);
  if (r.after.state == record_content::unknown)
    put_text(s, "after_reason",
             r.after_why.empty() ? std::string("the log does not tell") : r.after_why);
  key(s, "diff");
  s += '[';
  if (r.before.is_known() && r.after.is_known()) {
    std::vector<byte_range> ranges;
    diff_bytes(r.before.bytes.data(), static_cast<uint32_t>(r.before.bytes.size()),
               r.after.bytes.data(), static_cast<uint32_t>(r.after.bytes.size()), ranges);
    for (const byte_range& g : ranges) {
      if (s.back() != '[') s += ',';
      s += '{';
      put_u64(s, "offset", g.offset);
      put_hex(s, "old", r.before.bytes.data() + g.offset, g.old_length);
      put_hex(s, "new", r.after.bytes.data() + g.offset, g.new_length);
      s += '}';
    }
  }
  s += ']';
  put_conflicts(s, r.conflicts, r.conflict_count);
  s += "}\n";
  out_.write(s.data(), s.size());
}

void undo_sink::save(const followed& r, action a) {
  if (!files_ || files_->failed()) return;
  char before_name[80], after_name[80];
  std::snprintf(before_name, sizeof before_name, "undo.%u.%u.before",
                static_cast<uint32_t>(r.node_id), r.recno);
  std::snprintf(after_name, sizeof after_name, "undo.%u.%u.after", static_cast<uint32_t>(r.node_id),
                r.recno);
  if (r.before.is_known() &&
      !files_->write(before_name, r.before.bytes.data(), r.before.bytes.size()))
    return;
  if (r.after.is_known() && !files_->write(after_name, r.after.bytes.data(), r.after.bytes.size()))
    return;
  std::string s = "{";
  put_record(s, r, a);
  put_word(s, "before_file", r.before.is_known() ? before_name : nullptr);
  put_bool(s, "before_known", r.before.state != record_content::unknown);
  if (r.before.is_known()) put_u64(s, "before_size", r.before.bytes.size());
  if (r.before.state == record_content::unknown) put_text(s, "reason", r.before_why);
  put_word(s, "after_file", r.after.is_known() ? after_name : nullptr);
  put_bool(s, "after_known", r.after.state != record_content::unknown);
  if (r.after.is_known()) put_u64(s, "after_size", r.after.bytes.size());
  put_conflicts(s, r.conflicts, r.conflict_count);
  s += '}';
  files_->manifest(s);
}

void undo_sink::finish() {
  uint64_t count[4] = {0, 0, 0, 0};
  uint64_t records = 0, with_conflicts = 0;
  std::vector<followed*> order;
  for (const auto& p : records_) {
    if (p->started) {
      order.push_back(p.get());
      continue;
    }
    // A before-image of theirs that no change of theirs followed.
    diag_.say(
        "jrnscan: warning: --undo: the before-image of record %u of %s at %s (transaction %u) "
        "is followed by no change of the record by the transaction\n",
        p->recno, node_text(p->node_id).c_str(), offset_in(p->image.offset, p->image.log).c_str(),
        p->image.transaction_id);
  }
  // In the order of the transactions' first change of each record (a
  // record is followed from its before-image, which may come earlier).
  std::sort(order.begin(), order.end(),
            [](const followed* a, const followed* b) { return a->order < b->order; });
  for (followed* p : order) {
    followed& r = *p;
    const action a = settle(r);
    ++records;
    ++count[static_cast<int>(a)];
    with_conflicts += r.conflict_count != 0;
    if (opt_.json)
      print_json(r, a);
    else
      print_text(r, a);
    save(r, a);
  }
  if (files_) files_->close();

  const bool complete = incomplete_count_ == 0 && not_followed_ == 0 && !bound_said_;
  if (opt_.json) {
    std::string& s = scratch_;
    s.assign("{\"type\":\"undo_summary\"");
    key(s, "from_txn");
    s += opt_.from_txn ? std::to_string(opt_.from_txn) : "null";
    key(s, "to_txn");
    s += opt_.to_txn ? std::to_string(opt_.to_txn) : "null";
    put_u64(s, "records", records);
    put_u64(s, "put_back", count[0]);
    put_u64(s, "delete", count[1]);
    put_u64(s, "unchanged", count[2]);
    put_u64(s, "cannot", count[3]);
    put_u64(s, "with_conflicts", with_conflicts);
    put_bool(s, "complete", complete);
    put_u64(s, "changes_not_followed", not_followed_);
    if (incomplete_count_) put_text(s, "incomplete", incomplete_);
    if (diag_.bounds_reached()) put_text(s, "reason", diag_.cut_reason());
    s += "}\n";
    out_.write(s.data(), s.size());
    return;
  }
  std::string& l = scratch_;
  char n[200];
  if (opt_.from_txn == opt_.to_txn)
    std::snprintf(n, sizeof n, "\nUndo of transaction %u: ", opt_.from_txn);
  else if (!opt_.to_txn)
    std::snprintf(n, sizeof n, "\nUndo of the transactions from %u on: ", opt_.from_txn);
  else if (opt_.from_txn <= 1)
    std::snprintf(n, sizeof n, "\nUndo of the transactions up to %u: ", opt_.to_txn);
  else
    std::snprintf(n, sizeof n, "\nUndo of transactions %u to %u: ", opt_.from_txn, opt_.to_txn);
  l = n;
  if (records == 0) {
    l += "no change of a fixed record by ";
    l += opt_.from_txn == opt_.to_txn ? "it" : "them";
    l += " was read";
  } else {
    std::snprintf(n, sizeof n, "%" PRIu64 " record%s", records, records == 1 ? "" : "s");
    l += n;
    static const char* const what[] = {"to put back", "to delete", "unchanged",
                                       "that cannot be undone"};
    const char* sep = ": ";
    for (int i = 0; i < 4; ++i) {
      if (!count[i]) continue;
      std::snprintf(n, sizeof n, "%s%" PRIu64 " %s", sep, count[i], what[i]);
      l += n;
      sep = ", ";
    }
    std::snprintf(n, sizeof n, "; %" PRIu64 " with conflicts", with_conflicts);
    l += n;
  }
  l += '\n';
  if (incomplete_count_) {
    l += "  incomplete: " + incomplete_;
    if (incomplete_count_ > 1) {
      std::snprintf(n, sizeof n, " (and %" PRIu64 " more)", incomplete_count_ - 1);
      l += n;
    }
    l += '\n';
  }
  if (bound_said_) {
    std::snprintf(n, sizeof n,
                  "  incomplete: %" PRIu64
                  " changes of records beyond the %u followed (--undo-records) are not in it\n",
                  not_followed_, opt_.max_records);
    l += n;
  }
  out_.write(l.data(), l.size());
}

}  // namespace jrn
