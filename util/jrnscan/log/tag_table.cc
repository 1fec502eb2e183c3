// The one dispatch on the tag's type letter.
#include "log/scan.h"
#include "records/image.h"
#include "scan/format.h"
#include "tags/tags.h"

namespace jrn {

namespace {

struct tag_table {
  tag_kind kinds[256];
  void set(uint8_t letter, tag_handler h) { kinds[letter] = {tag_letter_name(letter), h}; }
  tag_table() {
    for (tag_kind& k : kinds) k = {"** UNRECOGNIZED TAG TYPE **", nullptr};
    set(tag_letter::rec, dump_image_record);
    set(tag_letter::page, dump_page);
    set(tag_letter::cluster, dump_cluster);
    set(tag_letter::nodemeta, dump_nodemeta);
    set(tag_letter::before_image, dump_before_image);
    set(tag_letter::audit, dump_audit);
    set(tag_letter::context, dump_context);
    set(tag_letter::eof_cont, nullptr);
    set(tag_letter::eof_finish, nullptr);
    set(tag_letter::slave_sync, dump_slave_sync);
  }
};
const tag_table table;

}  // namespace

const tag_kind& tag_kind_of(uint8_t letter) { return table.kinds[letter]; }

}  // namespace jrn
