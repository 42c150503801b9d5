#!/usr/bin/env bash
# The main job on its embedded default: a sample document goes through the marqen tool to
# Base64 text and back, and the result is compared with the original.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${MARQEN_DEMO_BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARQEN_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
marqen="$build/bin/marqen"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

input=${1:-}
if [ -z "$input" ]; then
  input="$work/sample.txt"
  cat >"$input" <<'TEXT'
Purchase order 2026-1207
Supplier: Example Components Ltd.
Items: 40 x resistor 4.7k, 10 x capacitor 100nF
Total: EUR 18.40
TEXT
  echo "No file given: using the embedded sample document ($(wc -c <"$input") bytes)."
fi

echo
echo "1. marqen base64 encode $(basename "$input")"
"$marqen" base64 encode "$input" | tee "$work/document.b64"
echo
echo "2. marqen base64 decode document.b64 document.out"
"$marqen" base64 decode "$work/document.b64" "$work/document.out"
echo
if cmp -s "$input" "$work/document.out"; then
  echo "3. The decoded file is identical to the original ($(wc -c <"$work/document.out") bytes)."
else
  echo "3. MISMATCH: the decoded file differs from the original." >&2
  exit 1
fi
echo
echo "4. A text that is not Base64 is refused with the library's message:"
printf 'this is *not* Base64\n' >"$work/bad.b64"
if message=$("$marqen" base64 decode "$work/bad.b64" "$work/bad.out" 2>&1); then
  echo "unexpected success" >&2
  exit 1
fi
echo "   $message"
echo
echo "Done: the library encoded and decoded the document without loss."
