// The undo as JSON Lines: an "undo_record" object per record and an
// "undo_summary" at the end; and the --save manifest's line per record.
#include <cstdio>
#include <cstring>

#include "records/opcodes.h"
#include "report/record_text.h"
#include "report/undo_sink.h"
#include "scan/catalogue.h"
#include "scan/format.h"

namespace jrn {

namespace {

constexpr json_key k_type("type"), k_kind("kind"), k_log("log"), k_offset("offset"),
    k_sequence("sequence"), k_timestamp("timestamp"), k_time("time"),
    k_transaction_id(field_key(fid::transaction_id)), k_session_id(field_key(fid::session_id)),
    k_fixrec_op(field_key(fid::fixrec_op)), k_fixrec_op_code(field_key(fid::fixrec_op_code)),
    k_reason("reason"), k_node_id(field_key(fid::node_id)), k_node(field_of(fid::node_id).name_key),
    k_recno(field_key(fid::recno)), k_action("action"), k_conflicts("conflicts"),
    k_conflicts_total("conflicts_total"), k_changes("changes"), k_first_change("first_change"),
    k_last_change("last_change"), k_before("before"), k_before_known("before_known"),
    k_before_source("before_source"), k_before_reason("before_reason"), k_after("after"),
    k_after_known("after_known"), k_after_reason("after_reason"), k_diff("diff"), k_old("old"),
    k_new("new"), k_before_file("before_file"), k_before_size("before_size"),
    k_after_file("after_file"), k_after_size("after_size"), k_from_txn("from_txn"),
    k_to_txn("to_txn"), k_records("records"), k_with_conflicts("with_conflicts"),
    k_complete("complete"), k_changes_not_followed("changes_not_followed"),
    k_incomplete("incomplete");

// The members that undo_action names, in its order; the summary counts
// under the same names.
const json_key action_keys[] = {json_key("put_back"), json_key("delete"), json_key("unchanged"),
                                json_key("cannot")};
const char* const action_words[] = {"put_back", "delete", "unchanged", "cannot"};

void text(json_writer& w, const json_key& k, const std::string& s) {
  w.string(k, s.data(), s.size());
}
void text(json_writer& w, const json_key& k, const char* s) { w.string(k, s, std::strlen(s)); }
// A word of the tool's own, or null.
void word(json_writer& w, const json_key& k, const char* s) {
  if (s)
    w.ascii(k, s);
  else
    w.null(k);
}
void hex(json_writer& w, const json_key& k, const uint8_t* p, size_t n) {
  w.key(k);
  w.hex(p, n);
}
// Known content in hexadecimal; null when not known or absent.
void content(json_writer& w, const json_key& k, const record_content& c) {
  if (c.is_known())
    hex(w, k, c.bytes.data(), c.bytes.size());
  else
    w.null(k);
}
// A transaction bound; null for none.
void bound(json_writer& w, const json_key& k, uint32_t txn) {
  if (txn)
    w.u64(k, txn);
  else
    w.null(k);
}

// A change or a gap as a JSON object's members.
void put_place(json_writer& w, const undo_place& p) {
  w.ascii(k_kind, p.gap ? "gap" : "change");
  text(w, k_log, p.log);
  w.i64(k_offset, p.offset);
  if (!p.gap || p.sequence) {
    w.u64(k_sequence, p.sequence);
    w.u64(k_timestamp, p.timestamp);
    w.iso_time(k_time, p.timestamp);
    w.u64(k_transaction_id, p.transaction_id);
    w.u64(k_session_id, p.session_id);
  }
  if (!p.gap) {
    word(w, k_fixrec_op, fixrec_op_known(p.operation) ? fixrec_op_name(p.operation) : nullptr);
    w.u64(k_fixrec_op_code, p.operation);
  } else {
    text(w, k_reason, p.gap);
  }
}

void put_conflicts(json_writer& w, const std::vector<undo_place>& listed, uint64_t total) {
  w.begin_array(k_conflicts);
  for (const undo_place& c : listed) {
    w.begin_object();
    put_place(w, c);
    w.end_object();
  }
  w.end_array();
  w.u64(k_conflicts_total, total);
}

void put_diff(json_writer& w, const record_content& before, const record_content& after) {
  w.begin_array(k_diff);
  if (before.is_known() && after.is_known()) {
    std::vector<byte_range> ranges;
    diff_bytes(before.bytes.data(), static_cast<uint32_t>(before.bytes.size()), after.bytes.data(),
               static_cast<uint32_t>(after.bytes.size()), ranges);
    for (const byte_range& g : ranges) {
      w.begin_object();
      w.u64(k_offset, g.offset);
      hex(w, k_old, before.bytes.data() + g.offset, g.old_length);
      hex(w, k_new, after.bytes.data() + g.offset, g.new_length);
      w.end_object();
    }
  }
  w.end_array();
}

}  // namespace

// The record's members: "node_id", "node", "recno" and "action".
void undo_sink::put_record(json_writer& w, const followed& r, action a) const {
  w.u64(k_node_id, static_cast<uint32_t>(r.node_id));
  std::string node;
  append_node_json(names_, r.node_id, node);
  w.raw(k_node, node.data(), node.size());
  w.u64(k_recno, r.recno);
  w.ascii(k_action, action_words[static_cast<int>(a)]);
}

void undo_sink::print_json(const followed& r, action a) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(k_type, "undo_record");
  put_record(w, r, a);
  w.u64(k_changes, r.changes);
  w.begin_object(k_first_change);
  put_place(w, r.first);
  w.end_object();
  w.begin_object(k_last_change);
  put_place(w, r.last);
  w.end_object();
  content(w, k_before, r.before);
  w.boolean(k_before_known, r.before.state != record_content::unknown);
  word(w, k_before_source, r.before_source);
  if (r.before.state == record_content::unknown) text(w, k_before_reason, r.before_why);
  content(w, k_after, r.after);
  w.boolean(k_after_known, r.after.state != record_content::unknown);
  if (r.after.state == record_content::unknown)
    text(w, k_after_reason, r.after_why.empty() ? "the log does not tell" : r.after_why.c_str());
  put_diff(w, r.before, r.after);
  put_conflicts(w, r.conflicts, r.conflict_count);
  w.end_object();
  w.end_line();
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
  json_writer w(*manifest_out_);
  w.begin_object();
  put_record(w, r, a);
  word(w, k_before_file, r.before.is_known() ? before_name : nullptr);
  w.boolean(k_before_known, r.before.state != record_content::unknown);
  if (r.before.is_known()) w.u64(k_before_size, r.before.bytes.size());
  if (r.before.state == record_content::unknown) text(w, k_reason, r.before_why);
  word(w, k_after_file, r.after.is_known() ? after_name : nullptr);
  w.boolean(k_after_known, r.after.state != record_content::unknown);
  if (r.after.is_known()) w.u64(k_after_size, r.after.bytes.size());
  put_conflicts(w, r.conflicts, r.conflict_count);
  w.end_object();
  manifest_out_->flush();
  files_->manifest(manifest_line_);
  manifest_line_.clear();
}

void undo_sink::print_summary_json(const uint64_t count[4], uint64_t records,
                                   uint64_t with_conflicts) {
  const bool complete =
      table_.incomplete_count() == 0 && table_.not_followed() == 0 && !table_.bound_reached();
  json_writer w(out_);
  w.begin_object();
  w.ascii(k_type, "undo_summary");
  bound(w, k_from_txn, opt_.from_txn);
  bound(w, k_to_txn, opt_.to_txn);
  w.u64(k_records, records);
  for (int i = 0; i < 4; ++i) w.u64(action_keys[i], count[i]);
  w.u64(k_with_conflicts, with_conflicts);
  w.boolean(k_complete, complete);
  w.u64(k_changes_not_followed, table_.not_followed());
  if (table_.incomplete_count()) text(w, k_incomplete, table_.incomplete());
  if (diag_.bounds_reached()) text(w, k_reason, diag_.cut_reason());
  w.end_object();
  w.end_line();
}

}  // namespace jrn
