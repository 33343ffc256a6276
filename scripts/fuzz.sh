#!/usr/bin/env bash
# fuzz.sh <build dir> <seconds>: runs every fuzz target of the build for the given time each.
set -euo pipefail
BUILD="$1"; SECONDS_EACH="$2"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
shopt -s nullglob
targets=("$BUILD"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets built"; exit 0; fi
for t in "${targets[@]}"; do
    [ -x "$t" ] || continue
    name="$(basename "$t")"
    corpus="$BUILD/fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$ROOT/fuzz/corpus/$name" ] && seeds=("$ROOT/fuzz/corpus/$name")
    echo "-- $name (${SECONDS_EACH}s)"
    "$t" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
        "$corpus" "${seeds[@]}" 2>&1 | tail -n 3
    status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ]; then echo "fuzz target $name failed"; exit 1; fi
done
