#!/usr/bin/env bash
# scripts/install-deps.sh against stand-ins for id, dpkg-query, sudo and apt-get: it asks for
# root only when a package is missing, never through sudo when it is root, and says what to do
# when it is neither root nor able to use sudo.
#   install_deps_test.sh SOURCE_DIR
set -euo pipefail

script=$1/scripts/install-deps.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/marqen-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

make_stubs() { # $1: folder, $2: with sudo (yes/no)
  mkdir -p "$1"
  for tool in bash grep env; do ln -s "$(command -v "$tool")" "$1/$tool"; done
  cat >"$1/id" <<'STUB'
#!/bin/bash
echo "$STUB_UID"
STUB
  cat >"$1/dpkg-query" <<'STUB'
#!/bin/bash
package=${!#}
for missing in $STUB_MISSING; do [ "$missing" = "$package" ] && exit 1; done
printf 'install ok installed'
STUB
  cat >"$1/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $* [DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}]" >>"$STUB_LOG"
STUB
  if [ "$2" = yes ]; then
    cat >"$1/sudo" <<'STUB'
#!/bin/bash
echo "sudo $1" >>"$STUB_LOG"
exec env -i PATH="$PATH" STUB_LOG="$STUB_LOG" "$@"  # sudo resets the environment
STUB
  fi
  chmod +x "$1"/id "$1"/dpkg-query "$1"/apt-get
  [ "$2" = yes ] && chmod +x "$1/sudo"
  return 0
}
make_stubs "$work/with-sudo" yes
make_stubs "$work/without-sudo" no

# uid | missing packages | sudo present | exit code | calls made, in order
cases=(
  "0||yes|0|"
  "1000||yes|0|"
  "1000||no|0|"
  "0|cmake|yes|0|apt-get update -qq [DEBIAN_FRONTEND=noninteractive];apt-get install -y -qq --no-install-recommends cmake [DEBIAN_FRONTEND=noninteractive]"
  "1000|cmake libgtest-dev|yes|0|sudo env;apt-get update -qq [DEBIAN_FRONTEND=noninteractive];sudo env;apt-get install -y -qq --no-install-recommends cmake libgtest-dev [DEBIAN_FRONTEND=noninteractive]"
  "1000|cmake|no|1|"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r uid missing sudo code calls <<<"$entry"
  log=$work/log
  : >"$log"
  set +e
  env -i PATH="$work/$([ "$sudo" = yes ] && echo with-sudo || echo without-sudo)" \
    STUB_UID="$uid" STUB_MISSING="$missing" STUB_LOG="$log" \
    bash "$script" >"$work/out" 2>"$work/err"
  rc=$?
  set -e
  made=$(paste -sd ';' "$log")
  if [ "$rc" != "$code" ] || [ "$made" != "$calls" ]; then
    echo "FAIL uid=$uid missing='$missing' sudo=$sudo: exit $rc (want $code), calls '$made'" >&2
    echo "     want '$calls'" >&2
    failures=$((failures + 1))
  fi
  if [ "$code" = 1 ] && ! grep -q "sudo is not available" "$work/err"; then
    echo "FAIL uid=$uid without sudo: no clear message, got: $(cat "$work/err")" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
