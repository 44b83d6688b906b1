#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every check: the
# format and static-analysis checks, the unit tests under AddressSanitizer
# and UBSan, the fuzz targets for a bounded time, then the unit tests, the
# end-to-end tests under Wine, the reproducible-build test and the release
# package (built from clean clones of HEAD), ending with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s\n' "$*"; }

bash scripts/install-deps.sh

step "windows preset: ssdprep.exe, ssdprep-sim.exe, fake-diskpart.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows

step "native preset: logic and unit tests"
cmake --preset native >/dev/null
cmake --build --preset native

step "clang-format"
bash scripts/format-check.sh

step "clang-tidy"
bash scripts/tidy.sh

step "unit tests under AddressSanitizer and UBSan"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

step "fuzz targets"
bash scripts/fuzz.sh

step "unit tests, Wine end-to-end tests, reproducible build, release package"
ctest --preset native
