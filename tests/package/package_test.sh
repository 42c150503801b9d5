#!/usr/bin/env bash
# Checks the installed package as a user of it would meet it.
#   package_test.sh CHECK BUILD_DIR LIBDIR C_COMPILER GENERATOR "SANITIZER_FLAGS"
# CHECK is one of: install, pkg-config, find-package, hardening, deb.
set -euo pipefail

check=$1 build=$2 libdir=$3 cc=$4 generator=$5 sanitize=$6
here=$(cd "$(dirname "$0")" && pwd)
soname=libMarqen_InterfaceV2.so.2

work=$(mktemp -d "${TMPDIR:-/tmp}/marqen-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

install_prefix() {
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    fail "cmake --install"
  }
}

# Exactly these files: nothing of the tests, the test support or the internal libraries.
check_install() {
  install_prefix
  local listed expected
  listed=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||;
           s|MarqenTargets-[a-z]*\.cmake$|MarqenTargets-CONFIG.cmake|' | sort)
  expected=$(sort <<LIST
bin/marqen
bin/marqen-bridge
include/Marqen_InterfaceV2.h
lib/systemd/user/marqen-bridge.service
$libdir/libMarqenI.so
$libdir/libMarqen_InterfaceV2.so
$libdir/$soname
$libdir/$soname.0.0
$libdir/libmarqen_net.so
$libdir/libmarqen_token.so
$libdir/libmarqen_ui.so
share/bash-completion/completions/marqen
share/man/man1/marqen.1
share/man/man1/marqen-bridge.1
$libdir/pkgconfig/marqen.pc
$libdir/cmake/Marqen/MarqenConfig.cmake
$libdir/cmake/Marqen/MarqenConfigVersion.cmake
$libdir/cmake/Marqen/MarqenTargets.cmake
$libdir/cmake/Marqen/MarqenTargets-CONFIG.cmake
LIST
)
  [ "$listed" = "$expected" ] || fail "installed files differ:$(diff <(echo "$expected") <(echo "$listed"))"

  [ "$(readlink "$prefix/$libdir/libMarqen_InterfaceV2.so")" = "$soname" ] ||
    fail "the development link does not point to the SONAME"
  [ "$(readlink "$prefix/$libdir/$soname")" = "$soname.0.0" ] ||
    fail "the SONAME link does not point to the library file"
  grep -q "(SONAME).*\[$soname\]" <<<"$(readelf -d "$prefix/$libdir/$soname.0.0")" || fail "SONAME"

  # Every export carries the version node; nothing is left unversioned.
  local exports
  exports=$(nm -D --defined-only "$prefix/$libdir/$soname" | awk '$2 == "T" { print $3 }')
  [ -n "$exports" ] || fail "no exports"
  if grep -v '@@MARQEN_2\.0$' <<<"$exports"; then fail "exports above lack version MARQEN_2.0"; fi

  # The installed tool finds the installed library through its RUNPATH alone.
  grep -q "RUNPATH.*\[\$ORIGIN/\.\./$libdir\]" <<<"$(readelf -d "$prefix/bin/marqen")" ||
    fail "tool RUNPATH: $(readelf -d "$prefix/bin/marqen" | grep -E 'R(UN)?PATH')"
  printf 'abc' >"$work/abc"
  local encoded
  encoded=$(env -u LD_LIBRARY_PATH "$prefix/bin/marqen" base64 encode "$work/abc") ||
    fail "installed marqen does not run"
  [ "$encoded" = "YWJj" ] || fail "installed marqen printed '$encoded'"

  # The download module lies beside the library, which itself does not need libcurl.
  if readelf -dW "$prefix/$libdir/$soname" | grep -q 'NEEDED.*libcurl'; then
    fail "the installed library needs libcurl"
  fi
  readelf -dW "$prefix/$libdir/libmarqen_net.so" | grep -q 'NEEDED.*libcurl' ||
    fail "the installed download module does not need libcurl"
  # So do the token module (libp11) and the dialogs' module (GTK): neither is the library's.
  if readelf -dW "$prefix/$libdir/$soname" "$prefix/bin/marqen" | grep -Eq 'NEEDED.*(libp11|libgtk)'; then
    fail "the installed library or tool needs libp11 or GTK"
  fi
  readelf -dW "$prefix/$libdir/libmarqen_token.so" | grep -q 'NEEDED.*libp11' ||
    fail "the installed token module does not need libp11"
  readelf -dW "$prefix/$libdir/libmarqen_ui.so" | grep -q 'NEEDED.*libgtk-3' ||
    fail "the installed dialogs' module does not need GTK"
  # The installed tool finds the token module in the library folder.
  env -u LD_LIBRARY_PATH "$prefix/bin/marqen" token list "pkcs11:?module-path=/no/such.so" \
    2>"$work/token.err" && fail "token list with a missing module succeeded"
  grep -q "/no/such.so cannot be loaded" "$work/token.err" ||
    fail "installed marqen token: $(cat "$work/token.err")"
  local page
  for page in marqen marqen-bridge; do
    man -l "$prefix/share/man/man1/$page.1" >/dev/null 2>"$work/man.log" || true
    if [ -s "$work/man.log" ]; then fail "manual page $page: $(cat "$work/man.log")"; fi
  done

  # The installed tool registers the installed control, and the installed bridge creates it
  # from that registration: both find their modules in the library folder.
  local registry=$work/registry.json
  env -u LD_LIBRARY_PATH MARQEN_REGISTRY="$registry" "$prefix/bin/marqen" control register ||
    fail "installed marqen control register"
  grep -q "\"$prefix/$libdir/libMarqenI.so\"" "$registry" ||
    fail "the registry does not name the installed control: $(cat "$registry")"
  # Counting the store's signers loads the installed library beside the control.
  mkdir -p "$work/store"
  printf 'getSignerCertCountFromStore\ngetErrorMessage\n' >"$work/script"
  [ "$(env -u LD_LIBRARY_PATH MARQEN_REGISTRY="$registry" MARQEN_CERTSTORE="$work/store" \
    "$prefix/bin/marqen" control run "$work/script" | paste -sd ' ')" = \
    '0 "Operation Completed Successfully"' ] || fail "installed control run"
  grep -q "RUNPATH.*\[\$ORIGIN/\.\./$libdir\]" <<<"$(readelf -d "$prefix/bin/marqen-bridge")" ||
    fail "bridge RUNPATH: $(readelf -d "$prefix/bin/marqen-bridge" | grep -E 'R(UN)?PATH')"
  grep -qx "ExecStart=$prefix/bin/marqen-bridge --port 47215" \
    "$prefix/lib/systemd/user/marqen-bridge.service" || fail "the user unit names another program"
  env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u MARQEN_REGISTRY XDG_CONFIG_HOME="$work/config" \
    "$prefix/bin/marqen-bridge" install >/dev/null 2>"$work/bridge.err" ||
    fail "installed marqen-bridge install: $(cat "$work/bridge.err")"
  grep -qx "ExecStart=$prefix/bin/marqen-bridge --port 47215" \
    "$work/config/systemd/user/marqen-bridge.service" || fail "the user's unit names another program"

  # Same major version matches, another does not.
  printf '%s\n' "include($prefix/$libdir/cmake/Marqen/MarqenConfigVersion.cmake)" \
    'message("${PACKAGE_VERSION_COMPATIBLE}")' >"$work/version.cmake"
  local wanted answer
  for wanted in 2.0:TRUE 2.0.0:TRUE 1.0:FALSE 3.0:FALSE; do
    answer=$(cmake -DPACKAGE_FIND_VERSION="${wanted%%:*}" \
      -DPACKAGE_FIND_VERSION_MAJOR="${wanted%%.*}" -P "$work/version.cmake" 2>&1)
    [ "$answer" = "${wanted##*:}" ] || fail "find_package(Marqen ${wanted%%:*}) compatible: $answer"
  done
}

check_pkg_config() {
  install_prefix
  export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig PKG_CONFIG_LIBDIR=$prefix/$libdir/pkgconfig
  [ "$(pkg-config --modversion marqen)" = "2.0" ] || fail "pkg-config version"
  # shellcheck disable=SC2046,SC2086  # the flags are word lists
  "$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror $sanitize "$here/consumer.c" \
    $(pkg-config --cflags --libs marqen) -o "$work/consumer" || fail "building with pkg-config"
  LD_LIBRARY_PATH=$prefix/$libdir "$work/consumer" >"$work/output" || fail "consumer failed"
  diff -u "$here/expected_output.txt" "$work/output" || fail "consumer output"
}

check_find_package() {
  install_prefix
  cmake -S "$here/consumer" -B "$work/consumer" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
    -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; fail "find_package(Marqen CONFIG REQUIRED)"; }
  grep -q "^Marqen_DIR:PATH=$prefix/$libdir/cmake/Marqen$" "$work/consumer/CMakeCache.txt" ||
    fail "found another Marqen: $(grep '^Marqen_DIR' "$work/consumer/CMakeCache.txt")"
  cmake --build "$work/consumer" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "build"; }
  # The imported target gives the consumer a build RUNPATH to the prefix.
  env -u LD_LIBRARY_PATH "$work/consumer/consumer" >"$work/output" || fail "consumer failed"
  diff -u "$here/expected_output.txt" "$work/output" || fail "consumer output"
}

# Full RELRO with immediate binding, and stack canaries, in the binaries we ship.
check_hardening() {
  local binary
  for binary in "$build/bin/$soname.0.0" "$build/bin/marqen" "$build/bin/libMarqenI.so" \
    "$build/bin/marqen-bridge"; do
    grep -q GNU_RELRO <<<"$(readelf -lW "$binary")" || fail "$binary: no GNU_RELRO segment"
    grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$(readelf -dW "$binary")" ||
      fail "$binary: not bound immediately"
    grep -q '(TEXTREL)' <<<"$(readelf -dW "$binary")" && fail "$binary: text relocations"
    grep -q '__stack_chk_fail' <<<"$(nm -D --undefined-only "$binary")" ||
      fail "$binary: no stack protector"
  done
}

check_deb() {
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
  local deb
  deb=$(find "$work/deb" -maxdepth 1 -name 'marqen_*.deb')
  [ -n "$deb" ] || fail "no package made"
  [ "$(dpkg-deb -f "$deb" Package)" = "marqen" ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "2.0" ] || fail "package version"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for needed in libssl3 libcurl4 libc6; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
  done
  local contents
  contents=$(dpkg-deb -c "$deb")
  for path in bin/marqen "$libdir/$soname" "$libdir/libmarqen_net.so" "$libdir/libmarqen_ui.so" \
    include/Marqen_InterfaceV2.h bin/marqen-bridge "$libdir/libMarqenI.so" \
    lib/systemd/user/marqen-bridge.service \
    share/man/man1/marqen.1 share/bash-completion/completions/marqen \
    "$libdir/pkgconfig/marqen.pc" "$libdir/cmake/Marqen/MarqenConfig.cmake"; do
    grep -q "/usr/$path" <<<"$contents" || fail "package lacks /usr/$path"
  done
}

case "$check" in
  install) check_install ;;
  pkg-config) check_pkg_config ;;
  find-package) check_find_package ;;
  hardening) check_hardening ;;
  deb) check_deb ;;
  *) fail "unknown check $check" ;;
esac
