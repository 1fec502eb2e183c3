// The one dispatch on the tag's type letter.
#include "log/scan.h"
#include "records/image.h"
#include "tags/tags.h"

namespace jrn {

namespace {

struct tag_table {
  tag_kind kinds[256];
  tag_table() {
    for (tag_kind& k : kinds) k = {"** UNRECOGNIZED TAG TYPE **", nullptr};
    kinds['1'] = {"REC", dump_image_record};
    kinds['2'] = {"PAGE", dump_page};
    kinds['3'] = {"CLUSTER", dump_cluster};
    kinds['4'] = {"NODEMETA", dump_nodemeta};
    kinds['5'] = {"BEFORE_IMAGE", dump_before_image};
    kinds['6'] = {"AUDIT", dump_audit};
    kinds['7'] = {"CONTEXT", dump_context};
    kinds['C'] = {"EOF_CONT", nullptr};
    kinds['F'] = {"EOF_FINISH", nullptr};
    kinds['S'] = {"SLAVE_SYNC", dump_slave_sync};
  }
};
const tag_table table;

}  // namespace

const tag_kind& tag_kind_of(uint8_t letter) { return table.kinds[letter]; }

}  // namespace jrn
