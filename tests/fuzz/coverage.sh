#!/usr/bin/env bash
# Line coverage of the product reached by the fuzz corpora that run.sh
# left in FUZZ_DIR (default /tmp/jrnscan-fuzz), per option set and merged.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-fuzz-cov
work=${FUZZ_DIR:-/tmp/jrnscan-fuzz}

CC=clang CXX=clang++ CXXFLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  cmake -S "$root" -B "$build" -DJRNSCAN_FUZZ=ON -DJRNSCAN_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_scan >/dev/null

profiles=()
for corpus in "$work"/corpus-*; do
  mode=${corpus##*/corpus-}
  LLVM_PROFILE_FILE="$work/$mode.profraw" JRNSCAN_FUZZ_MODE=$mode \
    "$build/fuzz_scan" -runs=0 -close_fd_mask=3 "$corpus" >/dev/null 2>&1 || true
  llvm-profdata merge -sparse "$work/$mode.profraw" -o "$work/$mode.profdata"
  printf '%-8s ' "$mode"
  llvm-cov report "$build/fuzz_scan" -instr-profile="$work/$mode.profdata" \
    "$root/util/jrnscan" | tail -1
  profiles+=("$work/$mode.profdata")
done
llvm-profdata merge -sparse "${profiles[@]}" -o "$work/all.profdata"
echo "all option sets, per file:"
llvm-cov report "$build/fuzz_scan" -instr-profile="$work/all.profdata" "$root/util/jrnscan"
