#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Quick when all are present:
# then it changes nothing and asks for no privileges. Runs apt-get directly as root, through
# sudo otherwise.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config binutils clang-format clang-tidy
  libssl-dev openssl gnutls-bin libnss3-tools
  libcurl4-openssl-dev libcpp-httplib-dev
  libgtest-dev nlohmann-json3-dev gcr
  dpkg-dev file groff-base bash-completion
  clang libclang-rt-14-dev
  libp11-dev libp11-kit-dev p11-kit-modules libgtk-3-dev softhsm2 opensc xvfb xdotool
  libboost-dev chromium nodejs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# The browser tests' driver, from its lock file; it drives Debian's chromium, never a download.
node_modules() {
  local here=${BASH_SOURCE[0]%/*}
  [ "$here" = "${BASH_SOURCE[0]}" ] && here=.  # run from its own folder
  local dir=$here/../tests/bridge/browser
  [ -d "$dir/node_modules/puppeteer-core" ] && return 0
  command -v npm >/dev/null || { echo "install-deps: npm is missing; the browser tests need it" >&2; return 1; }
  (cd "$dir" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts --silent)
}
[ ${#missing[@]} -eq 0 ] && { node_modules; exit 0; }

echo "installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: not root and sudo is not available; as root run:" >&2
    echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
# sudo resets the environment, so the setting goes on the command line.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
node_modules
