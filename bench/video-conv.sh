#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Cost of the video converter against ffmpeg's crop,scale,pad,eq chain on the same 720x480
# pictures, in one run. Both run on one thread: crop 8 pixels left and right, bicubic scaling
# of 704x480 to 640x436 between 22-row bars, brightness and saturation changed.
#   bench/video-conv.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target video_conv_bench >/dev/null
pictures=${PICTURES:-150}
passes=${PASSES:-4}
raw="$build/bench/pictures-720x480.yuv"
if [ ! -s "$raw" ]; then
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001" \
    -frames:v "$pictures" -pix_fmt yuv420p -f rawvideo "$raw"
fi

TIMEFORMAT=%R
seconds() { { time "$@" >/dev/null 2>&1; } 2>&1; }
run_ffmpeg() {
  ffmpeg -hide_banner -loglevel error -threads 1 -filter_threads 1 \
    -f rawvideo -pix_fmt yuv420p -s 720x480 -stream_loop $((passes - 1)) -i "$raw" \
    -vf "crop=704:480:8:0,scale=640:436:flags=bicubic,pad=640:480:0:22:black,eq=brightness=0.1:saturation=1.25" \
    -f null -
}

cat "$raw" >/dev/null  # warm the page cache for both
ours=$(seconds "$build/bench/video_conv_bench" "$raw" "$passes")
theirs=$(seconds run_ffmpeg)
frames=$((pictures * passes))
awk -v o="$ours" -v t="$theirs" -v n="$frames" 'BEGIN {
  printf "%d pictures 720x480 -> 640x480 (crop, bicubic scale, bars, brightness, saturation)\n", n
  printf "  video converter : %6.3f s  %7.1f pictures/s\n", o, n / o
  printf "  ffmpeg chain    : %6.3f s  %7.1f pictures/s\n", t, n / t
  printf "  cost ratio video converter / ffmpeg: %.2f\n", o / t
}'
