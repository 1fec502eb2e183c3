-- The transactions with the most records, per volume set: records, bytes,
-- the number of nodes they touched (node 0 not counted), their session,
-- first and last time and the seconds between. Records of no transaction
-- (transaction 0) are left out. Needs load_tags.sql.
--
--   SET VARIABLE top = 20;   -- rows shown; the default is 10
SELECT volume_set_id,
       transaction_id,
       count(*) AS records,
       sum(length) AS bytes,
       count(DISTINCT node_id) FILTER (WHERE node_id <> 0) AS nodes,
       max(session_id) AS session_id,
       min(time) AS first_time,
       max(time) AS last_time,
       max("timestamp") - min("timestamp") AS duration_seconds
FROM records
WHERE transaction_id <> 0
GROUP BY volume_set_id, transaction_id
ORDER BY records DESC, volume_set_id, transaction_id
LIMIT coalesce(getvariable('top'), 10);
