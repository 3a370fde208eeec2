#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Throughput of reading a whole title through the DVD access layer against cat
# of the same VOB files, in one run.   bench/dvd-read.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dvd_read_bench sample-discs >/dev/null
disc="$build/fixtures/ntsc"
passes=${PASSES:-50}
vobs=("$disc"/VIDEO_TS/VTS_01_*.VOB)

TIMEFORMAT=%R
seconds() { { time "$@" >/dev/null 2>&1; } 2>&1; }
cat_all() { for ((i = 0; i < passes; i++)); do cat "${vobs[@]}"; done; }

cat_all >/dev/null  # warm the page cache for both
ours=$(seconds "$build/bench/dvd_read_bench" "$disc" 0 "$passes")
cats=$(seconds cat_all)
title_bytes=$("$build/bench/dvd_read_bench" "$disc" 0 1 | awk '{print $1}')
vob_bytes=$(cat "${vobs[@]}" | wc -c)
awk -v o="$ours" -v c="$cats" -v tb="$title_bytes" -v vb="$vob_bytes" -v n="$passes" 'BEGIN {
  printf "NTSC sample title 1 (%d bytes), %d passes\n", tb, n
  printf "  dvd layer : %6.3f s  %8.1f MB/s\n", o, tb * n / 1e6 / o
  printf "  cat VOBs  : %6.3f s  %8.1f MB/s  (%d bytes: title set 1 holds title 2 too)\n", c, vb * n / 1e6 / c, vb
  printf "  throughput ratio dvd layer / cat: %.2f\n", (tb * n / o) / (vb * n / c)
}'
