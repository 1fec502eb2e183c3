// CONTEXT: names of databases, data sets (with their items) and indexes.
// Every name read is registered in the node name map, shown or not, so
// that later records display it.
#include <cstring>
#include <string>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "cli/run.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/escape.h"
#include "output/out.h"
#include "tags/body_reader.h"
#include "tags/tags.h"

namespace jrn {

namespace {

enum context_type : uint8_t { DB = 1, SET = 2, SET_ITEMS = 3, INDEX = 4 };
enum node_kind : int32_t { kind_database = 2, kind_set = 3, kind_index = 4 };

const char* context_type_name(uint8_t t) {
  switch (t) {
    case DB: return "DB";
    case SET: return "SET";
    case SET_ITEMS: return "SET_ITEMS";
    case INDEX: return "INDEX";
    default: return "** UNKNOWN CONTEXT TYPE **";
  }
}

const char* name_text() { return reinterpret_cast<const char*>(page_buf); }

// The name as shown: bytes a terminal would act on are escaped there.
const char* shown_name() {
  static std::string buf;
  size_t len;
  return safe_text(name_text(), std::strlen(name_text()), escaping.report, buf, &len);
}

// Reads a name of n bytes into page_buf and terminates it there; it must
// fit with its terminator.
bool read_name(body_reader& body, uint32_t n, const char* fail_fmt, int item = 0) {
  if (n >= page_size)
    return body.malformed("Unable to read context data\n", "name of %u bytes exceeds %u", n,
                          page_size - 1);
  if (!body.field(page_buf, n, fail_fmt, item)) return false;
  page_buf[n] = 0;
  return true;
}

// An empty name is shown but not registered: the number keeps its "#n".
// Once the names learnt take the memory they may, no more are learnt and
// the reader is told once.
void register_name(uint32_t node_id, int32_t kind, int32_t parent) {
  if (page_buf[0] == 0) return;
  node_map& names = node_names();
  if (!names.learn(static_cast<int32_t>(node_id), kind, name_text(), std::strlen(name_text()),
                   parent))
    diag("%s: warning: names learnt from context records reach the bound of %llu bytes at "
         "offset %lld; no further names are learnt (--name-memory sets the bound)\n",
         log_name, static_cast<unsigned long long>(names.learn_limit()),
         static_cast<long long>(tag_offset));
}

int context_db(body_reader& body, uint32_t node_id, bool shown) {
  if (!read_name(body, body.left(), "Unable to read context_db name\n")) return body.result();
  if (shown) out_printf("  name: '%s'\n", shown_name());
  register_name(node_id, kind_database, 0);
  return 0;
}

// SET and INDEX: the parent's number, then the name.
int context_named_child(body_reader& body, uint32_t node_id, bool shown, bool is_index) {
  uint32_t parent;
  if (!body.field(&parent, 4,
                  is_index ? "Unable to read context_index set_node_id\n"
                           : "Unable to read context_set db_node_id\n"))
    return body.result();
  if (shown) out_printf(is_index ? "  set_node: %u\n" : "  db_node: %u\n", parent);
  if (!read_name(
          body, body.left(),
          is_index ? "Unable to read context_index name\n" : "Unable to read context_set name\n"))
    return body.result();
  if (shown) out_printf("  name: '%s'\n", shown_name());
  register_name(node_id, is_index ? kind_index : kind_set, static_cast<int32_t>(parent));
  return 0;
}

int context_set_items(body_reader& body, uint32_t node_id, bool shown) {
  uint32_t db_node;
  if (!body.field(&db_node, 4, "Unable to read context_set_items db_node_id\n"))
    return body.result();
  if (shown) out_printf("  db_node: %u\n", db_node);
  uint8_t n;
  if (!body.field(&n, 1, "Unable to read context_set_items name length\n")) return body.result();
  if (!read_name(body, n, "Unable to read context_set_items name\n")) return body.result();
  if (shown) out_printf("  name: '%s'\n", shown_name());
  register_name(node_id, kind_set, static_cast<int32_t>(db_node));

  // Items until the body is used up: name, type, count, size, fmt.
  for (int i = 0; body.left() > 0; ++i) {
    uint8_t m, type;
    uint16_t count, size;
    uint32_t fmt;
    if (!body.field(&m, 1, "Unable to read context_set_items name length #%d\n", i) ||
        !read_name(body, m, "Unable to read context_set_items name #%d\n", i) ||
        !body.field(&type, 1, "Unable to read context_set_items type #%d\n", i) ||
        !body.field(&count, 2, "Unable to read context_set_items count #%d\n", i) ||
        !body.field(&size, 2, "Unable to read context_set_items size #%d\n", i) ||
        !body.field(&fmt, 4, "Unable to read context_set_items fmt #%d\n", i))
      return body.result();
    if (shown && filter_opts.detail_level >= 1) {
      std::string type_buf;
      size_t type_len;
      const char type_char = static_cast<char>(type);
      const char* type_text = safe_text(&type_char, 1, escaping.report, type_buf, &type_len);
      out_printf("  item[%d]: '%s' type=%.*s count=%u size=%u fmt=0x%x\n", i, shown_name(),
                 static_cast<int>(type_len), type_text, count, size, fmt);
    }
  }
  return 0;
}

}  // namespace

int dump_context(log_stream& in, int major, int minor, int64_t* file_pos) {
  if (refused_before_101(major, minor, "context")) return -1;
  typed_body_header head;
  if (!read_typed_header(in, file_pos, "Unable to read context header\n", &head)) return -1;
  const uint32_t node_id = head.id;
  const uint8_t type = head.type;
  const uint16_t size = head.size;

  const bool shown = aux_tag_shown(0, 0, 0);
  if (shown) {
    print_tag_header(file_pos);
    out_printf(" node_id: %u\n type: %s (%u)\n size: %u bytes\n", node_id, context_type_name(type),
               type, size);
  }
  switch (type) {
    case DB: {
      body_reader body(in, file_pos, size, "CONTEXT DB body");
      return context_db(body, node_id, shown);
    }
    case SET: {
      body_reader body(in, file_pos, size, "CONTEXT SET body");
      return context_named_child(body, node_id, shown, false);
    }
    case INDEX: {
      body_reader body(in, file_pos, size, "CONTEXT INDEX body");
      return context_named_child(body, node_id, shown, true);
    }
    case SET_ITEMS: {
      body_reader body(in, file_pos, size, "CONTEXT SET_ITEMS body");
      return context_set_items(body, node_id, shown);
    }
    default: {
      body_reader body(in, file_pos, size, "CONTEXT body");
      body.skip_rest("Unable to read context data\n");
      return body.result();
    }
  }
}

}  // namespace jrn
