#!/usr/bin/env bash
# Builds every libFuzzer target with clang and sanitizers, runs each for a bounded time, and fails on any finding.
# Usage: scripts/fuzz.sh [seconds-per-target, default 30]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${QUORVANE_FUZZ_BUILD_DIR:-$root/build-fuzz}

# fuzzer-no-link instruments everything, the core library included; the targets link libFuzzer themselves.
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS="$flags" \
    -DQUORVANE_FUZZ=ON -DQUORVANE_BUILD_GUI=OFF -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

mapfile -t targets < <(find "$build/tests/fuzz" -maxdepth 1 -type f -name '*_fuzz' -perm -u+x | sort)
if [ "${#targets[@]}" -eq 0 ]; then
    echo "fuzz: no targets found in $build/tests/fuzz" >&2
    exit 1
fi

passed=0
failed=0
for target in "${targets[@]}"; do
    name=$(basename "$target")
    corpus="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name"
    log="$build/fuzz-logs/$name.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    # A target's dictionary, tests/fuzz/<name>.dict, steers it past checks plain mutation rarely passes.
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/")
    if [ -f "$root/tests/fuzz/$name.dict" ]; then
        options+=(-dict="$root/tests/fuzz/$name.dict")
    fi
    status=0
    UBSAN_OPTIONS=print_stacktrace=1 "$target" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
    done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
    if [ "$status" -eq 0 ] && [ -n "$done_line" ]; then
        passed=$((passed + 1))
        echo "$name: $done_line"
    else
        failed=$((failed + 1))
        echo "$name: FAILED (exit $status), log $log, crash input in $artifacts/"
        tail -n 40 "$log"
    fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
