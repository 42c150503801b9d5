#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (leaks fail the run)
# and runs every test; then runs the multi-threaded test under ThreadSanitizer, the fuzz targets
# briefly, and the main job (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${MARQEN_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMARQEN_SANITIZE=ON -DMARQEN_WERROR=ON
cmake --build "$build"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# The exports on several threads under ThreadSanitizer, in a second build folder that builds
# only that test.
tsan_build=${MARQEN_TSAN_BUILD:-$build-tsan}
cmake -S . -B "$tsan_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMARQEN_TSAN=ON -DMARQEN_WERROR=ON
cmake --build "$tsan_build" --target concurrency_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan_build/bin/concurrency_tests"

# Every fuzz target for a fixed number of inputs from its seeds (a separate clang build).
scripts/fuzz.sh --runs 2000

# The README's main job, end to end on its embedded default, in its own Release build.
scripts/demo.sh >"$build/demo.log" 2>&1 || { cat "$build/demo.log" >&2; exit 1; }
echo "demo: signed, verified, tampering detected"
