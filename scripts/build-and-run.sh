#!/usr/bin/env bash
# Builds ssdprep.exe and runs it once under Wine, in a throwaway prefix under
# build/, so its banner and verdict can be seen. Nothing outside build/ is
# touched: Wine's emulated drives are not real disks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

prefix="$PWD/build/wine-run"
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine wineboot -i >/dev/null 2>&1
set +e
# Without address-space randomisation: it can, rarely, take the page Wine
# needs at a fixed address and fail the start.
setarch "$(uname -m)" -R wine build/windows/ssdprep.exe
code=$?
set -e
wineserver -k || true
echo "ssdprep.exe ended with exit code $code"
