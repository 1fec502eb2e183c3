#include "model/undo_table.h"

#include <cstdio>

#include "model/record_origin.h"
#include "records/opcodes.h"
#include "scan/format.h"

namespace jrn {

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

}  // namespace

undo_table::undo_table(diagnostics& diag, uint32_t from_txn, uint32_t to_txn, uint32_t max_records)
    : diag_(diag),
      from_txn_(from_txn),
      to_txn_(to_txn),
      max_records_(max_records),
      seen_bits_(seen_bit_count / 64) {}

void undo_table::begin_log(const char* log_name, const fwlog_header& h) {
  log_ = log_name;
  charset_ = h.charset;
  continuity_.begin_log(h);
  other_series_ =
      have_series_ && (h.volume_set_id != volume_set_ || h.volume_generation != generation_);
  volume_set_now_ = h.volume_set_id;
  generation_now_ = h.volume_generation;
}

void undo_table::series_gap(const series_gap_info& g) {
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
  lose_all(p);
}

undo_place undo_table::place_at(const tag_summary& t, const char* log) {
  place p;
  p.log = log;
  p.offset = t.offset;
  p.sequence = t.sequence;
  p.timestamp = t.timestamp;
  p.transaction_id = t.transaction_id;
  p.session_id = t.session_id;
  return p;
}

undo_place undo_table::place_of(const tag_summary& t, const record_event& e, const char* log) {
  place p = place_at(t, log);
  p.transaction_id = e.transaction_id;
  p.session_id = e.session_id;
  p.operation = e.operation;
  return p;
}

undo_record* undo_table::find(int32_t node_id, uint32_t recno) {
  const uint64_t k = key_of(node_id, recno);
  const size_t bit = seen_bit(k);
  if (!(seen_bits_[bit / 64] >> (bit % 64) & 1)) return nullptr;
  auto it = by_key_.find(k);
  return it == by_key_.end() ? nullptr : it->second;
}

// A record that the transactions touch for the first time: followed from
// here on, while the bound allows.
undo_record* undo_table::follow(const tag_summary& t, const record_event& e) {
  if (records_.size() >= max_records_) {
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
  auto r = std::make_unique<undo_record>();
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
void undo_table::sequence_broken(const tag_summary& t) {
  if (other_series_) return;
  if (!continuity_.breaks(t.letter, t.sequence, t.offset)) return;
  if (incomplete_count_++ == 0)
    incomplete_ = "at " + offset_in(t.offset, log_) + ": " + continuity_.why(t.sequence) +
                  ", so changes of the transactions there cannot be ruled out";
  place p = place_at(t, log_);
  p.gap = sequence_break_why;
  lose_all(p);
}

void undo_table::record(const tag_summary& t, const record_event& e) {
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
  undo_record* r = find(e.node_id, e.recno);
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

void undo_table::own_change(undo_record& r, const tag_summary& t, const record_event& e) {
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
                     (from_txn_ == to_txn_ ? "" : "s") + ", the " + op + " at " +
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
void undo_table::hold_after(undo_record& r) {
  if (!r.started || r.after_held) return;
  r.after_held = true;
  r.after = r.content.content();
  r.after_why.clear();
  if (r.after.state == record_content::unknown && r.content.origin().kind == content_origin::untold)
    r.after_why = r.content.origin().why;
}

void undo_table::other_change(undo_record& r, const place& p) {
  if (!r.started) return;
  hold_after(r);
  ++r.conflict_count;
  if (r.conflicts.size() < conflicts_listed) r.conflicts.push_back(p);
}

// The log does not tell what became of the record at p: its content is
// unknown from here; a change of another transaction there cannot be
// ruled out (own: the change there is the transactions' own).
void undo_table::lose(undo_record& r, const place& p, bool own) {
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

void undo_table::lose_all(const place& p) {
  for (const auto& r : records_) lose(*r, p, false);
}

// A FIXREC record that was not told as a change (its payload broke the
// size rule): whether it changed a followed record of its node cannot be
// told.
void undo_table::tag_done(const tag_summary& t) {
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

void undo_table::end_log(log_end how, int64_t offset) {
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
  lose_all(p);
}

// The content after the transactions' last change, and what undoing them
// takes.
undo_action undo_table::settle(undo_record& r) {
  hold_after(r);
  if (r.before.state == record_content::unknown) return undo_action::cannot;
  if (r.before.state == record_content::absent)
    return r.after.state == record_content::absent ? undo_action::unchanged : undo_action::remove;
  return r.after.is_known() && r.after.bytes == r.before.bytes ? undo_action::unchanged
                                                               : undo_action::put_back;
}

}  // namespace jrn
