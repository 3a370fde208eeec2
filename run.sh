#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up a fresh Debian 12 machine, builds the release and converts every
# listed title of DISC (a drive, a VIDEO_TS folder, an ISO image or an MPEG
# file) with the default profile, one file per title into ./output; without
# DISC it converts the bundled sample disc.   ./run.sh [DISC]
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli

out="$PWD/output"
mkdir -p "$out"
echo "Converted files go to $out"
cli="$build/src/cli/rizuvira-cli"
if [ $# -eq 0 ]; then
  cmake --build "$build" --target sample-discs
  disc="$build/fixtures/ntsc.iso"
else
  disc="$1"
fi
"$cli" info "$disc"
exec "$cli" convert "$disc" --titles all --output "$out"
