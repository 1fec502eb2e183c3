// Describers, count checks and page probes of the decoder families, one
// file each.
#pragma once

#include "records/payload.h"

namespace jrn {

struct scan_context;

// The previous location of a changed item (cluster, offset, size), shown
// from -vv on by the FIXREC, BTREE and POOL describers.
void describe_prev_location(scan_context& c, payload_view p, uint32_t at);

// Node records
void describe_node(scan_context& c, payload_view p);
void describe_nodedelete(scan_context& c, payload_view p);
void describe_nodepage(scan_context& c, payload_view p);
void check_nodepage(scan_context& c, payload_view p);
int probe_nodepage(payload_view p, uint32_t page);
void describe_nodecluster(scan_context& c, payload_view p);
int probe_nodecluster(payload_view p, uint32_t page);

// Node-list records
void describe_nodelistpage(scan_context& c, payload_view p);
int probe_nodelistpage(payload_view p, uint32_t page);
void describe_nodelistpagehead(scan_context& c, payload_view p);
int probe_nodelistpagehead(payload_view p, uint32_t page);
void describe_nodelistitem(scan_context& c, payload_view p);
void check_nodelistitem(scan_context& c, payload_view p);
int probe_nodelistitem(payload_view p, uint32_t page);
void describe_nodelistfillitem(scan_context& c, payload_view p);
int probe_nodelistfillitem(payload_view p, uint32_t page);

// Fixed-record records
void describe_fixrec(scan_context& c, payload_view p);
void describe_fixrec_meta(scan_context& c, payload_view p);
void describe_fixrec_newcluster(scan_context& c, payload_view p);

// B-tree records
void describe_btree(scan_context& c, payload_view p);
int probe_btree(payload_view p, uint32_t page);
void describe_btree_fwr(scan_context& c, payload_view p);
void check_btree_fwr(scan_context& c, payload_view p);
int probe_btree_fwr(payload_view p, uint32_t page);

// Pool records
void describe_pool(scan_context& c, payload_view p);
int probe_pool(payload_view p, uint32_t page);
void describe_pool_flist(scan_context& c, payload_view p);
void check_pool_flist(scan_context& c, payload_view p);
int probe_pool_flist(payload_view p, uint32_t page);

// Volume and serial records
void describe_vol_extend(scan_context& c, payload_view p);
void check_vol_extend(scan_context& c, payload_view p);
void describe_fwr_serial(scan_context& c, payload_view p);

}  // namespace jrn
