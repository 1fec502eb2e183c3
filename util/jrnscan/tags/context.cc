// CONTEXT: names of databases, data sets (with their items) and indexes.
// Every name read is registered in the node name map, shown or not, so
// that later records display it.
#include "scan/context.h"

#include <cstring>

#include "tags/body_reader.h"
#include "tags/tags.h"

namespace jrn {

namespace {

enum context_type : uint8_t { DB = 1, SET = 2, SET_ITEMS = 3, INDEX = 4 };
enum node_kind : int32_t { kind_database = 2, kind_set = 3, kind_index = 4 };

namef context_type_name(uint8_t t) {
  switch (t) {
    case DB: return {fid::context_type, "DB"};
    case SET: return {fid::context_type, "SET"};
    case SET_ITEMS: return {fid::context_type, "SET_ITEMS"};
    case INDEX: return {fid::context_type, "INDEX"};
    default: return {fid::context_type, "** UNKNOWN CONTEXT TYPE **", false};
  }
}

// The name just read: up to its first zero byte, as a C string shows it.
textf name_field(scan_context& c, fid key) {
  const char* text = reinterpret_cast<const char*>(c.page_buf);
  return {key, text, static_cast<uint32_t>(std::strlen(text))};
}

// Reads a name of n bytes into page_buf and terminates it there; it must
// fit with its terminator.
bool read_name(scan_context& c, body_reader& body, uint32_t n, const char* fail_fmt, int item = 0) {
  if (n >= page_size)
    return body.malformed("Unable to read context data\n", "name of %u bytes exceeds %u", n,
                          page_size - 1);
  if (!body.field(c.page_buf, n, fail_fmt, item)) return false;
  c.page_buf[n] = 0;
  return true;
}

// An empty name is shown but not registered: the number keeps its "#n".
// Once the names learnt take the memory they may, no more are learnt and
// the reader is told once.
void register_name(scan_context& c, uint32_t node_id, int32_t kind, int32_t parent) {
  if (c.page_buf[0] == 0) return;
  const char* name = reinterpret_cast<const char*>(c.page_buf);
  if (!c.names.learn(static_cast<int32_t>(node_id), kind, name, std::strlen(name), parent))
    c.diag.message(
        "%s: warning: names learnt from context records reach the bound of %llu bytes at "
        "offset %lld; no further names are learnt (--name-memory sets the bound)\n",
        c.log_name, static_cast<unsigned long long>(c.names.learn_limit()),
        static_cast<long long>(c.tag.offset));
}

int context_db(scan_context& c, body_reader& body, uint32_t node_id) {
  if (!read_name(c, body, body.left(), "Unable to read context_db name\n")) return body.result();
  JRN_LINE(c, "  name: '%s'\n", name_field(c, fid::name));
  register_name(c, node_id, kind_database, 0);
  return 0;
}

// SET and INDEX: the parent's number, then the name.
int context_named_child(scan_context& c, body_reader& body, uint32_t node_id, bool is_index) {
  uint32_t parent;
  if (!body.field(&parent, 4,
                  is_index ? "Unable to read context_index set_node_id\n"
                           : "Unable to read context_set db_node_id\n"))
    return body.result();
  if (is_index)
    JRN_LINE(c, "  set_node: %u\n", u32f(fid::set_node, parent));
  else
    JRN_LINE(c, "  db_node: %u\n", u32f(fid::db_node, parent));
  if (!read_name(
          c, body, body.left(),
          is_index ? "Unable to read context_index name\n" : "Unable to read context_set name\n"))
    return body.result();
  JRN_LINE(c, "  name: '%s'\n", name_field(c, fid::name));
  register_name(c, node_id, is_index ? kind_index : kind_set, static_cast<int32_t>(parent));
  return 0;
}

int context_set_items(scan_context& c, body_reader& body, uint32_t node_id) {
  uint32_t db_node;
  if (!body.field(&db_node, 4, "Unable to read context_set_items db_node_id\n"))
    return body.result();
  JRN_LINE(c, "  db_node: %u\n", u32f(fid::db_node, db_node));
  uint8_t n;
  if (!body.field(&n, 1, "Unable to read context_set_items name length\n")) return body.result();
  if (!read_name(c, body, n, "Unable to read context_set_items name\n")) return body.result();
  JRN_LINE(c, "  name: '%s'\n", name_field(c, fid::name));
  register_name(c, node_id, kind_set, static_cast<int32_t>(db_node));

  // Items until the body is used up: name, type, count, size, fmt.
  std::vector<set_item_decl> items;  // for a back-end that follows records
  c.list_begin(fid::items);
  for (int i = 0; body.left() > 0; ++i) {
    uint8_t m, type;
    uint16_t count, size;
    uint32_t fmt;
    if (!body.field(&m, 1, "Unable to read context_set_items name length #%d\n", i) ||
        !read_name(c, body, m, "Unable to read context_set_items name #%d\n", i) ||
        !body.field(&type, 1, "Unable to read context_set_items type #%d\n", i) ||
        !body.field(&count, 2, "Unable to read context_set_items count #%d\n", i) ||
        !body.field(&size, 2, "Unable to read context_set_items size #%d\n", i) ||
        !body.field(&fmt, 4, "Unable to read context_set_items fmt #%d\n", i))
      return body.result();
    const char type_char = static_cast<char>(type);
    c.list_item();
    JRN_LINE_IF(c, c.filter_opts.detail_level >= 1,
                "  item[%d]: '%s' type=%s count=%u size=%u fmt=0x%x\n", i32f(fid::index, i),
                name_field(c, fid::name), textf(fid::item_type, &type_char, 1),
                u32f(fid::item_count, count), u32f(fid::item_bytes, size), hexf(fid::fmt, fmt));
    if (c.records) items.push_back({name_field(c, fid::name).v, type, count, size});
  }
  c.list_end();
  if (c.records) c.records->set_items(c.tag, static_cast<int32_t>(node_id), items);
  return 0;
}

}  // namespace

int dump_context(scan_context& c) {
  if (refused_before_101(c, "context")) return -1;
  typed_body_header head;
  if (!read_typed_header(c, "Unable to read context header\n", &head)) return -1;
  const uint32_t node_id = head.id;
  const uint8_t type = head.type;
  const uint16_t size = head.size;
  c.tag.node_id = static_cast<int32_t>(node_id);

  c.show(aux_tag_shown(c, 0, 0, 0));
  JRN_LINE(c, " node_id: %u\n type: %s (%u)\n size: %u bytes\n",
           u32f(fid::context_node_id, node_id), context_type_name(type),
           u32f(fid::context_type_code, type), u32f(fid::size, size));
  switch (type) {
    case DB: {
      body_reader body(c, size, "CONTEXT DB body");
      return context_db(c, body, node_id);
    }
    case SET: {
      body_reader body(c, size, "CONTEXT SET body");
      return context_named_child(c, body, node_id, false);
    }
    case INDEX: {
      body_reader body(c, size, "CONTEXT INDEX body");
      return context_named_child(c, body, node_id, true);
    }
    case SET_ITEMS: {
      body_reader body(c, size, "CONTEXT SET_ITEMS body");
      return context_set_items(c, body, node_id);
    }
    default: {
      body_reader body(c, size, "CONTEXT body");
      body.skip_rest("Unable to read context data\n");
      return body.result();
    }
  }
}

}  // namespace jrn
