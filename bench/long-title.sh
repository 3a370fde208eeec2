#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Authors a long NTSC DVD title for the memory and throughput benchmarks, once:
# MINUTES of moving pictures with grain (so the MPEG-2 stream runs near 6 Mb/s
# like a film's) and AC-3 stereo sound, a chapter every 5 minutes. Prints the
# disc folder; the disc is kept and reused until MINUTES changes.
#   bench/long-title.sh BUILD_DIR [MINUTES]
set -euo pipefail
build=${1:?build folder}
minutes=${2:-12}
disc="$build/bench/long-$minutes"
if [ -f "$disc/VIDEO_TS/VIDEO_TS.IFO" ]; then
  echo "$disc"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=$((minutes * 60))
ffmpeg -hide_banner -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,noise=alls=12:allf=t" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000,aformat=channel_layouts=stereo" \
  -t "$seconds" -target ntsc-dvd -aspect 16:9 -b:v 6000k -threads 2 -c:a ac3 -b:a 192k \
  "$work/title.mpg"
chapters=$(seq -s, 0 300 $((seconds - 1)) | sed -E 's/([0-9]+)/\1/g' |
  awk -F, '{for (i = 1; i <= NF; i++) printf "%s%d:%02d:%02d", (i > 1 ? "," : ""), $i / 3600, ($i % 3600) / 60, $i % 60}')
mkdir -p "$work/disc"
cat > "$work/disc.xml" <<XML
<dvdauthor dest="$work/disc">
  <vmgm/>
  <titleset><titles>
    <video format="ntsc" aspect="16:9" widescreen="nopanscan"/>
    <audio lang="en"/>
    <pgc><vob file="$work/title.mpg" chapters="$chapters"/></pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=NTSC dvdauthor -x "$work/disc.xml" >"$work/dvdauthor.log" 2>&1 || {
  cat "$work/dvdauthor.log" >&2
  exit 1
}
mkdir -p "$build/bench"
rm -rf "$disc"
mv "$work/disc" "$disc"
echo "$disc"
