// --txns and --sessions as JSON Lines: an object per transaction or
// session, and one of totals.
#include <cstring>

#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/txns_sink.h"
#include "scan/catalogue.h"

namespace jrn {

namespace {

constexpr json_key k_transaction_id(field_key(fid::transaction_id)),
    k_session_id(field_key(fid::session_id)), k_node_id(field_key(fid::node_id));

void place_json(json_writer& w, const json_key& k, const tag_place& p) {
  w.begin_object(k);
  w.string(json_key("log"), p.log, std::strlen(p.log));
  w.u64(json_key("sequence"), p.sequence);
  w.i64(json_key("offset"), p.offset);
  w.u64(json_key("timestamp"), p.timestamp);
  w.iso_time(json_key("time"), p.timestamp);
  w.end_object();
}

// A node's qualified name as a JSON value, or null when it is not mapped.
void node_name_json(json_writer& w, const node_map& names, int32_t id, std::string& scratch) {
  if (!names.has(id)) {
    w.null(json_key("name"));
    return;
  }
  scratch.assign(1, '"');
  names.append_display(id, false, text_form::json, scratch);
  scratch += '"';
  w.raw(json_key("name"), scratch.data(), scratch.size());
}

const char* end_key(txn_end how) {
  switch (how) {
    case txn_end::end: return "END";
    case txn_end::begin_end: return "BEGIN-END";
    case txn_end::begun_again: return "begun_again";
    case txn_end::log_finished: return "eof_finish";
    case txn_end::open: return "open";
    case txn_end::stopped: return "stopped";
    case txn_end::gap: return "gap";
  }
  return "?";
}

const char* session_end_key(session_end how) {
  switch (how) {
    case session_end::sign_off: return "sign_off";
    case session_end::signed_on_again: return "signed_on_again";
    case session_end::log_finished: return "eof_finish";
    case session_end::open: return "open";
    case session_end::stopped: return "stopped";
    case session_end::gap: return "gap";
  }
  return "?";
}

}  // namespace

void txn_print::who_json(json_writer& w, const who_ptr& who, bool lost) {
  if (!who) {
    w.null(json_key("who"));
    w.boolean(json_key("who_complete"), false);
    w.ascii(json_key("sign_on"), lost ? "not_kept" : "none");
    return;
  }
  w.begin_array(json_key("who"));
  for (size_t i = 0; i < who->entries.size(); ++i) {
    const std::string_view e = who->entry_text(i);
    w.string(e.data(), e.size());
  }
  w.end_array();
  w.boolean(json_key("who_complete"), who->complete());
  w.ascii(json_key("sign_on"), "found");
}

void txn_print::txn_json(json_writer& w, const txn_info& x, const node_map& names) {
  std::string scratch;
  w.begin_object();
  w.ascii(json_key("type"), "txn");
  w.u64(k_transaction_id, x.id);
  w.u64(k_session_id, x.session);
  w.ascii(json_key("end"), end_key(x.end));
  if (x.end == txn_end::begun_again) w.u64(json_key("begun_again_sequence"), x.again_sequence);
  w.boolean(json_key("begin_seen"), x.begin_seen);
  place_json(w, json_key("first"), x.first);
  place_json(w, json_key("last"), x.last);
  w.i64(json_key("duration_seconds"), x.duration());
  w.u64(json_key("records"), x.records);
  w.begin_array(json_key("operations"));
  for (const txn_op& op : x.ops) {
    w.begin_object();
    w.u64(json_key("code"), op.opcode);
    if (opcode_known(op.opcode))
      w.ascii(json_key("name"), opcode_lookup(op.opcode).name);
    else
      w.null(json_key("name"));
    w.u64(json_key("records"), op.records);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("other_operation_records"), x.other_op_records);
  w.begin_array(json_key("nodes"));
  for (const txn_node& n : x.nodes) {
    w.begin_object();
    w.u64(k_node_id, static_cast<uint32_t>(n.node_id));  // unsigned, as everywhere
    node_name_json(w, names, n.node_id, scratch);
    w.u64(json_key("records"), n.records);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("node_count"), x.node_count());
  w.boolean(json_key("nodes_exact"), x.nodes_exact());
  w.u64(json_key("other_node_records"), x.other_node_records);
  w.u64(json_key("records_without_node"), x.nodeless_records);
  w.u64(json_key("before_images"), x.before_images);
  who_json(w, x.who, x.sign_on_lost);
  w.end_object();
  w.end_line();
}

void txns_sink::session_json(const session_info& s) {
  std::string scratch;
  w_.begin_object();
  w_.ascii(json_key("type"), "session");
  w_.u64(k_session_id, s.id);
  txn_print::who_json(w_, s.who, false);
  if (s.who)
    place_json(w_, json_key("sign_on_at"), s.sign_on);
  else
    w_.null(json_key("sign_on_at"));
  w_.ascii(json_key("end"), session_end_key(s.end));
  if (s.end == session_end::sign_off || s.end == session_end::signed_on_again)
    place_json(w_, json_key("end_at"), s.sign_off);
  else
    w_.null(json_key("end_at"));
  place_json(w_, json_key("first"), s.first);
  place_json(w_, json_key("last"), s.last);
  w_.u64(json_key("transactions"), s.transactions);
  w_.u64(json_key("records"), s.records);
  w_.u64(json_key("memos"), s.memos);
  w_.u64(json_key("damaged_audit_bodies"), s.damaged);
  w_.begin_array(json_key("databases"));
  for (const session_db& d : s.dbs) {
    w_.begin_object();
    w_.u64(k_node_id, static_cast<uint32_t>(d.node_id));
    node_name_json(w_, names_, d.node_id, scratch);
    w_.i64(json_key("mode"), d.mode);
    w_.ascii(json_key("list"), d.updated ? "DBLIST_UPD" : "DBLIST_SUM");
    w_.end_object();
  }
  w_.end_array();
  w_.u64(json_key("databases_left_out"), s.dbs_left_out);
  if (opt_.memo_texts) {
    w_.begin_array(json_key("memo_texts"));
    for (const session_memo& m : s.memo_texts) {
      w_.begin_object();
      w_.i64(json_key("mode"), m.mode);
      w_.u64(json_key("size"), m.size);
      w_.string(json_key("text"), m.text.data(), m.text.size());
      w_.end_object();
    }
    w_.end_array();
  }
  w_.end_object();
  w_.end_line();
}

void txns_sink::sessions_total_json() {
  w_.begin_object();
  w_.ascii(json_key("type"), "sessions_total");
  w_.u64(json_key("sessions"), counts_.sessions());
  w_.u64(json_key("signed_off"), counts_.signed_off());
  w_.u64(json_key("listed"), counts_.listed);
  w_.u64(json_key("session_table"), opt_.max_sessions);
  w_.boolean(json_key("session_table_reached"), sessions_.bound_reached());
  w_.u64(json_key("tags_not_followed"), sessions_.not_followed());
  cut_keys(diag_, w_);
  w_.end_object();
  w_.end_line();
}

void txns_sink::txns_total_json() {
  w_.begin_object();
  w_.ascii(json_key("type"), "txns_total");
  w_.u64(json_key("transactions"), counts_.transactions());
  w_.u64(json_key("ended"), counts_.ended());
  w_.u64(json_key("begin_end"), counts_.begin_end());
  w_.u64(json_key("not_ended"), counts_.not_ended());
  w_.u64(json_key("listed"), counts_.listed);
  if (opt_.rank != txn_rank::none) {
    w_.u64(json_key("top"), opt_.top);
    w_.ascii(json_key("by"), txn_rank_name(opt_.rank));
  }
  w_.u64(json_key("records_in_no_transaction"), txns_.records_outside());
  w_.u64(json_key("txn_table"), opt_.max_txns);
  w_.boolean(json_key("txn_table_reached"), txns_.bound_reached());
  w_.u64(json_key("tags_not_followed"), txns_.not_followed());
  cut_keys(diag_, w_);
  w_.end_object();
  w_.end_line();
}

}  // namespace jrn
