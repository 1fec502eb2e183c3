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
          {"verdict", constant("not_opened"), "", true},
      },
      "--check --json: an input that could not be opened.");
}

value check_run_object() {
  return object(
      {
          {"type", constant("check_run"), "", true},
          {"logs", count(), "", true},
          {"errors", count(), "errors in the logs", true},
          {"logs_with_errors", count(), "", true},
          {"warnings", count(), "", true},
          {"inputs_not_opened", count(), "", true},
          {"series", count(), "--order=sequence: the number of series", false},
          {"series_errors", count(), "--order=sequence: errors of continuity across files", false},
          {"series_with_errors", count(), "", false},
          {"strict", boolean(), "", true},
          {"verdict", one_of({"ok", "failed"}), "", true},
      },
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

  value schema = obj({
      {"$schema", str("https://json-schema.org/draft/2020-12/schema")},
      {"$id", str("https://jrnscan.invalid/schema/jrnscan.schema.json")},
      {"title", str("jrnscan JSON output")},
      {"description",
       str("One line of --json or --check --json output (a header, tag, check, check_input, "
           "check_series or check_run object), or the document of --stats --json "
           "(#/$defs/summary).")},
      {"schema_version", str(jrn::schema_version)},
      {"oneOf", arr({ref("header"), ref("tag"), ref("check"), ref("check_input"), ref("check_run"),
                     ref("check_series"), ref("summary")})},
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
