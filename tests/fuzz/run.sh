#!/usr/bin/env bash
# Fuzzes the whole scan with libFuzzer under each option set in turn.
#
#   tests/fuzz/run.sh [seconds per option set] [option sets...]
#
# Option sets: default all page pattern map json stats stats-json check
# check-json save archive-check archive-stats archive-report history as-of
# undo txns sessions transaction (see fuzz_scan.cc). The seed
# corpus is written by the project's generator; corpora and any crashing
# inputs stay in FUZZ_DIR (default /tmp/jrnscan-fuzz). Needs clang.
set -euo pipefail

secs=${1:-60}
shift || true
modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(default all page pattern map json stats stats-json check check-json save
  archive-check archive-stats archive-report history as-of undo txns sessions transaction)
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-fuzz
work=${FUZZ_DIR:-/tmp/jrnscan-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DJRNSCAN_FUZZ=ON -DJRNSCAN_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_scan fwgen >/dev/null

seeds=$work/seeds
mkdir -p "$seeds"
for version in 1.00 1.01 1.03 1.05; do
  for seed in 1 2 3; do
    "$build/fwgen" --seed "$seed" --tags 30 --version "$version" -o "$seeds/v$version-s$seed.fwlog"
  done
done
"$build/fwgen" --seed 9 --tags 20 --logs 2 -o "$seeds/two-logs.fwlog"
"$build/fwgen" --seed 4 --tags 30 --logs 3 --version 1.02 -o "$seeds/three-logs.fwlog"
"$build/fwgen" --seed 5 --tags 12 --mix page -o "$seeds/pages.fwlog"
# Compressed logs and tar archives of several logs: the reading of every
# operand goes through the decompressing source.
"$build/fwgen" --seed 6 --tags 40 --logs 3 --series "$seeds/series" >/dev/null
# Realistic logs alone leave much of the code unreached: add cut logs,
# changed bytes and tag letters of no kind, so that the fuzzer starts from
# the failure paths as well; the archives whole, cut and changed.
python3 - "$seeds" <<'PY'
import bz2, gzip, io, lzma, os, random, shutil, subprocess, sys, tarfile
seeds = sys.argv[1]

def write(name, data):
    open(os.path.join(seeds, name), "wb").write(data)

# cut-NAME: data cut short; flip-NAME: data with `flips` bits changed.
def cut_and_flip(rng, data, name, flips):
    cut = rng.randrange(1, len(data))
    write(f"cut-{name}", data[:cut])
    flipped = bytearray(data)
    for _ in range(flips):
        i = rng.randrange(len(flipped))
        flipped[i] ^= 1 << rng.randrange(8)
    write(f"flip-{name}", bytes(flipped))

rng = random.Random(1)
for name in sorted(os.listdir(seeds)):
    if not name.endswith(".fwlog") or name.startswith(("cut-", "flip-", "letter-")):
        continue
    data = open(os.path.join(seeds, name), "rb").read()
    base = name[:-6]
    for k in range(3):
        cut_and_flip(rng, data, f"{base}-{k}.fwlog", 4)
    # A tag letter of no kind right behind the file header.
    header = 28 if b"1.00" in data[10:16] else 36
    write(f"letter-{base}.fwlog", data[:header] + b"X" + data[header + 1:])

rng = random.Random(2)
logs = [open(os.path.join(seeds, "series", n), "rb").read()
        for n in sorted(os.listdir(os.path.join(seeds, "series")))]
shutil.rmtree(os.path.join(seeds, "series"))
def zstd(data):
    try:
        return subprocess.run(["zstd", "-q", "-c"], input=data, capture_output=True,
                              check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
forms = {"gz": lambda d: gzip.compress(d, mtime=0), "bz2": bz2.compress, "xz": lzma.compress,
         "zst": zstd}
out = {}
for ext, pack in forms.items():
    packed = pack(logs[0])
    if packed is not None:
        out[f"z-{ext}"] = packed
buf = io.BytesIO()
with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
    for i, data in enumerate(reversed(logs)):
        member = gzip.compress(data, mtime=0) if i == 1 else data
        info = tarfile.TarInfo(f"day/{i}.fwlog")
        info.size = len(member)
        tar.addfile(info, io.BytesIO(member))
    info = tarfile.TarInfo("notes.txt")
    info.size = 5
    tar.addfile(info, io.BytesIO(b"notes"))
out["tar"] = buf.getvalue()
out["tar-xz"] = lzma.compress(out["tar"])
for name, data in out.items():
    write(f"{name}.arc", data)
    cut_and_flip(rng, data, f"{name}.arc", 3)
PY

for mode in "${modes[@]}"; do
  corpus=$work/corpus-$mode
  mkdir -p "$corpus"
  echo "== $mode: $secs s"
  JRNSCAN_FUZZ_MODE=$mode "$build/fuzz_scan" -max_total_time="$secs" -close_fd_mask=2 \
    -max_len=32768 -print_final_stats=1 -artifact_prefix="$work/crash-$mode-" \
    "$corpus" "$seeds" >"$work/$mode.log" 2>&1 || echo "   fuzzer stopped: see $work/$mode.log"
  grep -E '^stat::number_of_executed_units|^Done|cov: ' "$work/$mode.log" | tail -3 | sed 's/^/   /'
done
ls "$work"/crash-* 2>/dev/null && echo "crashing inputs above" || echo "no crashing inputs"
