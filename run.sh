#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the release and converts DISC (a
# drive, a VIDEO_TS folder or an ISO image) with the default profile, one file
# per title into ./output; without DISC it converts the first title of the
# bundled sample disc.   ./run.sh [DISC]
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli

mkdir -p output
cli="$build/src/cli/rizuvira-cli"
if [ $# -eq 0 ]; then
  cmake --build "$build" --target sample-discs
  disc="$build/fixtures/ntsc.iso"
  "$cli" info "$disc"
  exec "$cli" convert "$disc" --title 1 --out output
fi
"$cli" info "$1"
exec "$cli" convert "$1" --out output
