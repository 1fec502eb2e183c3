#!/usr/bin/env bash
# Runs the jrnscan of two revisions over the same logs and option sets and
# compares what each run writes, byte for byte: standard output, standard
# error and exit status. Meant as the check that a change to the internals
# leaves the report exactly as it was.
#
#   tools/compare-revisions.sh REV_A REV_B [--quick]
#
# REV_A, REV_B  git revisions of this repository; WORKTREE stands for the
#               working tree as it is now, uncommitted changes included.
# --quick       a smaller set of logs: about half a minute on a 2-core
#               machine once both revisions are built (full: about five
#               minutes with a few thousand fuzz corpus files).
#
# Environment:
#   COMPARE_DIR  scratch directory (default /tmp/jrnscan-compare): builds,
#                cached per commit, the generated logs and report.txt
#   FUZZ_DIR     fuzzer directory (default /tmp/jrnscan-fuzz): the files of
#                its corpus-*/ folders are compared too
#   JOBS         parallel runs and build jobs (default 2)
#   COMPARE_TIMEOUT  seconds each jrnscan run may take (default 20); a run
#                that times out with both binaries counts as identical
#
# The logs are written by REV_B's fwgen (REV_A's when REV_B has none):
# realistic logs of every format version, multi-log streams, page and
# fixed-record mixes, and damaged copies (cut, bytes changed, unknown tag
# letters, bad file headers). Every run has TZ=UTC, standard input from
# /dev/null (or the log, with the operand "-") and the same working
# directory and operand for both binaries, which are both called "jrnscan".
#
# Exit status: 0 when every run was identical, 1 when any differed (each
# such run is written to COMPARE_DIR/report.txt), 2 for usage or build
# errors.
set -euo pipefail

usage() {
  echo "usage: $0 REV_A REV_B [--quick]   (REV may be WORKTREE)" >&2
  exit 2
}
die() {
  echo "compare-revisions: $*" >&2
  exit 2
}

quick=0
revs=()
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) revs+=("$arg") ;;
  esac
done
[ ${#revs[@]} -eq 2 ] || usage
rev_a=${revs[0]}
rev_b=${revs[1]}

for tool in git cmake python3 timeout cmp diff tar flock; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is needed"
done

root=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || die "not inside a git repository"
cdir=${COMPARE_DIR:-/tmp/jrnscan-compare}
fuzz_dir=${FUZZ_DIR:-/tmp/jrnscan-fuzz}
jobs=${JOBS:-2}
run_timeout=${COMPARE_TIMEOUT:-20}
mode=full
[ $quick -eq 1 ] && mode=quick
mkdir -p "$cdir"
cdir=$(cd "$cdir" && pwd)

# One comparison at a time per scratch directory: they share builds.
exec 9>"$cdir/.lock"
if ! flock -n 9; then
  echo "waiting for another comparison using $cdir..." >&2
  flock 9
fi

# A report left by an earlier run is not mistaken for this one's.
rm -f "$cdir/report.txt"
run_dir=$(mktemp -d "$cdir/run.XXXXXX")
cleanup() { rm -rf "$run_dir"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

start_time=$SECONDS

# ---------------------------------------------------------------------------
# Builds

# Configures and builds jrnscan and fwgen in SRC/build. fwgen is optional:
# a revision without it still gives its jrnscan.
build_tree() {
  local src=$1 log
  log=$(dirname "$src")/build.log
  echo "  building $src" >&2
  if ! cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release -DJRNSCAN_TESTS=OFF >"$log" 2>&1; then
    tail -20 "$log" >&2
    die "cmake failed for $src (log: $log)"
  fi
  if ! cmake --build "$src/build" --target jrnscan fwgen -j"$jobs" >>"$log" 2>&1; then
    if ! cmake --build "$src/build" --target jrnscan -j"$jobs" >>"$log" 2>&1; then
      tail -30 "$log" >&2
      die "build failed for $src (log: $log)"
    fi
    # A generator left from an earlier build of this tree is not used.
    rm -f "$src/build/fwgen"
    echo "  (fwgen did not build in this revision)" >&2
  fi
}

# Brings the copy of the working tree in TO up to date with FROM: tracked
# and untracked files that git does not ignore, without .git and the build
# directories. Only changed files are copied so that the build stays
# incremental; files gone from the tree are removed from the copy.
sync_worktree() {
  local from=$1 to=$2 f
  mkdir -p "$to"
  (cd "$from" && git ls-files -z -c -o --exclude-standard) |
    while IFS= read -r -d '' f; do
      case $f in build*/* | .git/*) continue ;; esac
      [ -f "$from/$f" ] && printf '%s\n' "$f"
    done | LC_ALL=C sort -u >"$run_dir/tree.want"
  while IFS= read -r f; do
    if ! cmp -s "$from/$f" "$to/$f"; then
      mkdir -p "$(dirname "$to/$f")"
      rm -f "$to/$f"
      cp "$from/$f" "$to/$f"
    fi
  done <"$run_dir/tree.want"
  (cd "$to" && find . -path ./build -prune -o \( -type f -o -type l \) -print) |
    sed 's|^\./||' | LC_ALL=C sort >"$run_dir/tree.have"
  LC_ALL=C comm -23 "$run_dir/tree.have" "$run_dir/tree.want" |
    while IFS= read -r f; do rm -f "$to/$f"; done
}

# Sets rev_src and rev_label for REV, building it when needed. A commit is
# built once into COMPARE_DIR/rev-<hash>; the working tree is synced and
# rebuilt incrementally every time.
prepare_rev() {
  local rev=$1 hash dir
  if [ "$rev" = WORKTREE ]; then
    dir=$cdir/worktree
    rev_src=$dir/src
    rev_label="working tree of $root: $(git -C "$root" rev-parse --short HEAD) with"
    rev_label+=" $(git -C "$root" status --porcelain | wc -l) changed or new paths"
    echo "$rev: syncing the working tree" >&2
    sync_worktree "$root" "$rev_src"
    build_tree "$rev_src"
    return
  fi
  hash=$(git -C "$root" rev-parse --verify --quiet "$rev^{commit}") || die "unknown revision: $rev"
  dir=$cdir/rev-$hash
  rev_src=$dir/src
  rev_label="$rev = $(git -C "$root" log -1 --format='%h %s' "$hash")"
  if [ -f "$dir/built" ] && [ -x "$rev_src/build/jrnscan" ]; then
    echo "$rev: reusing the build of ${hash:0:12}" >&2
    return
  fi
  echo "$rev: building ${hash:0:12}" >&2
  rm -rf "$dir"
  mkdir -p "$rev_src"
  git -C "$root" archive "$hash" | tar -x -C "$rev_src"
  build_tree "$rev_src"
  touch "$dir/built"
}

prepare_rev "$rev_a"
src_a=$rev_src
label_a=$rev_label
prepare_rev "$rev_b"
src_b=$rev_src
label_b=$rev_label

# Both binaries run under the name "jrnscan": messages that show the
# program name then match.
mkdir -p "$run_dir/bin-a" "$run_dir/bin-b"
cp "$src_a/build/jrnscan" "$run_dir/bin-a/jrnscan"
cp "$src_b/build/jrnscan" "$run_dir/bin-b/jrnscan"

fwgen=$src_b/build/fwgen
if [ ! -x "$fwgen" ]; then
  fwgen=$src_a/build/fwgen
  [ -x "$fwgen" ] || die "neither revision has fwgen to write the logs"
  echo "REV_B has no fwgen: the logs come from REV_A's" >&2
fi

# ---------------------------------------------------------------------------
# Inputs

# Writes damaged copies of well-formed logs. Tag starts are found by
# walking the stream: each tag's sequence number is one more than the last
# one's, its timestamp within a day of it and its type letter a known one.
damage_logs() {
  python3 - "$@" <<'PY'
import os
import random
import struct
import sys

# Arguments: output directory, quick or full, then FILE=cuts for a log that
# is only cut, or FILE=all for every kind of damage.
out_dir, mode = sys.argv[1], sys.argv[2]
bases = [a.rsplit("=", 1) for a in sys.argv[3:]]
full = mode == "full"
LETTERS = b"1234567CFS"


def u32(d, p):
    return struct.unpack_from("<I", d, p)[0] if 0 <= p and p + 4 <= len(d) else None


def header_len(d, p):
    # 1.00 headers lack byte order, character set and release (8 bytes).
    return 28 if d[p + 10:p + 14] == b"1.00" else 36


def layout(d):
    """Header offsets and tag offsets of a well-formed stream."""
    heads, tags = [], []
    p = 0
    while d[p:p + 7] == b"DRAV.FW":
        heads.append(p)
        old = d[p + 10:p + 14] == b"1.00"
        p += header_len(d, p)
        seq_at = 0 if old else 1
        while p + 9 <= len(d):
            tags.append(p)
            letter = d[p + 8] if old else d[p]
            if letter in b"CF":
                p += 9
                break
            seq, ts = u32(d, p + seq_at), u32(d, p + seq_at + 4)
            want = struct.pack("<I", (seq + 1) & 0xFFFFFFFF)
            q = d.find(want, p + 9 + seq_at)
            while q >= 0:
                cand = q - seq_at
                t = u32(d, q + 4)
                at = cand + (8 if old else 0)
                if t is not None and abs(t - ts) < 86400 and at < len(d) and d[at] in LETTERS:
                    break
                q = d.find(want, q + 1)
            if q < 0:
                return heads, tags
            p = q - seq_at
    return heads, tags


def spread(lo, hi, n):
    """n offsets spread evenly over [lo, hi)."""
    if hi <= lo:
        return []
    if hi - lo <= n:
        return list(range(lo, hi))
    return sorted({lo + (hi - lo) * i // n for i in range(n)})


def pick(seq, n):
    """n items taken evenly from seq."""
    if len(seq) <= n:
        return list(seq)
    return [seq[len(seq) * i // n] for i in range(n)]


def write(name, data):
    with open(os.path.join(out_dir, name + ".fwlog"), "wb") as f:
        f.write(data)


written = 0
for base, plan in bases:
    d = open(base, "rb").read()
    name = os.path.basename(base).rsplit(".", 1)[0]
    heads, tags = layout(d)
    if len(tags) < 3:
        sys.exit(f"{base}: found only {len(tags)} tags; the walk over the stream failed")
    old = d[10:14] == b"1.00"
    letter_at = 8 if old else 0
    rng = random.Random(name)

    # Cuts: every length through the first header, a spread over the file,
    # and the bytes around tag starts (inside the letter, sequence,
    # timestamp and first body bytes).
    cuts = set(range(0, 41))
    cuts.update(spread(41, len(d), (100 if plan == "all" else 40) if full else 30))
    for t in pick(tags, 12 if full else 4):
        cuts.update(t + k for k in (0, 1, 4, 5, 8, 9, 10, 13))
    for h in heads[1:]:
        cuts.update(h + k for k in range(0, 40, 3))
    for n in sorted(c for c in cuts if c < len(d)):
        write(f"{name}-cut-{n:06d}", d[:n])
        written += 1
    if plan == "cuts":
        continue

    # Changed bytes: every header byte, the first body bytes of some tags
    # (where lengths and counts sit) and a seeded spread over the file.
    flips = {}
    for h in heads:
        for k in range(header_len(d, h)):
            flips[(h + k, d[h + k] ^ 0xFF)] = 1
            if full:
                flips[(h + k, d[h + k] ^ 0x01)] = 1
    for i, t in enumerate(pick(tags, 6 if full else 2)):
        for k in range(9, 25 if full else 17):
            if t + k < len(d):
                flips[(t + k, (0xFF, 0x00, 0x80, 0x7F)[(i + k) % 4])] = 1
    ops = (lambda b: b ^ 0x01, lambda b: b ^ 0x80, lambda b: b ^ 0xFF,
           lambda b: 0, lambda b: 0xFF, lambda b: rng.randrange(256))
    for _ in range(100 if full else 25):
        pos = rng.randrange(len(d))
        flips[(pos, ops[rng.randrange(len(ops))](d[pos]))] = 1
    for pos, val in sorted(flips):
        if val == d[pos]:
            continue
        b = bytearray(d)
        b[pos] = val
        write(f"{name}-flip-{pos:06d}-{val:02x}", bytes(b))
        written += 1

    # Unknown tag letters (and a stray end tag or signature start) put in
    # front of a tag, or written over its letter.
    letters = b"XZ08c\x00\xff\x80DCF" if full else b"X\x00D"
    at = pick(tags[1:], 4 if full else 2)
    for i, t in enumerate(at):
        for j, ch in enumerate(letters):
            if (i + j) % 2 and not full:
                continue
            if old:
                b = bytearray(d)
                b[t + letter_at] = ch
                write(f"{name}-tag-set-{t:06d}-{ch:02x}", bytes(b))
            else:
                write(f"{name}-tag-ins-{t:06d}-{ch:02x}", d[:t] + bytes([ch]) + d[t:])
                b = bytearray(d)
                b[t] = ch
                write(f"{name}-tag-set-{t:06d}-{ch:02x}", bytes(b))
                written += 1
            written += 1

    # Bad file headers: versions, signatures, byte order, character set.
    versions = [b"2.00", b"1.06", b"0.05", b"1.5", b"x.05", b"1.", b"", b"1.0500",
                b"1.05 ", b"-1.05", b"1.-1", b"+1.05", b" 1.05", b"1.0x", b"1.99999",
                b"01.005", b"1.00", b"1.01", b"3.05"]
    signatures = [b"DRAV.FWAUD", b"DRAV.FWLOX", b"drav.fwlog", b"\0" * 10, b"DRAV.FWLO\0"]
    for h in heads if full else heads[:1]:
        for i, v in enumerate(versions if full else versions[:8]):
            b = bytearray(d)
            b[h + 10:h + 16] = (v + b"\0" * 6)[:6]
            write(f"{name}-hdr{h}-version-{i:02d}", bytes(b))
            written += 1
        for i, s in enumerate(signatures if full else signatures[:2]):
            b = bytearray(d)
            b[h:h + 10] = s
            write(f"{name}-hdr{h}-signature-{i}", bytes(b))
            written += 1
        if header_len(d, h) == 36:
            for label, off, val in (("order", 16, 4321), ("order0", 16, 0),
                                    ("charset0", 18, 0), ("charset7", 18, 7)):
                b = bytearray(d)
                struct.pack_into("<H", b, h + off, val)
                write(f"{name}-hdr{h}-{label}", bytes(b))
                written += 1
print(written)
PY
}

# Generates the whole input set into DIR.
generate_inputs() {
  local dir=$1 seed v
  mkdir -p "$dir/real" "$dir/multi" "$dir/mix" "$dir/base" "$dir/damaged"
  "$fwgen" --seed 1 --map "$dir/nodes.map" -o "$dir/real/s1-v1.05.fwlog"
  local seeds=(1 2 3)
  [ $quick -eq 1 ] && seeds=(1)
  for seed in "${seeds[@]}"; do
    for v in 1.00 1.01 1.02 1.03 1.04 1.05; do
      [ -f "$dir/real/s$seed-v$v.fwlog" ] ||
        "$fwgen" --seed "$seed" --version "$v" -o "$dir/real/s$seed-v$v.fwlog"
    done
  done
  "$fwgen" --seed 2 --tags 150 -o "$dir/real/s2-t150.fwlog"
  "$fwgen" --seed 2 --tags 120 --logs 2 -o "$dir/multi/s2-logs2.fwlog"
  "$fwgen" --seed 3 --tags 60 --mix page -o "$dir/mix/s3-page.fwlog"
  "$fwgen" --seed 3 --tags 150 --mix fixrec -o "$dir/mix/s3-fixrec.fwlog"
  if [ $quick -eq 0 ]; then
    "$fwgen" --seed 4 --tags 1500 -o "$dir/real/s4-t1500.fwlog"
    "$fwgen" --seed 5 --tags 200 --version 1.02 -o "$dir/real/s5-v1.02.fwlog"
    "$fwgen" --seed 3 --logs 3 -o "$dir/multi/s3-logs3.fwlog"
    "$fwgen" --seed 4 --tags 200 --logs 3 --version 1.00 -o "$dir/multi/s4-logs3-v1.00.fwlog"
    "$fwgen" --seed 5 --tags 400 --mix fixrec -o "$dir/mix/s5-fixrec.fwlog"
    "$fwgen" --seed 6 --tags 12 --mix page -o "$dir/mix/s6-page.fwlog"
    "$fwgen" --seed 7 --tags 400 --mix page --version 1.00 -o "$dir/mix/s7-page-v1.00.fwlog"
  fi

  # Small logs to damage: many copies each, so they are kept short. The
  # page images of b4 are only dumped, so it is only cut.
  "$fwgen" --seed 11 --tags 50 -o "$dir/base/b1.fwlog"
  if [ $quick -eq 0 ]; then
    "$fwgen" --seed 12 --tags 40 --version 1.00 -o "$dir/base/b2.fwlog"
    "$fwgen" --seed 13 --tags 40 --logs 2 -o "$dir/base/b3.fwlog"
    "$fwgen" --seed 14 --tags 4 --mix page -o "$dir/base/b4.fwlog"
  fi
  local n
  local plans=("$dir/base/b1.fwlog=all")
  [ $quick -eq 1 ] || plans+=("$dir/base/b2.fwlog=all" "$dir/base/b3.fwlog=all" "$dir/base/b4.fwlog=cuts")
  n=$(damage_logs "$dir/damaged" "$mode" "${plans[@]}")
  echo "  $n damaged logs" >&2
}

# The generated set is kept for the next run while the generator and this
# script are unchanged.
key=$( (sha256sum "$fwgen" "$0" | cut -d' ' -f1; echo "$mode") | sha256sum | cut -c1-16)
inputs=$cdir/inputs-$mode-$key
if [ ! -f "$inputs/complete" ]; then
  echo "writing the logs into $inputs" >&2
  for old in "$cdir"/inputs-"$mode"-*; do
    [ -d "$old" ] && rm -rf "$old"
  done
  generate_inputs "$inputs.tmp"
  touch "$inputs.tmp/complete"
  mv "$inputs.tmp" "$inputs"
fi

# Fuzz corpora are read through a link so that their operands are short
# and the same for both binaries.
rm -f "$inputs/fuzz"
fuzz_files=()
if compgen -G "$fuzz_dir/corpus-*/" >/dev/null; then
  ln -s "$fuzz_dir" "$inputs/fuzz"
  cap=2500
  [ $quick -eq 1 ] && cap=100
  mapfile -t fuzz_files < <(cd "$inputs" && find -L fuzz/corpus-*/ -maxdepth 1 -type f | LC_ALL=C sort |
    awk -v cap="$cap" '{ f[NR] = $0 } END { if (NR <= cap) { for (i = 1; i <= NR; i++) print f[i] }
      else for (i = 0; i < cap; i++) print f[int(i * NR / cap) + 1] }')
fi

# ---------------------------------------------------------------------------
# Option sets. Words are split on spaces and never glob-expanded.

# Every option set, for the well-formed logs.
opts_all=(
  ""
  "-a"
  "-v"
  "-vv"
  "-vvv"
  "-a -v"
  "-a -vv"
  "-a -vvv"
  "-p 75"
  "-p 83"
  "-p 122"
  "-p 1"
  "-p 122 -vv"
  "-o NODELIST*"
  "-o *FIXREC*"
  "-o [a-z]*"
  "-o nodelist?tem"
  "-n 102"
  "-n 112"
  "-n 201"
  "-n 102 -r 5 -o FIXREC -v"
  "-x 4466:4470"
  "-a -x 4466:4466"
  "-r 5"
  "-t 1700111700:1700111800"
  "-t 1700198100"
  "-t 0:1700284500"
  "-s 20:60"
  "-vv -s 22:22"
  "-M nodes.map -a"
  "-a -vvv -M nodes.map"
  "-M nodes.map -n 112 -a"
)
# For damaged logs: the views that take different paths through a tag.
opts_damaged=(
  ""
  "-a"
  "-vv"
  "-a -vvv"
  "-p 75"
  "-p 1"
  "-o *NODE*[LP]?*"
  "-n 102"
  "-x 4466:4470"
  "-s 20:60"
  "-t 1700111700"
  "-a -v -M nodes.map"
)
# For fuzz corpora: the fuzzer's own option sets.
opts_fuzz=(
  ""
  "-a -vvv"
  "-p 1"
  "-o *NODE*[LP]?*"
  "-a -v -M nodes.map"
)
# Runs with the log on standard input (operand "-").
opts_stdin=(
  ""
  "-a -vvv"
  "-M nodes.map -a"
  "-p 122"
)
opts_stdin_damaged=("" "-a -vv")

# Case list: input, whether it goes to standard input, options.
cases=$run_dir/cases
add_cases() {  # via-stdin list-name files...
  local via=$1 list=$2 f o
  shift 2
  local -n optlist=$list
  for f in "$@"; do
    for o in "${optlist[@]}"; do
      printf '%s\t%s\t%s\n' "$f" "$via" "$o"
    done
  done >>"$cases"
}
: >"$cases"
cd "$inputs"
mapfile -t good < <(find real multi mix -type f -name '*.fwlog' | LC_ALL=C sort)
mapfile -t damaged < <(find damaged -type f -name '*.fwlog' | LC_ALL=C sort)
add_cases 0 opts_all "${good[@]}"
add_cases 1 opts_stdin "${good[@]}"
add_cases 0 opts_damaged "${damaged[@]}"
add_cases 1 opts_stdin_damaged "${damaged[@]}"
if [ ${#fuzz_files[@]} -gt 0 ]; then
  add_cases 0 opts_fuzz "${fuzz_files[@]}"
  add_cases 1 opts_stdin_damaged "${fuzz_files[@]}"
fi
n_inputs=$((${#good[@]} + ${#damaged[@]} + ${#fuzz_files[@]}))
n_optsets=$(cut -f2,3 "$cases" | LC_ALL=C sort -u | wc -l)
n_cases=$(wc -l <"$cases")

# ---------------------------------------------------------------------------
# Runs

# Runs the cases of one shard with both binaries. Counts go to
# RUN_DIR/counts/SHARD, each differing case to RUN_DIR/diffs/<case number>.
run_shard() {
  local shard=$1 w=$RUN_DIR/work/${1##*/}
  local n=0 same=0 differ=0 both_timeout=0 both_signal=0
  local num path via optstr operand input side what rc rc_a rc_b stream
  local -a opts
  set -f
  mkdir -p "$w"
  while IFS=$'\t' read -r num path via optstr; do
    read -r -a opts <<<"$optstr"
    if [ "$via" = 1 ]; then operand=-; input=$path; else operand=$path; input=/dev/null; fi
    for side in a b; do
      PATH="$RUN_DIR/bin-$side:$PATH" TZ=UTC LC_ALL=C timeout "$RUN_TIMEOUT" \
        jrnscan ${opts[@]+"${opts[@]}"} "$operand" <"$input" >"$w/$side.out" 2>"$w/$side.err" &&
        rc=0 || rc=$?
      eval "rc_$side=\$rc"
    done
    n=$((n + 1))
    if [ "$rc_a" = 124 ] && [ "$rc_b" = 124 ]; then
      # Both cut off: what they wrote by then depends on timing.
      same=$((same + 1)) both_timeout=$((both_timeout + 1))
      printf 'both timed out: %s\n' "$(show_command "$path" "$via" "${opts[@]}")" >>"$RUN_DIR/notes/$num"
      continue
    fi
    what=""
    [ "$rc_a" = "$rc_b" ] || what=" exit status ($rc_a vs $rc_b),"
    cmp -s "$w/a.out" "$w/b.out" || what="$what stdout,"
    # Most runs write nothing on standard error: no cmp needed then.
    if [ -s "$w/a.err" ] || [ -s "$w/b.err" ]; then
      cmp -s "$w/a.err" "$w/b.err" || what="$what stderr,"
    fi
    if [ -z "$what" ]; then
      same=$((same + 1))
      if [ "$rc_a" -gt 128 ]; then
        both_signal=$((both_signal + 1))
        printf 'both killed by signal %d: %s\n' $((rc_a - 128)) "$(show_command "$path" "$via" "${opts[@]}")" \
          >>"$RUN_DIR/notes/$num"
      fi
      continue
    fi
    differ=$((differ + 1))
    {
      printf '== %s\n' "$(show_command "$path" "$via" "${opts[@]}")"
      what=${what%,}
      printf '   differs: %s\n' "${what# }"
      for stream in out err; do
        cmp -s "$w/a.$stream" "$w/b.$stream" && continue
        printf -- '--- std%s: diff A B (first lines)\n' "$stream"
        diff -a "$w/a.$stream" "$w/b.$stream" | head -20 || true
      done
      echo
    } >"$RUN_DIR/diffs/$num"
  done <"$shard"
  echo "$n $same $differ $both_timeout $both_signal" >"$RUN_DIR/counts/${shard##*/}"
}

# The command of one case as it can be typed in the inputs directory.
show_command() {
  local path=$1 via=$2 cmd
  shift 2
  cmd="TZ=UTC jrnscan"
  [ $# -gt 0 ] && cmd+=" $(printf '%q ' "$@")" && cmd=${cmd% }
  if [ "$via" = 1 ]; then cmd+=" - < $(printf '%q' "$path")"; else cmd+=" $(printf '%q' "$path")"; fi
  printf '%s' "$cmd"
}

export RUN_DIR=$run_dir RUN_TIMEOUT=$run_timeout
export -f run_shard show_command
mkdir -p "$run_dir/shards" "$run_dir/counts" "$run_dir/diffs" "$run_dir/notes" "$run_dir/work"
awk -F'\t' -v OFS='\t' '{ printf "%08d\t%s\n", NR, $0 }' "$cases" >"$run_dir/numbered"
shards=$((jobs * 8))
(cd "$run_dir/shards" && split -n "r/$shards" -a 3 "$run_dir/numbered" shard.)

echo "comparing: $n_inputs inputs, $n_optsets option sets, $n_cases runs, $jobs at a time" >&2
cmp_start=$SECONDS
find "$run_dir/shards" -type f -print0 | LC_ALL=C sort -z |
  xargs -0 -P "$jobs" -I{} bash -c 'run_shard "$1"' _ {}

read -r total same differ both_timeout both_signal < <(cat "$run_dir"/counts/* |
  awk '{ for (i = 1; i <= 5; i++) s[i] += $i } END { print s[1], s[2], s[3], s[4], s[5] }')
[ "$total" -eq "$n_cases" ] || die "only $total of $n_cases runs finished"

report=$cdir/report.txt
{
  echo "jrnscan output comparison, $(date -u '+%Y-%m-%d %H:%M:%S UTC'), $mode mode"
  echo "A: $label_a"
  echo "B: $label_b"
  echo "commands run in: $inputs"
  echo "runs: $total, identical: $same, differing: $differ"
  echo
  find "$run_dir/notes" -type f | LC_ALL=C sort | xargs -r cat
  [ "$both_timeout$both_signal" = 00 ] || echo
  find "$run_dir/diffs" -type f | LC_ALL=C sort | xargs -r cat
} >"$report"

elapsed=$((SECONDS - start_time))
cat <<EOF

A: $label_a
B: $label_b
inputs:      $n_inputs (${#good[@]} well-formed, ${#damaged[@]} damaged, ${#fuzz_files[@]} from fuzz corpora)
option sets: $n_optsets
runs:        $total
identical:   $same
differing:   $differ
EOF
[ "$both_timeout" -eq 0 ] || echo "(timed out in both: $both_timeout)"
[ "$both_signal" -eq 0 ] || echo "(killed by a signal in both: $both_signal)"
echo "report:      $report"
echo "time:        ${elapsed}s (runs $((SECONDS - cmp_start))s)"
if [ "$differ" -gt 0 ]; then
  echo
  echo "first differences:"
  awk '/^== / && n++ < 10 { print "  " substr($0, 4) }' "$report"
  exit 1
fi
exit 0
