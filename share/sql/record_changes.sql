-- Every change of one fixed record across all the logs loaded, in the
-- order of the logs: the FIXREC records of the record and its
-- before-images, with their transaction and session. Needs load_tags.sql.
--
--   SET VARIABLE node_id = 102;
--   SET VARIABLE recno = 71;
--   SET VARIABLE volume_set_id = 24311;   -- optional: one volume set only
SELECT volume_set_id, file_sequence, log, "offset", sequence, time,
       'change' AS kind, transaction_id, session_id, node_id, node, recno,
       fixrec_op, data_size, range_offset, range_length
FROM records
WHERE opcode_code = 13
  AND node_id = getvariable('node_id') AND recno = getvariable('recno')
  AND (getvariable('volume_set_id') IS NULL OR volume_set_id = getvariable('volume_set_id'))
UNION ALL
SELECT volume_set_id, file_sequence, log, "offset", sequence, time,
       'before_image', transaction_id, session_id, node_id, node, recno,
       fixrec_op, data_size, NULL, NULL
FROM before_images
WHERE node_id = getvariable('node_id') AND recno = getvariable('recno')
  AND (getvariable('volume_set_id') IS NULL OR volume_set_id = getvariable('volume_set_id'))
ORDER BY volume_set_id, file_sequence, log, "offset";
