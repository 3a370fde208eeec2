#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What the pipeline itself costs, on a long generated title (bench/long-title.sh), in one run:
#  - decoding and converting only, into FFmpeg's null container (a ".null" profile: pictures
#    and sound are handed to the writer and thrown away), against `ffmpeg -f null` decoding
#    the same VOB; the runs interleaved, median CPU (user + system) and wall times;
#  - the peak resident memory of a whole conversion (profile 8, AVI: MPEG-4 and MP3, the
#    encoders fast enough for a long title) of the first 3, 6 and 12 minutes, against ffmpeg
#    converting the same minutes with the same settings.
# Both pass the pictures unchanged (ours with --zoom full: the title is 16:9 in 720x480).
#   bench/pipeline.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-3}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli >/dev/null
disc=$(realpath "$(bench/long-title.sh "$build" 12)")
vob="$disc/VIDEO_TS/VTS_01_1.VOB"
cli="$PWD/$build/src/cli/rizuvira-cli"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cat > "$out/null.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Formats>
  <Profile>
    <ProfileName value="Decode only"/>
    <FormatExt value=".null"/>
    <VideoCodecName value="wrapped_avframe"/>
    <Width value="720"/>
    <Height value="480"/>
    <FrameRate value="29970"/>
    <VideoBitRate value="2000000"/>
    <AudioCodecName value="pcm_s16le"/>
    <SampleRate value="48000"/>
    <AudioBitRate value="160000"/>
    <Channel value="2"/>
    <Resolutions value="720*480"/>
    <FrameRates value="29970$29.97 fps"/>
    <VideoCodecs value="wrapped_avframe$none"/>
    <VideoBitRates value="2000000$2000 kbps"/>
    <SampleRates value="48000$48000 Hz"/>
    <Channels value="2$Stereo"/>
    <AudioCodecs value="pcm_s16le$PCM"/>
    <AudioBitRates value="160000$160 kbps"/>
  </Profile>
</Formats>
XML

# timed NAME COMMAND...: appends "wall cpu maxrss_kb" to $out/NAME.times.
timed() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$out/time" "$@" >/dev/null 2>&1 ||
    { echo "failed: $*" >&2; exit 1; }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$out/time" >> "$out/$name.times"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
column_of() { cut -d' ' -f"$2" "$out/$1.times" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

cd "$out"  # no Format.xml of the source tree's working directory
for ((i = 0; i < runs; i++)); do
  timed ours_null "$cli" convert "$disc" --titles 1 --catalogue "$out/null.xml" --profile 1 \
    --zoom full --subtitle none --cpu 100 --output "$out/ours" --overwrite --quiet
  timed ffmpeg_null ffmpeg -nostdin -y -i "$vob" -map 0:v:0 -map 0:a:0 -ac 2 -ar 48000 -f null -
done
echo "Decoding and converting the 12-minute title into the null container (median of $runs):"
printf '  %-8s %8s %8s\n' "" "wall s" "CPU s"
for n in ours_null ffmpeg_null; do printf '  %-8s %8s %8s\n' "${n%_null}" "$(column_of $n 1)" "$(column_of $n 2)"; done
# The ratio is the median of the runs' own ratios (each of ours against the ffmpeg run right
# after it), as in compare.sh.
paired() {  # paired COLUMN
  paste -d' ' <(cut -d' ' -f"$1" "$out/ours_null.times") <(cut -d' ' -f"$1" "$out/ffmpeg_null.times") |
    awk '{printf "%.4f\n", $1 / $2}' | median | awk '{printf "%.2f", $1}'
}
echo "  ours / ffmpeg: wall $(paired 1), CPU $(paired 2)"

echo "Peak resident memory converting the first minutes to AVI (MPEG-4 1500 kb/s, MP3):"
printf '  %-8s %12s %12s %8s\n' "minutes" "ours MB" "ffmpeg MB" "ratio"
for minutes in 3 6 12; do
  timed "ours_$minutes" "$cli" convert "$disc" --titles 1 --trim "00:00:00-00:$(printf %02d "$minutes"):00" \
    --profile 8 --zoom full --cpu 100 --output "$out/ours" --overwrite --quiet
  timed "ffmpeg_$minutes" ffmpeg -nostdin -y -i "$vob" -t $((minutes * 60)) -map 0:v:0 -map 0:a:0 \
    -c:v mpeg4 -b:v 1500k -s 640x480 -r 30000/1001 -c:a libmp3lame -b:a 128k -ac 2 -ar 44100 "$out/ff.avi"
  o=$(column_of "ours_$minutes" 3)
  f=$(column_of "ffmpeg_$minutes" 3)
  printf '  %-8s %12.1f %12.1f %8s\n' "$minutes" "$(awk -v k="$o" 'BEGIN {print k / 1024}')" \
    "$(awk -v k="$f" 'BEGIN {print k / 1024}')" "$(ratio "$o" "$f")"
done
echo "  ours, 12 minutes / 3 minutes: $(ratio "$(column_of ours_12 3)" "$(column_of ours_3 3)")"
