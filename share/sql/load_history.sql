-- Loads the JSON Lines of `jrnscan --history=NODE:RECNO --json` (one file
-- per series, read whole: a record's content is followed across the logs
-- of a series) into a typed table. Run load_tags.sql first: each row gets
-- the volume set id of the log it is in.
--
--   SET VARIABLE jrnscan_history = 'json/history/*.jsonl*';   -- the default
--   .read load_history.sql
--
-- record_changes holds the objects "record_change" (a change with the
-- record's content before and after it, as lowercase hex) and
-- "record_gap" (where the content could no longer be followed), told
-- apart by "type"; columns typed from jrnscan.schema.json.

CREATE OR REPLACE TABLE record_changes AS
SELECT h.volume_set_id, c.*
FROM read_json(
  coalesce(getvariable('jrnscan_history'), 'json/history/*.jsonl*'),
  format = 'newline_delimited',
  columns = {
    'type': 'VARCHAR',
    'log': 'VARCHAR',
    'node_id': 'UINTEGER',
    'node': 'VARCHAR',
    'recno': 'UINTEGER',
    'sequence': 'UINTEGER',
    'timestamp': 'UINTEGER',
    'time': 'TIMESTAMP',
    'offset': 'BIGINT',
    'transaction_id': 'UINTEGER',
    'session_id': 'UINTEGER',
    'fixrec_op': 'VARCHAR',
    'fixrec_op_code': 'UTINYINT',
    'before': 'VARCHAR',
    'before_known': 'BOOLEAN',
    'before_source': 'VARCHAR',
    'after': 'VARCHAR',
    'after_known': 'BOOLEAN',
    'diff': 'STRUCT("offset" USMALLINT, "old" VARCHAR, "new" VARCHAR)[]',
    'items': 'STRUCT("name" VARCHAR, "type" VARCHAR, "offset" USMALLINT, "size" UINTEGER, "old" VARCHAR, "new" VARCHAR, "old_text" VARCHAR, "new_text" VARCHAR)[]',
    'reason': 'VARCHAR',
    'note': 'VARCHAR'
  }) c
ASOF LEFT JOIN logs h ON c.log = h.log AND c."offset" >= h."offset"
WHERE c.type IN ('record_change', 'record_gap');
