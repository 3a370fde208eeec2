#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages of BUILD_DIR, unpacks them into a temporary root
# and runs the installed programs from an unrelated working directory on the
# sample disc: what a user who installed the package gets. Then installs, runs and
# removes both packages on this machine (scripts/check-install.sh).
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/..")
disc="$build/fixtures/ntsc.iso"
root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
cli_deb=$(ls -t "$build"/rizuvira-cli_*.deb | head -n 1)
gui_deb=$(ls -t "$build"/rizuvira_*.deb | head -n 1)
for deb in "$cli_deb" "$gui_deb"; do
  echo "package: $(basename "$deb")"
  dpkg-deb --field "$deb" Depends
  dpkg -x "$deb" "$root"
done

# The command line's package runs on a machine without a display: neither it nor its
# program names a Qt, X11 or SDL library.
display_libraries='qt6|libqt|libx11|libxcb|libsdl|libpulse|libasound'
if dpkg-deb --field "$cli_deb" Depends | tr ',' '\n' | grep -E -i "$display_libraries"; then
  echo "rizuvira-cli depends on a display library" >&2
  exit 1
fi
if readelf -d "$root/usr/bin/rizuvira-cli" | grep NEEDED | grep -E -i "$display_libraries"; then
  echo "rizuvira-cli links a display library" >&2
  exit 1
fi
# Blu-ray playlists and images are read with libbluray.
if [[ $(dpkg-deb --field "$cli_deb" Depends) != *libbluray2* ]]; then
  echo "rizuvira-cli does not depend on libbluray2" >&2
  exit 1
fi
# The symbols stripped from each program are in its -dbgsym package, found by build id.
for deb in "$build"/rizuvira-cli-dbgsym_*.ddeb "$build"/rizuvira-dbgsym_*.ddeb; do
  [ -e "$deb" ] || { echo "no debug symbols package beside the packages" >&2; exit 1; }
  [[ $(dpkg-deb --contents "$deb") =~ /usr/lib/debug/.build-id/[^$'\n']*\.debug ]] ||
    { echo "$(basename "$deb") holds no debug symbols" >&2; exit 1; }
done
# Debian's checks: neither package may draw an error or a warning.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$cli_deb" "$gui_deb"
  echo "lintian: no error, no warning"
else
  echo "skipped: lintian is not installed"
fi
for package in rizuvira rizuvira-cli; do
  for file in copyright changelog.gz; do
    [ -e "$root/usr/share/doc/$package/$file" ] && continue
    echo "the package $package lacks /usr/share/doc/$package/$file" >&2
    exit 1
  done
done

for file in bin/rizuvira bin/rizuvira-cli share/rizuvira/Format.xml share/rizuvira/Set.xml \
    share/rizuvira/help.html share/rizuvira/skin/maindlg.png share/rizuvira/skin/maindlg@2x.png \
    share/applications/org.example.Rizuvira.desktop \
    share/metainfo/org.example.Rizuvira.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.example.Rizuvira.svg \
    share/icons/hicolor/48x48/apps/org.example.Rizuvira.png share/man/man1/rizuvira-cli.1.gz \
    share/man/man1/rizuvira.1.gz; do
  [ -e "$root/usr/$file" ] && continue
  echo "the package lacks /usr/$file" >&2
  exit 1
done
# The screenshots AppStream shows: the desktop program's package holds the pictures its
# description names, no more and no fewer, each a PNG of the size the description states
# and not of one colour; the main window's is the size of its skin.
metainfo=$root/usr/share/metainfo/org.example.Rizuvira.metainfo.xml
shots=$root/usr/share/rizuvira/screenshots
named=$(sed -n 's#.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">.*/\([^/<]*\)</image>.*#\3 \1x\2#p' \
  "$metainfo" | sort)
shipped=$(dpkg-deb --contents "$gui_deb" | sed -n 's#.*\./usr/share/rizuvira/screenshots/\([^/]\+\)$#\1#p' | sort)
if [ -z "$shipped" ] || [ "$(cut -d ' ' -f 1 <<<"$named")" != "$shipped" ] ||
  [ "$(grep -c '<image' "$metainfo")" -ne "$(wc -l <<<"$named")" ]; then
  printf 'the screenshots the description names:\n%s\nthe package holds:\n%s\n' "$named" "$shipped" >&2
  exit 1
fi
size() { ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
while read -r file stated; do
  [ "$(size "$shots/$file")" == "$stated" ] || { echo "$file is not $stated" >&2; exit 1; }
  luma=$(ffprobe -v error -f lavfi -i "movie=$shots/$file,signalstats" -of csv=p=0 \
    -show_entries frame_tags=lavfi.signalstats.YMIN,lavfi.signalstats.YMAX | tr ',' ' ')
  read -r low high <<<"$luma"
  ((high - low >= 64)) || { echo "$file is blank: luma $luma" >&2; exit 1; }
done <<<"$named"
[ "$(size "$shots/main.png")" == "$(size "$root/usr/share/rizuvira/skin/maindlg.png")" ] ||
  { echo "main.png is not the size of the main window" >&2; exit 1; }
echo "screenshots: $(tr '\n' ' ' <<<"$shipped")"

if grep -q -F "$source_dir/data" "$root/usr/bin/rizuvira-cli" "$root/usr/bin/rizuvira"; then
  echo "the installed programs point at the source tree" >&2
  exit 1
fi

cd "$work"
"$root/usr/bin/rizuvira-cli" --version
"$root/usr/bin/rizuvira-cli" info "$disc" | head -n 3
"$root/usr/bin/rizuvira-cli" profiles | head -n 2
"$root/usr/bin/rizuvira-cli" convert "$disc" -t 3 -o "$work/out" -q
ffprobe -v error -show_entries format=duration -of csv=p=0 "$work"/out/Title_03.*
echo "the unpacked package converts"

"$source_dir/scripts/check-install.sh" "$cli_deb" "$gui_deb" "$disc"
