#!/usr/bin/env bash
# Each folder of the tool includes only from the folders below it:
#   io < scan < records < tags < log < model < report < cli
# so that the command line stays on top and the scan never depends on a
# back-end or an option parser.
set -euo pipefail
root=${1:?usage: layering_test.sh <source root>}
layers=(io scan records tags log model report cli)
rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && echo "$i" && return
  done
  echo -1
}
bad=0
for dir in "${layers[@]}"; do
  mine=$(rank "$dir")
  for f in "$root/util/jrnscan/$dir"/*; do
    [ -f "$f" ] || continue
    while IFS= read -r inc; do
      other=${inc%%/*}
      theirs=$(rank "$other")
      if [ "$theirs" -lt 0 ] || [ "$theirs" -gt "$mine" ]; then
        echo "$f includes $inc: $dir may include only from ${layers[*]:0:$((mine + 1))}"
        bad=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$f")
  done
done
[ "$bad" -eq 0 ] && echo "layering ok"
exit "$bad"
