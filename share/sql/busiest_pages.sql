-- The pages written most, per volume set and node: how many records and
-- CLUSTER images named each page (see page_refs in load_tags.sql).
--
--   SET VARIABLE top = 20;   -- rows shown; the default is 10
SELECT volume_set_id,
       node_id,
       max(node) AS node,
       page,
       count(*) AS namings,
       min(time) AS first_time,
       max(time) AS last_time
FROM page_refs
GROUP BY volume_set_id, node_id, page
ORDER BY namings DESC, volume_set_id, node_id, page
LIMIT coalesce(getvariable('top'), 10);
