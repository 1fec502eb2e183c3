#include "report/text_sink.h"

#include <cstring>

#include "log/scan.h"
#include "report/hexdump.h"
#include "report/out.h"
#include "scan/escape.h"

namespace jrn {

namespace {

// Decimal or hexadecimal digits of v, right-aligned in buf; returns the
// first digit.
char* digits(uint64_t v, int base, char* end) {
  static const char hex[] = "0123456789abcdef";
  char* p = end;
  do {
    *--p = hex[v % static_cast<unsigned>(base)];
    v /= static_cast<unsigned>(base);
  } while (v != 0);
  return p;
}

void put_padded(const char* s, size_t n, int width, char pad) {
  for (int i = static_cast<int>(n); i < width; ++i) out_char(pad);
  out_write(s, n);
}

}  // namespace

void text_sink::begin_log(const char* log_name, const fwlog_header& h) {
  out_printf("\nFile: %s\n", log_name);
  if (h.audit_only) out_str("format: audit-only\n");
  out_printf("version: %d.%02d\n", h.major, h.minor);
  out_printf("byte order: %u\n", h.byte_order);
  out_printf("character set: %s (%u)\n", charset_name(h.charset), h.charset);
  out_printf("volume release: %u\n", h.release);
  out_printf("volume set id: 0x%x\n", h.volume_set_id);
  out_printf("volume generation: %u\n", h.volume_generation);
  out_printf("file sequence: %d\n", h.file_sequence);
  // Where this log begins in its input: a file or stream may hold several.
  if (opt_.offsets) out_printf("log offset: %lld\n", static_cast<long long>(h.start));
}

void text_sink::show_tag(const tag_summary& t) {
  out_printf("\nsequence = %d\ntimestamp = %s (%d)\n", static_cast<int32_t>(t.sequence),
             times_(t.timestamp), static_cast<int32_t>(t.timestamp));
  if (opt_.offsets) out_printf("offset = %lld\n", static_cast<long long>(t.offset));
  if (t.letter == '1' && brief_view(filter_)) return;
  const char* name = tag_kind_of(t.letter).name;
  if (t.letter == '2') {
    // A PAGE tag's key is the number of the 8192-byte unit, counted from 1,
    // that holds its page image.
    const uint32_t key = static_cast<uint32_t>((t.body_offset >> 13) + 1);
    out_printf("tag = %s (%d), key = %u (0x%x, ofs = %lld)\n", name, 50, key, key,
               static_cast<long long>(t.body_offset));
    return;
  }
  out_printf("tag = %s (%d)\n", name, t.letter);
}

void text_sink::put_field(char conv, bool zero, int width, int precision, const field& f) {
  char buf[24];
  char* const end = buf + sizeof buf;
  switch (conv) {
    case 'd':
    case 'u':
    case 'x': {
      const bool negative = conv == 'd' && f.num < 0;
      uint64_t v = negative ? static_cast<uint64_t>(-f.num) : static_cast<uint64_t>(f.num);
      if (conv != 'd' && f.kind != field_kind::i64) v &= 0xffffffffu;
      char* p = digits(v, conv == 'x' ? 16 : 10, end);
      if (negative) *--p = '-';
      put_padded(p, static_cast<size_t>(end - p), width, zero ? '0' : ' ');
      return;
    }
    case 's': {
      if (f.kind == field_kind::node) {
        scratch_.clear();
        names_.append_display(static_cast<int32_t>(f.num), true, opt_.escape, scratch_);
        put_padded(scratch_.data(), scratch_.size(), width, ' ');
        return;
      }
      if (f.kind == field_kind::text) {
        size_t n = f.len;
        if (precision >= 0 && n > static_cast<size_t>(precision))
          n = static_cast<size_t>(precision);
        size_t shown_len;
        const char* shown = safe_text(f.str, n, opt_.escape, scratch_, &shown_len);
        put_padded(shown, shown_len, width, ' ');
        return;
      }
      const char* s = f.str ? f.str : "";
      put_padded(s, std::strlen(s), width, ' ');
      return;
    }
    default: return;
  }
}

void text_sink::line(bool text_shown, const char* fmt, std::initializer_list<field> fields) {
  if (!text_shown) return;
  const field* f = fields.begin();
  const field* const last = fields.end();
  const char* p = fmt;
  for (;;) {
    const char* pct = std::strchr(p, '%');
    if (!pct) {
      out_write(p, std::strlen(p));
      return;
    }
    out_write(p, static_cast<size_t>(pct - p));
    p = pct + 1;
    if (*p == '%') {
      out_char('%');
      ++p;
      continue;
    }
    bool zero = false;
    int width = 0, precision = -1;
    if (*p == '0') {
      zero = true;
      ++p;
    }
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    if (*p == '.') {
      precision = 0;
      ++p;
      while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
    }
    while (*p == 'l' || *p == 'h' || *p == 'z') ++p;
    const char conv = *p;
    if (conv == '\0') return;
    ++p;
    if (f == last) continue;  // the compiler checked the count; be safe all the same
    put_field(conv, zero, width, precision, *f++);
  }
}

void text_sink::data(bool text_shown, const char*, const uint8_t* p, uint32_t, uint32_t text_n,
                     bool ellipsis) {
  if (!text_shown) return;
  dump_hex(p, text_n);
  if (ellipsis) out_str("...\n");
}

void text_sink::words(bool text_shown, const char*, const uint8_t* p, uint32_t count) {
  if (!text_shown || count == 0) return;
  static const char hex[] = "0123456789abcdef";
  for (uint32_t i = 0; i < count; ++i) {
    char* q = out_reserve(12);
    char* const start = q;
    if (i % 8 == 0) {
      *q++ = ' ';
      *q++ = ' ';
    }
    uint32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    *q++ = ' ';
    for (int d = 7; d >= 0; --d) *q++ = hex[(v >> (4 * d)) & 15];
    if (i % 8 == 7 || i + 1 == count) *q++ = '\n';
    out_commit(static_cast<size_t>(q - start));
  }
}

void text_sink::flush() { out_flush(); }

}  // namespace jrn
