// SLAVE_SYNC (four counters), PAGE (one page image), CLUSTER (a run of page
// images of one node) and NODEMETA (a node's meta data block).
#include <cstring>

#include "cli/filter.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/hexdump.h"
#include "output/out.h"
#include "tags/tags.h"

namespace jrn {

uint8_t page_buf[page_size];

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

bool skip_counted(uint32_t n, log_stream& in, int64_t* file_pos) {
  const size_t got = in.skip(n);
  if (got != n) return false;  // a failed read counts nothing
  *file_pos += n;
  return true;
}

bool refused_before_101(int major, int minor, const char* kind) {
  if (major > 1 || (major == 1 && minor >= 1)) return false;
  diag("unexpected %s record (file version %d.%02d)", kind, major, minor);
  return true;
}

bool read_typed_header(log_stream& in, int64_t* file_pos, const char* fail_msg,
                       typed_body_header* h) {
  uint8_t raw[8];
  if (read_counted(raw, sizeof raw, 1, in, file_pos) != 1) {
    diag("%s", fail_msg);
    return false;
  }
  std::memcpy(&h->id, raw, 4);
  h->type = raw[4];
  std::memcpy(&h->size, raw + 6, 2);
  return true;
}

bool aux_tag_shown(uint32_t transaction_id, int32_t node_id, int image_like) {
  return !filter_opts.pattern && filter_opts.page == 0 &&
         filter_match(transaction_id, node_id, image_like);
}

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
