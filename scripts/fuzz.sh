#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time (FUZZ_SECONDS,
# 30 by default) from the seed corpus in tests/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in layout image_state bus_identify; do
    work="build/fuzz/work/$target"
    mkdir -p "$work"
    log="build/fuzz/$target.log"
    if ! ./build/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=1100 -print_final_stats=1 \
        "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$target: failed"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: $runs executions in ${seconds}s, no finding"
done
