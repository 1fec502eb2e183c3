-- Transactions per session, with who signed on: each session of --sessions
-- with the transactions of --txns that began in it (same volume set and
-- session number, first tag within the session's first and last tag),
-- their records and before-images. Needs load_tags.sql and load_txns.sql.
SELECT s.volume_set_id,
       s.session_id,
       array_to_string(s.who, ' ') AS who,
       s.sign_on_at.time AS signed_on,
       s."end",
       s.end_at.time AS ended,
       count(t.transaction_id) AS transactions,
       coalesce(sum(t.records), 0) AS records,
       coalesce(sum(t.before_images), 0) AS before_images
FROM sessions s
LEFT JOIN txns t
  ON t.volume_set_id IS NOT DISTINCT FROM s.volume_set_id
 AND t.session_id = s.session_id
 AND t.first."timestamp" BETWEEN s.first."timestamp" AND s.last."timestamp"
GROUP BY ALL
ORDER BY transactions DESC, s.volume_set_id, s.session_id, signed_on;
