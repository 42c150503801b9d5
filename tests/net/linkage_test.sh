#!/usr/bin/env bash
# The library must not need libcurl, directly or through another library: only its download
# module may, which it loads on the first download.
#   linkage_test.sh LIBRARY MODULE
set -euo pipefail
library=$1 module=$2

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

needed() { readelf -dW "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }

[ -n "$(needed "$library")" ] || fail "readelf lists nothing that $library needs"
if needed "$library" | grep -i curl; then fail "$library needs libcurl"; fi
if ldd "$library" | grep -i curl; then fail "$library loads libcurl through another library"; fi
needed "$module" | grep -q '^libcurl' || fail "$module does not need libcurl"
# A module has no SONAME: nothing links against it.
if readelf -dW "$module" | grep -q '(SONAME)'; then fail "$module has a SONAME"; fi
# The module exports its entry point and nothing of its own beyond it.
exports=$(nm -D --defined-only "$module" | awk '$2 == "T" { print $3 }')
[ "$exports" = "marqen_download_v1" ] || fail "module exports: $exports"
echo "library needs: $(needed "$library" | tr '\n' ' ')"
