#!/usr/bin/env bash
# Converts title 1 of the NTSC sample disc with our engine, with ffmpeg (from
# the title's VOB file) and with HandBrakeCLI (from the disc image), with the
# same settings, in one run, a few times each, and prints the median wall
# times and our ratio to each.   bench/compare.sh [BUILD_DIR] [RUNS]
#   H.264: libx264 2000 kb/s (preset medium), 720x480, 29.97 fps, AAC stereo 160 kb/s (profile 1)
#   AVI:   MPEG-4 1500 kb/s, 640x480, MP3 128 kb/s (profile 7; ffmpeg only)
# Ours runs with --cpu 100, as the others use every core (the stored default,
# 50 %, leaves half the machine free), and with --overwrite, as ffmpeg with -y:
# every run writes the same file.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-3}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli sample-discs >/dev/null

iso="$build/fixtures/ntsc.iso"
vob="$build/fixtures/ntsc/VIDEO_TS/VTS_01_1.VOB"
cli="$build/src/cli/rizuvira-cli"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
seconds=60.06  # title 1; the VOB holds title 2 after it

TIMEFORMAT=%R
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
timed() {  # a failed run stops the benchmark rather than timing an error
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || { echo "failed: $*" >&2; exit 1; }
  echo "$t"
}
measure() {  # name, command...
  local name=$1; shift
  for ((i = 0; i < runs; i++)); do timed "$@"; done | median > "$out/$name.time"
}

measure ours_h264 "$cli" convert "$iso" --titles 1 --profile 1 --cpu 100 --output "$out" --overwrite --quiet
measure ffmpeg_h264 ffmpeg -nostdin -y -i "$vob" -t $seconds -map 0:v:0 -map 0:a:0 \
  -c:v libx264 -preset medium -b:v 2000k -s 720x480 -r 30000/1001 -c:a aac -b:a 160k -ac 2 -ar 48000 "$out/ff.mp4"
measure handbrake_h264 HandBrakeCLI -i "$iso" -t 1 -o "$out/hb.mp4" -e x264 --encoder-preset medium -b 2000 \
  -w 720 -l 480 --crop 0:0:0:0 -r 29.97 --cfr -a 1 -E av_aac -B 160 -6 stereo -R 48
measure ours_avi "$cli" convert "$iso" --titles 1 --profile 7 --cpu 100 --output "$out" --overwrite --quiet
measure ffmpeg_avi ffmpeg -nostdin -y -i "$vob" -t $seconds -map 0:v:0 -map 0:a:0 \
  -c:v mpeg4 -b:v 1500k -s 640x480 -r 30000/1001 -c:a libmp3lame -b:a 128k -ac 2 -ar 44100 "$out/ff.avi"

t() { cat "$out/$1.time"; }
printf '%-22s %8s\n' "median wall seconds" "($runs runs)"
for n in ours_h264 ffmpeg_h264 handbrake_h264 ours_avi ffmpeg_avi; do printf '%-22s %8s\n' "$n" "$(t $n)"; done
awk -v o="$(t ours_h264)" -v f="$(t ffmpeg_h264)" -v h="$(t handbrake_h264)" -v oa="$(t ours_avi)" -v fa="$(t ffmpeg_avi)" 'BEGIN {
  printf "ratio ours/ffmpeg     (H.264): %.2f\n", o / f
  printf "ratio ours/HandBrake  (H.264): %.2f\n", o / h
  printf "ratio ours/ffmpeg     (AVI)  : %.2f\n", oa / fa
}'
