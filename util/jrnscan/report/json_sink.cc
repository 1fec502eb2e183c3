#include "report/json_sink.h"

#include <cstring>

#include "log/scan.h"
#include "report/out.h"
#include "scan/catalogue.h"
#include "scan/format.h"

namespace jrn {

namespace {

// The member names of the catalogue's fields, and of the names beside
// node numbers, ready to be written (made while compiling: a key that is
// too long or needs escaping does not compile).
struct field_keys {
  json_key key[field_count];
  json_key name_key[field_count];
};

constexpr field_keys make_field_keys() {
  field_keys keys{};
  for (size_t i = 0; i < field_count; ++i) {
    const field_info& f = catalogue_detail::table[i];
    keys.key[i] = json_key(f.key);
    if (f.type == field_type::node) keys.name_key[i] = json_key(f.name_key);
  }
  return keys;
}

constexpr bool node_fields_named() {
  for (const field_info& f : catalogue_detail::table)
    if (f.type == field_type::node && f.name_key == nullptr) return false;
  return true;
}
static_assert(node_fields_named(), "every node field has the key of its name");

constexpr field_keys catalogue_keys = make_field_keys();

constexpr json_key type_key("type"), log_key("log"), offset_key("offset"), sequence_key("sequence"),
    timestamp_key("timestamp"), time_key("time"), tag_key("tag"), tag_code_key("tag_code"),
    malformed_key("malformed"), length_key("length");

}  // namespace

void append_json_string(const char* s, size_t n, std::string& out) { append_json_text(s, n, out); }

void json_sink::begin_log(const char* log_name, const fwlog_header& h) {
  log_name_.assign(1, '"');
  append_json_string(log_name, std::strlen(log_name), log_name_);
  log_name_ += '"';
  tag_head_ = "{\"type\":\"tag\",\"log\":" + log_name_;
  static constexpr json_key signature_key("signature"), version_key("version"), major_key("major"),
      minor_key("minor"), audit_only_key("audit_only"), byte_order_key("byte_order"),
      charset_key("charset"), charset_code_key("charset_code"), release_key("release"),
      volume_set_id_key("volume_set_id"), volume_generation_key("volume_generation"),
      file_sequence_key("file_sequence"), header_bytes_key("header_bytes");
  w_.begin_object();
  w_.ascii(type_key, "header");
  w_.raw(log_key, log_name_.data(), log_name_.size());
  w_.string(signature_key, h.signature, sizeof h.signature);
  w_.string(version_key, h.version, strnlen(h.version, sizeof h.version));
  w_.i64(major_key, h.major);
  w_.i64(minor_key, h.minor);
  w_.boolean(audit_only_key, h.audit_only != 0);
  w_.u64(byte_order_key, h.byte_order);
  const char* cs = charset_name(h.charset);
  if (std::strcmp(cs, "unknown") == 0)
    w_.null(charset_key);
  else
    w_.ascii(charset_key, cs);
  w_.u64(charset_code_key, h.charset);
  w_.u64(release_key, h.release);
  w_.u64(volume_set_id_key, h.volume_set_id);
  w_.u64(volume_generation_key, h.volume_generation);
  w_.i64(file_sequence_key, h.file_sequence);
  w_.i64(header_bytes_key, h.bytes);
  w_.i64(offset_key, h.start);
  // Which catalogue the tag objects that follow were written from.
  w_.ascii(json_key("schema_version"), schema_version);
  w_.end_object();
  w_.end_line();
}

void json_sink::show_tag(const tag_summary& t) {
  if (tag_open_) close_tag(-1);
  // A malformed item found before the tag was shown (a filter that reads
  // the payload checks it first) belongs to it.
  malformed_.clear();
  if (early_offset_ == t.offset) malformed_.swap(early_malformed_);
  early_offset_ = -1;
  tag_offset_ = t.offset;
  w_.raw(tag_head_.data(), tag_head_.size());
  w_.i64(offset_key, t.offset);
  w_.u64(sequence_key, t.sequence);
  w_.u64(timestamp_key, t.timestamp);
  w_.iso_time(time_key, t.timestamp);
  const tag_kind& kind = tag_kind_of(t.letter);
  if (kind.handler || is_end_tag(t.letter))
    w_.ascii(tag_key, kind.name);
  else
    w_.null(tag_key);
  w_.u64(tag_code_key, t.letter);
  tag_open_ = true;
  list_open_ = false;
  item_open_ = false;
}

void json_sink::key(const char* k) {
  if (list_open_ && !item_open_) list_item();  // a field of a list is always in an item
  w_.key(k);
}

const std::string& json_sink::node_name(int32_t id) {
  name_slot& slot = names_seen_[static_cast<uint32_t>(id) % name_slots];
  if (!slot.used || slot.id != id || slot.entries != names_.size() ||
      slot.bytes != names_.memory_bytes()) {
    slot.used = true;
    slot.id = id;
    slot.entries = names_.size();
    slot.bytes = names_.memory_bytes();
    if (names_.has(id)) {
      slot.json.assign(1, '"');  // the name is cut by what it takes as JSON
      names_.append_display(id, false, text_form::json, slot.json);
      slot.json += '"';
    } else {
      slot.json = "null";
    }
  }
  return slot.json;
}

// Inlined into line(), where nearly every value comes through.
[[gnu::always_inline]] inline void json_sink::put(const field& f) {
  if (list_open_ && !item_open_) list_item();  // a field of a list is always in an item
  const size_t i = static_cast<size_t>(f.id);
  const json_key& k = catalogue_keys.key[i];
  switch (f.kind) {
    case field_kind::u32:
    case field_kind::i32:
    case field_kind::i64:
    case field_kind::hex: w_.i64(k, json_number(f.id, f.num)); return;  // one form per field
    case field_kind::name:
      if (f.known)
        w_.string(k, f.str, std::strlen(f.str));
      else
        w_.null(k);
      return;
    case field_kind::text: w_.string(k, f.str, f.len); return;
    case field_kind::node_number:
      w_.u64(k, static_cast<uint32_t>(f.num));  // unsigned, as every node number
      return;
    case field_kind::node: {
      const int32_t id = static_cast<int32_t>(f.num);
      w_.u64(k, static_cast<uint32_t>(id));
      // The node's qualified name (or null) comes with it.
      const std::string& name = node_name(id);
      w_.raw(catalogue_keys.name_key[i], name.data(), name.size());
      return;
    }
  }
}

void json_sink::line(bool, const char*, std::initializer_list<field> fields) {
  for (const field& f : fields) put(f);
}

void json_sink::data(bool, fid id, const uint8_t* p, uint32_t n, uint32_t, bool) {
  // Raw bytes from -v on, whole.
  if (filter_.detail_level < 1) return;
  key(field_key(id));
  w_.hex(p, n);
}

void json_sink::words(bool, fid id, const uint8_t* p, uint32_t count) {
  key(field_key(id));
  w_.begin_array();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    w_.u64(v);
  }
  w_.end_array();
}

void json_sink::list_begin(fid id) {
  if (list_open_) list_end();  // lists do not nest
  key(field_key(id));
  w_.begin_array();
  list_open_ = true;
  item_open_ = false;
}

void json_sink::list_item() {
  if (!list_open_) return;
  if (item_open_) w_.end_object();
  w_.begin_object();
  item_open_ = true;
}

void json_sink::list_end() {
  if (!list_open_) return;
  if (item_open_) w_.end_object();
  w_.end_array();
  list_open_ = false;
  item_open_ = false;
}

// A handler that meets a malformed item or the end of the input may leave
// its list open; the object is closed all the same, so that every line
// stays one whole JSON object.
void json_sink::close_tag(int64_t length) {
  list_end();
  if (!malformed_.empty()) {
    w_.string(malformed_key, malformed_.data(), malformed_.size());
    malformed_.clear();
  }
  if (length >= 0)
    w_.i64(length_key, length);
  else
    w_.null(length_key);
  w_.end_object();
  w_.end_line();
  tag_open_ = false;
}

void json_sink::tag_done(const tag_summary& t) {
  early_offset_ = -1;  // a tag left unshown keeps what was found in it
  if (!t.shown || !tag_open_) return;
  close_tag(t.bytes);
}

// A tag whose body could not be read ends the log without tag_done.
void json_sink::end_log(log_end, int64_t) {
  if (tag_open_) close_tag(-1);
}

// The tag's object says it held a malformed item (once per tag, as the
// message is), with the text of the message, behind the fields read.
void json_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  if (kind != problem_kind::malformed) return;
  if (tag_open_ && offset == tag_offset_) {
    if (malformed_.empty()) malformed_ = text;
    return;
  }
  early_offset_ = offset;
  early_malformed_ = text;
}

void json_sink::flush() { out_.flush(); }

void json_sink::finish() {
  if (tag_open_) close_tag(-1);
}

}  // namespace jrn
