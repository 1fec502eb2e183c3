#include "scan/context.h"

#include "scan/format.h"

namespace jrn {

uint32_t kind_bit(uint8_t letter) {
  if (letter >= tag_letter::rec && letter <= tag_letter::context)
    return 1u << (letter - tag_letter::rec);
  if (letter == tag_letter::slave_sync) return 1u << 7;
  return 0;  // end tags and unknown letters belong to no kind
}

bool scan_context::show(bool by_filters) {
  bool shown = by_filters;
  if (shown && filter_opts.kinds != 0) {
    const uint32_t bit = kind_bit(tag.letter);
    shown = bit == 0 || (filter_opts.kinds & bit) != 0;
  }
  tag.shown = shown;
  lines = shown && lines_wanted;
  if (shown) {
    ++shown_tags;
    out.show_tag(tag);
  }
  return shown;
}

}  // namespace jrn
