#include "report/record_text.h"

#include <cstdio>

#include "report/hexdump.h"

namespace jrn {

namespace {

bool printable(uint8_t b, uint16_t charset) {
  if (b >= 0x20 && b <= 0x7e) return true;
  if (charset == 1) return b >= 0xa0;
  if (charset == 0) return b >= 0xa1 && b <= 0xfe;
  return false;
}

}  // namespace

bool all_printable(const uint8_t* p, size_t n, uint16_t charset) {
  for (size_t i = 0; i < n; ++i)
    if (!printable(p[i], charset)) return false;
  return n > 0;
}

bool json_text_ok(const uint8_t* p, size_t n, uint16_t charset) {
  if (!all_printable(p, n, charset)) return false;
  if (charset == 1) return true;
  for (size_t i = 0; i < n; ++i)
    if (p[i] > 0x7e) return false;
  return true;
}

void append_hex(const uint8_t* p, size_t n, std::string& out) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
}

void append_value(const uint8_t* p, size_t n, uint16_t charset, size_t most, std::string& out) {
  if (n == 0) {
    out += "(none)";
    return;
  }
  const size_t shown = n > most ? most : n;
  if (all_printable(p, n, charset)) {
    out += '\'';
    out.append(reinterpret_cast<const char*>(p), shown);
    out += '\'';
  } else {
    out += "x'";
    append_hex(p, shown, out);
    out += '\'';
  }
  if (shown < n) out += "...";
}

void append_range_line(uint32_t offset, const uint8_t* old_bytes, uint32_t old_length,
                       const uint8_t* new_bytes, uint32_t new_length, uint16_t charset, size_t most,
                       std::string& out) {
  char where[48];
  const uint32_t len = old_length > new_length ? old_length : new_length;
  if (len == 1)
    std::snprintf(where, sizeof where, "  byte %u: ", offset);
  else
    std::snprintf(where, sizeof where, "  bytes %u..%u: ", offset, offset + len - 1);
  out += where;
  if (old_bytes)
    append_value(old_bytes, old_length, charset, most, out);
  else
    out += '?';
  out += " -> ";
  append_value(new_bytes, new_length, charset, most, out);
  out += '\n';
}

std::string image_note_text(const image_note& n) {
  std::string s = "the before-image at " + offset_in(n.offset, n.log);
  const std::string earlier = offset_in(n.earlier.offset, n.earlier.log);
  if (n.verdict == image_verdict::deleted)
    return s + " is of a record deleted at " + earlier + " and not put again";
  if (n.earlier.kind == content_origin::before_image)
    return s + " differs from the before-image at " + earlier;
  return s + " differs from the content after the change at " + earlier;
}

std::string image_notes_text(const std::vector<image_note>& notes, const char* sep) {
  std::string s;
  for (const image_note& n : notes) {
    if (!s.empty()) s += sep;
    s += image_note_text(n);
  }
  return s;
}

void append_note_lines(const std::vector<image_note>& notes, std::string& out) {
  for (const image_note& n : notes) out += "  note: " + image_note_text(n) + "\n";
}

void append_node_json(const node_map& names, int32_t node_id, std::string& out) {
  if (!names.has(node_id)) {
    out += "null";
    return;
  }
  out += '"';
  names.append_display(node_id, false, text_form::json, out);
  out += '"';
}

void dump_contents(output& out, const record_content& before, const record_content& after) {
  if (before.is_known() && !before.bytes.empty()) {
    out.printf("  before, %zu bytes:\n", before.bytes.size());
    dump_hex(out, before.bytes.data(), static_cast<uint32_t>(before.bytes.size()));
  }
  if (after.is_known() && !after.bytes.empty()) {
    out.printf("  after, %zu bytes:\n", after.bytes.size());
    dump_hex(out, after.bytes.data(), static_cast<uint32_t>(after.bytes.size()));
  }
}

}  // namespace jrn
