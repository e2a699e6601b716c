#!/usr/bin/env bash
# Installs what is needed, builds, fuzzes, and runs every test (the end-to-end ones start their own sshd).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# Fuzzing first, so that ctest's summary stays the last lines of the output.
"$root/scripts/fuzz.sh" 30
# The core's suites built for Windows and run under wine; a failure there still lets ctest run, then counts.
windows_status=0
"$root/scripts/check-windows-core.sh" || windows_status=$?
# The whole program packed for Windows (ZIP and installer) and run under wine.
"$root/scripts/windows/check-program.sh" || windows_status=$?
build=${QUORVANE_BUILD_DIR:-$root/build}
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
exit "$windows_status"
