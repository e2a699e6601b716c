#!/usr/bin/env bash
# Builds PuTTY's plink.exe and puttygen.exe for 64-bit Windows from Debian's putty source package, with
# Debian's patches (the security fixes among them) applied. The version defaults to the host's putty-tools, so
# both systems run the same client. Output: $QUORVANE_WINDOWS_DEPS/putty-<version>/ (kept: a second run builds
# nothing).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deps=${QUORVANE_WINDOWS_DEPS:-/opt/quorvane-windows}
version=${PUTTY_VERSION:-$(dpkg-query -W -f='${Version}' putty-tools 2>/dev/null || true)}
[[ -n "$version" ]] || { echo "windows/putty: no PUTTY_VERSION and no putty-tools installed" >&2; exit 1; }
out=$deps/putty-$version
if [[ -f "$out/plink.exe" && -f "$out/puttygen.exe" && -f "$out/LICENCE" ]]; then
    echo "$out"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
source "$here/debian-source.sh"
debian_source putty "$version" >&2
upstream=${version%%-*}
tar xf "putty_$upstream.orig.tar.gz"
src=$work/putty-$upstream
tar -C "$src" -xf putty_"$version".debian.tar.xz
# The series file lists the patches in the order Debian applies them.
while read -r patch; do
    [[ -z "$patch" || "$patch" == \#* ]] && continue
    patch -s -p1 -d "$src" <"$src/debian/patches/$patch"
done <"$src/debian/patches/series"
cmake -G Ninja -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; exit 1; }
nice cmake --build "$work/build" --target plink puttygen >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; exit 1; }
mkdir -p "$out.partial"
cp "$work/build/plink.exe" "$work/build/puttygen.exe" "$src/LICENCE" "$out.partial/"
x86_64-w64-mingw32-strip "$out.partial/plink.exe" "$out.partial/puttygen.exe"
rm -rf "$out" && mv "$out.partial" "$out"
echo "$out"
