#!/usr/bin/env bash
# Keeps the tool's sources small: no file under util/ over 400 lines and no
# function over 80. Files and functions that were over before are listed
# with their sizes in an allow-list (tests/size_allowlist.txt); one of them
# may shrink but not grow past its listed size, and any other over the
# limit fails. With --list the current offenders are printed in the
# allow-list's format instead (to start a new list).
#
# Functions are found by a brace-depth count over each .cc and .h file, not
# by a parser. Comments, string and character literals and preprocessor
# lines are left out first; a '{' then opens a function body when it stands
# outside any block but a namespace (or extern "C"), outside parentheses,
# and the text since the last ';', '{' or '}' holds a '(' and does not end
# in '=' or ','. A function counts from the first line of that text (its
# template line, its signature) to its closing '}'. What it cannot see:
#   - member functions defined inside a class body (the class is the
#     block), and lambdas inside a function (they are part of it);
#   - raw string literals, digit separators (1'000) and a brace or an
#     unbalanced parenthesis made by a macro;
#   - a namespace-scope variable whose initializer holds a '(' and then a
#     '{' outside parentheses (it would be counted as a function).
# Overloads of one name in one file are told apart by their place: the
# second is NAME#2, and so on.
set -euo pipefail
root=${1:?usage: size_test.sh <source root> [--list]}
mode=${2:-check}
allow="$root/tests/size_allowlist.txt"
max_file_lines=400
max_function_lines=80

measure() {
  local f rel
  while IFS= read -r f; do
    rel=${f#"$root"/}
    awk -v file="$rel" -v max="$max_file_lines" \
      'END { if (NR > max) printf "file %s %d\n", file, NR }' "$f"
    awk -v file="$rel" -v max="$max_function_lines" '
      # Blanks out comments, string and character literals of a line;
      # in_comment carries a /* comment over lines.
      function strip(s,    out, i, c, n, q) {
        out = ""
        n = length(s)
        for (i = 1; i <= n; i++) {
          c = substr(s, i, 1)
          if (in_comment) {
            if (c == "*" && substr(s, i + 1, 1) == "/") { in_comment = 0; i++ }
            continue
          }
          if (c == "/" && substr(s, i + 1, 1) == "/") break
          if (c == "/" && substr(s, i + 1, 1) == "*") { in_comment = 1; i++; continue }
          if (c == "\"" || c == "\047") {
            q = c
            for (i++; i <= n; i++) {
              c = substr(s, i, 1)
              if (c == "\\") { i++; continue }
              if (c == q) break
            }
            out = out " "
            continue
          }
          out = out c
        }
        return out
      }
      function name_of(h,    at, before) {
        at = index(h, "(")
        before = substr(h, 1, at - 1)
        sub(/[ \t]+$/, "", before)
        if (match(before, /[A-Za-z_~:0-9<>=!+*\/%&|^\[\]-]+$/)) return substr(before, RSTART)
        return "?"
      }
      BEGIN { depth = 0; parens = 0; header = ""; header_line = 0; in_function = 0 }
      {
        if (in_comment == 0 && $0 ~ /^[ \t]*#/) { header = ""; next }
        line = strip($0)
        n = length(line)
        for (i = 1; i <= n; i++) {
          c = substr(line, i, 1)
          if (c == "(") parens++
          else if (c == ")") { if (parens > 0) parens-- }
          if (c == "{") {
            kind = "block"
            if (depth == 0 && parens == 0) {
              h = header
              gsub(/[ \t]+/, " ", h)
              if (h ~ /(^| )namespace( |$)/ || h ~ /^ ?extern ?$/) kind = "namespace"
              else if (h ~ /\(/ && h !~ /[=,] ?$/ && h !~ /(^| )(class|struct|union|enum)( |$)/) {
                kind = "function"
                fname = name_of(h)
                fstart = header_line
              }
            }
            stack[++top] = kind
            if (kind != "namespace") depth++
            header = ""
            continue
          }
          if (c == "}") {
            if (top > 0) {
              kind = stack[top--]
              if (kind != "namespace") depth--
              if (kind == "function" && depth == 0) {
                seen[fname]++
                key = seen[fname] > 1 ? fname "#" seen[fname] : fname
                if (FNR - fstart + 1 > max) printf "function %s %s %d\n", file, key, FNR - fstart + 1
              }
            }
            header = ""
            continue
          }
          if (c == ";") { header = ""; continue }
          if (header == "" && c ~ /[^ \t]/) header_line = FNR
          if (header != "" || c ~ /[^ \t]/) header = header c
        }
        if (header != "") header = header " "
      }' "$f"
  done < <(find "$root/util" -type f \( -name '*.cc' -o -name '*.h' \) | LC_ALL=C sort)
}

current=$(measure)
if [ "$mode" = --list ]; then
  printf '%s\n' "$current"
  exit 0
fi

bad=0
while read -r what path name size; do
  [ -n "$what" ] || continue
  if [ "$what" = file ]; then
    size=$name
    name=
  fi
  listed=$(awk -v w="$what" -v p="$path" -v n="$name" '
    $1 == w && $2 == p && (w == "file" ? 1 : $3 == n) { print (w == "file" ? $3 : $4); exit }
  ' "$allow")
  if [ -z "$listed" ]; then
    echo "$what $path${name:+ $name}: $size lines, over the limit ($([ "$what" = file ] && echo $max_file_lines || echo $max_function_lines))"
    bad=1
  elif [ "$size" -gt "$listed" ]; then
    echo "$what $path${name:+ $name}: $size lines, grew past its listed $listed"
    bad=1
  fi
done <<<"$current"
# Entries back within the limit are said, so that the list shrinks too.
while read -r what path name _; do
  case "$what" in file | function) ;; *) continue ;; esac
  [ "$what" = file ] && name=
  grep -qxF "$what $path${name:+ $name}" <(awk '{ NF--; print }' <<<"$current") ||
    echo "note: $what $path${name:+ $name} is within the limit now; take it off $allow"
done <"$allow"
[ "$bad" -eq 0 ] && echo "sizes ok"
exit "$bad"
