"""The JSON Schema of jrnscan's JSON output, against the output and the man page.

  schema_test.py validate SCHEMA JRNSCAN FWGEN
      The schema against the 2020-12 meta-schema; then every line of
      --json (-a -vv and the default view), --check --json and the document
      of --stats --json over generated logs of every version, several logs
      in one file, a PAGE-only log and damaged copies, each against the
      schema (whose objects allow no key they do not list). The logs must
      bring out every key of the tag object and every tag kind.

  schema_test.py manpage SCHEMA MANPAGE
      Every key of the header, tag, check and summary objects is named in
      the man page's JSON OUTPUT, CHECKS or SUMMARIES section, and every
      key named there is in the schema.

Run with /usr/bin/python3: the validator is Debian's python3-jsonschema.
"""

import json
import os
import random
import re
import subprocess
import sys
import tempfile

failures = {}  # what failed: (where first, how often)


def fail(what, where=None):
    first, n = failures.get(what, (where, 0))
    failures[what] = (first, n + 1)


def finish(label):
    if failures:
        print("%s: %d failures; the first of each kind:"
              % (label, sum(n for _, n in failures.values())))
        for what, (where, n) in list(failures.items())[:20]:
            print("  %s%s%s" % (where + ": " if where else "", what,
                                " (%d times)" % n if n > 1 else ""))
        return 1
    print("%s: ok" % label)
    return 0


# ---------------------------------------------------------------- validate


def strict_json(text):
    """JSON that no other reader could take otherwise: no NaN or Infinity,
    no key twice in one object."""

    def refuse(name):
        raise ValueError("not JSON: " + name)

    def members(pairs):
        obj = {}
        for k, v in pairs:
            if k in obj:
                raise ValueError("the key %s twice in one object" % k)
            obj[k] = v
        return obj

    return json.loads(text, parse_constant=refuse, object_pairs_hook=members)


class checker:
    """Validates each line or document; keeps what the tag lines held."""

    def __init__(self, schema):
        from jsonschema import Draft202012Validator

        self.root = Draft202012Validator(schema)
        # Each object kind on its own as well: a line is checked against the
        # kind its "type" names, which gives a precise message, and against
        # the whole schema's oneOf.
        self.by_type = {}
        for name in ("header", "tag", "check", "check_input", "check_run", "check_series",
                     "summary", "record_change", "record_gap", "record_as_of", "undo_record",
                     "undo_summary", "txn", "txns_total", "session", "sessions_total", "who",
                     "transaction_total"):
            one = {k: v for k, v in schema.items() if k != "oneOf"}
            one["$ref"] = "#/$defs/" + name
            self.by_type[name] = Draft202012Validator(one)
        self.tag_keys = set()
        self.item_keys = set()
        self.kinds = set()
        self.opcodes = set()
        self.record_kinds = set()
        self.objects = 0

    def check(self, doc, where, kind=None):
        self.objects += 1
        if kind is None:
            kind = doc.get("type") if isinstance(doc, dict) else None
            kind = kind if isinstance(kind, str) else None
        validator = self.by_type.get(kind, self.root)
        errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.absolute_path))
        if errors:
            e = errors[0]
            path = "/".join(str(p) for p in e.absolute_path)
            fail("%s at /%s: %s" % (kind, path, e.message[:300]), where)
            return
        # The whole schema's oneOf tells the kinds apart as well.
        if not self.root.is_valid(doc):
            fail("%s: valid as %s but not as one of the schema's objects" % (where, kind))
        if kind in ("record_change", "record_gap", "record_as_of", "undo_record",
                    "undo_summary"):
            self.record_kinds.add(kind)
        if kind == "tag":
            self.kinds.add(doc["tag"])
            self.opcodes.add(doc.get("opcode_code"))
            for k, v in doc.items():
                self.tag_keys.add(k)
                if isinstance(v, list):
                    for item in v:
                        if isinstance(item, dict):
                            self.item_keys.update(item)

    def run(self, jrnscan, args, log, what, some=True):
        r = subprocess.run([jrnscan] + args + [log], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=60)
        where = "%s: jrnscan %s" % (what, " ".join(args))
        if r.returncode not in (0, 1):
            fail("%s: exit status %d: %s" % (where, r.returncode, r.stderr[:200]))
        try:
            text = r.stdout.decode("utf-8")
        except UnicodeDecodeError as e:
            fail("%s: not UTF-8: %s" % (where, e))
            text = r.stdout.decode("utf-8", errors="replace")
        if "--stats" in args:
            try:
                doc = strict_json(text)
            except ValueError as e:
                fail("%s: not one JSON document: %s" % (where, e))
                return
            self.check(doc, where, "summary")
            return
        lines = text.splitlines()
        if some and not lines:
            fail(where + ": no output")
        for n, line in enumerate(lines, 1):
            try:
                doc = strict_json(line)
            except ValueError as e:
                fail("%s: line %d is not JSON (%s): %s" % (where, n, e, line[:200]))
                continue
            self.check(doc, "%s: line %d" % (where, n))


def damaged_copies(log, tags, out_dir):
    """Copies of the log cut, with bytes flipped, with tag letters replaced.
    tags: (offset, length, kind) of each tag of the log."""
    data = open(log, "rb").read()
    rng = random.Random(7)
    copies = []

    def write(name, content):
        path = os.path.join(out_dir, name)
        with open(path, "wb") as f:
            f.write(content)
        copies.append(path)

    # Cut inside the header, right behind it, inside tags, one byte short.
    cuts = [20, 36, 37] + sorted(rng.sample(range(40, len(data) - 1), 5)) + [len(data) - 1]
    for cut in cuts:
        write("cut%d.fwlog" % cut, data[:cut])
    # Bytes flipped inside tags other than page images, whose bodies are
    # only bytes: their decoders meet counts and sizes they cannot hold.
    small = [t for t in tags if t[2] not in ("PAGE", "CLUSTER") and t[1] and t[1] > 2]
    for n in range(4):
        b = bytearray(data)
        for offset, length, _ in rng.sample(small, min(40, len(small))):
            b[offset + rng.randrange(1, length)] ^= 1 << rng.randrange(8)
        write("flip%d.fwlog" % n, bytes(b))
    # A tag's letter replaced by that of each kind: its body is read as
    # that kind's (and what follows as it may).
    for letter in b"1234567S":
        offset, _, _ = rng.choice([t for t in tags[1:len(tags) // 3] if data[t[0]] != letter])
        b = bytearray(data)
        b[offset] = letter
        write("letter%c.fwlog" % letter, bytes(b))
    # A letter of no kind in the middle; bytes behind the end tag.
    b = bytearray(data)
    b[tags[len(tags) // 2][0]] = ord("Z")
    write("unknown.fwlog", bytes(b))
    write("trailing.fwlog", data + bytes(rng.randrange(256) for _ in range(100)))
    return copies


def validate(schema_path, jrnscan, fwgen):
    try:
        import jsonschema
        from jsonschema import Draft202012Validator
    except ImportError as e:
        print("schema test: the JSON Schema validator is missing for %s (%s): install the "
              "Debian package python3-jsonschema (tools/install-deps.sh test does)"
              % (sys.executable, e))
        return 1
    schema = json.load(open(schema_path))
    try:
        Draft202012Validator.check_schema(schema)
    except jsonschema.exceptions.SchemaError as e:
        print("schema test: %s is not a valid 2020-12 schema: %s at /%s"
              % (schema_path, e.message, "/".join(str(p) for p in e.absolute_path)))
        return 1
    c = checker(schema)

    with tempfile.TemporaryDirectory(prefix="jrnscan-schema-") as tmp:
        def gen(name, *args):
            path = os.path.join(tmp, name)
            subprocess.run([fwgen] + list(args) + ["-o", path], check=True)
            return path

        node_map = os.path.join(tmp, "nodes.map")
        logs = []
        for i, version in enumerate(["1.00", "1.01", "1.02", "1.03", "1.04", "1.05"]):
            logs.append(gen("v%s.fwlog" % version, "--seed", str(11 + i), "--tags", "700",
                            "--version", version))
        logs.append(gen("three.fwlog", "--seed", "5", "--tags", "600", "--logs", "3"))
        logs.append(gen("pages.fwlog", "--seed", "6", "--tags", "60", "--mix", "page"))
        mapped = gen("mapped.fwlog", "--seed", "8", "--tags", "500", "--map", node_map)

        for log in logs:
            what = os.path.basename(log)
            c.run(jrnscan, ["--json", "-a", "-vv"], log, what)
            c.run(jrnscan, ["--json"], log, what)
            c.run(jrnscan, ["--stats", "--json"], log, what)
            c.run(jrnscan, ["--check", "--json"], log, what)
            c.run(jrnscan, ["--check", "--json", "--order=sequence"], log, what)
        # three.fwlog's series (of seed 5) with a file sequence read twice,
        # differently, and a gap.
        again = gen("again.fwlog", "--seed", "5", "--tags", "90")
        far = gen("far.fwlog", "--seed", "5", "--tags", "60", "--first-sequence", "7")
        c.run(jrnscan, ["--check", "--json", "--order=sequence", logs[6], again], far, "series")
        c.run(jrnscan, ["--stats", "--json", "--order=sequence", logs[6], again], far, "series")
        # Node names from a map; every filter of the summary given.
        c.run(jrnscan, ["--json", "-a", "-v", "-M", node_map], mapped, "mapped.fwlog")
        c.run(jrnscan, ["--stats", "--json", "-M", node_map], mapped, "mapped.fwlog")
        c.run(jrnscan, ["--stats", "--json", "-n", "102", "-t", "1:4000000000", "-s", "1:400",
                        "-x", "1:300", "-p", "5", "-r", "3", "-o", "FIX*", "--kind", "REC,PAGE"],
              mapped, "mapped.fwlog")
        # A node number is unsigned wherever it appears, the filter's too.
        c.run(jrnscan, ["--stats", "--json", "-n", "-5"], mapped, "mapped.fwlog")
        c.run(jrnscan, ["--check", "--json", os.path.join(tmp, "missing.fwlog")], mapped,
              "missing.fwlog")

        # Record histories: names learnt from the log and from the map, every
        # kind of change, the contents at a moment from every kind of source.
        records = ["--history", "SHOP.ORDERS:12", "--history", "102:4", "--history",
                   "102:15", "--history", "101:33", "--history", "202:23", "--history", "7:1"]
        for log in (logs[5], logs[6], mapped):
            what = os.path.basename(log)
            c.run(jrnscan, ["--json"] + records, log, what, some=False)
            c.run(jrnscan, ["--json", "--as-of", "2023-11-16T05:15:00Z"] + records, log, what)
        c.run(jrnscan, ["--json", "-M", node_map] + records, mapped, "mapped.fwlog")

        # Transactions and sessions, and one transaction in full (the first
        # that --txns lists), unended ones with small tables.
        for log in (logs[0], logs[5], logs[6], mapped):
            what = os.path.basename(log)
            c.run(jrnscan, ["--txns", "--json"], log, what)
            c.run(jrnscan, ["--txns", "--json", "--top", "3", "--by", "nodes"], log, what)
            c.run(jrnscan, ["--sessions", "--json", "-v"], log, what)
        r = subprocess.run([jrnscan, "--txns", "--json", mapped], stdout=subprocess.PIPE,
                           check=True)
        first = json.loads(r.stdout.decode().splitlines()[0])["transaction_id"]
        c.run(jrnscan, ["--transaction", str(first), "--json"], mapped, "mapped.fwlog")
        c.run(jrnscan, ["--transaction", "1", "--json"], mapped, "mapped.fwlog")
        c.run(jrnscan, ["--txns", "--json", "--txn-table", "1", "--session-table", "1"],
              logs[6], "three.fwlog")

        # Undoing transactions: the first that --txns lists alone, then it
        # and all after it.
        for log in (logs[5], logs[6], mapped):
            what = os.path.basename(log)
            r = subprocess.run([jrnscan, "--txns", "--json", log], stdout=subprocess.PIPE,
                               check=True)
            first = json.loads(r.stdout.decode().splitlines()[0])["transaction_id"]
            c.run(jrnscan, ["--json", "--undo", str(first)], log, what)
            c.run(jrnscan, ["--json", "--undo", "-x", str(first), "-M", node_map], log, what)

        # Damaged copies of a 1.05 log; its tags' offsets from the report.
        base = logs[5]
        r = subprocess.run([jrnscan, "--json", "-a", base], stdout=subprocess.PIPE, check=True)
        tags = [(t["offset"], t["length"], t["tag"])
                for t in map(json.loads, r.stdout.decode().splitlines()) if t["type"] == "tag"]
        for log in damaged_copies(base, tags, tmp):
            what = os.path.basename(log)
            c.run(jrnscan, ["--json", "-a", "-vv"], log, what, some=False)
            c.run(jrnscan, ["--stats", "--json"], log, what)
            c.run(jrnscan, ["--check", "--json"], log, what)
            c.run(jrnscan, ["--json"] + records, log, what, some=False)
            c.run(jrnscan, ["--json", "--undo", "-x", "1"], log, what, some=False)
            c.run(jrnscan, ["--txns", "--json"], log, what, some=False)
            c.run(jrnscan, ["--sessions", "--json", "-v"], log, what, some=False)

    # The logs bring out every key that the tag object and its lists may
    # hold, and every kind: a key missing from the schema would have failed
    # above, a key that the writer no longer writes fails here.
    seen = c.tag_keys | c.item_keys
    for name in ("tag", "tag_list_item"):
        for k in sorted(set(schema["$defs"][name]["properties"]) - seen):
            fail("no tag line held the key %s (of %s)" % (k, name))
    r = subprocess.run([jrnscan, "--list-kinds"], stdout=subprocess.PIPE, check=True)
    for line in r.stdout.decode().splitlines():
        kind = line.split()[1]
        if kind not in c.kinds:
            fail("no tag of kind %s was shown" % kind)
    if None not in c.kinds:
        fail("no tag of a letter of no kind was shown")
    for kind in ("record_change", "record_gap", "record_as_of", "undo_record", "undo_summary"):
        if kind not in c.record_kinds:
            fail("no %s object was written" % kind)
    # Every operation, but for some without a decoder (whose records are
    # shown as SYSCAT's are) that the generator does not write.
    not_written = {1, 20, 21, 22, 25, 27}
    r = subprocess.run([jrnscan, "--list-opcodes"], stdout=subprocess.PIPE, check=True)
    for line in r.stdout.decode().splitlines():
        code, name = line.split()
        if int(code) not in c.opcodes and int(code) not in not_written:
            fail("no record of operation %s %s was shown" % (code, name))
    print("schema test: %d objects validated; tag keys seen: %d; list item keys seen: %s"
          % (c.objects, len(c.tag_keys), " ".join(sorted(c.item_keys))))
    return finish("schema test")


# ----------------------------------------------------------------- manpage

ROMAN_BOLD = {".B": None, ".BR": 0, ".RB": 1, ".BI": 0, ".IB": 1}


def man_words(section):
    """The words in bold in a man page section."""
    words = []
    for line in section.split("\n"):
        parts = line.split(None, 1)
        if not parts or parts[0] not in ROMAN_BOLD:
            continue
        args = re.findall(r'"((?:[^"]|"")*)"|(\S+)', parts[1] if len(parts) > 1 else "")
        args = [a if a else b for a, b in args]
        bold = ROMAN_BOLD[parts[0]]
        for i, a in enumerate(args):
            if bold is None or i % 2 == bold:
                words.append(a)
    return words


def section_of(man, title, start=None):
    at = man.find("\n.SH " + title + "\n")
    if at < 0:
        return None
    end = man.find("\n.SH ", at + 1)
    text = man[at:end if end >= 0 else len(man)]
    if start is not None:
        s = text.find(start)
        if s < 0:
            return None
        text = text[s:]
    return text


def keys_of(schema, node, seen=None):
    """Every property name under a schema node, following $ref."""
    seen = set() if seen is None else seen
    keys = set()
    if isinstance(node, dict):
        ref = node.get("$ref")
        if ref and ref not in seen:
            seen.add(ref)
            target = schema
            for part in ref.lstrip("#/").split("/"):
                target = target[part]
            keys |= keys_of(schema, target, seen)
        for k, v in node.items():
            if k == "properties":
                keys |= set(v)
                for sub in v.values():
                    keys |= keys_of(schema, sub, seen)
            elif k != "$ref":
                keys |= keys_of(schema, v, seen)
    elif isinstance(node, list):
        for v in node:
            keys |= keys_of(schema, v, seen)
    return keys


def enum_values(node):
    values = set()
    if isinstance(node, dict):
        for k, v in node.items():
            if k == "enum":
                values |= {x for x in v if isinstance(x, str)}
            elif k == "const" and isinstance(v, str):
                values.add(v)
            else:
                values |= enum_values(v)
    elif isinstance(node, list):
        for v in node:
            values |= enum_values(v)
    return values


def compare(label, schema_keys, section, ignore):
    named = {w for w in man_words(section) if re.fullmatch(r"[a-z][a-z0-9_]*", w)}
    for k in sorted(schema_keys - named):
        fail("%s: the key %s is not named in the man page" % (label, k))
    for k in sorted(named - schema_keys - ignore):
        fail("%s: the man page names %s, which the schema does not have" % (label, k))


def manpage(schema_path, man_path):
    schema = json.load(open(schema_path))
    man = open(man_path, encoding="utf-8").read()
    defs = schema["$defs"]
    words = {"null", "true", "false"}
    parts = [
        ("JSON OUTPUT", None, ["header", "tag"]),
        ("CHECKS", "the verdicts are JSON Lines", ["check", "check_input", "check_run",
                                                      "check_series"]),
        ("SUMMARIES", "the summary is one JSON document", ["summary"]),
        ("RECORD HISTORY", "the history is JSON Lines", ["record_change", "record_gap",
                                                         "record_as_of", "incomplete"]),
        ("UNDO", "the undo is JSON Lines", ["undo_record", "undo_summary"]),
        ("TRANSACTIONS AND SESSIONS", "their JSON Lines", ["txn", "txns_total", "session",
                                                          "sessions_total", "who",
                                                          "transaction_total"]),
    ]
    for title, start, names in parts:
        section = section_of(man, title, start)
        if section is None:
            fail("the man page has no %s section (from %r)" % (title, start))
            continue
        keys = set()
        values = set()
        for name in names:
            keys |= keys_of(schema, defs[name])
            values |= enum_values(defs[name])
        # A paragraph may be headed by the name of the object it describes.
        compare(title, keys, section, words | values | set(names))
    return finish("schema man page test")


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "validate":
        return validate(*sys.argv[2:])
    if len(sys.argv) == 4 and sys.argv[1] == "manpage":
        return manpage(*sys.argv[2:])
    print(__doc__.strip())
    return 2


if __name__ == "__main__":
    sys.exit(main())
