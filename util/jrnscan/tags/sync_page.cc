// SLAVE_SYNC (four counters), PAGE (one page image), CLUSTER (a run of page
// images of one node) and NODEMETA (a node's meta data block).
#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "tags/tags.h"

namespace jrn {

namespace {

constexpr uint32_t brief_page_dump = 256;

// A shown page image: 256 bytes and "..." at -vv, all of it from -vvv on.
void dump_page_image() {
  if (filter_opts.detail_level >= 3) {
    dump_hex(page_buf, page_size);
  } else if (filter_opts.detail_level == 2) {
    dump_hex(page_buf, brief_page_dump);
    out_str("...\n");
  }
}

}  // namespace

int dump_slave_sync(log_stream& in, int, int, int64_t* file_pos) {
  uint32_t body[4];
  if (read_counted(body, sizeof body, 1, in, file_pos) != 1) {
    diag("Unable to slave sync record\n");
    return -1;
  }
  if (!filter_match(0, 0, 0)) return 0;
  print_tag_header(file_pos);
  out_printf(" vol_generation: %u\n log_generation: %u\n log_sequence: %u\n tag_sequence: %u\n",
             body[0], body[1], body[2], body[3]);
  return 0;
}

int dump_page(log_stream& in, int, int, int64_t* file_pos) {
  bool shown = false;
  if (!filter_opts.pattern) {
    if (filter_opts.page != 0)
      shown = static_cast<uint32_t>((*file_pos >> 13) + 1) == filter_opts.page;
    else
      shown = filter_match(0, 0, 0);
  }
  if (shown) print_tag_header(file_pos);
  // An unshown page image is skipped without a copy.
  if (!shown ? !skip_counted(page_size, in, file_pos)
             : read_counted(page_buf, page_size, 1, in, file_pos) != 1) {
    diag("Unable to read page data\n");
    return -1;
  }
  if (shown) dump_page_image();
  return 0;
}

int dump_cluster(log_stream& in, int, int, int64_t* file_pos) {
  int32_t head[3];  // node_id, start_page, count
  if (read_counted(head, sizeof head, 1, in, file_pos) != 1) {
    diag("Unable to read cluster header\n");
    return -1;
  }
  const bool shown = aux_tag_shown(0, head[0], 0);
  if (shown) {
    print_tag_header(file_pos);
    out_printf(" node_id: %d\n start_page: %d\n count: %d\n", head[0], head[1], head[2]);
  }
  const bool dump = shown && filter_opts.detail_level >= 2;
  for (int32_t i = 0; i < head[2]; ++i) {
    const bool ok = dump ? read_counted(page_buf, page_size, 1, in, file_pos) == 1
                         : skip_counted(page_size, in, file_pos);
    if (!ok) {
      diag("Unable to read cluster page data\n");
      return -1;
    }
    if (dump) dump_page_image();
  }
  return 0;
}

int dump_nodemeta(log_stream& in, int, int, int64_t* file_pos) {
  struct {
    int32_t node_id;
    uint32_t meta_size;
  } m_info;
  if (read_counted(&m_info, sizeof m_info, 1, in, file_pos) != 1) {
    diag("Unable to read meta header\n");
    return -1;
  }
  const int64_t body_at = tag_offset;
  if (m_info.meta_size > page_size) {
    // The size is known, so the scan can step over the oversized block.
    report_malformed("NODEMETA tag", body_at, "meta_size %u exceeds %u", m_info.meta_size,
                     page_size);
    if (!skip_counted(m_info.meta_size, in, file_pos)) {
      diag("Unable to read meta data\n");
      return -1;
    }
    return 0;
  }
  if (!read_exact(page_buf, m_info.meta_size, in, file_pos)) {
    diag("Unable to read meta data\n");
    return -1;
  }
  if (!aux_tag_shown(0, m_info.node_id, 0)) return 0;
  print_tag_header(file_pos);
  out_printf(" node_id: %d\n meta_size: %u bytes\n", m_info.node_id, m_info.meta_size);
  return 0;
}

}  // namespace jrn
