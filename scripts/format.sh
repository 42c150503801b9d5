#!/usr/bin/env bash
# Formats every C and C++ source of the project in place with the committed .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
# The browser tests' npm packages are not ours.
find library platform control tools bridge tests bench fuzz -name node_modules -prune -o -type f \
  \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print 2>/dev/null | xargs clang-format -i
