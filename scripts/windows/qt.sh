#!/usr/bin/env bash
# Qt for 64-bit Windows, cross-built with mingw-w64 from Debian's qt6-base source package, Debian's patches
# applied, against the host's own Qt tools of the same version (moc, rcc, uic). Output:
# $QUORVANE_WINDOWS_DEPS/qt-<Debian version>/ (kept: a second run builds nothing). Unless
# QUORVANE_QT_FROM_SOURCE=1, a ready kit is taken instead of an hour's build when it is found ($QUORVANE_QT_KIT,
# or the team's shared folder) and its checksum matches; that kit was built from the same source without
# Debian's patches, and the script says so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deps=${QUORVANE_WINDOWS_DEPS:-/opt/quorvane-windows}
version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
[[ -n "$version" ]] || { echo "windows/qt: the host's qt6-base-dev-tools is not installed" >&2; exit 1; }
upstream=${version%%+*}
out=$deps/qt-$version
kit_out=$deps/qt-$upstream-kit
for made in "$out" "$kit_out"; do
    if [[ -x "$made/bin/qt-cmake" && -f "$made/bin/Qt6Widgets.dll" ]]; then
        [[ "$made" == "$kit_out" && "${QUORVANE_QT_FROM_SOURCE:-}" == 1 ]] && continue
        [[ "$made" == "$kit_out" ]] && echo "windows/qt: using the ready kit (Qt $upstream without Debian's patches)" >&2
        echo "$made"
        exit 0
    fi
done
mkdir -p "$deps"

kit_sha256=54bcb1d9264b9f22a2b8ade0764bf38e3417c8d65d6800cb3b9607277133224c
for kit in "${QUORVANE_QT_KIT:-}" "$here/../../../shared/windows/qt$upstream-mingw64-kit.tar.xz" \
    "/work/shared/windows/qt$upstream-mingw64-kit.tar.xz"; do
    [[ -n "$kit" && -f "$kit" ]] || continue
    if [[ "$(sha256sum <"$kit" | cut -d' ' -f1)" != "$kit_sha256" ]]; then
        echo "windows/qt: $kit is not the kit this recipe made (checksum differs); not used" >&2
        continue
    fi
    [[ "${QUORVANE_QT_FROM_SOURCE:-}" == 1 ]] && break
    echo "windows/qt: using the ready kit $kit instead of building Qt (about an hour);" \
        "it is Qt $upstream without Debian's patches (QUORVANE_QT_FROM_SOURCE=1 builds the patched one)" >&2
    rm -rf "$kit_out.partial" && mkdir -p "$kit_out.partial"
    tar -C "$kit_out.partial" -xJf "$kit"
    rm -rf "$kit_out" && mv "$kit_out.partial/qt6-mingw" "$kit_out" && rmdir "$kit_out.partial"
    echo "$kit_out"
    exit 0
done

echo "windows/qt: building Qt $upstream for Windows from Debian's sources (about an hour on 2 cores)" >&2
work=${QUORVANE_QT_WORK:-}
if [[ -z "$work" ]]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
cd "$work"
source "$here/debian-source.sh"
# Unpacked and patched afresh each time: a tree left by a build that stopped half-way is not trusted.
rm -rf "qtbase-everywhere-src-$upstream"
[[ -f "qt6-base_${version%-*}.orig.tar.xz" ]] || debian_source qt6-base "$version" >&2
tar xf "qt6-base_${version%-*}.orig.tar.xz"
tar -C "qtbase-everywhere-src-$upstream" -xf "qt6-base_$version.debian.tar.xz"
while read -r patch; do
    [[ -z "$patch" || "$patch" == \#* ]] && continue
    patch -s -p1 -d "qtbase-everywhere-src-$upstream" <"qtbase-everywhere-src-$upstream/debian/patches/$patch"
done <"qtbase-everywhere-src-$upstream/debian/patches/series"
cat >toolchain.cmake <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
# The -posix compilers: the -win32 ones lack std::thread. Debian's copy of the source has no tablet (wintab)
# headers; without OpenGL the dynamic GL switch must go too.
cmake -G Ninja -S "qtbase-everywhere-src-$upstream" -B build \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$out.partial" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_openssl=OFF -DFEATURE_icu=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_vulkan=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_dynamicgl=OFF -DFEATURE_tabletevent=OFF >"$work/configure.log"
nice -n 19 cmake --build build --parallel "${JOBS:-$(nproc)}"
rm -rf "$out.partial"
cmake --install build >/dev/null
# Relocatable: Qt's toolchain chains to a toolchain file kept inside the kit.
cp toolchain.cmake "$out.partial/mingw-toolchain.cmake"
sed -i 's#set(__qt_initially_configured_toolchain_file ".*")#set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw-toolchain.cmake")#' \
    "$out.partial/lib/cmake/Qt6/qt.toolchain.cmake"
for f in "$out.partial"/bin/*.dll $(find "$out.partial/plugins" -name '*.dll'); do
    x86_64-w64-mingw32-strip --strip-unneeded "$f"
done
rm -rf "$out" && mv "$out.partial" "$out"
echo "$out"
