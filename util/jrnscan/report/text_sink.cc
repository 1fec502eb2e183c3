#include "report/text_sink.h"

#include <cstring>

#include "log/scan.h"
#include "report/hexdump.h"
#include "report/out.h"
#include "scan/escape.h"
#include "scan/format.h"

namespace jrn {

namespace {

const char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The number of decimal digits of v.
int decimal_length(uint64_t v) {
  int n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

// Decimal digits of v, n of them (decimal_length), written at p; returns
// the end.
char* put_decimal(char* p, uint64_t v, int n) {
  char* const end = p + n;
  char* q = end;
  while (v >= 100) {
    const unsigned r = static_cast<unsigned>(v % 100);
    v /= 100;
    q -= 2;
    std::memcpy(q, digit_pairs + 2 * r, 2);
  }
  if (v >= 10) {
    std::memcpy(q - 2, digit_pairs + 2 * v, 2);
  } else {
    q[-1] = static_cast<char>('0' + v);
  }
  return end;
}

// "%d" of a 32-bit value, written at p; returns the end.
char* put_i32(char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  if (v < 0) {
    *p++ = '-';
    u = 0 - u;
  }
  return put_decimal(p, u, decimal_length(u));
}

char* put_bytes(char* p, const char* s, size_t n) {
  std::memcpy(p, s, n);
  return p + n;
}

// s[0, n) right-aligned in width columns of blanks.
void put_padded(output& out_, const char* s, size_t n, int width) {
  if (static_cast<size_t>(width) > n) {
    const size_t pad = static_cast<size_t>(width) - n;
    std::memset(out_.reserve(pad), ' ', pad);
    out_.commit(pad);
  }
  out_.write(s, n);
}

}  // namespace

text_sink::text_sink(output& out, const filter_settings& f, const node_map& names,
                     const text_options& o)
    : out_(out),
      filter_(f),
      names_(names),
      opt_(o),
      times_(o.utc),
      formats_(new parsed_format[format_slots]),
      nodes_(new node_text[node_slots]) {}

void text_sink::begin_log(const char* log_name, const fwlog_header& h) {
  out_.printf("\nFile: %s\n", log_name);
  if (h.audit_only) out_.str("format: audit-only\n");
  out_.printf("version: %d.%02d\n", h.major, h.minor);
  out_.printf("byte order: %u\n", h.byte_order);
  out_.printf("character set: %s (%u)\n", charset_name(h.charset), h.charset);
  out_.printf("volume release: %u\n", h.release);
  out_.printf("volume set id: 0x%x\n", h.volume_set_id);
  out_.printf("volume generation: %u\n", h.volume_generation);
  out_.printf("file sequence: %d\n", h.file_sequence);
  // Where this log begins in its input: a file or stream may hold several.
  if (opt_.offsets) out_.printf("log offset: %lld\n", static_cast<long long>(h.start));
}

void text_sink::show_tag(const tag_summary& t) {
  // "\nsequence = %d\ntimestamp = %s (%d)\n", written directly: every
  // shown tag begins with it.
  const char* const time = times_(t.timestamp);
  const size_t time_len = times_.length();
  static const char seq[] = "\nsequence = ";
  static const char stamp[] = "\ntimestamp = ";
  char* const start = out_.reserve(sizeof seq + sizeof stamp + time_len + 64);
  char* p = put_bytes(start, seq, sizeof seq - 1);
  p = put_i32(p, static_cast<int32_t>(t.sequence));
  p = put_bytes(p, stamp, sizeof stamp - 1);
  if (time_len <= 24) {  // the times' buffer holds 40 bytes: one fixed-size copy
    std::memcpy(p, time, 24);
    p += time_len;
  } else {
    p = put_bytes(p, time, time_len);
  }
  p = put_bytes(p, " (", 2);
  p = put_i32(p, static_cast<int32_t>(t.timestamp));
  p = put_bytes(p, ")\n", 2);
  out_.commit_to(p);
  if (opt_.offsets) out_.printf("offset = %lld\n", static_cast<long long>(t.offset));
  if (t.letter == tag_letter::rec && brief_view(filter_)) return;
  const char* name = tag_kind_of(t.letter).name;
  if (t.letter == tag_letter::page) {
    // A PAGE tag's key is the number of the 8192-byte unit, counted from 1,
    // that holds its page image.
    const uint32_t key = static_cast<uint32_t>((t.body_offset >> 13) + 1);
    out_.printf("tag = %s (%d), key = %u (0x%x, ofs = %lld)\n", name, 50, key, key,
                static_cast<long long>(t.body_offset));
    return;
  }
  out_.printf("tag = %s (%d)\n", name, t.letter);
}

void text_sink::parse(const char* fmt, parsed_format& into) {
  into.fmt = fmt;
  into.text.clear();
  into.pieces.clear();
  std::string& text = into.text;
  // Appends a literal run, split where it is long, and the conversion
  // behind it (when takes_value).
  auto add = [&](const char* run, size_t len, bool takes_value, const format_conv& c) {
    do {
      const uint32_t n = static_cast<uint32_t>(len < max_run ? len : max_run);
      len -= n;
      const bool last = len == 0;
      piece pc{static_cast<uint32_t>(text.size()), n, (n + 15) / 16 * 16, last && takes_value,
               last ? c : format_conv{}};
      if (pc.takes_value && c.conv != 's')  // sign and digits of a 64-bit number, or the width
        pc.room += static_cast<uint32_t>(c.width > 21 ? c.width : 21);
      text.append(run, n);
      run += n;
      into.pieces.push_back(pc);
    } while (len != 0);
  };
  const char* run = fmt;  // the literal run being gathered
  const char* p = fmt;
  for (;;) {
    const char* pct = std::strchr(p, '%');
    if (!pct) break;
    if (pct[1] == '%') {  // the run ends with one '%'; the next begins behind both
      add(run, static_cast<size_t>(pct + 1 - run), false, {});
      run = p = pct + 2;
      continue;
    }
    format_conv c;
    const int next = parse_conversion(pct, 1, c);
    if (next < 0) {  // not rendered (the macros refuse it): shown as it is
      p = pct + 1;
      continue;
    }
    add(run, static_cast<size_t>(pct - run), true, c);
    run = p = pct + next;
  }
  const size_t rest = std::strlen(run);
  if (rest != 0) add(run, rest, false, {});
  text.append(16, '\0');  // what the last 16-byte copy of a run reads beyond it
}

const std::string& text_sink::node_display(int32_t id) {
  const uint32_t h = static_cast<uint32_t>(id) * 0x9e3779b1u;
  node_text& e = nodes_[h >> 27 & (node_slots - 1)];
  const size_t names = names_.size();
  if (!e.valid || e.id != id || e.names != names) {
    e.text.clear();
    names_.append_display(id, true, opt_.escape, e.text);
    e.valid = true;
    e.id = id;
    e.names = names;
  }
  return e.text;
}

// As printf renders it: a value without "ll" is taken as a 32-bit one,
// signed for %d. Written at p (room for the width or 21 bytes); returns
// the end.
char* text_sink::put_number(char* p, const format_conv& c, const field& f) {
  uint64_t v;
  bool negative = false;
  if (c.conv == 'd') {
    const int64_t s = c.wide ? f.num : static_cast<int32_t>(f.num);
    negative = s < 0;
    v = negative ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
  } else {
    v = c.wide ? static_cast<uint64_t>(f.num) : static_cast<uint32_t>(f.num);
  }
  int digits;
  if (c.conv == 'x') {
    digits = 1;
    while (digits < 16 && (v >> (4 * digits)) != 0) ++digits;
  } else {
    digits = decimal_length(v);
  }
  const int n = digits + (negative ? 1 : 0);
  if (c.width > n && !c.zero) {
    std::memset(p, ' ', static_cast<size_t>(c.width - n));
    p += c.width - n;
  }
  if (negative) *p++ = '-';
  if (c.width > n && c.zero) {  // zeros go between the sign and the digits
    std::memset(p, '0', static_cast<size_t>(c.width - n));
    p += c.width - n;
  }
  if (c.conv != 'x') return put_decimal(p, v, digits);
  static const char hex[] = "0123456789abcdef";
  for (int i = digits - 1; i >= 0; --i) *p++ = hex[(v >> (4 * i)) & 15];
  return p;
}

void text_sink::put_string(const format_conv& c, const field& f) {
  const size_t most = c.precision >= 0 ? static_cast<size_t>(c.precision) : SIZE_MAX;
  if (f.kind == field_kind::node) {
    const std::string& s = node_display(static_cast<int32_t>(f.num));
    put_padded(out_, s.data(), s.size() < most ? s.size() : most, c.width);
    return;
  }
  if (f.kind == field_kind::text) {
    size_t shown_len;
    const char* shown =
        safe_text(f.str, f.len < most ? f.len : most, opt_.escape, scratch_, &shown_len);
    put_padded(out_, shown, shown_len, c.width);
    return;
  }
  const char* s = f.str ? f.str : "";
  put_padded(out_, s, c.precision >= 0 ? strnlen(s, most) : std::strlen(s), c.width);
}

void text_sink::line(bool text_shown, const char* fmt, std::initializer_list<field> fields) {
  if (!text_shown) return;
  const parsed_format& pf = parsed(fmt);
  const char* const text = pf.text.data();
  const field* f = fields.begin();
  const field* const last = fields.end();
  for (const piece& pc : pf.pieces) {
    char* const start = out_.reserve(pc.room);
    const char* run = text + pc.at;
    for (uint32_t i = 0; i < pc.len; i += 16) std::memcpy(start + i, run + i, 16);
    char* p = start + pc.len;
    if (pc.takes_value && f != last) {  // the compiler checked the count
      if (pc.conv.conv != 's') {
        p = put_number(p, pc.conv, *f++);
      } else {
        out_.commit(pc.len);
        put_string(pc.conv, *f++);
        continue;
      }
    }
    out_.commit_to(p);
  }
}

void text_sink::data(bool text_shown, fid, const uint8_t* p, uint32_t, uint32_t text_n,
                     bool ellipsis) {
  if (!text_shown) return;
  dump_hex(out_, p, text_n);
  if (ellipsis) out_.str("...\n");
}

void text_sink::words(bool text_shown, fid, const uint8_t* p, uint32_t count) {
  if (!text_shown || count == 0) return;
  static const char hex[] = "0123456789abcdef";
  for (uint32_t i = 0; i < count; ++i) {
    char* q = out_.reserve(12);
    if (i % 8 == 0) {
      *q++ = ' ';
      *q++ = ' ';
    }
    uint32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    *q++ = ' ';
    for (int d = 7; d >= 0; --d) *q++ = hex[(v >> (4 * d)) & 15];
    if (i % 8 == 7 || i + 1 == count) *q++ = '\n';
    out_.commit_to(q);
  }
}

void text_sink::flush() { out_.flush(); }

}  // namespace jrn
