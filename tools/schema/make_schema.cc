// Prints the JSON Schema (draft 2020-12) of jrnscan's JSON output: the
// header and tag lines of --json, the lines of --check --json and the
// document of --stats --json. The tag object's fields come from the field
// catalogue; the keys that the back-ends write themselves are in the tables
// below.
//
//   make_schema [FILE]    writes to FILE, or to standard output
//
// Exits with status 1, writing nothing, when the catalogue has a key that
// would clash with a key of the tag object itself.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "scan/catalogue.h"

namespace {

// A JSON value with its members in the order given.
struct value {
  std::string atom;  // a number, true, false, null or a quoted string; empty for containers
  bool is_array = false;
  std::vector<std::pair<std::string, value>> members;
  std::vector<value> items;

  value& set(const std::string& key, value v) {
    for (auto& m : members)
      if (m.first == key) return m.second = std::move(v);
    members.emplace_back(key, std::move(v));
    return members.back().second;
  }
};

std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + '"';
}

value atom(std::string a) {
  value v;
  v.atom = std::move(a);
  return v;
}
value str(const std::string& s) { return atom(quoted(s)); }
value arr(std::vector<value> items) {
  value v;
  v.is_array = true;
  v.items = std::move(items);
  return v;
}
value obj(std::initializer_list<std::pair<std::string, value>> members) {
  value v;
  for (const auto& m : members) v.set(m.first, m.second);
  return v;
}
value strings(std::initializer_list<const char*> list) {
  std::vector<value> v;
  for (const char* s : list) v.push_back(str(s));
  return arr(v);
}

void print_compact(const value& v, std::string& out) {
  if (!v.atom.empty()) {
    out += v.atom;
  } else if (v.is_array) {
    out += '[';
    for (size_t i = 0; i < v.items.size(); ++i) {
      if (i) out += ", ";
      print_compact(v.items[i], out);
    }
    out += ']';
  } else {
    out += '{';
    for (size_t i = 0; i < v.members.size(); ++i) {
      if (i) out += ", ";
      out += quoted(v.members[i].first) + ": ";
      print_compact(v.members[i].second, out);
    }
    out += '}';
  }
}

// A container on one line when it fits in 100 columns, else one member a line.
void print(const value& v, size_t indent, size_t used, std::string& out) {
  std::string flat;
  print_compact(v, flat);
  if (!v.atom.empty() || used + flat.size() <= 100 || (v.items.empty() && v.members.empty())) {
    out += flat;
    return;
  }
  const std::string pad(indent + 2, ' ');
  out += v.is_array ? "[\n" : "{\n";
  const size_t n = v.is_array ? v.items.size() : v.members.size();
  for (size_t i = 0; i < n; ++i) {
    out += pad;
    if (v.is_array) {
      print(v.items[i], indent + 2, pad.size(), out);
    } else {
      const std::string k = quoted(v.members[i].first) + ": ";
      out += k;
      print(v.members[i].second, indent + 2, pad.size() + k.size(), out);
    }
    out += i + 1 < n ? ",\n" : "\n";
  }
  out += std::string(indent, ' ') + (v.is_array ? "]" : "}");
}

// Types.
value integer(const char* min, const char* max = nullptr) {
  value v = obj({{"type", str("integer")}, {"minimum", atom(min)}});
  if (max) v.set("maximum", atom(max));
  return v;
}
const char* const u32_max = "4294967295";
const char* const i32_min = "-2147483648";
const char* const i32_max = "2147483647";
value u8() { return integer("0", "255"); }
value u16() { return integer("0", "65535"); }
value u32() { return integer("0", u32_max); }
value i32() { return integer(i32_min, i32_max); }
value count() { return integer("0", "18446744073709551615"); }   // 64-bit counters
value bytes64() { return integer("0", "9223372036854775807"); }  // offsets and sizes
value signed64() {
  return obj({{"type", str("integer")},
              {"minimum", atom("-9223372036854775808")},
              {"maximum", atom("9223372036854775807")}});
}
value text() { return obj({{"type", str("string")}}); }
value boolean() { return obj({{"type", str("boolean")}}); }
value constant(const char* s) { return obj({{"const", str(s)}}); }
value constant_false() { return obj({{"const", atom("false")}}); }
value one_of(std::initializer_list<const char*> list) { return obj({{"enum", strings(list)}}); }
value time_text() {
  return obj({{"type", str("string")},
              {"pattern", str("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$")}});
}
value share() {
  return obj({{"type", str("number")}, {"minimum", atom("0")}, {"maximum", atom("1")}});
}
// The same, or null.
value or_null(value v) {
  if (v.members.empty() || v.members[0].first != "type")
    return obj({{"anyOf", arr({v, obj({{"type", str("null")}})})}});
  v.set("type", arr({v.members[0].second, str("null")}));
  return v;
}
value array_of(value items) { return obj({{"type", str("array")}, {"items", std::move(items)}}); }
value ref(const char* def) { return obj({{"$ref", str(std::string("#/$defs/") + def)}}); }

// One key of an object written by a back-end.
struct key_def {
  const char* key;
  value type;
  const char* doc;
  bool required;
};

value described(value type, const char* doc) {
  if (doc && *doc) type.set("description", str(doc));
  return type;
}

value object(const std::vector<key_def>& keys, const char* doc = nullptr) {
  value props, required = arr({});
  for (const key_def& k : keys) {
    props.set(k.key, described(k.type, k.doc));
    if (k.required) required.items.push_back(str(k.key));
  }
  value v = obj({{"type", str("object")}});
  if (doc) v.set("description", str(doc));
  v.set("properties", props);
  if (!required.items.empty()) v.set("required", required);
  v.set("additionalProperties", atom("false"));
  return v;
}

std::vector<key_def> operator+(std::vector<key_def> a, const std::vector<key_def>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The mark of an answer that a table bound cut: present only then.
std::vector<key_def> cut_defs() {
  return {
      {"complete", constant_false(), "false: a table bound cut the answer", false},
      {"reason", text(), "why: each bound reached, with the option that raises it", false},
  };
}

// --- header and tag lines ---

value header_object() {
  return object(
      {
          {"type", constant("header"), "", true},
          {"log", text(), "the operand's name", true},
          {"signature", text(), "the header's signature", true},
          {"version", text(), "the format version as written in the header", true},
          {"major", i32(), "the version's major number", true},
          {"minor", i32(), "the version's minor number", true},
          {"audit_only", boolean(), "an audit-only log", true},
          {"byte_order", u16(), "", true},
          {"charset", or_null(text()), "character set name, or null for a code without one", true},
          {"charset_code", u16(), "character set code", true},
          {"release", u32(), "", true},
          {"volume_set_id", u32(), "", true},
          {"volume_generation", u32(), "", true},
          {"file_sequence", i32(), "", true},
          {"header_bytes", bytes64(), "the header's length in the log", true},
          {"offset", bytes64(), "input offset of the log's first byte", true},
          {"schema_version", constant(jrn::schema_version), "the version of this schema", true},
      },
      "One per log, before its tags.");
}

// The tag object's own keys, around the catalogue's.
std::vector<key_def> tag_keys() {
  return {
      {"type", constant("tag"), "", true},
      {"log", text(), "the operand's name", true},
      {"offset", bytes64(), "input offset of the tag's first byte", true},
      {"sequence", u32(), "the tag's sequence number", true},
      {"timestamp", u32(), "seconds since 1970-01-01 00:00:00 UTC", true},
      {"time", time_text(), "the timestamp in ISO 8601, UTC", true},
      {"tag", or_null(text()), "kind name, or null for a letter of no kind", true},
      {"tag_code", u8(), "the tag's letter as a number", true},
      {"malformed", text(), "the message of the malformed item found in the tag", false},
      {"length", or_null(bytes64()), "the tag's bytes, header included; null when cut short", true},
  };
}

// What the ids sharing one JSON key may hold, merged: the widest of them.
struct merged {
  bool integer = false;
  int64_t min = 0, max = 0;
  bool string = false;
  bool hex_only = true;  // every string is a string of hex pairs
  bool null = false;
  bool words = false, list = false;
  std::vector<std::string> docs;

  void add_int(int64_t lo, int64_t hi) {
    min = integer && min < lo ? min : lo;
    max = integer && max > hi ? max : hi;
    integer = true;
  }
  void add(const jrn::field_info& f) {
    using jrn::field_type;
    switch (f.type) {
      case field_type::u32:
      case field_type::hex:
      case field_type::code:
      case field_type::node:
      case field_type::node_number: add_int(0, UINT32_MAX); break;
      case field_type::i32: add_int(INT32_MIN, INT32_MAX); break;
      case field_type::name:
        string = true;
        hex_only = false;
        null = true;
        break;
      case field_type::text:
        string = true;
        hex_only = false;
        break;
      case field_type::bytes: string = true; break;
      case field_type::words: words = true; break;
      case field_type::list: list = true; break;
    }
    for (const std::string& d : docs)
      if (d == f.doc) return;
    docs.push_back(f.doc);
  }

  value schema() const {
    std::vector<value> types;
    if (integer) types.push_back(str("integer"));
    if (string) types.push_back(str("string"));
    if (words || list) types.push_back(str("array"));
    if (null) types.push_back(str("null"));
    value v = obj({{"type", types.size() == 1 ? types[0] : arr(types)}});
    if (integer) {
      v.set("minimum", atom(std::to_string(min)));
      v.set("maximum", atom(std::to_string(max)));
    }
    if (string && hex_only) v.set("pattern", str("^([0-9a-f]{2})*$"));
    if (words && list)
      v.set("items", obj({{"anyOf", arr({u32(), ref("tag_list_item")})}}));
    else if (words)
      v.set("items", u32());
    else if (list)
      v.set("items", ref("tag_list_item"));
    std::string doc;
    for (const std::string& d : docs) doc += (doc.empty() ? "" : "; ") + d;
    v.set("description", str(doc));
    return v;
  }
};

// Catalogue keys that the tag object itself uses: they occur only inside
// a list's items (SET_ITEMS' item type).
const std::set<std::string> list_only = {"type"};

// The tag object and the items of its lists, from the catalogue. Returns
// false when a catalogue key clashes with a key of the tag object.
bool tag_objects(value& tag, value& item) {
  std::vector<std::string> order;
  std::vector<merged> merge;
  std::set<std::string> name_keys;
  for (size_t i = 0; i < jrn::field_count; ++i) {
    const jrn::field_info& f = jrn::field_of(static_cast<jrn::fid>(i));
    size_t at = 0;
    while (at < order.size() && order[at] != f.key) ++at;
    if (at == order.size()) {
      order.push_back(f.key);
      merge.emplace_back();
    }
    merge[at].add(f);
    if (f.name_key) name_keys.insert(f.name_key);
  }
  std::set<std::string> own;
  for (const key_def& k : tag_keys()) own.insert(k.key);
  bool ok = true;
  for (const std::string& k : order)
    if (own.count(k) && !list_only.count(k)) {
      std::fprintf(stderr, "make_schema: catalogue key \"%s\" clashes with the tag object's own\n",
                   k.c_str());
      ok = false;
    }
  for (const std::string& k : name_keys)
    if (own.count(k) || std::find(order.begin(), order.end(), k) != order.end()) {
      std::fprintf(stderr, "make_schema: name key \"%s\" is a key of its own as well\n", k.c_str());
      ok = false;
    }

  std::vector<key_def> fields, item_fields;
  for (size_t i = 0; i < order.size(); ++i) {
    const value v = merge[i].schema();
    if (!own.count(order[i])) fields.push_back({order[i].c_str(), v, nullptr, false});
    if (!merge[i].list) item_fields.push_back({order[i].c_str(), v, nullptr, false});
  }
  for (const std::string& k : name_keys) {
    const key_def name = {k.c_str(), or_null(text()),
                          "qualified name of the node beside it, or null when it is not mapped",
                          false};
    fields.push_back(name);
    item_fields.push_back(name);
  }
  std::vector<key_def> all = tag_keys();
  all.insert(all.end() - 2, fields.begin(), fields.end());  // before malformed and length
  tag = object(all, "One per shown tag: the tag's own keys and the fields of its kind.");
  item = object(item_fields, "One entry, item or page image of a tag's list.");
  return ok;
}

// --- --check --json ---

// Each key of a group requires the others.
value together(std::initializer_list<std::initializer_list<const char*>> groups) {
  value v;
  for (const auto& g : groups)
    for (const char* k : g) {
      value others = arr({});
      for (const char* o : g)
        if (o != k) others.items.push_back(str(o));
      v.set(k, others);
    }
  return v;
}

const std::initializer_list<const char*> log_ends = {
    "eof_finish",     "eof_cont",     "next_log",       "input_between", "input_inside",
    "unknown_letter", "read_failure", "header_failure", "body_failure",  "stopped"};

value check_object() {
  value finding = object({
      {"level", one_of({"error", "warning"}), "", true},
      {"offset", signed64(), "input offset of what was found", true},
      {"text", text(), "", true},
  });
  value v = object(
      {
          {"type", constant("check"), "", true},
          {"log", text(), "the operand's name", true},
          {"log_index", u32(), "1 for the first log of the input", true},
          {"offset", bytes64(), "the log's start in the input", true},
          {"verdict", one_of({"ok", "warnings", "errors"}), "", true},
          {"errors", count(), "", true},
          {"warnings", count(), "", true},
          {"tags", count(), "", true},
          {"volume_set_id", u32(), "absent when the header was refused", false},
          {"volume_generation", u32(), "", false},
          {"file_sequence", i32(), "", false},
          {"first_sequence", u32(), "absent when no tag was read", false},
          {"last_sequence", u32(), "", false},
          {"first_timestamp", u32(), "", false},
          {"first_time", time_text(), "", false},
          {"last_timestamp", u32(), "", false},
          {"last_time", time_text(), "", false},
          {"end", obj({{"enum", strings(log_ends)}}), "how the log ended", true},
          {"end_offset", bytes64(), "", true},
          {"unread_bytes", or_null(bytes64()),
           "bytes behind the log that are not a log (null: more than were looked at)", false},
          {"sequence_breaks", count(), "", true},
          {"timestamps_back", count(), "", true},
          {"before_image_mismatches", count(), "before-images that do not match their record",
           true},
          {"transactions_not_ended", count(),
           "transactions open when the log ended with EOF_FINISH", true},
          {"findings", array_of(finding), "", true},
          {"findings_omitted", count(), "", true},
      },
      "--check --json: the verdict of one log.");
  v.set("dependentRequired", together({{"volume_set_id", "volume_generation", "file_sequence"},
                                       {"first_sequence", "last_sequence", "first_timestamp",
                                        "first_time", "last_timestamp", "last_time"}}));
  return v;
}

value check_input_object() {
  return object(
      {
          {"type", constant("check_input"), "", true},
          {"input", text(), "the operand's name", true},
          {"verdict", one_of({"not_opened", "damaged"}), "", true},
          {"reason", text(), "damaged: why the archive could not be read to its end", false},
      },
      "--check --json: an input that could not be opened, or an archive that could not be read "
      "to its end.");
}

value check_run_object() {
  return object(
      std::vector<key_def>{
          {"type", constant("check_run"), "", true},
          {"logs", count(), "", true},
          {"errors", count(), "errors in the logs", true},
          {"logs_with_errors", count(), "", true},
          {"warnings", count(), "", true},
          {"inputs_not_opened", count(), "", true},
          {"inputs_damaged", count(), "archives that could not be read to their end", true},
          {"before_image_mismatches", count(), "", true},
          {"image_memory_full", boolean(), "some records were not followed for want of room", true},
          {"transactions_not_ended", count(), "", true},
          {"txn_table_full", boolean(), "some transactions were not followed (--txn-table)", true},
          {"series", count(), "--order=sequence: the number of series", false},
          {"series_errors", count(), "--order=sequence: errors of continuity across files", false},
          {"series_with_errors", count(), "", false},
          {"strict", boolean(), "", true},
          {"verdict", one_of({"ok", "failed"}), "", true},
      } + cut_defs(),
      "--check --json: the last line, the verdict of the run.");
}

value check_series_object() {
  value finding = object({
      {"level", one_of({"error", "warning"}), "", true},
      {"text", text(), "", true},
  });
  value range = obj({{"type", str("array")},
                     {"prefixItems", arr({i32(), i32()})},
                     {"minItems", atom("2")},
                     {"maxItems", atom("2")}});
  value duplicate = object({
      {"file_sequence", i32(), "", true},
      {"copies", u32(), "the logs read with that file sequence", true},
      {"identical", boolean(), "whether every copy gave the same tags", true},
  });
  return object(
      {
          {"type", constant("check_series"), "", true},
          {"volume_set_id", u32(), "", true},
          {"volume_generation", u32(), "", true},
          {"verdict", one_of({"ok", "warnings", "errors"}), "", true},
          {"errors", count(), "", true},
          {"warnings", count(), "", true},
          {"logs", count(), "", true},
          {"logs_not_judged", count(), "logs read after the most that are remembered", true},
          {"logs_with_errors", count(), "", true},
          {"first_file_sequence", i32(), "the lowest file sequence", true},
          {"last_file_sequence", i32(), "the highest file sequence", true},
          {"end", obj({{"enum", strings(log_ends)}}), "how the log of the last file sequence ended",
           true},
          {"missing_file_sequences", count(), "", true},
          {"missing", array_of(range), "[from, to] of each gap, up to 100", true},
          {"missing_omitted", count(), "", true},
          {"duplicates", array_of(duplicate), "file sequences read more than once, up to 100",
           true},
          {"duplicates_omitted", count(), "", true},
          {"findings", array_of(finding), "", true},
          {"findings_omitted", count(), "", true},
      },
      "--check --json with --order=sequence: the verdict on one series, before the last line.");
}

// --- --history --json ---

value hex_text() { return obj({{"type", str("string")}, {"pattern", str("^([0-9a-f]{2})*$")}}); }

// The keys that name a record and its node.
std::vector<key_def> record_keys() {
  return {
      {"node_id", u32(), "the record's node number", true},
      {"node", or_null(text()), "its qualified name, or null when it is not mapped", true},
      {"recno", u32(), "the record number", true},
  };
}

value record_change_object() {
  value range = object({
      {"offset", u16(), "where the bytes lie in the record", true},
      {"old", or_null(hex_text()), "the bytes before; null for a patch on unknown content", true},
      {"new", hex_text(), "the bytes after", true},
  });
  value item = object({
      {"name", text(), "the item's name, from its SET_ITEMS record", true},
      {"type", text(), "its type letter (given no meaning)", true},
      {"offset", u16(), "where it lies in the record", true},
      {"size", integer("0", "4294836225"), "its bytes: count x size", true},
      {"old", hex_text(), "", true},
      {"new", hex_text(), "", true},
      {"old_text", text(), "the old value as text, where JSON can write it", false},
      {"new_text", text(), "the new value as text, where JSON can write it", false},
  });
  std::vector<key_def> keys = {
      {"type", constant("record_change"), "", true},
      {"log", text(), "the operand's name", true},
  };
  keys =
      keys + record_keys() +
      std::vector<key_def>{
          {"sequence", u32(), "the FIXREC tag's sequence number", true},
          {"timestamp", u32(), "seconds since 1970-01-01 00:00:00 UTC", true},
          {"time", time_text(), "the timestamp in ISO 8601, UTC", true},
          {"offset", bytes64(), "input offset of the FIXREC tag", true},
          {"transaction_id", u32(), "", true},
          {"session_id", u32(), "", true},
          {"fixrec_op", or_null(text()), "the operation's name, null for a code without one", true},
          {"fixrec_op_code", u8(), "", true},
          {"before", or_null(hex_text()), "the content before; null when unknown or absent", true},
          {"before_known", boolean(), "false: the log does not tell the content before", true},
          {"before_source", or_null(one_of({"before_image", "earlier_changes"})),
           "where before comes from", true},
          {"after", or_null(hex_text()), "the content after; null when unknown or absent", true},
          {"after_known", boolean(), "", true},
          {"diff", array_of(range), "the byte ranges that differ", true},
          {"items", array_of(item), "the changed items, where the log declares them", false},
          {"reason", text(), "why the content after is unknown", false},
          {"note", text(),
           "the before-images read since the change before that differ from what came before "
           "them or are of a deleted record",
           false},
      };
  return object(keys, "--history --json: one change of an asked record.");
}

value record_gap_object() {
  std::vector<key_def> keys = {
      {"type", constant("record_gap"), "", true},
      {"log", text(), "the operand's name", true},
  };
  keys = keys + record_keys() +
         std::vector<key_def>{
             {"sequence", u32(),
              "of the tag where the log stops telling (an unreadable FIXREC, a break in the tag "
              "sequence)",
              false},
             {"timestamp", u32(), "", false},
             {"time", time_text(), "", false},
             {"transaction_id", u32(), "", false},
             {"session_id", u32(), "", false},
             {"offset", bytes64(), "input offset where the log stops telling", true},
             {"reason", text(), "", true},
             {"note", text(),
              "the before-images read since the change before that differ from what came "
              "before them or are of a deleted record",
              false},
         };
  return object(keys, "--history --json: from here the log does not tell the record's content.");
}

value record_as_of_object() {
  value item = object({
      {"name", text(), "", true},
      {"type", text(), "", true},
      {"offset", u16(), "", true},
      {"size", integer("0", "4294836225"), "", true},
      {"value", hex_text(), "", true},
      {"text", text(), "the value as text, where JSON can write it", false},
  });
  std::vector<key_def> keys = {{"type", constant("record_as_of"), "", true}};
  keys =
      keys + record_keys() +
      std::vector<key_def>{
          {"as_of", time_text(), "the moment, in ISO 8601, UTC", true},
          {"as_of_timestamp", u32(), "", true},
          {"known", boolean(), "whether the log tells the content at that moment", true},
          {"content", or_null(hex_text()), "null when not known or when it did not exist", true},
          {"source",
           one_of({"after_image", "patched", "before_image", "deleted", "before_put", "unknown"}),
           "where the content comes from", true},
          {"source_offset", or_null(bytes64()), "input offset of that tag", true},
          {"source_log", or_null(text()), "the log it lies in", true},
          {"patches", u32(), "UPDATE_RANGE patches applied since", true},
          {"items", array_of(item), "the items' values, where the log declares them", false},
          {"reason", text(), "why the log cannot tell", false},
          {"note", text(), "", false},
      };
  return object(keys, "--history --as-of --json: the content of an asked record at a moment.");
}

// --- --undo --json ---

// A change of a record, or a gap in the log where one may hide.
value undo_place_object() {
  return object({
      {"kind", one_of({"change", "gap"}), "gap: the log does not tell what happened there", true},
      {"log", text(), "the operand's name", true},
      {"offset", bytes64(), "input offset of the FIXREC tag, or where the log stops telling", true},
      {"sequence", u32(), "the tag's sequence number (a gap: of an unreadable FIXREC tag)", false},
      {"timestamp", u32(), "", false},
      {"time", time_text(), "", false},
      {"transaction_id", u32(), "", false},
      {"session_id", u32(), "", false},
      {"fixrec_op", or_null(text()), "a change: its operation, null for a code without a name",
       false},
      {"fixrec_op_code", u8(), "", false},
      {"reason", text(), "a gap: why a change there cannot be ruled out", false},
  });
}

value undo_record_object() {
  value range = object({
      {"offset", u16(), "where the bytes lie in the record", true},
      {"old", hex_text(), "the bytes before the transactions", true},
      {"new", hex_text(), "the bytes after them", true},
  });
  std::vector<key_def> keys = {{"type", constant("undo_record"), "", true}};
  keys =
      keys + record_keys() +
      std::vector<key_def>{
          {"action", one_of({"put_back", "delete", "unchanged", "cannot"}),
           "what undoing the transactions does to the record", true},
          {"changes", count(), "the transactions' changes of the record", true},
          {"first_change", undo_place_object(), "their first change of it", true},
          {"last_change", undo_place_object(), "their last change of it", true},
          {"before", or_null(hex_text()), "the content before; null when unknown or absent", true},
          {"before_known", boolean(), "false: the log does not tell the content before", true},
          {"before_source", or_null(one_of({"before_image", "earlier_changes", "put"})),
           "where before comes from; put: the first change puts the record", true},
          {"before_reason", text(), "why the content before is not known", false},
          {"after", or_null(hex_text()), "the content after; null when unknown or absent", true},
          {"after_known", boolean(), "", true},
          {"after_reason", text(), "why the content after is not known", false},
          {"diff", array_of(range), "the byte ranges that differ", true},
          {"conflicts", array_of(undo_place_object()),
           "later changes of other transactions, and gaps, up to 100", true},
          {"conflicts_total", count(), "", true},
      };
  return object(keys, "--undo --json: one record that the transactions changed.");
}

value undo_summary_object() {
  return object(
      {
          {"type", constant("undo_summary"), "", true},
          {"from_txn", or_null(u32()), "the first transaction undone; null: no bound", true},
          {"to_txn", or_null(u32()), "the last transaction undone; null: no bound", true},
          {"records", count(), "", true},
          {"put_back", count(), "", true},
          {"delete", count(), "", true},
          {"unchanged", count(), "", true},
          {"cannot", count(), "", true},
          {"with_conflicts", count(), "", true},
          {"complete", boolean(), "false: changes of the transactions may be missing", true},
          {"changes_not_followed", count(), "changes of records beyond --undo-records", true},
          {"incomplete", text(), "the first reason why changes may be missing", false},
          {"reason", text(), "--undo-records was reached: why, with the option that raises it",
           false},
      },
      "--undo --json: the last line.");
}

// --- --txns, --sessions and --transaction --json ---

// Where a tag of a transaction or session lies.
value place_object() {
  return object({
      {"log", text(), "the input's name", true},
      {"sequence", u32(), "", true},
      {"offset", bytes64(), "input offset of the tag", true},
      {"timestamp", u32(), "", true},
      {"time", time_text(), "", true},
  });
}

// Who signed a session on.
std::vector<key_def> who_keys() {
  return {
      {"who", or_null(array_of(text())),
       "the session's sign-on entries as the report shows them; null without a sign-on", true},
      {"who_complete", boolean(), "false when entries were cut, left out or damaged", true},
      {"sign_on", one_of({"found", "none", "not_kept"}),
       "not_kept: the session table was full when it may have come", true},
  };
}

const std::initializer_list<const char*> txn_ends = {
    "END", "BEGIN-END", "begun_again", "eof_finish", "open", "stopped", "gap"};

value txn_object() {
  value op = object({
      {"code", u8(), "", true},
      {"name", or_null(text()), "", true},
      {"records", count(), "", true},
  });
  value node = object({
      {"node_id", u32(), "", true},
      {"name", or_null(text()), "", true},
      {"records", count(), "", true},
  });
  std::vector<key_def> keys = {
      {"type", constant("txn"), "", true},
      {"transaction_id", u32(), "", true},
      {"session_id", u32(), "of its first tag", true},
      {"end", obj({{"enum", strings(txn_ends)}}), "how it ended, or why it is written unended",
       true},
      {"begun_again_sequence", u32(), "end begun_again: the sequence of the BEGIN that came",
       false},
      {"begin_seen", boolean(), "it began with BEGIN or BEGIN-END in the input", true},
      {"first", place_object(), "its first tag", true},
      {"last", place_object(), "its last tag", true},
      {"duration_seconds", bytes64(), "", true},
      {"records", count(), "", true},
      {"operations", array_of(op), "records by opcode, up to 16 opcodes", true},
      {"other_operation_records", count(), "records of further opcodes", true},
      {"nodes", array_of(node), "records by node, up to 32 nodes", true},
      {"node_count", count(), "distinct nodes; a lower bound when nodes_exact is false", true},
      {"nodes_exact", boolean(), "", true},
      {"other_node_records", count(), "records of further nodes", true},
      {"records_without_node", count(), "records of node 0", true},
      {"before_images", count(), "", true},
  };
  return object(keys + who_keys(), "--txns --json: one transaction.");
}

value txns_total_object() {
  return object(
      std::vector<key_def>{
          {"type", constant("txns_total"), "", true},
          {"transactions", count(), "", true},
          {"ended", count(), "by an END record", true},
          {"begin_end", count(), "records of state BEGIN-END", true},
          {"not_ended", count(), "", true},
          {"listed", count(), "the transactions the filters selected", true},
          {"top", u32(), "--top", false},
          {"by", one_of({"records", "duration", "nodes"}), "--by", false},
          {"records_in_no_transaction", count(), "GLOBAL records and records of transaction 0",
           true},
          {"txn_table", u32(), "--txn-table", true},
          {"txn_table_reached", boolean(), "", true},
          {"tags_not_followed", count(), "records and before-images of transactions left out",
           true},
      } + cut_defs(),
      "--txns --json: the last line.");
}

value session_object() {
  value db = object({
      {"node_id", u32(), "", true},
      {"name", or_null(text()), "", true},
      {"mode", i32(), "", true},
      {"list", one_of({"DBLIST_SUM", "DBLIST_UPD"}), "", true},
  });
  value memo = object({
      {"mode", i32(), "", true},
      {"size", u16(), "the memo's data bytes", true},
      {"text", text(), "its first 256 bytes", true},
  });
  std::vector<key_def> keys = {
      {"type", constant("session"), "", true},
      {"session_id", u32(), "", true},
  };
  keys =
      keys + who_keys() +
      std::vector<key_def>{
          {"sign_on_at", or_null(place_object()), "its SIGN_ON tag", true},
          {"end", one_of({"sign_off", "signed_on_again", "eof_finish", "open", "stopped", "gap"}),
           "how it ended, or why it is written signed on", true},
          {"end_at", or_null(place_object()), "the SIGN_OFF, or the SIGN_ON that came again", true},
          {"first", place_object(), "its first tag met", true},
          {"last", place_object(), "its last tag met", true},
          {"transactions", count(), "", true},
          {"records", count(), "", true},
          {"memos", count(), "", true},
          {"damaged_audit_bodies", count(), "", true},
          {"databases", array_of(db), "its DBLIST entries, up to 32", true},
          {"databases_left_out", count(), "", true},
          {"memo_texts", array_of(memo), "with -v: up to 4 memos", false},
      };
  return object(keys, "--sessions --json: one session.");
}

value sessions_total_object() {
  return object(
      std::vector<key_def>{
          {"type", constant("sessions_total"), "", true},
          {"sessions", count(), "", true},
          {"signed_off", count(), "", true},
          {"listed", count(), "", true},
          {"session_table", u32(), "--session-table", true},
          {"session_table_reached", boolean(), "", true},
          {"tags_not_followed", count(), "tags of sessions left out", true},
      } + cut_defs(),
      "--sessions --json: the last line.");
}

value who_object() {
  std::vector<key_def> keys = {
      {"type", constant("who"), "", true},
      {"transaction_id", u32(), "", true},
      {"session_id", u32(), "", true},
  };
  return object(keys + who_keys(), "--transaction --json: before the transaction's first tag.");
}

// --history --json: the last line when a table bound cut the history.
value incomplete_object() {
  return object(
      {
          {"type", constant("incomplete"), "", true},
          {"complete", constant_false(), "", true},
          {"reason", text(), "each bound reached, with the option that raises it", true},
      },
      "--history --json: the last line, only when a table bound cut the answer.");
}

value transaction_total_object() {
  return object(
      std::vector<key_def>{
          {"type", constant("transaction_total"), "", true},
          {"transaction_id", u32(), "", true},
          {"transactions", count(), "the transactions of that id met (0: not in the input)", true},
      } + cut_defs(),
      "--transaction --json: the last line.");
}

// --- --stats --json ---

value filters_object() {
  return object({
      {"node_id", or_null(u32()), "-n", true},
      {"from_time", or_null(time_text()), "-t, --since", true},
      {"from_timestamp", or_null(u32()), "", true},
      {"to_time", or_null(time_text()), "-t, --until", true},
      {"to_timestamp", or_null(u32()), "", true},
      {"from_sequence", or_null(u32()), "-s", true},
      {"to_sequence", or_null(u32()), "", true},
      {"from_transaction", or_null(u32()), "-x", true},
      {"to_transaction", or_null(u32()), "", true},
      {"page", or_null(u32()), "-p", true},
      {"record_number", or_null(u32()), "-r", true},
      {"opcode_pattern", or_null(text()), "-o", true},
      {"kinds", or_null(array_of(text())), "--kind", true},
  });
}

std::vector<key_def> summary_keys() {
  value byte_identity = object({
      {"read", bytes64(), "", true},
      {"header", bytes64(), "", true},
      {"counted", bytes64(), "", true},
      {"filtered_out", bytes64(), "", true},
      {"malformed_left_out", bytes64(), "", true},
      {"cut_short", bytes64(), "", true},
      {"unread", or_null(bytes64()), "", true},
  });
  value kind = object({
      {"letter", obj({{"type", str("string")}, {"minLength", atom("1")}, {"maxLength", atom("1")}}),
       "", true},
      {"code", u8(), "", true},
      {"name", text(), "", true},
      {"count", count(), "", true},
      {"bytes", bytes64(), "", true},
      {"share", share(), "", true},
  });
  value opcode = object({
      {"code", u8(), "", true},
      {"name", or_null(text()), "", true},
      {"count", count(), "", true},
      {"bytes", bytes64(), "", true},
      {"share", share(), "", true},
  });
  value node = object({
      {"node_id", u32(), "", true},
      {"name", or_null(text()), "", true},
      {"records", count(), "", true},
      {"records_error", count(), "", true},
      {"bytes", count(), "", true},
  });
  value txn = object({
      {"transaction_id", u32(), "", true},
      {"records", count(), "", true},
      {"records_error", count(), "", true},
      {"nodes", u32(), "", true},
      {"nodes_exact", boolean(), "", true},
      {"first_time", time_text(), "", true},
      {"first_timestamp", u32(), "", true},
      {"last_time", time_text(), "", true},
      {"last_timestamp", u32(), "", true},
      {"duration_seconds", bytes64(), "", true},
  });
  value page = object({
      {"node_id", u32(), "", true},
      {"name", or_null(text()), "", true},
      {"page", u32(), "", true},
      {"count", count(), "times named", true},
      {"count_error", count(), "", true},
  });
  value bucket = object({
      {"time", time_text(), "", true},
      {"timestamp", u32(), "", true},
      {"count", count(), "", true},
  });
  value histogram = object({
      {"bucket_seconds", bytes64(), "", true},
      {"buckets", array_of(bucket), "", true},
  });
  return {
      {"tags", count(), "", true},
      {"first_sequence", or_null(u32()), "", true},
      {"last_sequence", or_null(u32()), "", true},
      {"first_time", or_null(time_text()), "", true},
      {"first_timestamp", or_null(u32()), "", true},
      {"last_time", or_null(time_text()), "", true},
      {"last_timestamp", or_null(u32()), "", true},
      {"duration_seconds", bytes64(), "", true},
      {"malformed", count(), "", true},
      {"bytes", byte_identity, "", true},
      {"counted_tags", count(), "", true},
      {"filtered_out_tags", count(), "", true},
      {"malformed_left_out_tags", count(), "", true},
      {"kinds", array_of(kind), "", true},
      {"opcodes", array_of(opcode), "", true},
      {"records", count(), "", true},
      {"records_without_node", count(), "", true},
      {"records_without_transaction", count(), "", true},
      {"counters", u32(), "", true},
      {"nodes", count(), "", true},
      {"nodes_capped", constant_false(), "", true},
      {"top_nodes_exact", boolean(), "", true},
      {"top_nodes", array_of(node), "", true},
      {"transactions", count(), "", true},
      {"transactions_capped", constant_false(), "", true},
      {"node_sets_capped", boolean(), "", true},
      {"top_transactions_exact", boolean(), "", true},
      {"top_transactions", array_of(txn), "", true},
      {"page_namings", count(), "pages named by records", true},
      {"page_images", count(), "page images of CLUSTER tags", true},
      {"top_pages_exact", boolean(), "", true},
      {"top_pages", array_of(page), "", true},
      {"histogram", histogram, "", true},
  };
}

// A series: its own head, then the keys of a summary that add up over logs
// (a series keeps no tables).
value series_object() {
  std::vector<key_def> keys = {
      {"volume_set_id", u32(), "", true},
      {"volume_generation", u32(), "", true},
      {"logs", count(), "", true},
      {"first_file_sequence", i32(), "the lowest file sequence", true},
      {"last_file_sequence", i32(), "the highest file sequence", true},
      {"end", obj({{"enum", strings(log_ends)}}), "how the log of the last file sequence ended",
       true},
  };
  for (const key_def& k : summary_keys()) {
    keys.push_back(k);
    if (std::string(k.key) == "malformed_left_out_tags") break;
  }
  keys.push_back({"records", count(), "", true});
  return object(keys);
}

value summary_object() {
  value header = object({
      {"signature", text(), "", true},
      {"version", text(), "", true},
      {"major", i32(), "", true},
      {"minor", i32(), "", true},
      {"file_sequence", i32(), "", true},
      {"bytes", bytes64(), "the header's length", true},
  });
  const std::vector<key_def> log_head = {
      {"log", text(), "the operand's name", true},
      {"log_index", u32(), "1 for the first log of the input", true},
      {"header", or_null(header), "null when the file header was refused", true},
      {"end", obj({{"enum", strings(log_ends)}}), "how the log ended", true},
      {"end_offset", bytes64(), "", true},
  };
  value skipped = object({
      {"files", count(), "", true},
      {"bytes", bytes64(), "of the files of known size", true},
      {"files_of_unknown_size", count(), "", true},
  });
  const std::vector<key_def> total_head = {
      {"logs", count(), "the number of logs", true},
      {"logs_in_no_series", count(), "--order=sequence: logs whose file header was refused", false},
      {"logs_in_series_not_kept", count(), "--order=sequence: logs of series beyond those kept",
       false},
      {"skipped", skipped, "files passed over for the time window", false},
  };
  return object(
      {
          {"filters", filters_object(), "the filters in force", true},
          {"logs", array_of(object(log_head + summary_keys())), "one summary per log", true},
          {"series", array_of(series_object()),
           "--order=sequence: one per series, by volume set id and generation", false},
          {"total", object(total_head + summary_keys()), "the summary of all logs", true},
      },
      "--stats --json: the whole output, one document.");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: make_schema [FILE]\n");
    return 2;
  }
  value tag, item;
  if (!tag_objects(tag, item)) return 1;

  value defs;
  defs.set("header", header_object());
  defs.set("tag", tag);
  defs.set("tag_list_item", item);
  defs.set("check", check_object());
  defs.set("check_input", check_input_object());
  defs.set("check_run", check_run_object());
  defs.set("check_series", check_series_object());
  defs.set("summary", summary_object());
  defs.set("record_change", record_change_object());
  defs.set("record_gap", record_gap_object());
  defs.set("record_as_of", record_as_of_object());
  defs.set("undo_record", undo_record_object());
  defs.set("undo_summary", undo_summary_object());
  defs.set("txn", txn_object());
  defs.set("txns_total", txns_total_object());
  defs.set("session", session_object());
  defs.set("sessions_total", sessions_total_object());
  defs.set("who", who_object());
  defs.set("transaction_total", transaction_total_object());
  defs.set("incomplete", incomplete_object());

  value schema = obj({
      {"$schema", str("https://json-schema.org/draft/2020-12/schema")},
      {"$id", str("https://jrnscan.invalid/schema/jrnscan.schema.json")},
      {"title", str("jrnscan JSON output")},
      {"description",
       str("One line of --json or --check --json output (a header, tag, check, check_input, "
           "check_series or check_run object), or the document of --stats --json "
           "(#/$defs/summary), or one line of --history --json (a record_change, record_gap or "
           "record_as_of object, and an incomplete object when a table bound cut it), of --undo "
           "--json (undo_record, undo_summary), of --txns --json "
           "(txn, txns_total), --sessions --json (session, sessions_total) or --transaction "
           "--json (who, transaction_total, besides header and tag).")},
      {"schema_version", str(jrn::schema_version)},
      {"oneOf", arr({ref("header"), ref("tag"), ref("check"), ref("check_input"), ref("check_run"),
                     ref("check_series"), ref("summary"), ref("record_change"), ref("record_gap"),
                     ref("record_as_of"), ref("undo_record"), ref("undo_summary"), ref("txn"),
                     ref("txns_total"), ref("session"), ref("sessions_total"), ref("who"),
                     ref("transaction_total"), ref("incomplete")})},
  });
  schema.set("$defs", defs);

  std::string out;
  print(schema, 0, 0, out);
  out += '\n';
  FILE* f = argc == 2 ? std::fopen(argv[1], "w") : stdout;
  bool ok = f && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (f) ok = (f == stdout ? std::fflush(f) : std::fclose(f)) == 0 && ok;
  if (!ok) {
    std::perror(argc == 2 ? argv[1] : "make_schema");
    if (argc == 2) std::remove(argv[1]);  // no half-written schema
    return 1;
  }
  return 0;
}
