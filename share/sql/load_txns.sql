-- Loads the JSON Lines of `jrnscan --txns --json` and `jrnscan --sessions
-- --json` (one file per series, read whole: a transaction or a session may
-- span the logs of a series) into typed tables. Run load_tags.sql first:
-- each row gets the volume set id of the log its first tag is in.
--
--   SET VARIABLE jrnscan_txns = 'json/txns/*.jsonl*';          -- the default
--   SET VARIABLE jrnscan_sessions = 'json/sessions/*.jsonl*';  -- the default
--   .read load_txns.sql
--
-- Columns are the keys of the objects "txn" and "session", typed from
-- jrnscan.schema.json; "first", "last", "sign_on_at" and "end_at" are
-- structs of the tag's log, sequence, offset, timestamp and time. The
-- closing "txns_total" and "sessions_total" lines are left out.

CREATE OR REPLACE TABLE txns AS
SELECT h.volume_set_id, t.* EXCLUDE (type)
FROM read_json(
  coalesce(getvariable('jrnscan_txns'), 'json/txns/*.jsonl*'),
  format = 'newline_delimited',
  columns = {
    'type': 'VARCHAR',
    'transaction_id': 'UINTEGER',
    'session_id': 'UINTEGER',
    'end': 'VARCHAR',
    'begun_again_sequence': 'UINTEGER',
    'begin_seen': 'BOOLEAN',
    'first': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'last': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'duration_seconds': 'BIGINT',
    'records': 'UBIGINT',
    'operations': 'STRUCT("code" UTINYINT, "name" VARCHAR, "records" UBIGINT)[]',
    'other_operation_records': 'UBIGINT',
    'nodes': 'STRUCT("node_id" UINTEGER, "name" VARCHAR, "records" UBIGINT)[]',
    'node_count': 'UBIGINT',
    'nodes_exact': 'BOOLEAN',
    'other_node_records': 'UBIGINT',
    'records_without_node': 'UBIGINT',
    'before_images': 'UBIGINT',
    'who': 'VARCHAR[]',
    'who_complete': 'BOOLEAN',
    'sign_on': 'VARCHAR'
  }) t
ASOF LEFT JOIN logs h ON t.first.log = h.log AND t.first."offset" >= h."offset"
WHERE t.type = 'txn';

CREATE OR REPLACE TABLE sessions AS
SELECT h.volume_set_id, s.* EXCLUDE (type)
FROM read_json(
  coalesce(getvariable('jrnscan_sessions'), 'json/sessions/*.jsonl*'),
  format = 'newline_delimited',
  columns = {
    'type': 'VARCHAR',
    'session_id': 'UINTEGER',
    'who': 'VARCHAR[]',
    'who_complete': 'BOOLEAN',
    'sign_on': 'VARCHAR',
    'sign_on_at': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'end': 'VARCHAR',
    'end_at': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'first': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'last': 'STRUCT("log" VARCHAR, "sequence" UINTEGER, "offset" BIGINT, "timestamp" UINTEGER, "time" TIMESTAMP)',
    'transactions': 'UBIGINT',
    'records': 'UBIGINT',
    'memos': 'UBIGINT',
    'damaged_audit_bodies': 'UBIGINT',
    'databases': 'STRUCT("node_id" UINTEGER, "name" VARCHAR, "mode" INTEGER, "list" VARCHAR)[]',
    'databases_left_out': 'UBIGINT',
    'memo_texts': 'STRUCT("mode" INTEGER, "size" USMALLINT, "text" VARCHAR)[]'
  }) s
ASOF LEFT JOIN logs h ON s.first.log = h.log AND s.first."offset" >= h."offset"
WHERE s.type = 'session';
