// AUDIT: memos, sign-ons, sign-offs and database lists of a session.
#include <cstring>
#include <string>
#include <vector>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/escape.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "tags/body_reader.h"
#include "tags/tags.h"

namespace jrn {

namespace {

enum audit_type : uint8_t {
  MEMO = 0,
  SIGN_ON = 10,
  SIGN_OFF = 11,
  DBLIST_SUM = 20,
  DBLIST_UPD = 21
};

const char* audit_type_name(uint8_t t) {
  switch (t) {
    case MEMO: return "MEMO";
    case SIGN_ON: return "SIGN_ON";
    case SIGN_OFF: return "SIGN_OFF";
    case DBLIST_SUM: return "DBLIST_SUM";
    case DBLIST_UPD: return "DBLIST_UPD";
    default: return "** UNKNOWN AUDIT TYPE **";
  }
}

// MEMO: a mode, then the memo data.
int read_memo(body_reader& body, bool shown) {
  int32_t mode;
  if (!body.field(&mode, 4, "Unable to read memo header\n")) return body.result();
  const uint32_t data_sz = body.left();
  if (shown) out_printf("  mode: %d\n  data: %d bytes\n", mode, static_cast<int>(data_sz));
  if (data_sz == 0) return 0;
  if (data_sz > page_size) {
    body.malformed("Unable to read memo data\n", "memo data of %u bytes exceeds %u", data_sz,
                   page_size);
    return body.result();
  }
  if (!body.field(page_buf, data_sz, "Unable to read memo data\n")) return body.result();
  if (shown && filter_opts.detail_level >= 1) dump_hex(page_buf, data_sz);
  return 0;
}

// SIGN_ON: an entry count, then entries of a 2-byte length and text. An
// entry may be longer than page_buf; it is read whole all the same.
int read_sign_on(body_reader& body, bool shown) {
  static std::vector<uint8_t> long_entry;
  uint16_t count;
  if (!body.field(&count, 2, "Unable to read number of audit sign-on entries\n"))
    return body.result();
  for (int i = 1; i <= count; ++i) {
    uint16_t data_sz;
    if (!body.field(&data_sz, 2, "Unable to read size of audit sign-on entry #%d\n", i))
      return body.result();
    uint8_t* data = page_buf;
    if (data_sz > page_size) {
      long_entry.resize(data_sz);
      data = long_entry.data();
    }
    if (!body.field(data, data_sz, "Unable to read audit sign-on data #%d\n", i))
      return body.result();
    if (shown) {
      // Both forms stop at a zero byte inside the data.
      const void* nul = std::memchr(data, 0, data_sz);
      const int len = static_cast<int>(nul ? static_cast<const uint8_t*>(nul) - data : data_sz);
      const char* text = reinterpret_cast<const char*>(data);
      std::string buf;
      size_t shown_len;
      const size_t take = data_sz <= 256 || len < 256 ? len : 256;
      const char* shown_text = safe_text(text, take, escaping.report, buf, &shown_len);
      out_printf(data_sz <= 256 ? "  data: %.*s\n" : "  data: %.*s ...\n",
                 static_cast<int>(shown_len), shown_text);
    }
  }
  body.skip_rest("Unable to read audit sign-on data\n");
  return body.result();
}

// DBLIST: size / 8 entries of node number and mode.
int read_dblist(body_reader& body, bool shown) {
  const uint32_t entries = body.left() / 8;
  for (uint32_t i = 1; i <= entries; ++i) {
    int32_t entry[2];
    if (!body.field(entry, 8, "Unable to read audit dblist data\n")) return body.result();
    if (shown) out_printf("  #%d: node_id=%s mode=%d\n", i, node_display(entry[0]), entry[1]);
  }
  if (body.left() != 0) {
    diag("WARNING: audit dblist data size does not match\n");
    body.skip_rest("Unable to read audit dblist data\n");
  }
  return body.result();
}

}  // namespace

int dump_audit(log_stream& in, int major, int minor, int64_t* file_pos) {
  if (refused_before_101(major, minor, "audit")) return -1;
  typed_body_header head;
  if (!read_typed_header(in, file_pos, "Unable to read audit header\n", &head)) return -1;
  const uint32_t session_id = head.id;
  const uint8_t type = head.type;
  const uint16_t size = head.size;

  const bool shown = aux_tag_shown(0, 0, 0);
  if (shown) {
    print_tag_header(file_pos);
    out_printf(" session_id: %u\n type: %s (%u)\n size: %u bytes\n", session_id,
               audit_type_name(type), type, size);
  }
  switch (type) {
    case MEMO: {
      body_reader body(in, file_pos, size, "AUDIT MEMO body");
      return read_memo(body, shown);
    }
    case SIGN_ON: {
      body_reader body(in, file_pos, size, "AUDIT SIGN_ON body");
      return read_sign_on(body, shown);
    }
    case SIGN_OFF: {
      body_reader body(in, file_pos, size, "AUDIT SIGN_OFF body");
      if (size != 0) body.malformed("Unable to read info data\n", "size %u, expected 0", size);
      return body.result();
    }
    case DBLIST_SUM:
    case DBLIST_UPD: {
      body_reader body(in, file_pos, size, "AUDIT DBLIST body");
      return read_dblist(body, shown);
    }
    default: {
      // Not interpreted: skipped unshown.
      body_reader body(in, file_pos, size, "AUDIT body");
      body.skip_rest("Unable to read info data\n");
      return body.result();
    }
  }
}

}  // namespace jrn
