#!/usr/bin/env bash
# Installs what is needed, builds, fuzzes, and runs every test (the end-to-end ones start their own sshd).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# Fuzzing first, so that ctest's summary stays the last lines of the output.
"$root/scripts/fuzz.sh" 30
build=${QUORVANE_BUILD_DIR:-$root/build}
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
