#!/usr/bin/env bash
# Cross-builds the core and its GoogleTest suites for Windows with mingw-w64 and runs them under wine.
# With CI=true a missing tool chain or wine is a failure; elsewhere the Windows step is skipped with a note.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_MINGW_BUILD_DIR:-$root/build-mingw}
gtest_sources=${QUORVANE_GTEST_SOURCE_DIR:-/usr/src/googletest}

missing() {
    if [[ "${CI:-}" == true ]]; then
        echo "check-windows-core: $1" >&2
        exit 1
    fi
    echo "check-windows-core: $1; the Windows suites were not run." >&2
    exit 0
}

command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
    missing "x86_64-w64-mingw32-g++-posix not found (Debian: apt-get install g++-mingw-w64-x86-64)"
[[ -f "$gtest_sources/CMakeLists.txt" ]] || missing "no GoogleTest sources in $gtest_sources (Debian: libgtest-dev)"
# Debian's wine64 package puts its loader outside the PATH.
wine=$(command -v wine64 || true)
[[ -z "$wine" && -x /usr/lib/wine/wine64 ]] && wine=/usr/lib/wine/wine64
[[ -n "$wine" ]] || missing "wine64 not found (Debian: apt-get install wine64)"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_GTEST_SOURCE_DIR="$gtest_sources" \
    -DQUORVANE_BUILD_GUI=OFF -DQUORVANE_BUILD_TESTS=ON -DQUORVANE_BUILD_BENCH=OFF -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || {
    tail -n 60 "$build/build.log" >&2
    exit 1
}

# A prefix of its own keeps the user's wine set-up out of it; no Mono or Gecko is needed, so none is offered.
# C.UTF-8 (always present) gives UTF-8 file names on the Linux side and Windows-1252 as the ANSI code page, which
# the round-trip test's bytes are written in.
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
ran=0
passed=0
failed=0
for suite in store process import tunnel service ras cli windows; do
    exe="$build/tests/$suite/${suite}_tests.exe"
    log="$build/tests/$suite/${suite}_tests.wine.log"
    status=0
    (cd "$build" && timeout 600 "$wine" "$exe") >"$log" 2>&1 || status=$?
    grep -a '^\[ ROUND TRIP \]' "$log" || true
    count=$(grep -a -o '^\[==========\] [0-9]* tests\? from .* ran' "$log" | grep -o '[0-9]*' | head -n 1 || true)
    good=$(grep -a -o '^\[  PASSED  \] [0-9]*' "$log" | grep -o '[0-9]*$' || true)
    skipped=$(grep -a -o '^\[  SKIPPED \] [0-9]* test' "$log" | grep -o '[0-9]*' || true)
    ran=$((ran + ${count:-0}))
    passed=$((passed + ${good:-0}))
    if [[ -n "$skipped" ]]; then
        echo "windows ${suite}_tests: $skipped skipped at run time:" >&2
        grep -a '^\[  SKIPPED \] [A-Za-z]' "$log" | sort -u >&2
    fi
    if [[ $status -ne 0 || -z "$count" || "${good:-0}" -ne "$count" ]]; then
        failed=$((failed + 1))
        echo "windows ${suite}_tests: FAILED (exit $status), output follows" >&2
        cat "$log" >&2
    else
        echo "windows ${suite}_tests: $count tests ran, $good passed"
    fi
done
echo "Windows suites under wine: $ran tests ran, $passed passed, $failed suite(s) failed"
[[ $failed -eq 0 ]]
