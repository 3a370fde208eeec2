#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the release and runs the main job on
# DISC (a drive, a VIDEO_TS folder or an ISO image), or on the bundled sample
# disc when none is given.   ./run.sh [DISC]
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRIZUVIRA_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target rizuvira-cli

disc=${1:-}
if [ -z "$disc" ]; then
  cmake --build "$build" --target sample-discs
  disc="$build/fixtures/ntsc.iso"
fi
exec "$build/src/cli/rizuvira-cli" info "$disc"
