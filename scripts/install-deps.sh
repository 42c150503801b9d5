#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Quick when all are present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config binutils clang-format
  libssl-dev openssl gnutls-bin libnss3-tools
  libcurl4-openssl-dev libcpp-httplib-dev
  libgtest-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
