// Printers and page probes of the decoder families, one file each.
#pragma once

#include "records/payload.h"

namespace jrn {

// The previous location of a changed item (cluster, offset, size), shown
// from -vv on by the FIXREC, BTREE and POOL printers.
void print_prev_location(payload_view p, uint32_t at);

// Node records
int print_node(payload_view p);
int print_nodedelete(payload_view p);
int print_nodepage(payload_view p);
int probe_nodepage(payload_view p);
int print_nodecluster(payload_view p);
int probe_nodecluster(payload_view p);

// Node-list records
int print_nodelistpage(payload_view p);
int probe_nodelistpage(payload_view p);
int print_nodelistpagehead(payload_view p);
int probe_nodelistpagehead(payload_view p);
int print_nodelistitem(payload_view p);
int probe_nodelistitem(payload_view p);
int print_nodelistfillitem(payload_view p);
int probe_nodelistfillitem(payload_view p);

// Fixed-record records
int print_fixrec(payload_view p);
int print_fixrec_meta(payload_view p);
int print_fixrec_newcluster(payload_view p);

// B-tree records
int print_btree(payload_view p);
int probe_btree(payload_view p);
int print_btree_fwr(payload_view p);
int probe_btree_fwr(payload_view p);

// Pool records
int print_pool(payload_view p);
int probe_pool(payload_view p);
int print_pool_flist(payload_view p);
int probe_pool_flist(payload_view p);

// Volume and serial records
int print_vol_extend(payload_view p);
int print_fwr_serial(payload_view p);

}  // namespace jrn
