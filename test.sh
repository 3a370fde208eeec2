#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up a fresh Debian 12 machine, builds, authors the sample discs and runs
# the whole test suite.   ./test.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

build=${RIZUVIRA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" --parallel 2
cmake --build "$build" --target sample-discs
ctest --test-dir "$build" --output-on-failure --parallel 2
scripts/check-package.sh "$build"
