-- Loads the JSON Lines of `jrnscan --json -a` (one file per log file, plain
-- or compressed with gzip or zstd) into typed tables and views.
--
--   SET VARIABLE jrnscan_tags = 'json/tags/*.jsonl*';   -- the default
--   .read load_tags.sql
--
-- Each column is a key of the JSON objects "header" and "tag", typed from
-- the range that jrnscan.schema.json gives it: node numbers, record numbers,
-- sequence numbers and 32-bit fields UINTEGER, offsets and lengths BIGINT,
-- "time" TIMESTAMP (UTC). Raw bytes (data, image, item: lowercase hex, from
-- -v on) stay VARCHAR; unhex() makes them BLOBs.
--
-- Tables and views:
--   jrn_lines      every line read, header and tag keys side by side
--   logs           one row per log (its header); a file may hold several
--   tags           one row per tag, with the volume set id, generation and
--                  file sequence of the log it is in
--   records        the REC tags read whole (the records --stats counts)
--   before_images  the BEFORE_IMAGE tags read whole
--   page_refs      each page that a record or a CLUSTER image names, once
--                  per record (the pages that --stats counts as written)
--   sign_ons       the SIGN_ON audit tags, with their entries as "who"
--
-- A tag that the input ends in has a null "length" and the fields read
-- before the end; a tag letter of no kind has a null "tag". Both stay in
-- "tags" and are left out of the views, as --stats leaves them out.

CREATE OR REPLACE TABLE jrn_lines AS
SELECT * FROM read_json(
  coalesce(getvariable('jrnscan_tags'), 'json/tags/*.jsonl*'),
  format = 'newline_delimited',
  columns = {
    -- both objects
    'type': 'VARCHAR',
    'log': 'VARCHAR',
    'offset': 'BIGINT',
    -- header
    'signature': 'VARCHAR',
    'version': 'VARCHAR',
    'major': 'INTEGER',
    'minor': 'INTEGER',
    'audit_only': 'BOOLEAN',
    'byte_order': 'USMALLINT',
    'charset': 'VARCHAR',
    'charset_code': 'USMALLINT',
    'release': 'UINTEGER',
    'volume_set_id': 'UINTEGER',
    'volume_generation': 'UINTEGER',
    'file_sequence': 'INTEGER',
    'header_bytes': 'BIGINT',
    'schema_version': 'VARCHAR',
    -- tag
    'sequence': 'UINTEGER',
    'timestamp': 'UINTEGER',
    'time': 'TIMESTAMP',
    'tag': 'VARCHAR',
    'tag_code': 'UTINYINT',
    'malformed': 'VARCHAR',
    'length': 'BIGINT',
    -- REC and BEFORE_IMAGE
    'opcode': 'VARCHAR',
    'opcode_code': 'UINTEGER',
    'transaction_id': 'UINTEGER',
    'session_id': 'UINTEGER',
    'txn_state': 'VARCHAR',
    'txn_state_code': 'UINTEGER',
    'node_id': 'UINTEGER',
    'node': 'VARCHAR',
    'size': 'UINTEGER',
    'data': 'VARCHAR',
    -- FIXREC and its kin
    'prev_cluster': 'UINTEGER',
    'prev_offset': 'UINTEGER',
    'prev_size': 'UINTEGER',
    'recno': 'UINTEGER',
    'start_page': 'BIGINT',
    'fixrec_op': 'VARCHAR',
    'fixrec_op_code': 'UINTEGER',
    'data_size': 'UINTEGER',
    'range_offset': 'UINTEGER',
    'range_length': 'UINTEGER',
    'meta_timestamp': 'UINTEGER',
    'flist_head_page': 'UINTEGER',
    'flist_head_item': 'UINTEGER',
    'first_recno': 'UINTEGER',
    'last_recno': 'UINTEGER',
    'new_recno': 'UINTEGER',
    'num_records': 'UINTEGER',
    'serial': 'UINTEGER',
    'target_node_id': 'UINTEGER',
    -- node pages, clusters and lists
    'pages': 'STRUCT("page" UINTEGER, "state" VARCHAR, "state_code" UINTEGER, "logpage_key" UINTEGER)[]',
    'page': 'UINTEGER',
    'state': 'VARCHAR',
    'state_code': 'UINTEGER',
    'logpage_key': 'UINTEGER',
    'cluster': 'UINTEGER',
    'count': 'BIGINT',
    'list_type': 'VARCHAR',
    'list_type_code': 'UINTEGER',
    'list_timestamp': 'UINTEGER',
    'action': 'VARCHAR',
    'action_code': 'UINTEGER',
    'list_id': 'VARCHAR',
    'list_id_code': 'UINTEGER',
    'prev_page': 'UINTEGER',
    'prev_timestamp': 'UINTEGER',
    'next_page': 'UINTEGER',
    'next_timestamp': 'UINTEGER',
    'first_page': 'UINTEGER',
    'last_page': 'UINTEGER',
    'num_pages': 'UINTEGER',
    'first_item': 'UINTEGER',
    'last_item': 'UINTEGER',
    'num_items': 'UINTEGER',
    'item_offset': 'UINTEGER',
    'item_size': 'UINTEGER',
    'item': 'VARCHAR',
    'start_idx': 'UINTEGER',
    'start_id': 'UINTEGER',
    'value': 'UINTEGER',
    -- B-trees, pools, volumes, serials
    'op': 'VARCHAR',
    'op_code': 'UINTEGER',
    'o_pgno': 'UINTEGER',
    'r_pgno': 'UINTEGER',
    'pgno': 'UINTEGER',
    'arg': 'UINTEGER',
    'item_cluster': 'UINTEGER',
    'item_minsize': 'UINTEGER',
    'item_maxsize': 'UINTEGER',
    'volume_id': 'UINTEGER',
    'curr_size': 'UINTEGER',
    'ext_count': 'UINTEGER',
    'free_count': 'UINTEGER',
    'free_entries': 'UINTEGER[]',
    'generation': 'UINTEGER',
    'serial_sequence': 'UINTEGER',
    -- SLAVE_SYNC
    'vol_generation': 'UINTEGER',
    'log_generation': 'UINTEGER',
    'log_sequence': 'UINTEGER',
    'tag_sequence': 'UINTEGER',
    -- PAGE, CLUSTER, NODEMETA
    'key': 'UINTEGER',
    'image': 'VARCHAR',
    'images': 'STRUCT("image" VARCHAR)[]',
    'meta_size': 'UINTEGER',
    -- AUDIT
    'audit_type': 'VARCHAR',
    'audit_type_code': 'UINTEGER',
    'mode': 'INTEGER',
    'entries': 'STRUCT("data" VARCHAR, "index" INTEGER, "node_id" UINTEGER, "node" VARCHAR, "mode" INTEGER)[]',
    'index': 'INTEGER',
    -- CONTEXT
    'context_type': 'VARCHAR',
    'context_type_code': 'UINTEGER',
    'name': 'VARCHAR',
    'db_node': 'UINTEGER',
    'set_node': 'UINTEGER',
    'items': 'STRUCT("index" INTEGER, "name" VARCHAR, "type" VARCHAR, "count" BIGINT, "size" UINTEGER, "fmt" UINTEGER)[]',
    'fmt': 'UINTEGER'
  });

CREATE OR REPLACE TABLE logs AS
SELECT log, "offset", signature, version, major, minor, audit_only, byte_order, charset,
       charset_code, release, volume_set_id, volume_generation, file_sequence, header_bytes,
       schema_version
FROM jrn_lines
WHERE type = 'header';

-- Each tag gets the header of its log: the last header of the same input at
-- or before the tag's offset.
CREATE OR REPLACE TABLE tags AS
SELECT h.volume_set_id, h.volume_generation, h.file_sequence,
       t.* EXCLUDE (type, signature, version, major, minor, audit_only, byte_order, charset,
                    charset_code, release, volume_set_id, volume_generation, file_sequence,
                    header_bytes, schema_version)
FROM (SELECT * FROM jrn_lines WHERE type = 'tag') t
ASOF LEFT JOIN logs h ON t.log = h.log AND t."offset" >= h."offset";

CREATE OR REPLACE VIEW records AS
SELECT * EXCLUDE (tag, tag_code, key, image, images, meta_size, audit_type, audit_type_code,
                  mode, entries, index, context_type, context_type_code, name, db_node,
                  set_node, items, fmt, vol_generation, log_generation, log_sequence,
                  tag_sequence)
FROM tags
WHERE tag = 'REC' AND length IS NOT NULL;

CREATE OR REPLACE VIEW before_images AS
SELECT volume_set_id, volume_generation, file_sequence, log, "offset", sequence, "timestamp",
       time, transaction_id, session_id, node_id, node, recno, fixrec_op, fixrec_op_code,
       data_size, data, malformed, length
FROM tags
WHERE tag = 'BEFORE_IMAGE' AND length IS NOT NULL;

-- The pages a record names: a NODEPAGE's pages and log page keys, the
-- first page of a NODECLUSTER's run (when the run is not empty), a list
-- page and its neighbours, a B-tree's old and new page, a pool's page, a
-- free list page and a new one's neighbours, a B-tree fixed record's page;
-- page 0 never, a page named twice by one record once. A CLUSTER names the
-- page of each of its images, from its start page on (modulo 2^32).
CREATE OR REPLACE VIEW page_refs AS
WITH named AS (
  SELECT volume_set_id, log, "offset", sequence, "timestamp", time, node_id, node, opcode,
         opcode_code,
         unnest(CASE
           WHEN opcode_code = 6 THEN flatten(list_transform(pages, lambda p: [p.page, p.logpage_key]))
           WHEN opcode_code = 7
             AND ((cluster + count) % 4294967296 + 4294967296) % 4294967296 > cluster
             THEN [cluster]
           WHEN opcode_code IN (8, 23) THEN [page, prev_page, next_page]
           WHEN opcode_code IN (9, 10, 11, 12) THEN [page]
           WHEN opcode_code = 16 THEN [o_pgno, r_pgno]
           WHEN opcode_code = 18 THEN [r_pgno]
           WHEN opcode_code = 26 THEN [pgno]
         END) AS page
  FROM records
)
SELECT DISTINCT * FROM named WHERE page IS NOT NULL AND page <> 0
UNION ALL
SELECT volume_set_id, log, "offset", sequence, "timestamp", time, node_id, NULL, 'CLUSTER', NULL,
       CAST(((start_page + i) % 4294967296 + 4294967296) % 4294967296 AS UINTEGER)
FROM tags, range(len(images)) r(i)
WHERE tag = 'CLUSTER' AND length IS NOT NULL;

CREATE OR REPLACE VIEW sign_ons AS
SELECT volume_set_id, log, "offset", sequence, time, session_id,
       list_transform(entries, lambda e: e.data) AS who
FROM tags
WHERE tag = 'AUDIT' AND audit_type = 'SIGN_ON' AND length IS NOT NULL;
