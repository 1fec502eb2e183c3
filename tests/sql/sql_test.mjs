// The SQL recipes of share/sql on a real engine (DuckDB, from npm's
// @duckdb/node-api, installed by tools/install-deps.sh test), against
// jrnscan's own summaries of the same logs.
//
//   node sql_test.mjs JRNSCAN FWGEN SCHEMA SQL_DIR DUCKDB_DIR [--show]
//
// Generates four volume sets (two of several logs, one with a malformed
// item, odd cluster runs and logs cut inside tags, the other with a tag
// letter of no kind; a compressed stream of two logs; a 1.00 log), writes
// jrnscan --json -a of each log file into a directory of .jsonl files (some
// compressed), and --txns, --sessions and --history of each volume set. Loads them with the load_*.sql recipes, whose
// columns must be the keys of the schema's objects with the types their
// ranges give, and must hold every key of every line. Then runs every query
// recipe, each checked against --stats --json (per operation, per hour, per
// node, per transaction, per page), --history and --sessions: the counts
// must agree exactly. Says how long DuckDB took; --show prints each answer.
import { execFileSync, spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

const [jrnscan, fwgen, schemaPath, sqlDir, duckdbDir] = process.argv.slice(2, 7).map((a) => a && path.resolve(a));
const show = process.argv.includes('--show');
if (!duckdbDir) {
  console.error('usage: sql_test.mjs JRNSCAN FWGEN SCHEMA SQL_DIR DUCKDB_DIR [--show]');
  process.exit(2);
}

let duckdb;
try {
  duckdb = createRequire(path.join(path.resolve(duckdbDir), 'package.json'))('@duckdb/node-api');
} catch (e) {
  console.error(`sql_test: @duckdb/node-api is not in ${duckdbDir}/node_modules (${e.message});` +
                ' "bash tools/install-deps.sh test" installs it');
  process.exit(1);
}

const failures = [];
let checks = 0;
function check(ok, what) {
  ++checks;
  if (!ok) failures.push(what);
  return ok;
}
// For lists, the message shows the first row that differs.
function same(got, want, what) {
  const text = (x) => JSON.stringify(x);
  if (text(got) === text(want)) return check(true, what);
  if (Array.isArray(got) && Array.isArray(want)) {
    let i = 0;
    while (i < got.length && i < want.length && text(got[i]) === text(want[i])) ++i;
    return check(false, `${what}: ${got.length} rows, want ${want.length}; row ${i}: got ` +
                        `${text(got[i])}, want ${text(want[i])}`);
  }
  return check(false, `${what}: got ${text(got)}, want ${text(want)}`);
}

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'jrnscan-sql-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));
// A damaged log makes jrnscan exit with 1; in a sanitizer build a report
// exits with 86 instead, and its text on standard error fails the run too.
const sanitizer = (name) => [process.env[name], 'exitcode=86'].filter((o) => o).join(':');
const env = { ...process.env, TZ: 'UTC', ASAN_OPTIONS: sanitizer('ASAN_OPTIONS'),
              UBSAN_OPTIONS: sanitizer('UBSAN_OPTIONS') };
function sanitizerReport(bin, args, stderr) {
  if (/Sanitizer|runtime error:/.test(stderr))
    throw new Error(`${path.basename(bin)} ${args.join(' ')}: ${stderr.slice(0, 2000)}`);
}

function run(bin, args, okStatus = [0]) {
  let out;
  try {
    out = execFileSync(bin, args, { cwd: tmp, env, maxBuffer: 1 << 30, stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (e) {
    if (e.status === null || !okStatus.includes(e.status))
      throw new Error(`${path.basename(bin)} ${args.join(' ')}: ${e.message}`);
    sanitizerReport(bin, args, e.stderr.toString());
    return e.stdout.toString();
  }
  return out.toString();
}
const jsonLines = (text) => text.split('\n').filter((l) => l).map((l) => JSON.parse(l));

// ----------------------------------------------------------------- the logs

// Volume sets (fwgen's volume set id is 24300 + the seed); the logs of each
// in file sequence order, as paths relative to tmp.
const sets = [
  { name: 'a', seed: 11, args: ['--tags', '12000', '--logs', '4', '--series', 'logs/a'] },
  { name: 'b', seed: 12, args: ['--tags', '4000', '--logs', '3', '--series', 'logs/b'] },
  { name: 'c', seed: 13, args: ['--tags', '1500', '--logs', '2', '--compress', 'zstd', '-o', 'logs/c.fwlog.zst'] },
  { name: 'd', seed: 14, args: ['--tags', '400', '--version', '1.00', '-o', 'logs/d.fwlog'] },
];
fs.mkdirSync(path.join(tmp, 'logs'));
for (const s of sets) {
  run(fwgen, ['--seed', String(s.seed), '--map', `logs/${s.name}.map`, ...s.args]);
  s.id = 24300 + s.seed;
  const dir = path.join(tmp, 'logs', s.name);
  s.logs = fs.existsSync(dir)
    ? fs.readdirSync(dir).sort().map((f) => `logs/${s.name}/${f}`)
    : [s.args[s.args.length - 1]];
}

// Damage. b's second log: a NODEPAGE whose count breaks the 64 entries (a
// malformed item), a NODECLUSTER of an empty run and one whose run goes
// round past page 2^32 - 1, and the input ends inside the image of its
// last PAGE; b's third log ends inside the second image of a CLUSTER; a's last log
// gets a tag letter of no kind halfway.
const tagsOf = (log) => jsonLines(run(jrnscan, ['--json', '-a', log], [0, 1])).filter((t) => t.type === 'tag');
function damage(log, change) {
  const file = path.join(tmp, log);
  fs.writeFileSync(file, change(fs.readFileSync(file), tagsOf(log)));
}
const payload = 9 + 16;  // tag header, record header
damage(sets[1].logs[1], (data, tags) => {
  data.writeUInt32LE(1000, tags.find((t) => t.opcode === 'NODEPAGE').offset + payload);
  const clusters = tags.filter((t) => t.opcode === 'NODECLUSTER');
  data.writeInt16LE(0, clusters[0].offset + payload + 4);
  data.writeUInt32LE(2, clusters[1].offset + payload);
  data.writeInt16LE(-5, clusters[1].offset + payload + 4);
  return data.subarray(0, tags.filter((t) => t.tag === 'PAGE').pop().offset + 9 + 100);
});
damage(sets[1].logs[2], (data, tags) => data.subarray(0, tags.find((t) => t.tag === 'CLUSTER').offset + 9 + 12 + 8192 + 100));
damage(sets[0].logs[3], (data, tags) => {
  data[tags[tags.length >> 1].offset] = 'Z'.charCodeAt(0);
  return data;
});
const allLogs = sets.flatMap((s) => s.logs);

// ------------------------------------------------- jrnscan --json per log

for (const d of ['tags', 'txns', 'sessions', 'history']) fs.mkdirSync(path.join(tmp, 'json', d), { recursive: true });

// jrnscan --json -a of each log file, two at a time; a's compressed with
// gzip, c's with zstd (as its log is), the others plain.
async function jsonPerLog() {
  const jobs = sets.flatMap((s) => s.logs.map((log) => ({ s, log })));
  const one = ({ s, log }) => new Promise((resolve, reject) => {
    const base = path.basename(log).replace(/\.fwlog.*/, '');
    const out = path.join(tmp, 'json', 'tags', `${s.name}-${base}.jsonl`);
    const child = spawn(jrnscan, ['--json', '-a', '-M', `logs/${s.name}.map`, log], { cwd: tmp, env });
    const chunks = [];
    let stderr = '';
    child.stdout.on('data', (c) => chunks.push(c));
    child.stderr.on('data', (c) => { stderr += c; });
    child.on('error', reject);
    child.on('close', (status) => {
      if (status !== 0 && status !== 1) return reject(new Error(`jrnscan --json -a ${log}: status ${status}: ${stderr}`));
      try {
        sanitizerReport(jrnscan, ['--json', '-a', log], stderr);
      } catch (e) {
        return reject(e);
      }
      const text = Buffer.concat(chunks);
      if (s.name === 'a') fs.writeFileSync(out + '.gz', zlib.gzipSync(text));
      else if (s.name === 'c') fs.writeFileSync(out + '.zst', execFileSync('zstd', ['-q', '-c'], { input: text }));
      else fs.writeFileSync(out, text);
      resolve();
    });
  });
  const queue = jobs.slice();
  await Promise.all([0, 1].map(async () => { while (queue.length) await one(queue.shift()); }));
}
await jsonPerLog();

for (const s of sets) {
  const map = ['-M', `logs/${s.name}.map`];
  fs.writeFileSync(path.join(tmp, 'json', 'txns', `${s.name}.jsonl`), run(jrnscan, ['--txns', '--json', ...map, ...s.logs], [0, 1]));
  fs.writeFileSync(path.join(tmp, 'json', 'sessions', `${s.name}.jsonl`), run(jrnscan, ['--sessions', '--json', ...map, ...s.logs], [0, 1]));
}

// What jrnscan says: --stats of each volume set and of all logs.
const total = (doc) => doc.total ?? doc.logs[0];
const stats = (args, logs) => total(JSON.parse(run(jrnscan, ['--stats', '--json', '-a', '--top', '100000', ...args, ...logs], [0, 1])));
for (const s of sets) s.stats = stats(['-M', `logs/${s.name}.map`], s.logs);
const allStats = stats([], allLogs);

// ------------------------------------------------------------------ DuckDB

// The time spent in DuckDB, statements counted.
let engineTime = 0n;
let statementsRun = 0;
const started = process.hrtime.bigint();
const instance = await duckdb.DuckDBInstance.create(':memory:');
const con = await instance.connect();
engineTime += process.hrtime.bigint() - started;

async function sql(text) {
  const start = process.hrtime.bigint();
  const statements = await con.extractStatements(text);
  let reader;
  for (let i = 0; i < statements.count; ++i) reader = await (await statements.prepare(i)).runAndReadAll();
  statementsRun += statements.count;
  engineTime += process.hrtime.bigint() - start;
  return reader;
}
async function rows(text) {
  return (await sql(text)).getRowObjectsJson();
}
const recipe = (name) => fs.readFileSync(path.join(sqlDir, name), 'utf8');
async function setVariables(vars) {
  for (const [k, v] of Object.entries(vars))
    await sql(`SET VARIABLE ${k} = ${v === null ? 'NULL' : typeof v === 'string' ? `'${v}'` : v}`);
}

// Every recipe is run and checked: a file without a check fails the test.
const recipes = fs.readdirSync(sqlDir).filter((f) => f.endsWith('.sql')).sort();
const answered = new Set();
async function query(name, vars = {}) {
  await setVariables({ top: null, node_id: null, recno: null, volume_set_id: null, ...vars });
  answered.add(name);
  let reader;
  try {
    reader = await sql(recipe(name));
  } catch (e) {
    throw new Error(`${name} ${JSON.stringify(vars)}: ${e.message}`);
  }
  const result = reader.getRowObjectsJson();
  if (show) printTable(name, vars, reader.columnNames(), result);
  return result;
}
function printTable(name, vars, names, result) {
  const cell = (v) => (v === null ? 'NULL' : typeof v === 'object' ? JSON.stringify(v) : String(v));
  const body = result.map((r) => names.map((n) => cell(r[n])));
  const width = names.map((n, i) => Math.max(n.length, ...body.map((r) => Math.min(r[i].length, 60))));
  const line = (cells) => cells.map((c, i) => (c.length > 60 ? c.slice(0, 57) + '...' : c).padEnd(width[i])).join('  ').trimEnd();
  console.log(`-- ${name} ${JSON.stringify(vars)}: ${result.length} rows`);
  console.log(line(names));
  for (const r of body.slice(0, 12)) console.log(line(r));
  console.log();
}

// Loading: the damaged logs too, with no error.
const tagsGlob = path.join(tmp, 'json', 'tags', '*.jsonl*');
await setVariables({
  jrnscan_tags: tagsGlob,
  jrnscan_txns: path.join(tmp, 'json', 'txns', '*.jsonl*'),
  jrnscan_sessions: path.join(tmp, 'json', 'sessions', '*.jsonl*'),
});
const loadStart = engineTime;
await sql(recipe('load_tags.sql'));
answered.add('load_tags.sql');
await sql(recipe('load_txns.sql'));
answered.add('load_txns.sql');
const loadTime = engineTime - loadStart;

// ------------------------------------------------------------ the columns

// The DuckDB type of a schema property: the narrowest integer type that
// holds its range, TIMESTAMP for the times, structs and lists as nested.
const schema = JSON.parse(fs.readFileSync(schemaPath, 'utf8')).$defs;
function integerType(p) {
  const types = [['UTINYINT', 0, 255], ['TINYINT', -128, 127], ['USMALLINT', 0, 65535],
    ['SMALLINT', -32768, 32767], ['UINTEGER', 0, 2 ** 32 - 1], ['INTEGER', -(2 ** 31), 2 ** 31 - 1],
    ['BIGINT', -(2 ** 63), 2 ** 63 - 1], ['UBIGINT', 0, 2 ** 64 - 1]];
  return types.find(([, lo, hi]) => p.minimum >= lo && p.maximum <= hi)[0];
}
function duckType(p) {
  if (p.$ref) return null;  // a list item of several kinds: checked field by field
  let type = p.type;
  if (Array.isArray(type)) type = type.find((t) => t !== 'null');
  if (p.const !== undefined || p.enum || p.anyOf) return 'VARCHAR';
  switch (type) {
    case 'string': return /T\[0-9\]\{2\}:/.test(p.pattern ?? '') ? 'TIMESTAMP' : 'VARCHAR';
    case 'boolean': return 'BOOLEAN';
    case 'integer': return integerType(p);
    case 'array': {
      const inner = duckType(p.items);
      return inner === null ? null : inner + '[]';
    }
    case 'object':
      return 'STRUCT(' + Object.entries(p.properties).map(([k, v]) => `"${k}" ${duckType(v)}`).join(', ') + ')';
  }
  throw new Error(`no DuckDB type for ${JSON.stringify(p)}`);
}
// DuckDB's STRUCT(...)[] of a list of tag_list_item: each field one of the
// item's keys, with its type.
function structFields(type) {
  const m = /^STRUCT\((.*)\)\[\]$/.exec(type);
  if (!m) return null;
  return [...m[1].matchAll(/"?([a-z_]+)"? ([A-Z]+(?:\[\])?)(?:, |$)/g)].map((f) => [f[1], f[2]]);
}
async function checkColumns(table, kinds, extra = [], omitted = []) {
  const described = await rows(`DESCRIBE ${table}`);
  const got = Object.fromEntries(described.map((r) => [r.column_name, r.column_type]));
  const want = {};
  for (const k of kinds) for (const [key, p] of Object.entries(schema[k].properties)) want[key] ??= p;
  for (const [key, p] of Object.entries(want)) {
    if (omitted.includes(key)) continue;
    if (!check(key in got, `${table}: no column for the key ${key} of ${kinds.join('/')}`)) continue;
    const type = duckType(p);
    if (type !== null) {
      same(got[key].replaceAll('"', ''), type.replaceAll('"', ''), `${table}.${key}`);
      continue;
    }
    const fields = structFields(got[key]);
    if (!check(fields !== null, `${table}.${key}: ${got[key]} is no list of structs`)) continue;
    const item = schema[p.items.$ref.split('/').pop()].properties;
    for (const [f, t] of fields)
      if (check(f in item, `${table}.${key}: the field ${f} is no key of its items`))
        same(t, duckType(item[f]), `${table}.${key}.${f}`);
  }
  for (const key of Object.keys(got))
    check(key in want || extra.includes(key), `${table}: the column ${key} is no key of ${kinds.join('/')}`);
  return got;
}
const lineColumns = await checkColumns('jrn_lines', ['header', 'tag']);
await checkColumns('txns', ['txn'], ['volume_set_id'], ['type']);
await checkColumns('sessions', ['session'], ['volume_set_id'], ['type']);

// Every key of every line has its column, and every key of a list's items
// its field: nothing is dropped on the way in.
{
  const files = fs.readdirSync(path.join(tmp, 'json', 'tags'));
  const missing = new Set();
  let lines = 0;
  for (const f of files) {
    let data = fs.readFileSync(path.join(tmp, 'json', 'tags', f));
    if (f.endsWith('.gz')) data = zlib.gunzipSync(data);
    if (f.endsWith('.zst')) data = execFileSync('zstd', ['-q', '-d', '-c'], { input: data });
    for (const line of jsonLines(data.toString())) {
      ++lines;
      for (const [k, v] of Object.entries(line)) {
        if (!(k in lineColumns)) missing.add(k);
        else if (Array.isArray(v) && v.length && typeof v[0] === 'object') {
          const fields = (structFields(lineColumns[k]) ?? []).map(([n]) => n);
          for (const item of v) for (const ik of Object.keys(item)) if (!fields.includes(ik)) missing.add(`${k}.${ik}`);
        }
      }
    }
  }
  check(missing.size === 0, `keys of the JSON lines with no column: ${[...missing].join(', ')}`);
  const [n] = await rows('SELECT count(*) AS n FROM jrn_lines');
  same(Number(n.n), lines, 'lines loaded');
}

// The damage came through as it should: the malformed item, the two tags
// cut short (null length), the tag letter of no kind (null tag).
{
  const d = await rows(`SELECT volume_set_id, file_sequence, coalesce(opcode, tag) AS what,
      malformed IS NOT NULL AS malformed, length IS NULL AS cut
    FROM tags WHERE malformed IS NOT NULL OR length IS NULL OR tag IS NULL
    ORDER BY volume_set_id, file_sequence, "offset"`);
  same(d.map((r) => [r.volume_set_id, r.file_sequence, r.what, r.malformed, r.cut]),
       [[sets[0].id, 4, null, false, false], [sets[1].id, 2, 'NODEPAGE', true, false],
        [sets[1].id, 2, 'PAGE', false, true], [sets[1].id, 3, 'CLUSTER', false, true]],
       'the damaged tags');
}

// ------------------------------------------------------------ the answers

// A TIMESTAMP as DuckDB's JSON gives it, in seconds since 1970.
const epoch = (t) => Date.parse(t.replace(' ', 'T') + 'Z') / 1000;

// Records per operation per hour: summed over the hours, jrnscan's count
// and bytes per operation over all logs; each hour's, those of --stats -t
// of that hour.
{
  const result = await query('opcodes_per_hour.sql');
  const perOpcode = new Map();
  const perHour = new Map();
  for (const r of result) {
    const o = perOpcode.get(r.opcode_code) ?? { count: 0, bytes: 0, name: r.opcode };
    o.count += Number(r.records);
    o.bytes += Number(r.bytes);
    perOpcode.set(r.opcode_code, o);
    const h = perHour.get(r.hour) ?? {};
    h[r.opcode_code] = Number(r.records);
    perHour.set(r.hour, h);
  }
  same([...perOpcode].map(([code, o]) => [code, o.name, o.count, o.bytes]).sort((x, y) => x[0] - y[0]),
       allStats.opcodes.map((o) => [o.code, o.name, o.count, o.bytes]), 'records and bytes per operation');
  check(perHour.size >= 4, `only ${perHour.size} hours`);
  for (const [hour, counts] of perHour) {
    const from = epoch(hour);
    const s = stats(['-t', `${from}:${from + 3599}`], allLogs);
    same(counts, Object.fromEntries(s.opcodes.map((o) => [o.code, o.count])), `records per operation in the hour ${hour}`);
  }
}

// The busiest nodes, transactions and pages of each volume set: every one
// of them, as --stats counts them exactly with --top 100000.
{
  const nodes = await query('busiest_nodes.sql', { top: 100000 });
  const txns = await query('busiest_transactions.sql', { top: 100000 });
  const pages = await query('busiest_pages.sql', { top: 100000 });
  for (const [what, result, key] of [['records', nodes, 'records'], ['records', txns, 'records'], ['namings', pages, 'namings']]) {
    const counts = result.map((r) => Number(r[key]));
    check(counts.every((c, i) => i === 0 || counts[i - 1] >= c), `${what} not in falling order`);
  }
  for (const s of sets) {
    const st = s.stats;
    check(st.top_nodes_exact && st.top_transactions_exact && st.top_pages_exact, `${s.name}: --stats not exact`);
    same(nodes.filter((r) => r.volume_set_id === s.id).map((r) => [r.node_id, r.node, Number(r.records), Number(r.bytes)]).sort((x, y) => x[0] - y[0]),
         st.top_nodes.map((n) => [n.node_id, n.name, n.records, n.bytes]).sort((x, y) => x[0] - y[0]),
         `${s.name}: records and bytes per node`);
    same(txns.filter((r) => r.volume_set_id === s.id)
           .map((r) => [r.transaction_id, Number(r.records), Number(r.nodes), epoch(r.first_time), epoch(r.last_time), Number(r.duration_seconds)])
           .sort((x, y) => x[0] - y[0]),
         st.top_transactions.map((t) => [t.transaction_id, t.records, t.nodes, t.first_timestamp, t.last_timestamp, t.duration_seconds]).sort((x, y) => x[0] - y[0]),
         `${s.name}: records, nodes, first and last time per transaction`);
    same(pages.filter((r) => r.volume_set_id === s.id).map((r) => [r.node_id, r.page, Number(r.namings)]).sort((x, y) => x[0] - y[0] || x[1] - y[1]),
         st.top_pages.map((p) => [p.node_id, p.page, p.count]).sort((x, y) => x[0] - y[0] || x[1] - y[1]),
         `${s.name}: namings per page`);
    // --txns: the records of each transaction.
    const fromTxns = new Map();
    for (const t of jsonLines(fs.readFileSync(path.join(tmp, 'json', 'txns', `${s.name}.jsonl`), 'utf8')))
      if (t.type === 'txn') fromTxns.set(t.transaction_id, (fromTxns.get(t.transaction_id) ?? 0) + t.records);
    same(txns.filter((r) => r.volume_set_id === s.id).map((r) => [r.transaction_id, Number(r.records)]).sort((x, y) => x[0] - y[0]),
         [...fromTxns].sort((x, y) => x[0] - y[0]), `${s.name}: records per transaction of --txns`);
  }
  const [d] = await query('busiest_nodes.sql');
  const ten = await query('busiest_transactions.sql');
  same([d.records, ten.length], [nodes[0].records, 10], 'the default of 10 rows');
}

// Every change of a record: the records most changed in a and in the
// damaged b, against --history of that record over its volume set, whose
// output the history recipe joins.
{
  const picks = await rows(`SELECT volume_set_id, node_id, recno, count(*) AS n FROM records
      WHERE opcode_code = 13 AND volume_set_id IN (${sets[0].id}, ${sets[1].id})
      GROUP BY volume_set_id, node_id, recno QUALIFY row_number() OVER (PARTITION BY volume_set_id ORDER BY n DESC, node_id, recno) = 1
      ORDER BY volume_set_id`);
  same(picks.length, 2, 'records to follow');
  const history = new Map();
  for (const p of picks) {
    const s = sets.find((x) => x.id === p.volume_set_id);
    const text = run(jrnscan, ['--history', `${p.node_id}:${p.recno}`, '--json', ...s.logs], [0, 1]);
    fs.writeFileSync(path.join(tmp, 'json', 'history', `${s.name}-${p.node_id}-${p.recno}.jsonl`), text);
    history.set(p.volume_set_id, jsonLines(text).filter((c) => c.type === 'record_change'));
  }
  await setVariables({ jrnscan_history: path.join(tmp, 'json', 'history', '*.jsonl*') });
  await sql(recipe('load_history.sql'));
  answered.add('load_history.sql');
  await checkColumns('record_changes', ['record_change', 'record_gap'], ['volume_set_id']);

  for (const p of picks) {
    const vars = { node_id: p.node_id, recno: p.recno, volume_set_id: p.volume_set_id };
    const changes = await query('record_changes.sql', vars);
    const want = history.get(p.volume_set_id);
    check(want.length >= 3, `only ${want.length} changes of ${p.node_id}:${p.recno}`);
    same(changes.filter((c) => c.kind === 'change').map((c) => [c.log, Number(c.offset), c.sequence, c.transaction_id, c.fixrec_op]),
         want.map((c) => [c.log, c.offset, c.sequence, c.transaction_id, c.fixrec_op]),
         `${p.node_id}:${p.recno}: the changes, as --history lists them`);
    const images = changes.filter((c) => c.kind === 'before_image');
    same(images.length, want.filter((c) => c.before_source === 'before_image').length,
         `${p.node_id}:${p.recno}: the before-images`);
    const joined = await query('record_history.sql', vars);
    same(joined.map((c) => [c.log, Number(c.offset), c.before_source, c.before, c.after]),
         want.map((c) => [c.log, c.offset, c.before_source, c.before, c.after]),
         `${p.node_id}:${p.recno}: the changes with their content`);
  }
  // Without a record: nothing.
  same((await query('record_changes.sql')).length, 0, 'record_changes without a record');
}

// Transactions per session with who signed on, against --sessions.
{
  const result = await query('session_transactions.sql');
  for (const s of sets) {
    const want = jsonLines(fs.readFileSync(path.join(tmp, 'json', 'sessions', `${s.name}.jsonl`), 'utf8'))
      .filter((x) => x.type === 'session')
      .map((x) => [x.session_id, (x.who ?? []).join(' '), x.transactions])
      .sort((x, y) => x[0] - y[0]);
    check(s.name === 'd' || want.length >= 3, `${s.name}: only ${want.length} sessions`);
    same(result.filter((r) => r.volume_set_id === s.id).map((r) => [r.session_id, r.who ?? '', Number(r.transactions)]).sort((x, y) => x[0] - y[0]),
         want, `${s.name}: transactions and who per session`);
  }
}

con.closeSync();
const seconds = (ns) => (Number(ns) / 1e9).toFixed(2) + ' s';

for (const r of recipes) check(answered.has(r), `the recipe ${r} is not run by this test`);
for (const r of answered) check(recipes.includes(r), `the recipe ${r} is missing`);
if (failures.length) {
  console.log(`sql_test: ${failures.length} of ${checks} checks failed:`);
  for (const f of failures.slice(0, 30)) console.log('  ' + f);
  process.exit(1);
}
console.log(`sql_test: ${recipes.length} recipes on DuckDB ${duckdb.version()}, ${checks} checks: ok; ` +
            `DuckDB took ${seconds(engineTime)} for ${statementsRun} statements ` +
            `(loading the tags, transactions and sessions ${seconds(loadTime)})`);
