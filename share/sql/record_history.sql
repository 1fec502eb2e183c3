-- Every change of one fixed record with its content before and after, the
-- bytes that changed and the items (fields) they lie in: the changes of
-- record_changes.sql joined with the output of --history for the record.
-- Needs load_tags.sql and load_history.sql.
--
--   SET VARIABLE node_id = 102;
--   SET VARIABLE recno = 71;
--   SET VARIABLE volume_set_id = 24311;   -- optional: one volume set only
SELECT r.volume_set_id, r.file_sequence, r.log, r."offset", r.time,
       r.transaction_id, r.session_id, r.fixrec_op,
       h.before_source, h.before, h.after,
       list_transform(h.items, lambda i: i.name) AS items_changed,
       h.diff
FROM records r
LEFT JOIN record_changes h
  ON h.type = 'record_change' AND h.log = r.log AND h."offset" = r."offset"
 AND h.node_id = r.node_id AND h.recno = r.recno
WHERE r.opcode_code = 13
  AND r.node_id = getvariable('node_id') AND r.recno = getvariable('recno')
  AND (getvariable('volume_set_id') IS NULL OR r.volume_set_id = getvariable('volume_set_id'))
ORDER BY r.volume_set_id, r.file_sequence, r.log, r."offset";
