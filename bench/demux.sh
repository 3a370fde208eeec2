#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Throughput of the MPEG splitter demultiplexing a whole sample-disc title against
# libavformat's demuxer reading the same bytes, in one run.   bench/demux.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target demux_bench sample-discs >/dev/null
"$build/bench/demux_bench" "$build/fixtures/ntsc" 0 "${PASSES:-20}"
