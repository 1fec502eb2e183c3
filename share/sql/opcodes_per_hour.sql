-- Records per operation per hour (UTC) across every log loaded, with their
-- bytes (tag header included). Needs load_tags.sql.
SELECT date_trunc('hour', time) AS hour,
       opcode_code,
       opcode,
       count(*) AS records,
       sum(length) AS bytes
FROM records
GROUP BY ALL
ORDER BY hour, opcode_code;
