#!/usr/bin/env bash
# Drives the bash completion function the way readline does: COMP_WORDS
# split as bash splits them (default COMP_WORDBREAKS, so "=" and ":" are
# words of their own), COMP_CWORD on the word being completed.
#
#   completion_test.sh [path/to/jrnscan.bash]
set -u

script=${1:-$(dirname "$0")/../tools/completion/jrnscan.bash}
failures=0
passes=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! bash -n "$script"; then
  echo "FAIL: $script has syntax errors" >&2
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Stubs standing in for the program: the completion runs
# "jrnscan --list-opcodes" from PATH.
mkdir -p "$scratch/lister" "$scratch/broken" "$scratch/none"
cat >"$scratch/lister/jrnscan" <<'EOF'
#!/bin/sh
[ "$1" = --list-opcodes ] || exit 2
printf '%s\n' '1 EOT' '13 FIXREC' '14 FIXREC' '15 FIXREC_META' '40 STUBONLY' '41 NODELISTX'
EOF
cat >"$scratch/broken/jrnscan" <<'EOF'
#!/bin/sh
echo "jrnscan: bad arguments" >&2
exit 2
EOF
chmod +x "$scratch/lister/jrnscan" "$scratch/broken/jrnscan"

# A tree for file and directory names.
mkdir -p "$scratch/files/logs.d" "$scratch/files/maps"
touch -- "$scratch/files/-x.fwlog" "$scratch/files/log1.fwlog" "$scratch/files/log2.fwlog" "$scratch/files/nodes.map"

# shellcheck source=/dev/null
source "$script" || {
  echo "FAIL: sourcing $script failed" >&2
  exit 1
}
if ! declare -F _jrnscan >/dev/null; then
  echo "FAIL: $script defines no _jrnscan function" >&2
  exit 1
fi
registered=$(complete -p jrnscan 2>/dev/null)
if [[ $registered != *"-F _jrnscan"* ]]; then
  fail "complete -p jrnscan: expected the _jrnscan function, got '${registered:-nothing}'"
else
  passes=$((passes + 1))
fi

# Prints the sorted replies for a command line given as its words; the last
# word is the one under the cursor.
replies() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  PATH=$bin _jrnscan jrnscan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

# check "expected replies" word...  (the path searched for jrnscan is $bin)
check() {
  local expected=$1 got
  shift
  got=$(replies "$@")
  if [[ $got == "$expected" ]]; then
    passes=$((passes + 1))
  else
    fail "'$*': expected [$expected], got [$got]"
  fi
}

# --- Options ---
bin=$scratch/none
check '--help' jrnscan --he
check '--help --history=' jrnscan --h
check '--all --as-of=' jrnscan -v --a
check '--limit= --list-kinds --list-opcodes' jrnscan --li
check '--offsets --opcode= --order=' jrnscan --o
check '--save= --seq= --session-table= --session= --sessions --since= --stats --strict' \
  jrnscan -v --s
check '--name-memory= --no-progress --node= --nodes-per-name=' jrnscan --n
# -help and -version only as the first argument, and nothing after them.
check '-help' jrnscan -h
check '-v -version' jrnscan -v
check '' jrnscan -a -h
check '-v' jrnscan -a -v
check '' jrnscan -help -

# --- Opcode names: from the program, else the built-in list ---
nodelist='NODELISTFILLITEM NODELISTITEM NODELISTITEMSET NODELISTPAGE NODELISTPAGEHEAD'
fixrec='FIXREC FIXREC_META FIXREC_NEWCLUSTER'
for bin in "$scratch/none" "$scratch/broken"; do
  check "$nodelist" jrnscan -o NODEL
  check "$fixrec" jrnscan --opcode FIX
  check "$fixrec" jrnscan --opcode = FIX
  check "$fixrec" jrnscan -a --opcode = fix # the names match case-insensitively
  check '-oFIXREC -oFIXREC_META -oFIXREC_NEWCLUSTER' jrnscan -oFIX
  check 'FWR_AUDIT FWR_SERIAL' jrnscan -vo FWR
  check "$nodelist" jrnscan -M nodes.map -o NODEL
  check "$nodelist" jrnscan -t 10 : 20 -o NODEL
done
bin=$scratch/lister
check 'FIXREC FIXREC_META' jrnscan --opcode FIX
check 'STUBONLY' jrnscan -o S
check 'NODELISTX' jrnscan -o NODEL
check '' jrnscan -o BTREE
# The program's own path as typed on the command line.
bin=$scratch/none
got=$(replies "$scratch/lister/jrnscan" -o STUB)
if [[ $got == STUBONLY ]]; then
  passes=$((passes + 1))
else
  fail "'$scratch/lister/jrnscan -o STUB': expected [STUBONLY], got [$got]"
fi

# --- Other values ---
check 'REC' jrnscan --kind RE
check 'REC' jrnscan --kind = re
check 'REC,PAGE' jrnscan --kind REC,PA
check 'REC,AUDIT REC,BEFORE_IMAGE REC,CLUSTER REC,CONTEXT REC,NODEMETA REC,PAGE REC,SLAVE_SYNC' \
  jrnscan --kind REC,
check 'PAGE,AUDIT' jrnscan --kind PAGE,AU
check 'always auto never' jrnscan --escape =
check 'always auto' jrnscan --escape a
check '--escape=never' jrnscan --escape=n # "=" kept inside the word
check '--kind=REC' jrnscan --kind=RE
# Numbers, ranges and times have no completions, and their colons do not
# turn the rest into file names.
check '' jrnscan -n ''
check '' jrnscan --node = ''
check '' jrnscan -t 1700000000 : ''
check '' jrnscan -t 1700000000 : 17
check '' jrnscan --since = 2023-11-16T05 : 13 : ''
check '' jrnscan --top ''
check 'duration' jrnscan --txns --by d

# --- File and directory names ---
cd "$scratch/files" || exit 1
check 'log1.fwlog log2.fwlog logs.d' jrnscan log
check 'log1.fwlog log2.fwlog logs.d' jrnscan -v -n 7 log
check 'log1.fwlog log2.fwlog logs.d' jrnscan -t 1 : 2 log
check '-x.fwlog log1.fwlog log2.fwlog logs.d maps nodes.map' jrnscan -M ''
check 'nodes.map' jrnscan --map = n
check 'maps' jrnscan --map m
check '-Mnodes.map' jrnscan -Mn
check 'logs.d maps' jrnscan --save ''
check 'logs.d' jrnscan --save = lo
check '' jrnscan --save l1
# "--" ends the options, unless it is an option's value.
check '-x.fwlog' jrnscan -- -x
check '-x' jrnscan -o -- -x

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
