#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What the default profile's files look like, against the peers: for a title of each sample
# disc (and a harder grainy clip made here), our default profile (2: H.264 at the source's
# size and rate, CRF 22, preset medium), ffmpeg at the same codec settings (libx264 -crf 22
# -preset medium, from the title's VOB) and HandBrakeCLI's comparable preset (Fast 480p30 /
# Fast 576p25: x264 RF 22, preset fast). For each file: the video stream's bytes, pictures
# and frame rate, SSIM and PSNR of its pictures against the source's (both decoded, scaled to
# the source's size, paired by time from their first picture). No subtitle is drawn and
# nothing is cropped. Ours should be no worse in SSIM at no larger size.
#   bench/quality.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli sample-discs >/dev/null

fixtures="$build/fixtures"
cli="$build/src/cli/rizuvira-cli"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export HOME="$out/home"  # ours: no stored settings or saved profiles of the user's
mkdir -p "$HOME"

video_bytes() {
  ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1" |
    awk '{ t += $1 } END { print t + 0 }'
}
pictures_and_rate() {
  ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets,r_frame_rate -of csv=p=0 "$1" | awk -F, '{ print $1, $2 }'
}
# "SSIM PSNR" of `file` against `source` (seconds `length` from its start).
likeness() {
  local file=$1 source=$2 length=$3 size
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$source" |
    awk -F, 'NR == 1 { print $1 "x" $2 }')
  ffmpeg -nostdin -i "$file" -t "$length" -i "$source" -lavfi \
    "[0:v]setpts=PTS-STARTPTS,scale=s=$size:flags=bicubic,split[a0][a1];
     [1:v]setpts=PTS-STARTPTS,scale=s=$size:flags=bicubic,split[b0][b1];
     [a0][b0]ssim=shortest=1;[a1][b1]psnr=shortest=1" -f null - 2>&1 |
    awk '/SSIM/ { for (i = 1; i <= NF; ++i) if ($i ~ /^All:/) s = substr($i, 5) }
         /PSNR/ { for (i = 1; i <= NF; ++i) if ($i ~ /^average:/) p = substr($i, 9) }
         END { printf "%s %s", s, p }'
}
row() {  # name file source length
  local bytes rate_count like
  bytes=$(video_bytes "$2")
  read -r rate count <<<"$(pictures_and_rate "$2")"
  like=$(likeness "$2" "$3" "$4")
  printf '%-34s %10s %8s %10s %9s %8s\n' "$1" "$bytes" "$count" "$rate" ${like}
}

# A grainy clip: moving detail under noise, MPEG-2 at a DVD's rate, 8 s of PAL.
ffmpeg -nostdin -v error -y -f lavfi -i "mandelbrot=size=720x576:rate=25,noise=alls=10:allf=t+u" \
  -f lavfi -i sine=f=440 -t 8 -c:v mpeg2video -b:v 6M -maxrate 8M -bufsize 1835k -c:a mp2 \
  -f mpegts "$out/grain.ts"

printf '%-34s %10s %8s %10s %9s %8s\n' "file" "video B" "pictures" "rate" "SSIM" "PSNR dB"
# source  title  seconds  HandBrake preset
for case in "ntsc 1 60.06 Fast 480p30" "pal 1 10 Fast 576p25" "film 1 3.003 Fast 480p30" \
            "grain 1 8 Fast 576p25"; do
  read -r disc title seconds preset <<<"$case"
  if [ "$disc" = grain ]; then
    input="$out/grain.ts" source="$out/grain.ts"
  else
    input="$fixtures/$disc.iso" source="$fixtures/$disc/VIDEO_TS/VTS_01_1.VOB"
  fi
  ours="$out/$disc/ours"
  "$cli" convert "$input" --titles "$title" --subtitle none --output "$ours" --overwrite --quiet \
    >/dev/null
  row "$disc: ours (profile 2)" "$ours/Title_0$title.mp4" "$source" "$seconds"
  ffmpeg -nostdin -v error -y -i "$source" -t "$seconds" -map 0:v:0 -c:v libx264 -crf 22 \
    -preset medium "$out/$disc/ffmpeg.mp4"
  row "$disc: ffmpeg (crf 22, medium)" "$out/$disc/ffmpeg.mp4" "$source" "$seconds"
  HandBrakeCLI -i "$input" -t "$title" --preset "$preset" --crop 0:0:0:0 -a none \
    -o "$out/$disc/hb.mp4" >/dev/null 2>&1
  row "$disc: HandBrakeCLI ($preset)" "$out/$disc/hb.mp4" "$source" "$seconds"
done
# The telecined film title: the frame rate and picture count each program gives it.
"$cli" convert "$fixtures/film.iso" --titles 2 --subtitle none --output "$out/film2" --overwrite \
  --quiet >/dev/null
HandBrakeCLI -i "$fixtures/film.iso" -t 2 --preset "Fast 480p30" --crop 0:0:0:0 -a none \
  -o "$out/film2/hb.mp4" >/dev/null 2>&1
for f in "ours (profile 2):$out/film2/Title_02.mp4" "HandBrakeCLI (Fast 480p30):$out/film2/hb.mp4"; do
  read -r rate count <<<"$(pictures_and_rate "${f#*:}")"
  printf '%-34s %10s %8s %10s\n' "film 2 (telecined): ${f%%:*}" "$(video_bytes "${f#*:}")" \
    "$count" "$rate"
done
