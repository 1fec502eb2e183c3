// Node-list records: chains of linked pages holding items. NODELISTPAGE
// links a page in or out, NODELISTPAGEHEAD carries a page's head,
// NODELISTITEM(SET) an item's bytes, NODELISTFILLITEM a filled run of slots.
#include "records/decoders.h"
#include "scan/context.h"

namespace jrn {

namespace {

namef pick(fid key, const char* const* names, uint32_t count, uint32_t v) {
  if (v < count) return {key, names[v]};
  return {key, "???", false};
}

// A code's value, for the back-ends that keep it beside its name: a line
// of its own that the text leaves out, so the text lines around it are
// split where the name ends.
void code(scan_context& c, fid key, uint32_t v) { JRN_LINE_IF(c, false, "%u", u32f(key, v)); }

const char* const list_types[] = {"UNKNOWN", "ILIST", "FLIST"};
const char* const page_actions[] = {"NOP", "ADD", "DEL"};
const char* const list_ids[] = {"ULIST", "FLIST", "FIXREC_FLIST"};

// The three layouts other than NodeList_PAGE open with timestamp, a 4-byte
// list type and the page.
void describe_list_head(scan_context& c, payload_view p) {
  const uint32_t type = p.u32(4);
  JRN_LINE(c, "  page 0x%x type=%s", hexf(fid::page, p.u32(8)),
           pick(fid::list_type, list_types, 3, type));
  code(c, fid::list_type_code, type);
  JRN_LINE(c, " timestamp=%u\n", u32f(fid::list_timestamp, p.u32(0)));
}

}  // namespace

void describe_nodelistpage(scan_context& c, payload_view p) {
  const uint16_t action = p.u16(4);
  const uint8_t id = p.u8(6), type = p.u8(7);
  JRN_LINE(c, "  page 0x%x %s", hexf(fid::page, p.u32(8)),
           pick(fid::action, page_actions, 3, action));
  code(c, fid::action_code, action);
  JRN_LINE(c, " id=%s", pick(fid::list_id, list_ids, 3, id));
  code(c, fid::list_id_code, id);
  JRN_LINE(c, " type=%s", pick(fid::list_type, list_types, 3, type));
  code(c, fid::list_type_code, type);
  JRN_LINE(c, " timestamp=%u\n", u32f(fid::list_timestamp, p.u32(0)));
  JRN_LINE(c, "  prev_page=0x%x timestamp=%u\n", hexf(fid::prev_page, p.u32(12)),
           u32f(fid::prev_timestamp, p.u32(16)));
  JRN_LINE(c, "  next_page=0x%x timestamp=%u\n", hexf(fid::next_page, p.u32(20)),
           u32f(fid::next_timestamp, p.u32(24)));
  JRN_LINE(c, "  first_page=0x%x last_page=0x%x num_pages=%u\n", hexf(fid::first_page, p.u32(28)),
           hexf(fid::last_page, p.u32(32)), u32f(fid::num_pages, p.u32(36)));
}

// The list's first and last page are not compared.
int probe_nodelistpage(payload_view p, uint32_t page) {
  return p.u32(8) == page || p.u32(12) == page || p.u32(20) == page;
}

void describe_nodelistpagehead(scan_context& c, payload_view p) {
  describe_list_head(c, p);
  JRN_LINE(c, "  first_item=0x%x last_item=0x%x num_items=%u\n", hexf(fid::first_item, p.u32(16)),
           hexf(fid::last_item, p.u32(20)), u32f(fid::num_items, p.u32(12)));
}

int probe_nodelistpagehead(payload_view p, uint32_t page) { return p.u32(8) == page; }

void describe_nodelistitem(scan_context& c, payload_view p) {
  describe_list_head(c, p);
  const uint16_t offset = p.u16(12), size = p.u16(14);
  JRN_LINE(c, "  offset=%u size=%u\n", u32f(fid::item_offset, offset), u32f(fid::item_size, size));
  const uint32_t held = p.span(16, size);
  c.data(c.filter_opts.detail_level >= 2, fid::item, p.at(16), held, held);
}

void check_nodelistitem(scan_context& c, payload_view p) {
  const uint16_t size = p.u16(14);
  if (p.span(16, size) < size)
    c.diag.malformed("IMAGE record", c.tag.offset,
                     "NODELISTITEM size %u exceeds the %u item bytes held", size, p.size() - 16);
}

int probe_nodelistitem(payload_view p, uint32_t page) { return p.u32(8) == page; }

void describe_nodelistfillitem(scan_context& c, payload_view p) {
  describe_list_head(c, p);
  JRN_LINE(c, "  start_idx=%u count=%u start_id=%u value=%u\n", u32f(fid::start_idx, p.u16(12)),
           u32f(fid::fill_count, p.u16(14)), u32f(fid::start_id, p.u32(16)),
           u32f(fid::value, p.u32(20)));
}

int probe_nodelistfillitem(payload_view p, uint32_t page) { return p.u32(8) == page; }

}  // namespace jrn
