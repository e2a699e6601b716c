#!/usr/bin/env bash
# Configures and builds Quorvane, its tests and benchmarks, and assembles the portable folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CI:+-DWARNINGS_AS_ERRORS=ON}
cmake --build "$build" -j"$(nproc)"
