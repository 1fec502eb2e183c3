#!/usr/bin/env bash
# The Debian package of a build: makes it with cpack as "make deb" does,
# reads its control fields and file list, unpacks it into a temporary root,
# and runs the binary, the man page and the bash completion found there.
#
#   deb_test.sh BUILD_DIR SOURCE_DIR FWGEN
#
# Exits 77 (skipped) where dpkg-deb is missing: not a Debian system.
set -euo pipefail
build=$1 source=$2 fwgen=$3

if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "deb_test: skipped: no dpkg-deb on this system"
  exit 77
fi

fails=0
fail() {
  echo "deb_test: $*"
  fails=$((fails + 1))
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The version as --version prints it, read here from its header on its own.
version=$(sed -n 's/^#define JRNSCAN_VERSION "\(.*\)"$/\1/p' "$source/util/jrnscan/cli/version.h")
arch=$(dpkg --print-architecture)
deb=$tmp/out/jrnscan_${version}_${arch}.deb

if ! (cd "$build" && cpack -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "deb_test: cpack failed"
  exit 1
fi
if [ ! -f "$deb" ]; then
  ls "$tmp/out"
  echo "deb_test: no $(basename "$deb")"
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = jrnscan ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), want $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
# The libraries of the compressed and archived inputs, found by dpkg-shlibdeps.
for lib in libarchive libzstd liblzma libbz2 zlib1g libc6; do
  field Depends | grep -q "\b$lib" || fail "Depends lacks $lib: $(field Depends)"
done

# The files, owned by root, under /usr only, and nothing else.
dpkg-deb -c "$deb" >"$tmp/contents"
want="./usr/bin/jrnscan
./usr/share/bash-completion/completions/jrnscan
./usr/share/doc/jrnscan/copyright
./usr/share/jrnscan/jrnscan.schema.json
./usr/share/man/man1/jrnscan.1.gz"
for f in "$source"/share/sql/*.sql; do
  want+=$'\n'"./usr/share/jrnscan/sql/$(basename "$f")"
done
got=$(awk '$1 !~ /^d/ {print $6}' "$tmp/contents" | sort)
if [ "$got" != "$(sort <<<"$want")" ]; then
  fail "the files of the package:"
  diff <(sort <<<"$want") <(echo "$got") || true
fi
awk '$2 != "root/root" {print "deb_test: not owned by root: " $0; bad = 1} END {exit bad}' \
  "$tmp/contents" || fails=$((fails + 1))
awk '$6 !~ /^\.\/(usr\/.*)?$/ {print "deb_test: outside /usr: " $6; bad = 1} END {exit bad}' \
  "$tmp/contents" || fails=$((fails + 1))

# Unpacked: the same data files as the source and the build.
root=$tmp/root
dpkg -x "$deb" "$root"
for f in "$source"/share/sql/*.sql; do
  cmp -s "$f" "$root/usr/share/jrnscan/sql/$(basename "$f")" || fail "$(basename "$f") differs"
done
cmp -s "$build/jrnscan.schema.json" "$root/usr/share/jrnscan/jrnscan.schema.json" ||
  fail "the schema differs from the build's"
cmp -s "$source/tools/completion/jrnscan.bash" "$root/usr/share/bash-completion/completions/jrnscan" ||
  fail "the completion differs from the source's"

# The installed binary: its version, and the same report as the build's.
bin=$root/usr/bin/jrnscan
[ "$("$bin" --version)" = "jrnscan $version" ] || fail "--version: $("$bin" --version)"
"$fwgen" --seed 5 --tags 300 -o "$tmp/t.fwlog"
for args in "" "--json -a" "--check" "--stats"; do
  # shellcheck disable=SC2086 # $args is a list of options
  if ! cmp -s <("$bin" $args "$tmp/t.fwlog" 2>&1) <("$build/jrnscan" $args "$tmp/t.fwlog" 2>&1); then
    fail "jrnscan $args: the installed binary's output differs from the build's"
  fi
done
"$bin" --check "$tmp/t.fwlog" >/dev/null || fail "jrnscan --check of a generated log failed"

# The man page, as man shows it, with no complaint from groff.
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man -l "$root/usr/share/man/man1/jrnscan.1.gz" >"$tmp/man.txt" 2>"$tmp/man.err" ||
    fail "man -l failed: $(cat "$tmp/man.err")"
  [ -s "$tmp/man.err" ] && fail "man -l complained: $(head -5 "$tmp/man.err")"
  grep -q "jrnscan - print a database server's forward log" "$tmp/man.txt" ||
    fail "man -l shows no NAME line: $(head -5 "$tmp/man.txt")"
  grep -q -- "--history" "$tmp/man.txt" || fail "man -l shows no options"
else
  echo "deb_test: man is missing: the man page was not shown (tools/install-deps.sh test installs man-db)"
  fails=$((fails + 1))
fi

# The bash completion, sourced from where bash-completion finds it.
complete_line=$(bash -c "source '$root/usr/share/bash-completion/completions/jrnscan' && complete -p jrnscan")
[[ $complete_line == *" jrnscan" ]] || fail "the completion registers nothing for jrnscan"

if [ "$fails" -ne 0 ]; then
  echo "deb_test: $fails failed"
  exit 1
fi
echo "deb_test: $(basename "$deb"): $(grep -c . "$tmp/contents") entries, control fields, installed binary," \
  "man page and completion: ok"
