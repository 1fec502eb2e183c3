// Node-list records: chains of linked pages holding items. NODELISTPAGE
// links a page in or out, NODELISTPAGEHEAD carries a page's head,
// NODELISTITEM(SET) an item's bytes, NODELISTFILLITEM a filled run of slots.
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "records/decoders.h"

namespace jrn {

namespace {

const char* list_type(uint32_t t) {
  switch (t) {
    case 0: return "UNKNOWN";
    case 1: return "ILIST";
    case 2: return "FLIST";
    default: return "???";
  }
}

const char* page_action(uint16_t a) {
  switch (a) {
    case 0: return "NOP";
    case 1: return "ADD";
    case 2: return "DEL";
    default: return "???";
  }
}

const char* list_id(uint8_t id) {
  switch (id) {
    case 0: return "ULIST";
    case 1: return "FLIST";
    case 2: return "FIXREC_FLIST";
    default: return "???";
  }
}

// The three layouts other than NodeList_PAGE open with timestamp, a 4-byte
// list type and the page.
void print_list_head(payload_view p) {
  out_printf("  page 0x%x type=%s timestamp=%u\n", p.u32(8), list_type(p.u32(4)), p.u32(0));
}

int page_is(uint32_t page) { return page == filter_opts.page; }

}  // namespace

int print_nodelistpage(payload_view p) {
  out_printf("  page 0x%x %s id=%s type=%s timestamp=%u\n", p.u32(8), page_action(p.u16(4)),
             list_id(p.u8(6)), list_type(p.u8(7)), p.u32(0));
  out_printf("  prev_page=0x%x timestamp=%u\n", p.u32(12), p.u32(16));
  out_printf("  next_page=0x%x timestamp=%u\n", p.u32(20), p.u32(24));
  out_printf("  first_page=0x%x last_page=0x%x num_pages=%u\n", p.u32(28), p.u32(32), p.u32(36));
  return 0;
}

// The list's first and last page are not compared.
int probe_nodelistpage(payload_view p) {
  return page_is(p.u32(8)) || page_is(p.u32(12)) || page_is(p.u32(20));
}

int print_nodelistpagehead(payload_view p) {
  print_list_head(p);
  out_printf("  first_item=0x%x last_item=0x%x num_items=%u\n", p.u32(16), p.u32(20), p.u32(12));
  return 0;
}

int probe_nodelistpagehead(payload_view p) { return page_is(p.u32(8)); }

int print_nodelistitem(payload_view p) {
  print_list_head(p);
  const uint16_t offset = p.u16(12), size = p.u16(14);
  out_printf("  offset=%u size=%u\n", offset, size);
  if (filter_opts.detail_level >= 2) {
    const uint32_t held = p.span(16, size);
    dump_hex(p.at(16), held);
  }
  if (p.span(16, size) < size)
    report_malformed("IMAGE record", tag_offset,
                     "NODELISTITEM size %u exceeds the %u item bytes held", size, p.size() - 16);
  return 0;
}

int probe_nodelistitem(payload_view p) { return page_is(p.u32(8)); }

int print_nodelistfillitem(payload_view p) {
  print_list_head(p);
  out_printf("  start_idx=%u count=%u start_id=%u value=%u\n", p.u16(12), p.u16(14), p.u32(16),
             p.u32(20));
  return 0;
}

int probe_nodelistfillitem(payload_view p) { return page_is(p.u32(8)); }

}  // namespace jrn
