// The history as JSON Lines: a "record_change" object per change, a
// "record_gap" object where a content became unknown and with --as-of a
// "record_as_of" object per record; also the --save manifest line of an
// --as-of content.
#include <cstdio>
#include <cstring>
#include <string>

#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/history_sink.h"
#include "report/json_sink.h"
#include "report/json_writer.h"
#include "report/record_text.h"
#include "scan/catalogue.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

// The record's facts under the catalogue's keys; the history's own beside.
constexpr json_key k_node_id(field_key(fid::node_id)), k_node(field_of(fid::node_id).name_key),
    k_recno(field_key(fid::recno)), k_transaction_id(field_key(fid::transaction_id)),
    k_session_id(field_key(fid::session_id)), k_fixrec_op(field_key(fid::fixrec_op)),
    k_fixrec_op_code(field_key(fid::fixrec_op_code));
constexpr json_key k_type("type"), k_log("log"), k_sequence("sequence"), k_timestamp("timestamp"),
    k_time("time"), k_offset("offset"), k_before("before"), k_before_known("before_known"),
    k_before_source("before_source"), k_after("after"), k_after_known("after_known"),
    k_diff("diff"), k_old("old"), k_new("new"), k_items("items"), k_name("name"), k_size("size"),
    k_old_text("old_text"), k_new_text("new_text"), k_reason("reason"), k_note("note"),
    k_as_of("as_of"), k_as_of_timestamp("as_of_timestamp"), k_known("known"), k_content("content"),
    k_source("source"), k_source_offset("source_offset"), k_source_log("source_log"),
    k_patches("patches"), k_value("value"), k_text("text");

void json_text_or_hex(json_writer& w, const json_key& text_key, const uint8_t* p, size_t n,
                      uint16_t charset) {
  if (json_text_ok(p, n, charset)) w.string(text_key, reinterpret_cast<const char*>(p), n);
}

void json_hex(json_writer& w, const json_key& k, const record_content& c) {
  if (!c.is_known()) {
    w.null(k);
    return;
  }
  w.key(k);
  w.hex(c.bytes.data(), c.bytes.size());
}

// An item's object up to its value: "name", "type", "offset", "size".
void json_item(json_writer& w, const history_item& it) {
  w.begin_object();
  w.string(k_name, it.name.data(), it.name.size());
  const char type = static_cast<char>(it.type);
  w.string(k_type, &type, 1);
  w.u64(k_offset, it.offset);
  w.u64(k_size, it.length);
}

class history_json : public history_renderer {
 public:
  explicit history_json(const history_context& c) : c_(c) {}

  void change(const followed_record& r, const tag_summary& t, const record_event& e,
              const record_step& s, const change_view& v) override;
  void gap(const followed_record& r, const tag_summary* t, int64_t offset, const std::string& why,
           const std::vector<image_note>& notes) override;
  void as_of(const followed_record& r) override;
  void mark_cut() override {
    json_writer w(c_.out);
    cut_object(c_.diag, w);
  }

 private:
  void record_members(json_writer& w, const followed_record& r);
  static void contents(json_writer& w, const record_step& s);
  static void diff(json_writer& w, const record_step& s, const change_view& v);
  static void changed_items(json_writer& w, const record_step& s, const change_view& v,
                            uint16_t cs);

  history_context c_;
  std::string scratch_;
};

// The record's members: "node_id", "node" (its name or null), "recno".
void history_json::record_members(json_writer& w, const followed_record& r) {
  w.u64(k_node_id, static_cast<uint32_t>(r.node_id));
  scratch_.clear();
  append_node_json(c_.names, r.node_id, scratch_);
  w.raw(k_node, scratch_.data(), scratch_.size());
  w.u64(k_recno, r.recno);
}

// "before", "before_known", "before_source", "after", "after_known".
void history_json::contents(json_writer& w, const record_step& s) {
  json_hex(w, k_before, s.before);
  w.boolean(k_before_known, s.before.state != record_content::unknown);
  if (s.before.state == record_content::unknown)
    w.null(k_before_source);
  else
    w.ascii(k_before_source, s.before_from_image ? "before_image" : "earlier_changes");
  json_hex(w, k_after, s.after);
  w.boolean(k_after_known, s.after.state != record_content::unknown);
}

// "diff": the patch on an unknown content, then the ranges that differ.
void history_json::diff(json_writer& w, const record_step& s, const change_view& v) {
  w.begin_array(k_diff);
  if (s.patch_only) {
    w.begin_object();
    w.u64(k_offset, s.patch_offset);
    w.null(k_old);
    w.key(k_new);
    w.hex(s.patch.data(), s.patch.size());
    w.end_object();
  }
  for (const byte_range& g : v.ranges) {
    w.begin_object();
    w.u64(k_offset, g.offset);
    w.key(k_old);
    w.hex(s.before.bytes.data() + g.offset, g.old_length);
    w.key(k_new);
    w.hex(s.after.bytes.data() + g.offset, g.new_length);
    w.end_object();
  }
  w.end_array();
}

// "items": the items whose bytes changed, old and new.
void history_json::changed_items(json_writer& w, const record_step& s, const change_view& v,
                                 uint16_t cs) {
  w.begin_array(k_items);
  size_t next = 0;  // ranges and items both lie in order
  for (const history_item& it : v.items->items) {
    if (!v.item_changed(s, next, it)) continue;
    const uint8_t* o = s.before.bytes.data() + it.offset;
    const uint8_t* n = s.after.bytes.data() + it.offset;
    json_item(w, it);
    w.key(k_old);
    w.hex(o, it.length);
    w.key(k_new);
    w.hex(n, it.length);
    json_text_or_hex(w, k_old_text, o, it.length, cs);
    json_text_or_hex(w, k_new_text, n, it.length, cs);
    w.end_object();
  }
  w.end_array();
}

void history_json::change(const followed_record& r, const tag_summary& t, const record_event& e,
                          const record_step& s, const change_view& v) {
  const char* log = c_.records.log();
  json_writer w(c_.out);
  w.begin_object();
  w.ascii(k_type, "record_change");
  w.string(k_log, log, std::strlen(log));
  record_members(w, r);
  w.u64(k_sequence, t.sequence);
  w.u64(k_timestamp, t.timestamp);
  w.iso_time(k_time, t.timestamp);
  w.i64(k_offset, t.offset);
  w.u64(k_transaction_id, e.transaction_id);
  w.u64(k_session_id, e.session_id);
  if (fixrec_op_known(e.operation))
    w.ascii(k_fixrec_op, fixrec_op_name(e.operation));
  else
    w.null(k_fixrec_op);
  w.u64(k_fixrec_op_code, e.operation);
  contents(w, s);
  diff(w, s, v);
  if (v.items) changed_items(w, s, v, c_.records.charset());
  if (!s.why.empty()) w.string(k_reason, s.why.data(), s.why.size());
  if (!s.notes.empty()) {
    const std::string note = image_notes_text(s.notes, "; ");
    w.string(k_note, note.data(), note.size());
  }
  w.end_object();
  w.end_line();
}

void history_json::gap(const followed_record& r, const tag_summary* t, int64_t offset,
                       const std::string& why, const std::vector<image_note>& notes) {
  const char* log = c_.records.log();
  json_writer w(c_.out);
  w.begin_object();
  w.ascii(k_type, "record_gap");
  w.string(k_log, log, std::strlen(log));
  record_members(w, r);
  if (t) {
    w.u64(k_sequence, t->sequence);
    w.u64(k_timestamp, t->timestamp);
    w.iso_time(k_time, t->timestamp);
    w.u64(k_transaction_id, t->transaction_id);
    w.u64(k_session_id, t->session_id);
  }
  w.i64(k_offset, offset);
  w.string(k_reason, why.data(), why.size());
  if (!notes.empty()) {
    const std::string note = image_notes_text(notes, "; ");
    w.string(k_note, note.data(), note.size());
  }
  w.end_object();
  w.end_line();
}

void history_json::as_of(const followed_record& r) {
  const bool known = r.at.state != record_content::unknown;
  std::string items_why;
  const history_node_items* items =
      r.at.is_known()
          ? c_.records.items_for(r.node_id, static_cast<uint32_t>(r.at.bytes.size()), &items_why)
          : nullptr;
  json_writer w(c_.out);
  w.begin_object();
  w.ascii(k_type, "record_as_of");
  record_members(w, r);
  w.iso_time(k_as_of, c_.opt.as_of);
  w.u64(k_as_of_timestamp, c_.opt.as_of);
  w.boolean(k_known, known);
  json_hex(w, k_content, r.at);
  w.ascii(k_source, r.source);
  if (r.at_origin.kind != content_origin::none && known) {
    w.i64(k_source_offset, r.at_origin.offset);
    w.string(k_source_log, r.at_origin.log, std::strlen(r.at_origin.log));
  } else {
    w.null(k_source_offset);
    w.null(k_source_log);
  }
  w.u64(k_patches, known ? r.at_origin.patches : 0);
  if (items) {
    w.begin_array(k_items);
    for (const history_item& it : items->items) {
      const uint8_t* v = r.at.bytes.data() + it.offset;
      json_item(w, it);
      w.key(k_value);
      w.hex(v, it.length);
      json_text_or_hex(w, k_text, v, it.length, r.charset);
      w.end_object();
    }
    w.end_array();
  }
  if (!known) w.string(k_reason, r.reason.data(), r.reason.size());
  if (!r.note.empty()) w.string(k_note, r.note.data(), r.note.size());
  w.end_object();
  w.end_line();
}

}  // namespace

std::unique_ptr<history_renderer> make_history_json(const history_context& c) {
  return std::make_unique<history_json>(c);
}

std::string history_as_of_manifest(const node_map& names, const followed_record& r, uint32_t as_of,
                                   const char* file) {
  std::string s = "{\"file\":";
  s += file ? std::string("\"") + file + "\"" : "null";
  char num[96];
  std::snprintf(num, sizeof num, ",\"%s\":%u,\"%s\":", field_key(fid::node_id),
                static_cast<uint32_t>(r.node_id), field_of(fid::node_id).name_key);
  s += num;
  append_node_json(names, r.node_id, s);
  std::snprintf(num, sizeof num, ",\"%s\":%u,\"as_of\":\"%s\",\"known\":%s", field_key(fid::recno),
                r.recno, format_iso_utc(as_of).c_str(),
                r.at.state != record_content::unknown ? "true" : "false");
  s += num;
  s += ",\"source\":\"";
  s += r.source;
  s += '"';
  if (r.at.state != record_content::unknown && r.at_origin.kind != content_origin::none) {
    std::snprintf(num, sizeof num, ",\"source_offset\":%lld,\"source_log\":\"",
                  static_cast<long long>(r.at_origin.offset));
    s += num;
    append_json_string(r.at_origin.log, std::strlen(r.at_origin.log), s);
    s += '"';
  }
  if (file) {
    std::snprintf(num, sizeof num, ",\"size\":%zu", r.at.bytes.size());
    s += num;
  }
  if (r.at.state == record_content::unknown) {
    s += ",\"reason\":\"";
    append_json_string(r.reason.data(), r.reason.size(), s);
    s += '"';
  }
  s += '}';
  return s;
}

}  // namespace jrn
