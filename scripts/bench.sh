#!/usr/bin/env bash
# Builds the signing, token, start-up, control, store and bridge benchmarks in Release (only their
# targets; the tests' PKI builder comes with MARQEN_TESTS) and runs them. Figures and targets go to
# standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${MARQEN_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARQEN_TESTS=ON -DMARQEN_BENCH=ON \
  -DMARQEN_SANITIZE=OFF -DMARQEN_WERROR=ON
cmake --build "$build" --target marqen_bench marqen_startup_bench marqen_token_bench \
  marqen_control_bench marqen_store_bench marqen_bridge_bench marqen-bridge
"$build/bin/marqen_bench"
"$build/bin/marqen_token_bench"
"$build/bin/marqen_startup_bench"
"$build/bin/marqen_control_bench"
"$build/bin/marqen_store_bench"
"$build/bin/marqen_bridge_bench"
# The same calls from a page in chromium, through the bridge.
MARQEN_BRIDGE="$(realpath "$build/bin/marqen-bridge")" OPENSSL=openssl node bench/bridge_page_bench.mjs
