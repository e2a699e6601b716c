#!/usr/bin/env bash
# Cross-builds the portable core and its smoke program for Windows with mingw-w64; runs it under wine when present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_MINGW_BUILD_DIR:-$root/build-mingw}

if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
    echo "x86_64-w64-mingw32-g++ not found (Debian: apt-get install g++-mingw-w64-x86-64)" >&2
    exit 1
fi

cmake -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_BUILD_GUI=OFF -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF \
    -DWARNINGS_AS_ERRORS=ON
cmake --build "$build" -j"$(nproc)" --target quorvane_core quorvane_windows_smoke

smoke="$build/tests/windows/quorvane_windows_smoke.exe"
# Debian's wine64 package puts its loader outside the PATH.
wine=$(command -v wine64 || command -v wine || command -v /usr/lib/wine/wine64 || true)
if [[ -n "$wine" ]]; then
    # A prefix of its own keeps the user's wine set-up out of it.
    WINEPREFIX="$build/wine" WINEDEBUG=-all "$wine" "$smoke"
else
    echo "Built $smoke; wine is not installed, so it was not run."
fi
