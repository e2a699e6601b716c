#!/usr/bin/env bash
# Builds Quorvane for 64-bit Windows on Debian and packs it: quorvane-<version>-windows-x64.zip (the portable
# folder) and quorvane-<version>-setup.exe (an NSIS installer), both in $QUORVANE_WINDOWS_BUILD_DIR (default
# build-windows/). Qt and PuTTY for Windows are made from Debian's sources first, once (see qt.sh, putty.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUORVANE_WINDOWS_BUILD_DIR:-$root/build-windows}
host_build=${QUORVANE_BUILD_DIR:-$root/build}

qt=$("$root/scripts/windows/qt.sh")
putty=$("$root/scripts/windows/putty.sh")

# The icon is drawn by the program's own code, so by a copy of the drawing tool that runs here.
if [[ ! -f "$host_build/CMakeCache.txt" ]]; then
    host_build=$build/host-tools
    cmake -S "$root" -B "$host_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
        -DQUORVANE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$host_build" --target quorvane_render_icon >/dev/null
icon_tool=$host_build/quorvane_render_icon

mkdir -p "$build"
"$qt/bin/qt-cmake" -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_BENCH=OFF -DWARNINGS_AS_ERRORS=ON -DQUORVANE_WINDOWS_PUTTY_DIR="$putty" \
    -DQUORVANE_ICON_TOOL="$icon_tool" >"$build/configure.log" 2>&1 || { tail -40 "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target quorvane quorvane_recording_client portable >"$build/build.log" 2>&1 ||
    { tail -60 "$build/build.log" >&2; exit 1; }
(cd "$build" && cpack -C Release >"$build/cpack.log" 2>&1) || { tail -40 "$build/cpack.log" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for package in "$build/quorvane-$version-windows-x64.zip" "$build/quorvane-$version-setup.exe"; do
    [[ -f "$package" ]] || { echo "windows/package: $package was not made" >&2; exit 1; }
    echo "$package"
done
