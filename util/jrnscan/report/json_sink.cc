#include "report/json_sink.h"

#include <cstring>

#include "log/scan.h"
#include "report/out.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char hex_digits[] = "0123456789abcdef";

void out_string(const std::string& s) { out_write(s.data(), s.size()); }

void out_quoted(const char* s, size_t n, std::string& scratch) {
  scratch.assign(1, '"');
  append_json_string(s, n, scratch);
  scratch += '"';
  out_string(scratch);
}

// Decimal digits without printf: numbers are most of what a line holds.
void out_number(int64_t v) {
  char buf[24];
  char* const end = buf + sizeof buf;
  char* p = end;
  uint64_t u =
      v < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    *--p = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *--p = '-';
  out_write(p, static_cast<size_t>(end - p));
}

// "xx" for every byte value.
struct hex_pairs {
  char pair[256][2];
  hex_pairs() {
    for (int b = 0; b < 256; ++b) {
      pair[b][0] = hex_digits[b >> 4];
      pair[b][1] = hex_digits[b & 15];
    }
  }
};
const hex_pairs pairs;

}  // namespace

void append_json_string(const char* s, size_t n, std::string& out) { append_json_text(s, n, out); }

void json_sink::begin_log(const char* log_name, const fwlog_header& h) {
  log_name_.assign(1, '"');
  append_json_string(log_name, std::strlen(log_name), log_name_);
  log_name_ += '"';
  std::string version;
  const size_t vlen = strnlen(h.version, sizeof h.version);
  version.assign(1, '"');
  append_json_string(h.version, vlen, version);
  version += '"';
  std::string signature(1, '"');
  append_json_string(h.signature, sizeof h.signature, signature);
  signature += '"';
  out_str("{\"type\":\"header\",\"log\":");
  out_string(log_name_);
  out_str(",\"signature\":");
  out_string(signature);
  out_str(",\"version\":");
  out_string(version);
  out_printf(",\"major\":%d,\"minor\":%d,\"audit_only\":%s", h.major, h.minor,
             h.audit_only ? "true" : "false");
  out_printf(",\"byte_order\":%u,\"charset\":", h.byte_order);
  const char* cs = charset_name(h.charset);
  if (std::strcmp(cs, "unknown") == 0)
    out_str("null");
  else
    out_printf("\"%s\"", cs);
  out_printf(
      ",\"charset_code\":%u,\"release\":%u,\"volume_set_id\":%u,\"volume_generation\":%u,"
      "\"file_sequence\":%d,\"header_bytes\":%lld,\"offset\":%lld}\n",
      h.charset, h.release, h.volume_set_id, h.volume_generation, h.file_sequence,
      static_cast<long long>(h.bytes), static_cast<long long>(h.start));
}

void json_sink::show_tag(const tag_summary& t) {
  if (tag_open_) close_tag(-1);
  // A malformed item found before the tag was shown (a filter that reads
  // the payload checks it first) belongs to it.
  malformed_.clear();
  if (early_offset_ == t.offset) malformed_.swap(early_malformed_);
  early_offset_ = -1;
  tag_offset_ = t.offset;
  out_str("{\"type\":\"tag\",\"log\":");
  out_string(log_name_);
  out_str(",\"offset\":");
  out_number(t.offset);
  out_str(",\"sequence\":");
  out_number(t.sequence);
  out_str(",\"timestamp\":");
  out_number(t.timestamp);
  // Shown tags often share a second: the last conversion is kept.
  if (!have_time_ || t.timestamp != time_of_) {
    time_text_ = format_iso_utc(t.timestamp);
    time_of_ = t.timestamp;
    have_time_ = true;
  }
  out_str(",\"time\":\"");
  out_str(time_text_.c_str());
  out_str("\",\"tag\":");
  const tag_kind& kind = tag_kind_of(t.letter);
  if (kind.handler || t.letter == 'C' || t.letter == 'F')
    out_printf("\"%s\"", kind.name);
  else
    out_str("null");
  out_str(",\"tag_code\":");
  out_number(t.letter);
  tag_open_ = true;
  list_open_ = false;
  item_open_ = false;
}

void json_sink::key(const char* k) {
  if (list_open_ && !item_open_) list_item();  // a field of a list is always in an item
  if (item_open_ && item_empty_)
    item_empty_ = false;
  else
    out_char(',');
  out_char('"');
  out_str(k);
  out_str("\":");
}

void json_sink::put(const field& f) {
  switch (f.kind) {
    case field_kind::u32:
    case field_kind::i32:
    case field_kind::i64:
    case field_kind::hex:
      key(f.key);
      out_number(f.num);
      return;
    case field_kind::name:
      key(f.key);
      if (f.known)
        out_quoted(f.str, std::strlen(f.str), scratch_);
      else
        out_str("null");
      return;
    case field_kind::text:
      key(f.key);
      out_quoted(f.str, f.len, scratch_);
      return;
    case field_kind::node_number:
      key(f.key);
      out_number(static_cast<uint32_t>(f.num));  // unsigned, as every node number
      return;
    case field_kind::node: {
      key(f.key);
      const int32_t id = static_cast<int32_t>(f.num);
      out_number(static_cast<uint32_t>(id));
      // "node_id" comes with "node": its qualified name, or null.
      const size_t n = std::strlen(f.key);
      out_str(",\"");
      if (n > 3 && std::strcmp(f.key + n - 3, "_id") == 0) {
        out_write(f.key, n - 3);
      } else {
        out_write(f.key, n);
        out_str("_name");
      }
      out_str("\":");
      if (!names_.has(id)) {
        out_str("null");
        return;
      }
      scratch_.assign(1, '"');  // the name is cut by what it takes as JSON
      names_.append_display(id, false, text_form::json, scratch_);
      out_string(scratch_ += '"');
      return;
    }
  }
}

void json_sink::line(bool, const char*, std::initializer_list<field> fields) {
  for (const field& f : fields) put(f);
}

void json_sink::data(bool, const char* k, const uint8_t* p, uint32_t n, uint32_t, bool) {
  // Raw bytes from -v on, whole.
  if (filter_.detail_level < 1) return;
  key(k);
  out_char('"');
  // In runs of up to 4 KiB, each written into the buffer in one go.
  for (uint32_t done = 0; done < n;) {
    const uint32_t run = n - done < 4096 ? n - done : 4096;
    char* q = out_reserve(2 * static_cast<size_t>(run));
    for (uint32_t i = 0; i < run; ++i) std::memcpy(q + 2 * i, pairs.pair[p[done + i]], 2);
    out_commit(2 * static_cast<size_t>(run));
    done += run;
  }
  out_char('"');
}

void json_sink::words(bool, const char* k, const uint8_t* p, uint32_t count) {
  key(k);
  out_char('[');
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    if (i) out_char(',');
    out_number(v);
  }
  out_char(']');
}

void json_sink::list_begin(const char* k) {
  if (list_open_) list_end();  // lists do not nest
  key(k);
  out_char('[');
  list_open_ = true;
  item_open_ = false;
}

void json_sink::list_item() {
  if (!list_open_) return;
  if (item_open_) out_str("},");
  out_char('{');
  item_open_ = true;
  item_empty_ = true;
}

void json_sink::list_end() {
  if (!list_open_) return;
  if (item_open_) out_char('}');
  out_char(']');
  list_open_ = false;
  item_open_ = false;
}

// A handler that meets a malformed item or the end of the input may leave
// its list open; the object is closed all the same, so that every line
// stays one whole JSON object.
void json_sink::close_tag(int64_t length) {
  list_end();
  if (!malformed_.empty()) {
    out_str(",\"malformed\":");
    out_quoted(malformed_.data(), malformed_.size(), scratch_);
    malformed_.clear();
  }
  if (length >= 0)
    out_printf(",\"length\":%lld}\n", static_cast<long long>(length));
  else
    out_str(",\"length\":null}\n");
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

void json_sink::flush() { out_flush(); }

void json_sink::finish() {
  if (tag_open_) close_tag(-1);
}

}  // namespace jrn
