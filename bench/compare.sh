#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Converts title 1 of the NTSC sample disc with our engine, with ffmpeg (from
# the title's VOB file) and with HandBrakeCLI (from the disc image), with the
# same encoder settings, the runs of the three interleaved, and prints the
# median wall and CPU times and our ratio to each (the median of the runs' ratios).
#   bench/compare.sh [BUILD_DIR] [RUNS]
#   H.264: libx264 2000 kb/s (preset medium, no B-frames, GOP 29, look-ahead
#          29), 720x480, 29.97 fps, AAC stereo 160 kb/s (profile 2 at that size, rate
#          and bit rate: by itself it keeps the source's and codes by quality)
#   AVI:   MPEG-4 1500 kb/s, 640x480, MP3 128 kb/s (profile 8; ffmpeg only)
# The x264 settings each program wrote into its file are read back and
# compared, thread counts included; the benchmark fails when they differ.
# Everyone uses both cores: ours with --cpu 100 (the stored default, 50 %,
# leaves half the machine free). Ours runs with --overwrite, as ffmpeg with
# -y: every run writes the same file.
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
# x264 runs as many threads in each (ours: one a core with --cpu 100).
threads=$(nproc)
x264_ff=(-c:v libx264 -threads:v "$threads" -preset medium -b:v 2000k -bt 2000k -bf 0 -g 29 -keyint_min 2 -sc_threshold 40
  -rc-lookahead 29)
x264_hb="threads=$threads:bframes=0:keyint=29:min-keyint=2:scenecut=40:rc-lookahead=29:ratetol=1.0"

# The peers stretch the 4:3 pictures to the output size and draw no subtitle; so does ours
# with these (by default it keeps the shape with bars and draws the first subtitle).
same_pictures=(--zoom full --subtitle none)
declare -A jobs
jobs[ours_h264]="$cli convert $iso --titles 1 --profile 2 --size 720x480 --fps 29.97 --vbitrate 2000000
  ${same_pictures[*]} --cpu 100 --output $out/ours --overwrite --quiet"
jobs[ffmpeg_h264]="ffmpeg -nostdin -y -i $vob -t $seconds -map 0:v:0 -map 0:a:0 ${x264_ff[*]}
  -s 720x480 -r 30000/1001 -c:a aac -b:a 160k -ac 2 -ar 48000 $out/ff.mp4"
jobs[handbrake_h264]="HandBrakeCLI -i $iso -t 1 -o $out/hb.mp4 -e x264 --encoder-preset medium
  -b 2000 --encopts $x264_hb -w 720 -l 480 --crop 0:0:0:0 -r 29.97 --cfr -a 1 -E av_aac -B 160
  -6 stereo -R 48"
jobs[ours_avi]="$cli convert $iso --titles 1 --profile 8 ${same_pictures[*]} --cpu 100 --output $out/ours --overwrite --quiet"
jobs[ffmpeg_avi]="ffmpeg -nostdin -y -i $vob -t $seconds -map 0:v:0 -map 0:a:0 -c:v mpeg4 -b:v 1500k
  -s 640x480 -r 30000/1001 -c:a libmp3lame -b:a 128k -ac 2 -ar 44100 $out/ff.avi"
order=(ours_h264 ffmpeg_h264 handbrake_h264 ours_avi ffmpeg_avi)

# Each run appends "wall cpu" (user + system seconds) to $out/NAME.times; a
# failed run stops the benchmark rather than timing an error.
for ((i = 0; i < runs; i++)); do
  for name in "${order[@]}"; do
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S" -o "$out/time" ${jobs[$name]} >/dev/null 2>&1 ||
      { echo "failed: ${jobs[$name]}" >&2; exit 1; }
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$out/time" >> "$out/$name.times"
  done
done

# The x264 settings string of a file, one setting a line.
x264_settings() (
  set +o pipefail  # the search stops reading at the first match
  strings "$1" | grep -m1 -o 'options: .*' | tr ' ' '\n' | grep '='
)
x264_settings "$out/ours/Title_01.mp4" > "$out/ours.x264"
for peer in ff hb; do
  x264_settings "$out/$peer.mp4" > "$out/$peer.x264"
  if ! diff -u "$out/ours.x264" "$out/$peer.x264" > "$out/$peer.diff"; then
    echo "the x264 settings of $peer differ from ours:" >&2
    cat "$out/$peer.diff" >&2
    exit 1
  fi
done
echo "x264 settings, the same in all three files: $(tr '\n' ' ' < "$out/ours.x264")"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
wall() { cut -d' ' -f1 "$out/$1.times" | median; }
cpu() { cut -d' ' -f2 "$out/$1.times" | median; }
printf '%-16s %8s %8s   (median of %d interleaved runs)\n' "" "wall s" "CPU s" "$runs"
for n in "${order[@]}"; do printf '%-16s %8s %8s\n' "$n" "$(wall $n)" "$(cpu $n)"; done
# Each ratio is the median of the runs' own ratios: run i of ours against run i of the
# peer, which ran right after it, so a drift in the machine's speed cancels out.
paired() {  # paired OURS PEER COLUMN
  paste -d' ' <(cut -d' ' -f"$3" "$out/$1.times") <(cut -d' ' -f"$3" "$out/$2.times") |
    awk '{printf "%.4f\n", $1 / $2}' | median | awk '{printf "%.2f", $1}'
}
for pair in "ffmpeg_h264 H.264" "handbrake_h264 H.264" "ffmpeg_avi AVI"; do
  set -- $pair
  ours=ours_h264; [ "$2" = AVI ] && ours=ours_avi
  printf 'ours / %-15s (%-5s): wall %s, CPU %s\n' "${1%_*}" "$2" "$(paired $ours "$1" 1)" "$(paired $ours "$1" 2)"
done
