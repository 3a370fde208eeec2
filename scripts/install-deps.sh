#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages the build, the tests or the benchmarks need,
# asking apt only for the ones that are missing so a second run starts at once.
#   scripts/install-deps.sh build|test|bench
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config libavcodec-dev libavformat-dev
  libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libdvdread-dev libbluray-dev
  libpugixml-dev
  libsdl2-dev libfreetype-dev libfontconfig-dev qt6-base-dev qt6-svg-dev
  qt6-tools-dev qt6-l10n-tools
  breeze-icon-theme libgtest-dev help2man dpkg-dev)
test_pkgs=(ffmpeg dvdauthor genisoimage fonts-dejavu-core xvfb lsdvd iso-codes clang-format
  desktop-file-utils appstream parallel lintian man-db)
bench_pkgs=(handbrake-cli lsdvd valgrind)

wanted=("${build_pkgs[@]}")
case "${1:-build}" in
  build) ;;
  test) wanted+=("${test_pkgs[@]}") ;;
  bench) wanted+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  *) echo "usage: $0 build|test|bench" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
