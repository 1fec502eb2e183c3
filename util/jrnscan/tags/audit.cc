// AUDIT: memos, sign-ons, sign-offs and database lists of a session.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "scan/context.h"
#include "scan/format.h"
#include "tags/body_reader.h"
#include "tags/tags.h"

namespace jrn {

namespace {

// Tells the back-end that follows sessions of a body read (result 0, sound
// or not); a body cut by the end of the input is not told.
int told(scan_context& c, int result, audit_event& e) {
  if (result == 0 && c.audits) c.audits->audit(c.tag, e);
  return result;
}

// MEMO: a mode, then the memo data.
int read_memo(scan_context& c, body_reader& body, audit_event& e) {
  int32_t mode;
  e.damaged = true;
  if (!body.field(&mode, 4, "Unable to read memo header\n")) return told(c, body.result(), e);
  e.mode = mode;
  const uint32_t data_sz = body.left();
  JRN_LINE(c, "  mode: %d\n  data: %d bytes\n", i32f(fid::mode, mode),
           i32f(fid::data_size, static_cast<int>(data_sz)));
  if (data_sz > page_size) {
    body.malformed("Unable to read memo data\n", "memo data of %u bytes exceeds %u", data_sz,
                   page_size);
    return told(c, body.result(), e);
  }
  e.damaged = false;
  if (data_sz == 0) return told(c, 0, e);
  if (!body.field(c.page_buf, data_sz, "Unable to read memo data\n")) return body.result();
  c.data(c.filter_opts.detail_level >= 1, fid::memo_data, c.page_buf, data_sz, data_sz);
  e.data = c.page_buf;
  e.size = data_sz;
  return told(c, 0, e);
}

// The entries of a SIGN_ON body kept for the back-end that follows
// sessions (page_buf is overwritten entry by entry).
struct held_entries {
  std::string bytes;
  std::vector<std::pair<size_t, uint32_t>> at;  // offset in bytes, size
  std::vector<audit_text> texts;

  void add(const uint8_t* p, uint32_t n) {
    at.emplace_back(bytes.size(), n);
    bytes.append(reinterpret_cast<const char*>(p), n);
  }
  void point(audit_event& e) {
    texts.clear();
    for (const auto& a : at)
      texts.push_back({reinterpret_cast<const uint8_t*>(bytes.data()) + a.first, a.second});
    e.entries = texts.data();
    e.entry_count = static_cast<uint32_t>(texts.size());
  }
};

// SIGN_ON: an entry count, then entries of a 2-byte length and text. An
// entry may be longer than page_buf; it is read whole all the same.
int read_sign_on(scan_context& c, body_reader& body, audit_event& e) {
  std::vector<uint8_t> long_entry;
  held_entries held;
  auto tell = [&](int result, bool damaged) {
    e.damaged = damaged;
    if (c.audits) held.point(e);
    return told(c, result, e);
  };
  uint16_t count;
  if (!body.field(&count, 2, "Unable to read number of audit sign-on entries\n"))
    return tell(body.result(), true);
  e.declared = count;
  c.list_begin(fid::entries);
  for (int i = 1; i <= count; ++i) {
    uint16_t data_sz;
    if (!body.field(&data_sz, 2, "Unable to read size of audit sign-on entry #%d\n", i))
      return tell(body.result(), true);
    uint8_t* data = c.page_buf;
    if (data_sz > page_size) {
      long_entry.resize(data_sz);
      data = long_entry.data();
    }
    if (!body.field(data, data_sz, "Unable to read audit sign-on data #%d\n", i))
      return tell(body.result(), true);
    if (c.audits) held.add(data, data_sz);
    // Both forms stop at a zero byte inside the data; a long entry shows
    // its first 256 bytes.
    const void* nul = std::memchr(data, 0, data_sz);
    const uint32_t len =
        static_cast<uint32_t>(nul ? static_cast<const uint8_t*>(nul) - data : data_sz);
    const textf text{fid::entry_text, reinterpret_cast<const char*>(data), len};
    c.list_item();
    if (data_sz <= 256)
      JRN_LINE(c, "  data: %s\n", text);
    else
      JRN_LINE(c, "  data: %.256s ...\n", text);
  }
  c.list_end();
  body.skip_rest("Unable to read audit sign-on data\n");
  return tell(body.result(), false);
}

// DBLIST: size / 8 entries of node number and mode.
int read_dblist(scan_context& c, body_reader& body, audit_event& e) {
  const uint32_t entries = body.left() / 8;
  std::vector<audit_node> held;
  c.list_begin(fid::entries);
  for (uint32_t i = 1; i <= entries; ++i) {
    int32_t entry[2];
    if (!body.field(entry, 8, "Unable to read audit dblist data\n")) return body.result();
    if (c.audits) held.push_back({entry[0], entry[1]});
    c.list_item();
    JRN_LINE(c, "  #%d: node_id=%s mode=%d\n", i32f(fid::index, static_cast<int32_t>(i)),
             nodef(fid::node_id, entry[0]), i32f(fid::mode, entry[1]));
  }
  c.list_end();
  if (body.left() != 0) {
    c.diag.message("WARNING: audit dblist data size does not match\n");
    body.skip_rest("Unable to read audit dblist data\n");
  }
  e.nodes = held.data();
  e.node_count = static_cast<uint32_t>(held.size());
  return told(c, body.result(), e);
}

}  // namespace

int dump_audit(scan_context& c) {
  if (refused_before_101(c, "audit")) return -1;
  typed_body_header head;
  if (!read_typed_header(c, "Unable to read audit header\n", &head)) return -1;
  const uint8_t type = head.type;
  const uint16_t size = head.size;
  c.tag.session_id = head.id;  // read once, for every back-end

  c.show(aux_tag_shown(c, 0, 0, 0));
  JRN_LINE(c, " session_id: %u\n type: %s (%u)\n size: %u bytes\n",
           u32f(fid::session_id, c.tag.session_id),
           namef(fid::audit_type, audit_type_name(type), audit_type_known(type)),
           u32f(fid::audit_type_code, type), u32f(fid::size, size));
  audit_event e;
  e.type = type;
  e.session_id = head.id;
  switch (type) {
    case audit_type::memo: {
      body_reader body(c, size, "AUDIT MEMO body");
      return read_memo(c, body, e);
    }
    case audit_type::sign_on: {
      body_reader body(c, size, "AUDIT SIGN_ON body");
      return read_sign_on(c, body, e);
    }
    case audit_type::sign_off: {
      body_reader body(c, size, "AUDIT SIGN_OFF body");
      if (size != 0) {
        body.malformed("Unable to read info data\n", "size %u, expected 0", size);
        e.damaged = true;
      }
      return told(c, body.result(), e);
    }
    case audit_type::dblist_sum:
    case audit_type::dblist_upd: {
      body_reader body(c, size, "AUDIT DBLIST body");
      return read_dblist(c, body, e);
    }
    default: {
      // Not interpreted: skipped unshown.
      body_reader body(c, size, "AUDIT body");
      body.skip_rest("Unable to read info data\n");
      return body.result();
    }
  }
}

}  // namespace jrn
