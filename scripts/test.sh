#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every check: the
# format and static-analysis checks, the unit tests under AddressSanitizer
# and UBSan, the fuzz targets for a bounded time, then the unit tests, the
# end-to-end tests under Wine, the reproducible-build test and the release
# package (built from clean clones of HEAD), ending with ctest's summary.
# After a passing run it removes the Wine tests' prefix; a failing run
# leaves everything in build/ as it was.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s\n' "$*"; }

bash scripts/install-deps.sh

step "windows preset: the three programs, their simulated twins, the stand-in partitioning tool"
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
echo "The Wine tests start Wine in a new prefix (build/native/e2e/prefix)," \
    "about a minute the first time ..."
ctest --preset native

# The Wine tests make their prefix afresh on every run: once they passed it
# only takes room.
rm -rf build/native/e2e/prefix
echo "Removed the Wine tests' prefix build/native/e2e/prefix (about 700 MB);" \
    "README.md says what stays in build/."
