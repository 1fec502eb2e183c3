-- The nodes with the most records, per volume set (a node number means a
-- node of one database's volume set): records, bytes, the transactions
-- that touched the node and the first and last time. Records of no node
-- (node 0) are left out. Needs load_tags.sql.
--
--   SET VARIABLE top = 20;   -- rows shown; the default is 10
SELECT volume_set_id,
       node_id,
       max(node) AS node,
       count(*) AS records,
       sum(length) AS bytes,
       count(DISTINCT transaction_id) FILTER (WHERE transaction_id <> 0) AS transactions,
       min(time) AS first_time,
       max(time) AS last_time
FROM records
WHERE node_id <> 0
GROUP BY volume_set_id, node_id
ORDER BY records DESC, volume_set_id, node_id
LIMIT coalesce(getvariable('top'), 10);
