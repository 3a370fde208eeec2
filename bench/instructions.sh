#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The H.264 conversion of compare.sh, on the first ten seconds of title 1, counted in
# instructions (valgrind's callgrind) for ours and for ffmpeg, with each program's count by
# library. Unlike CPU seconds, the counts do not move with the load on the machine, so a
# small difference in the pipeline's own cost shows here first.
#   bench/instructions.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli sample-discs >/dev/null

iso="$build/fixtures/ntsc.iso"
vob="$build/fixtures/ntsc/VIDEO_TS/VTS_01_1.VOB"
cli="$build/src/cli/rizuvira-cli"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
threads=$(nproc)

valgrind --tool=callgrind --callgrind-out-file="$out/ours.cg" \
  "$cli" convert "$iso" --titles 1 --profile 2 --size 720x480 --fps 29.97 --vbitrate 2000000 \
  --zoom full --subtitle none --cpu 100 \
  --trim 00:00:00-00:00:10 --output "$out/ours" --overwrite --quiet >/dev/null 2>&1
valgrind --tool=callgrind --callgrind-out-file="$out/ffmpeg.cg" \
  ffmpeg -nostdin -y -v error -i "$vob" -t 10.01 -map 0:v:0 -map 0:a:0 -c:v libx264 -threads:v "$threads" \
  -preset medium -b:v 2000k -bt 2000k -bf 0 -g 29 -keyint_min 2 -sc_threshold 40 -rc-lookahead 29 \
  -s 720x480 -r 30000/1001 -c:a aac -b:a 160k -ac 2 -ar 48000 "$out/ff.mp4" >/dev/null 2>&1

# Instructions by library ("object" in callgrind's words), largest first.
by_library() {
  callgrind_annotate --inclusive=no --threshold=100 "$1" 2>/dev/null |
    sed -nE 's/^ *([0-9,]+) +\([ 0-9.]+%\) +.*\[(.*)\] *$/\1 \2/p' | tr -d ',' |
    awk '{n = split($2, p, "/"); sum[p[n]] += $1} END {for (k in sum) printf "%.0f %s\n", sum[k], k}' | sort -nr
}
total() { callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}'; }
for who in ours ffmpeg; do
  echo "$who: $(total "$out/$who.cg") instructions"
  by_library "$out/$who.cg" | awk 'NR <= 6 {printf "  %14s  %s\n", $1, $2}'
done
awk -v a="$(total "$out/ours.cg")" -v b="$(total "$out/ffmpeg.cg")" \
  'BEGIN {printf "ours / ffmpeg (H.264, instructions): %.3f\n", a / b}'
