#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build folder $MARQEN_FUZZ_BUILD, default build-fuzz)
# and runs each of them, or the named ones:
#   scripts/fuzz.sh SECONDS [TARGET...]    each target for that many seconds
#   scripts/fuzz.sh --runs N [TARGET...]   each target for N inputs (the tests do this)
# Targets: base64 name_text dn_match cert_string signed_message pfx crl.
# Exits non-zero when a target finds a crash, leak, timeout or broken promise; the input that
# caused it is kept in the build folder's findings/ (replay: <program> <input>).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/fuzz.sh SECONDS [TARGET...] | scripts/fuzz.sh --runs N [TARGET...]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
if [ "$1" = "--runs" ]; then
  [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || usage
  limit=(-runs="$2")
  shift 2
else
  [[ "$1" =~ ^[0-9]+$ ]] || usage
  limit=(-max_total_time="$1")
  shift
fi
all=(base64 name_text dn_match cert_string signed_message pfx crl)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "unknown fuzz target: $t" >&2; usage; }
done

scripts/install-deps.sh
build=${MARQEN_FUZZ_BUILD:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARQEN_FUZZ=ON -DMARQEN_TESTS=OFF -DMARQEN_WERROR=ON >/dev/null
cmake --build "$build" --target marqen_fuzz

findings="$build/findings"
work="$build/fuzz/work"  # inputs the runs add, kept apart from the generated seeds
logs="$build/fuzz/logs"
mkdir -p "$findings" "$work" "$logs"
rm -rf "$build/bin/Logs"  # the library's own log beside the programs; it only grows here
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=()
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  log="$logs/$t.log"
  if "$build/bin/fuzz_$t" "${limit[@]}" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$t-" "$work/$t" "$build/fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz $t: $(grep -m1 -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') inputs, no finding"
  else
    failed+=("$t")
    tail -n 60 "$log"
    echo "fuzz $t: FINDING (log $log)"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in ${failed[*]}; inputs kept in $findings" >&2
  exit 1
fi
