#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Cost of deinterlacing: the CPU time our converter spends on a 30 s interlaced
# MPEG-2 file with --deinterlace on over the same conversion with it off, next
# to what ffmpeg spends on bwdif (send_frame, every picture) in the same
# conversion. Both encode MPEG-4 720x480 on one thread, without sound; the runs
# of the four jobs are interleaved and the medians compared (the machine should
# be otherwise idle: the differences are small).
#   bench/deinterlace.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-3}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli >/dev/null

cli="$build/src/cli/rizuvira-cli"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pictures=900  # 30 s at 29.97
source="$build/bench/interlaced-720x480.mpg"
mkdir -p "$build/bench"
if [ ! -s "$source" ]; then
  # The film disc's interlaced title, longer: scrolling stripes woven from 59.94 moments per second.
  ffmpeg -hide_banner -loglevel error -y -f lavfi \
    -i "color=c=black:s=720x480:r=60000/1001,format=yuv420p,lutyuv=y=96:u=128:v=128,drawgrid=w=64:h=480:t=24:color=white,scroll=horizontal=0.01,trim=end_frame=$((2 * pictures)),interlace=scan=tff" \
    -c:v mpeg2video -b:v 6000k -flags +ilme+ildct -top 1 -an -f dvd "$source"
fi

ours() {
  "$cli" convert "$source" --profile 8 --vcodec mpeg4 --size 720x480 --zoom full --cpu 50 \
    --output "$out/ours" --overwrite --quiet --deinterlace "$1"
}
theirs() {
  ffmpeg -nostdin -hide_banner -loglevel error -y -threads 1 -filter_threads 1 -i "$source" -an \
    ${1:+-vf "$1"} -c:v mpeg4 -b:v 1500k -s 720x480 "$out/ff.avi"
}
declare -A jobs
jobs[ours_off]="ours off"
jobs[ours_on]="ours on"
jobs[ffmpeg_plain]="theirs"
jobs[ffmpeg_bwdif]="theirs bwdif=mode=send_frame:parity=auto:deint=all"
order=(ours_off ours_on ffmpeg_plain ffmpeg_bwdif)

for ((i = 0; i < runs; i++)); do
  for name in "${order[@]}"; do
    # shellcheck disable=SC2086
    /usr/bin/time -f "%U %S" -o "$out/time" bash -c "$(declare -f ours theirs); cli='$cli' source='$source' out='$out'; ${jobs[$name]}" \
      >/dev/null 2>&1 || { echo "failed: ${jobs[$name]}" >&2; exit 1; }
    awk '{printf "%.2f\n", $1 + $2}' "$out/time" >> "$out/$name.times"
  done
done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
cpu() { median < "$out/$1.times"; }
printf '%-14s %8s   (CPU s, median of %d interleaved runs, %d pictures)\n' "" "CPU s" "$runs" "$pictures"
for n in "${order[@]}"; do printf '%-14s %8s\n' "$n" "$(cpu $n)"; done
awk -v a="$(cpu ours_on)" -v b="$(cpu ours_off)" -v c="$(cpu ffmpeg_bwdif)" -v d="$(cpu ffmpeg_plain)" -v n="$pictures" 'BEGIN {
  printf "deinterlacing, ours  : %6.2f s  (%.2f ms a picture)\n", a - b, (a - b) * 1000 / n
  printf "deinterlacing, ffmpeg: %6.2f s  (%.2f ms a picture)\n", c - d, (c - d) * 1000 / n
  if (c - d > 0) printf "cost ratio ours / ffmpeg: %.2f\n", (a - b) / (c - d)
}'
