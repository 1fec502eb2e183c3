// The one dispatch on the tag's type letter.
#include "log/scan.h"
#include "records/image.h"
#include "scan/format.h"
#include "tags/tags.h"

namespace jrn {

namespace {

struct tag_table {
  tag_kind kinds[256];
  void set(uint8_t letter, tag_kind kind) { kinds[letter] = kind; }
  tag_table() {
    for (tag_kind& k : kinds) k = {"** UNRECOGNIZED TAG TYPE **", nullptr};
    set(tag_letter::rec, {"REC", dump_image_record});
    set(tag_letter::page, {"PAGE", dump_page});
    set(tag_letter::cluster, {"CLUSTER", dump_cluster});
    set(tag_letter::nodemeta, {"NODEMETA", dump_nodemeta});
    set(tag_letter::before_image, {"BEFORE_IMAGE", dump_before_image});
    set(tag_letter::audit, {"AUDIT", dump_audit});
    set(tag_letter::context, {"CONTEXT", dump_context});
    set(tag_letter::eof_cont, {"EOF_CONT", nullptr});
    set(tag_letter::eof_finish, {"EOF_FINISH", nullptr});
    set(tag_letter::slave_sync, {"SLAVE_SYNC", dump_slave_sync});
  }
};
const tag_table table;

}  // namespace

const tag_kind& tag_kind_of(uint8_t letter) { return table.kinds[letter]; }

}  // namespace jrn
