#!/usr/bin/env bash
# Each fact of the log format is spelt in one place: the tag letters and
# their names, transaction states, FIXREC operations and audit entry types
# in scan/format.h; the record operation codes' names (and their page
# fields) in the opcode table, records/opcodes.cc. This test finds a second
# spelling anywhere else under util/: a code's name as a string, a code
# given its number in an enum or constant, a tag letter as a character
# literal. tests/spelling_allowlist.txt lists the copies still to remove
# (a path and a fragment of the line); an entry that matches nothing fails
# too, so that the list only shrinks.
set -euo pipefail
root=${1:?usage: spelling_test.sh <source root>}
cd "$root"
home=util/jrnscan/scan/format.h
table=util/jrnscan/records/opcodes.cc
allow=tests/spelling_allowlist.txt

ops=$(sed -n 's|^ */\* *[0-9]* \*/ {"\([A-Z_0-9]*\)".*|\1|p' "$table" | sort -u | paste -sd'|')
[ -n "$ops" ] || { echo "no opcode names found in $table"; exit 1; }
lower_ops=$(tr 'A-Z' 'a-z' <<<"$ops")
names='UPDATE|UPDATE_NO_DATA|PUT|PUT_NO_DATA|DELETE|UPDATE_RANGE|GLOBAL|BEGIN|END|BEGIN-END|TXN'
names+='|MEMO|SIGN_ON|SIGN_OFF|DBLIST_SUM|DBLIST_UPD|REC|PAGE|CLUSTER|NODEMETA|BEFORE_IMAGE'
names+='|AUDIT|CONTEXT|SLAVE_SYNC|EOF_CONT|EOF_FINISH'
code='(fixrec_|op_|txn_state_|state_|audit_)?(update|update_no_data|put|put_no_data|delete'
code+="|update_range|global|begin|end|begin_end|txn|memo|sign_on|sign_off|dblist_sum|dblist_upd"
code+="|$lower_ops)(_state)?"

hits=$(
  {
    # A name of a code as a string.
    grep -rnP "\"($names)\"" util | grep -v "^$home:" || true
    grep -rnP "\"($ops)\"" util | grep -v "^$table:" | grep -v "^$home:" || true
    # A code given its number: an enumerator or a constant.
    grep -rniP "^\s*$code\s*=\s*[0-9]+\s*,?\s*(//.*)?\$|\benum\b.*\b$code\s*=\s*[0-9]+|\bconstexpr\b.*\b$code\s*=\s*[0-9]+" \
      util | grep -v "^$home:" || true
    # A tag letter as a character literal.
    grep -rnP "(letter|kind)\w*\b.*'[1-7SCF]'|'[1-7SCF]'.*\b(letter|kind)" util |
      grep -v "^$home:" || true
  } | sort -u
)

bad=0
used=()
while IFS= read -r hit; do
  [ -n "$hit" ] || continue
  path=${hit%%:*}
  text=${hit#*:*:}
  ok=0
  n=0
  while IFS= read -r entry; do
    n=$((n + 1))
    case "$entry" in '#'* | '') continue ;; esac
    if [ "${entry%% *}" = "$path" ] && [[ "$text" == *"${entry#* }"* ]]; then
      ok=1
      used[n]=1
    fi
  done <"$allow"
  if [ "$ok" -eq 0 ]; then
    echo "$hit"
    bad=1
  fi
done <<<"$hits"
[ "$bad" -eq 0 ] || echo "^ a format fact spelt outside $home or $table: use the one spelling"

n=0
while IFS= read -r entry; do
  n=$((n + 1))
  case "$entry" in '#'* | '') continue ;; esac
  if [ -z "${used[n]:-}" ]; then
    echo "$allow:$n: matches nothing any more, remove it: $entry"
    bad=1
  fi
done <"$allow"

[ "$bad" -eq 0 ] && echo "spelling ok"
exit "$bad"
