#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What a user of the desktop program waits for, timed inside the program on
# Qt's offscreen platform with the NTSC sample disc: the start to the main
# window (no splash), a disc opened to its titles listed, Play to the first
# picture, and a seek on the position slider to the new picture.
#   bench/gui-latency.sh [BUILD_DIR]     RUNS=5 by default; prints each run and the median.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target gui_latency_bench sample-discs >/dev/null
fixtures=$(sed -n 's/^RIZUVIRA_FIXTURE_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
disc="${fixtures:-$build/fixtures}/ntsc.iso"
runs=${RUNS:-5}

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
"$build/bench/gui_latency_bench" "$disc" >/dev/null 2>&1 || true  # warm the page cache
for ((i = 0; i < runs; i++)); do
  "$build/bench/gui_latency_bench" "$disc" 2>/dev/null
done | awk -v disc="$disc" '
  { for (k = 1; k <= 4; k++) v[k, NR] = $k; printf "run %d: start %6.1f  open %6.1f  play %6.1f  seek %6.1f ms\n", NR, $1, $2, $3, $4 }
  END {
    n = NR
    split("start to main window shown (no splash)|disc opened to titles listed|Play to first picture|slider seek to new picture", name, "|")
    split("-|100|300|150", target, "|")
    printf "median of %d runs, %s:\n", n, disc
    for (k = 1; k <= 4; k++) {
      for (i = 1; i <= n; i++) s[i] = v[k, i]
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (s[j] < s[i]) { t = s[i]; s[i] = s[j]; s[j] = t }
      m = (n % 2) ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2
      printf "  %-40s %7.1f ms%s\n", name[k], m, target[k] == "-" ? "" : sprintf("  (target %s ms)", target[k])
    }
  }'
