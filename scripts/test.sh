#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a normal build with g++,
# and a clang build with AddressSanitizer and UndefinedBehaviorSanitizer that also runs every fuzz
# target for a bounded time.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps

echo "== Build and test (g++, RelWithDebInfo)"
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$ROOT/build" --output-on-failure -j "$JOBS" --timeout 300

echo "== Build and test (clang, AddressSanitizer + UndefinedBehaviorSanitizer)"
configure_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTESSERA_SANITIZE=ON -DTESSERA_FUZZ=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$ROOT/build-asan" --output-on-failure -j "$JOBS" --timeout 600

echo "== Fuzz targets (bounded)"
"$ROOT/scripts/fuzz.sh" "$ROOT/build-asan" "${FUZZ_SECONDS:-30}"
echo "== All tests passed"
