#!/usr/bin/env bash
# jrnscan benchmark. Generates its logs with the project's generator, runs
# every workload several times, interleaved with reference commands on the
# same file, and prints medians and ratios.
#
#   bench/run.sh [runs]        (default 5; BENCH_DIR sets where logs go)
#
# W1 scan:     1 GiB of FIXREC-heavy records, a filter that shows nothing
#              (-x above every transaction), against dd bs=1M.
# W2 dump:     256 MiB of PAGE tags with -a -vvv, against xxd and hexdump -C.
# W3 default:  the W1 log in the default view with -v.
# W4 JSON:     the W1 log as JSON Lines with --json -a -v.
# W5 stats:    the W1 log summarised with --stats (every tag counted).
# W6 check:    the W1 log judged with --check, its before-images against
#              their records included (every FIXREC body is followed).
# W6o check:   --check --image-memory=0, the check without that (the work
#              W6 did before the before-image check).
# W6j check-json: the W1 log judged with --check --json.
# W7 zstd:     the W1 log compressed with zstd -1, read through the input
#              layer's decompressing source (bench/read_source, every member
#              to its end), against zstd -dc.
# W8 series:   W1's options on a directory of 64 logs of 16 MiB (the same
#              mix, written by fwgen --series), against W1 per byte; "n/a"
#              while jrnscan refuses a directory.
# W7j zstd:    jrnscan with W1's options on that .zst file, against zstd -dc.
# W9 history:  the W1 log with --history of one record (202:5): every FIXREC
#              and before-image is looked at, against W1.
# W11 txns:    the W1 log listed with --txns (a line per transaction, record
#              headers only), against W1.
# W12 undo:    the W1 log with --undo of a transaction in its middle (100000):
#              every FIXREC and before-image is looked at, its records are
#              followed to the end, against W1.
# Memory:      peak resident size of W1 on a 1 GiB and a 4 GiB log.
#
# BENCH_BEFORE=PATH (a jrnscan built from an earlier revision) also times
# that binary on every jrnscan workload (W1 to W6j, W7j, W8, W9, W11 and
# W12), interleaved with this one's runs, and prints each workload's time
# before and after.
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
data=${BENCH_DIR:-/tmp/jrnscan-bench}
mkdir -p "$data"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DJRNSCAN_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target jrnscan fwgen read_source >/dev/null
jrnscan=$build/jrnscan
fwgen=$build/fwgen
read_source=$build/read_source

# Logs are generated once per generator setting and kept between runs.
gen() {  # name mix MiB
  local f=$data/$1.fwlog
  if [ ! -s "$f" ] || [ "$(cat "$f.args" 2>/dev/null)" != "$2 $3" ]; then
    echo "generating $1 ($3 MiB, $2)..." >&2
    "$fwgen" --seed 7 --mix "$2" --size "$3" -o "$f"
    echo "$2 $3" >"$f.args"
  fi
}
gen w1 fixrec 1024
gen w2 page 256
gen w4 fixrec 4096
# A series of logs, one file each, in a directory of its own.
gen_series() {  # name mix MiB logs
  local d=$data/$1
  if [ ! -d "$d" ] || [ "$(cat "$d.args" 2>/dev/null)" != "$2 $3 $4" ]; then
    echo "generating $1 ($4 files, $3 MiB in all, $2)..." >&2
    rm -rf "$d" "$d.args"
    "$fwgen" --seed 7 --mix "$2" --size "$3" --logs "$4" --series "$d"
    echo "$2 $3 $4" >"$d.args"
  fi
}
gen_series w8 fixrec 1024 64

now() { date +%s%N; }
# Runs a command with its output thrown away; prints nanoseconds.
clock() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1 || true
  t1=$(now)
  echo $((t1 - t0))
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
size_of() { stat -c %s "$1"; }

w1=$data/w1.fwlog
w2=$data/w2.fwlog
w4=$data/w4.fwlog
w7=$data/w1.fwlog.zst
w8=$data/w8
none="-x 4294967295"
if [ ! -s "$w7" ] || [ "$w1" -nt "$w7" ]; then
  echo "compressing w1 with zstd -1..." >&2
  zstd -q -1 -f "$w1" -o "$w7"
fi

cat "$w1" "$w2" "$w7" "$w8"/* >/dev/null  # warm the page cache
# W8 runs only when jrnscan reads a directory (it ends well on this one).
w8_ok=0
if "$jrnscan" $none "$w8" >/dev/null 2>&1; then w8_ok=1; fi

declare -a t_w1 t_dd t_w2 t_xxd t_hd t_w3 t_w4 t_w5 t_w6 t_w7 t_zst t_zstd t_w8 t_w7j t_w6o
declare -a b_w1 b_w2 b_w3 b_w4 b_w5 b_w6 b_w6j b_w7j b_w8 b_w9 b_w11 b_w12
declare -a t_w9
declare -a t_w11
declare -a t_w12
before=${BENCH_BEFORE:-}
for ((i = 0; i < runs; i++)); do
  t_w1+=("$(clock "$jrnscan" $none "$w1")")
  t_dd+=("$(clock dd if="$w1" of=/dev/null bs=1M)")
  t_w2+=("$(clock "$jrnscan" -a -vvv "$w2")")
  t_w3+=("$(clock "$jrnscan" -v "$w1")")
  t_w4+=("$(clock "$jrnscan" --json -a -v "$w1")")
  t_w5+=("$(clock "$jrnscan" --stats "$w1")")
  t_w6+=("$(clock "$jrnscan" --check "$w1")")
  t_w6o+=("$(clock "$jrnscan" --check --image-memory=0 "$w1")")
  t_w7+=("$(clock "$jrnscan" --check --json "$w1")")
  t_zst+=("$(clock "$read_source" "$w7")")
  t_zstd+=("$(clock zstd -dc "$w7")")
  if [ $w8_ok = 1 ]; then t_w8+=("$(clock "$jrnscan" $none "$w8")"); fi
  t_w7j+=("$(clock "$jrnscan" $none "$w7")")
  t_w9+=("$(clock "$jrnscan" --history 202:5 "$w1")")
  t_w11+=("$(clock "$jrnscan" --txns "$w1")")
  t_w12+=("$(clock "$jrnscan" --undo 100000 "$w1")")
  if [ -n "$before" ]; then
    b_w1+=("$(clock "$before" $none "$w1")")
    b_w3+=("$(clock "$before" -v "$w1")")
    b_w4+=("$(clock "$before" --json -a -v "$w1")")
    b_w5+=("$(clock "$before" --stats "$w1")")
    b_w6+=("$(clock "$before" --check "$w1")")
    b_w6j+=("$(clock "$before" --check --json "$w1")")
    b_w2+=("$(clock "$before" -a -vvv "$w2")")
    b_w7j+=("$(clock "$before" $none "$w7")")
    if [ $w8_ok = 1 ]; then b_w8+=("$(clock "$before" $none "$w8")"); fi
    b_w9+=("$(clock "$before" --history 202:5 "$w1")")
    b_w11+=("$(clock "$before" --txns "$w1")")
    b_w12+=("$(clock "$before" --undo 100000 "$w1")")
  fi
done
# The hex-dump references are slow; three runs give their median.
for ((i = 0; i < (runs < 3 ? runs : 3); i++)); do
  t_xxd+=("$(clock xxd "$w2")")
  t_hd+=("$(clock hexdump -C "$w2")")
done

m() { printf '%s\n' "$@" | median; }
mw1=$(m "${t_w1[@]}"); mdd=$(m "${t_dd[@]}"); mw2=$(m "${t_w2[@]}")
mxxd=$(m "${t_xxd[@]}"); mhd=$(m "${t_hd[@]}"); mw3=$(m "${t_w3[@]}"); mw4=$(m "${t_w4[@]}")
mw5=$(m "${t_w5[@]}"); mw6=$(m "${t_w6[@]}"); mw7=$(m "${t_w7[@]}"); mw6o=$(m "${t_w6o[@]}")
mzst=$(m "${t_zst[@]}"); mzstd=$(m "${t_zstd[@]}")
mw7j=$(m "${t_w7j[@]}")
mw8=""
if [ $w8_ok = 1 ]; then mw8=$(m "${t_w8[@]}"); fi
s8=$(cat "$w8"/* | wc -c)

w3_out=$("$jrnscan" -v "$w1" | wc -c)
w3_recs=$("$jrnscan" -v "$w1" | grep -c '^ transaction_id: ' || true)
w4_out=$("$jrnscan" --json -a -v "$w1" | wc -c)
rss() { /usr/bin/time -f %M "$jrnscan" $none "$1" 2>&1 >/dev/null | tail -1; }
rss1=$(rss "$w1")
rss4=$(rss "$w4")

awk -v s1="$(size_of "$w1")" -v s2="$(size_of "$w2")" -v w1="$mw1" -v dd="$mdd" \
    -v w2="$mw2" -v xxd="$mxxd" -v hd="$mhd" -v w3="$mw3" -v o3="$w3_out" -v r3="$w3_recs" \
    -v rss1="$rss1" -v rss4="$rss4" -v runs="$runs" -v w4="$mw4" -v o4="$w4_out" \
    -v w5="$mw5" -v w6="$mw6" -v w7="$mw7" -v zst="$mzst" -v zstd="$mzstd" -v w8="$mw8" -v s8="$s8" -v w7j="$mw7j" -v w6o="$mw6o" 'BEGIN {
  printf "jrnscan benchmark (medians of %d runs; MB = 10^6 bytes)\n\n", runs
  printf "%-34s %14s   %s\n", "workload", "result", "target"
  printf "%-34s %9.0f MB/s   >= 1500 MB/s\n", "W1 scan, log read", s1 / (w1 / 1e9) / 1e6
  printf "%-34s %11.2f x    <= 1.3 x\n", "W1 time / dd bs=1M time", w1 / dd
  printf "%-34s %9.0f MB/s\n", "W2 dump -a -vvv, log read", s2 / (w2 / 1e9) / 1e6
  printf "%-34s %11.1f x    >= 10 x\n", "W2 speed-up over xxd", xxd / w2
  printf "%-34s %11.1f x\n", "W2 speed-up over hexdump -C", hd / w2
  printf "%-34s %9.0f rec/s\n", "W3 default view -v, records", r3 / (w3 / 1e9)
  printf "%-34s %9.0f MB/s   >= 300 MB/s\n", "W3 output written", o3 / (w3 / 1e9) / 1e6
  printf "%-34s %9.0f MB/s   >= W3 / 2 = %.0f MB/s\n", "W4 --json -a -v, log read", s1 / (w4 / 1e9) / 1e6, s1 / (w3 / 1e9) / 1e6 / 2
  printf "%-34s %9.0f MB/s\n", "W4 JSON written", o4 / (w4 / 1e9) / 1e6
  printf "%-34s %9.0f MB/s\n", "W5 --stats, log read", s1 / (w5 / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.8 x\n", "W5 speed / W1 speed", w1 / w5
  printf "%-34s %9.0f MB/s\n", "W6 --check, log read", s1 / (w6 / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.5 x\n", "W6 speed / W1 speed", w1 / w6
  printf "%-34s %9.0f MB/s\n", "W6o --check --image-memory=0", s1 / (w6o / 1e9) / 1e6
  printf "%-34s %9.0f MB/s\n", "W6j --check --json, log read", s1 / (w7 / 1e9) / 1e6
  printf "%-34s %9.0f MB/s\n", "W7 zstd -1 log, decompressed read", s1 / (zst / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.8 x\n", "W7 speed / zstd -dc speed", zstd / zst
  printf "%-34s %11.2f x    >= 0.8 x\n", "W7j jrnscan .zst / zstd -dc speed", zstd / w7j
  if (w8 != "") {
    printf "%-34s %9.0f MB/s\n", "W8 directory of 64 x 16 MiB, read", s8 / (w8 / 1e9) / 1e6
    printf "%-34s %11.2f x    >= 1 x\n", "W8 speed / W1 speed, per byte", (s8 / w8) / (s1 / w1)
  } else {
    printf "%-34s %14s\n", "W8 directory of 64 x 16 MiB, read", "n/a"
    printf "%-34s %14s   >= 1 x\n", "W8 speed / W1 speed, per byte", "n/a"
  }
  printf "%-34s %9.1f MiB    < 16 MiB\n", "peak RSS, W1 on 1 GiB", rss1 / 1024
  printf "%-34s %9.1f MiB    < 16 MiB, = 1 GiB\n", "peak RSS, W1 on 4 GiB", rss4 / 1024
  printf "\nseconds: W7j %.3f  ", w7j/1e9
  printf "W1 %.3f  dd %.3f  W2 %.3f  xxd %.3f  hexdump %.3f  W3 %.3f  W4 %.3f  W5 %.3f  W6 %.3f  W6j %.3f  W7 %.3f  zstd -dc %.3f  W8 %s\n", w1/1e9, dd/1e9, w2/1e9, xxd/1e9, hd/1e9, w3/1e9, w4/1e9, w5/1e9, w6/1e9, w7/1e9, zst/1e9, zstd/1e9, (w8 != "") ? sprintf("%.3f", w8/1e9) : "n/a"
}'
# W9 on lines of its own.
awk -v s1="$(size_of "$w1")" -v w1="$mw1" -v w9="$(m "${t_w9[@]}")" 'BEGIN {
  printf "%-34s %9.0f MB/s\n", "W9 --history 202:5, log read", s1 / (w9 / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.5 x\n", "W9 speed / W1 speed", w1 / w9
}'
# W11 on lines of its own.
awk -v s1="$(size_of "$w1")" -v w1="$mw1" -v w11="$(m "${t_w11[@]}")" 'BEGIN {
  printf "%-34s %9.0f MB/s\n", "W11 --txns, log read", s1 / (w11 / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.6 x\n", "W11 speed / W1 speed", w1 / w11
}'
# W12 on lines of its own.
awk -v s1="$(size_of "$w1")" -v w1="$mw1" -v w12="$(m "${t_w12[@]}")" 'BEGIN {
  printf "%-34s %9.0f MB/s\n", "W12 --undo 100000, log read", s1 / (w12 / 1e9) / 1e6
  printf "%-34s %11.2f x    >= 0.5 x\n", "W12 speed / W1 speed", w1 / w12
}'
if [ -n "$before" ]; then
  echo
  echo "before ($before) and after, medians in seconds:"
  # W6o: the check without the before-image consistency, the work W6 did
  # before it (the earlier binary's W6).
  for w in w1 w2 w3 w4 w5 w6 w6o w6j w7j w8 w9 w11 w12; do
    case $w in
      w1) a=$mw1 ;; w2) a=$mw2 ;; w3) a=$mw3 ;; w4) a=$mw4 ;; w5) a=$mw5 ;; w6) a=$mw6 ;;
      w6o) a=$mw6o ;; w6j) a=$mw7 ;; w7j) a=$mw7j ;; w8) a=$mw8 ;;
      w9) a=$(m "${t_w9[@]}") ;; w11) a=$(m "${t_w11[@]}") ;; w12) a=$(m "${t_w12[@]}") ;;
    esac
    [ -n "$a" ] || continue
    arr="b_$w[@]"
    [ "$w" = w6o ] && arr="b_w6[@]"
    b=$(m "${!arr}")
    awk -v w="${w^^}" -v b="$b" -v a="$a" \
      'BEGIN { printf "  %-4s %8.3f %8.3f   %+6.1f%%\n", w, b / 1e9, a / 1e9, (a - b) / b * 100 }'
  done
fi
