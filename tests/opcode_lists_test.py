#!/usr/bin/env python3
"""The hand-kept lists of record operation codes against --list-opcodes.

Every place that names the operation codes by hand (the log builder's
enum, the bash completion's fallback list, the --list-opcodes golden, the
schema test's codes the generator does not write) must agree with the
opcode table as the program lists it, and the README's "Adding an opcode"
must name every such place, so that a code added to the table and
forgotten in one of them fails here.

usage: opcode_lists_test.py SOURCE_ROOT JRNSCAN
"""
import os
import re
import subprocess
import sys

# The places a new operation code touches, as "Adding an opcode" names them.
PLACES = [
    "util/jrnscan/scan/format.h",
    "util/jrnscan/records/opcodes.cc",
    "util/jrnscan/records/decoders.h",
    "util/jrnscan/scan/catalogue.h",
    "tools/logbuild/log_builder.h",
    "tools/fwgen/generator.cc",
    "tools/completion/jrnscan.bash",
    "tests/navigation_test.cc",
    "tests/schema_test.py",
    "tests/decoders_test.cc",
    "tests/sweep_test.cc",
    "jrnscan.1",
]

failures = []


def fail(msg):
    failures.append(msg)
    print("FAIL: " + msg)


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


def c_strings(text):
    """The value of adjacent C string literals (only \\n escapes)."""
    return "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', text)).replace("\\n", "\n")


def main():
    root, jrnscan = sys.argv[1], sys.argv[2]
    listed = subprocess.run([jrnscan, "--list-opcodes"], stdout=subprocess.PIPE,
                            check=True).stdout.decode()
    table = {int(c): n for c, n in (line.split() for line in listed.splitlines())}
    if not table:
        fail("--list-opcodes listed nothing")

    # The log builder's enum: OP_<NAME> = <code>, a repeated name with a digit.
    enum = {int(c): n for n, c in
            re.findall(r"\bOP_(\w+?)\d*\s*=\s*(\d+)", read(root, "tools/logbuild/log_builder.h"))}
    if enum != table:
        fail("tools/logbuild/log_builder.h: the OP_ codes and --list-opcodes differ in %s"
             % sorted(set(enum.items()) ^ set(table.items())))

    # The completion's fallback: every name once.
    m = re.search(r"_jrnscan_opcodes='([^']*)'", read(root, "tools/completion/jrnscan.bash"))
    words = m.group(1).split() if m else []
    if sorted(words) != sorted(set(table.values())):
        fail("tools/completion/jrnscan.bash: _jrnscan_opcodes %s differs from --list-opcodes"
             % sorted(set(words) ^ set(table.values())))

    # The --list-opcodes golden.
    m = re.search(r"TEST\(ListOpcodes, EveryNamedCode\).*?EXPECT_EQ\(r\.out,(.*?)\);",
                  read(root, "tests/navigation_test.cc"), re.S)
    if not m or c_strings(m.group(1)) != listed:
        fail("tests/navigation_test.cc: the --list-opcodes golden is not the list")

    # The schema test's codes the generator does not write: codes of the table.
    m = re.search(r"not_written = \{([0-9, ]*)\}", read(root, "tests/schema_test.py"))
    codes = {int(c) for c in m.group(1).split(",")} if m else None
    if codes is None or not codes <= set(table):
        fail("tests/schema_test.py: not_written %s holds a code --list-opcodes does not list"
             % (sorted(codes - set(table)) if codes else "not found"))

    # The README's checklist names every place.
    m = re.search(r"### Adding an opcode\n(.*?)(?=\n#|\Z)", read(root, "README.md"), re.S)
    section = m.group(1) if m else ""
    for place in PLACES:
        if not os.path.exists(os.path.join(root, place)):
            fail("%s: no such file (PLACES is stale)" % place)
        if "`%s`" % place not in section:
            fail("README.md: \"Adding an opcode\" does not name `%s`" % place)
    print("opcode lists: %d codes; %d places named" % (len(table), len(PLACES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
