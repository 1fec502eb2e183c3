// SLAVE_SYNC (four counters), PAGE (one page image), CLUSTER (a run of page
// images of one node) and NODEMETA (a node's meta data block).
#include <cstring>

#include "scan/context.h"
#include "tags/tags.h"

namespace jrn {

namespace {

constexpr uint32_t brief_page_dump = 256;

// A shown page image: 256 bytes and "..." at -vv, all of it from -vvv on.
void describe_page_image(scan_context& c, fid key, const uint8_t* image) {
  const int32_t level = c.filter_opts.detail_level;
  const uint32_t text_n = level >= 3 ? page_size : brief_page_dump;
  c.data(level >= 2, key, image, page_size, text_n, level == 2);
}

}  // namespace

int dump_slave_sync(scan_context& c) {
  uint32_t body[4];
  if (!c.read_exact(body, sizeof body)) {
    c.diag.message("Unable to slave sync record\n");
    return -1;
  }
  if (!c.show(filter_match(c.filter_opts, c.tag, 0, 0, 0))) return 0;
  JRN_LINE(c, " vol_generation: %u\n log_generation: %u\n log_sequence: %u\n tag_sequence: %u\n",
           u32f(fid::vol_generation, body[0]), u32f(fid::log_generation, body[1]),
           u32f(fid::log_sequence, body[2]), u32f(fid::tag_sequence, body[3]));
  return 0;
}

// A PAGE tag's key is the number of the 8192-byte unit, counted from 1,
// that holds its page image.
uint32_t page_key(int64_t body_offset) { return static_cast<uint32_t>((body_offset >> 13) + 1); }

int dump_page(scan_context& c) {
  const filter_settings& f = c.filter_opts;
  bool by_filters = false;
  if (!f.pattern) {
    if (f.page != 0)
      by_filters = page_key(c.tag.body_offset) == f.page;
    else
      by_filters = filter_match(f, c.tag, 0, 0, 0);
  }
  // An unshown page image is skipped without a copy; a shown one is read
  // in place where it lies in the input's block.
  if (!c.show(by_filters)) {
    if (!c.skip(page_size)) {
      c.diag.message("Unable to read page data\n");
      return -1;
    }
    return 0;
  }
  // The key comes from the tag's place, so a cut image keeps it.
  JRN_LINE_IF(c, false, "%u", u32f(fid::key, page_key(c.tag.body_offset)));
  const uint8_t* image = c.in->view(page_size);
  if (!image) {
    c.diag.message("Unable to read page data\n");
    return -1;
  }
  describe_page_image(c, fid::image, image);
  return 0;
}

int dump_cluster(scan_context& c) {
  int32_t head[3];  // node_id, start_page, count
  if (!c.read_exact(head, sizeof head)) {
    c.diag.message("Unable to read cluster header\n");
    return -1;
  }
  c.tag.node_id = head[0];
  c.tag.first_page = head[1];
  const bool shown = c.show(aux_tag_shown(c, 0, head[0], 0));
  JRN_LINE(c, " node_id: %d\n start_page: %d\n count: %d\n",
           nodenumf(fid::cluster_node_id, head[0]), i32f(fid::cluster_start_page, head[1]),
           i32f(fid::image_count, head[2]));
  const bool read = shown && c.lines;
  c.list_begin(fid::images);
  for (int32_t i = 0; i < head[2]; ++i) {
    const uint8_t* image = read ? c.in->view(page_size) : nullptr;
    if (read ? image == nullptr : !c.skip(page_size)) {
      c.diag.message("Unable to read cluster page data\n");
      return -1;
    }
    if (read) {
      c.list_item();
      describe_page_image(c, fid::image, image);
    }
  }
  c.list_end();
  return 0;
}

int dump_nodemeta(scan_context& c) {
  struct {
    int32_t node_id;
    uint32_t meta_size;
  } m_info;
  if (!c.read_exact(&m_info, sizeof m_info)) {
    c.diag.message("Unable to read meta header\n");
    return -1;
  }
  c.tag.node_id = m_info.node_id;
  if (m_info.meta_size > page_size) {
    // The size is known, so the scan can step over the oversized block.
    c.diag.malformed("NODEMETA tag", c.tag.offset, "meta_size %u exceeds %u", m_info.meta_size,
                     page_size);
    if (!c.skip(m_info.meta_size)) {
      c.diag.message("Unable to read meta data\n");
      return -1;
    }
    return 0;
  }
  if (!c.skip(m_info.meta_size)) {
    c.diag.message("Unable to read meta data\n");
    return -1;
  }
  if (!c.show(aux_tag_shown(c, 0, m_info.node_id, 0))) return 0;
  JRN_LINE(c, " node_id: %d\n meta_size: %u bytes\n",
           nodenumf(fid::cluster_node_id, m_info.node_id), u32f(fid::meta_size, m_info.meta_size));
  return 0;
}

}  // namespace jrn
