#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Every comparison with the peers, in one run: the conversions against ffmpeg and
# HandBrakeCLI at the same encoder settings (compare.sh), then the pipeline's own cost and
# memory on a long title (pipeline.sh), then the cost of deinterlacing next to ffmpeg's
# (deinterlace.sh), the conversion counted in instructions, which the machine's load does
# not move (instructions.sh), and last what the default profile's files look like against
# the peers' (quality.sh).
#   bench/all.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")"
./compare.sh "${1:-build-release}" "${2:-3}"
echo
./pipeline.sh "${1:-build-release}" "${2:-3}"
echo
./deinterlace.sh "${1:-build-release}" "${2:-3}"
echo
./instructions.sh "${1:-build-release}"
echo
./quality.sh "${1:-build-release}"
