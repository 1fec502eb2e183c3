// The one dispatch on the tag's type letter.
#include "log/scan.h"
#include "records/image.h"
#include "tags/tags.h"

namespace jrn {

namespace {

struct tag_table {
  tag_kind kinds[256];
  void set(char letter, tag_kind kind) { kinds[static_cast<uint8_t>(letter)] = kind; }
  tag_table() {
    for (tag_kind& k : kinds) k = {"** UNRECOGNIZED TAG TYPE **", nullptr};
    set('1', {"REC", dump_image_record});
    set('2', {"PAGE", dump_page});
    set('3', {"CLUSTER", dump_cluster});
    set('4', {"NODEMETA", dump_nodemeta});
    set('5', {"BEFORE_IMAGE", dump_before_image});
    set('6', {"AUDIT", dump_audit});
    set('7', {"CONTEXT", dump_context});
    set('C', {"EOF_CONT", nullptr});
    set('F', {"EOF_FINISH", nullptr});
    set('S', {"SLAVE_SYNC", dump_slave_sync});
  }
};
const tag_table table;

}  // namespace

const tag_kind& tag_kind_of(uint8_t letter) { return table.kinds[letter]; }

}  // namespace jrn
