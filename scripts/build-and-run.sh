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
# Without address-space randomisation where the system allows it: it can,
# rarely, take the page Wine needs at a fixed address and fail the start.
wine=(wine)
if setarch "$(uname -m)" -R true 2>/dev/null; then
    wine=(setarch "$(uname -m)" -R wine)
fi
"${wine[@]}" wineboot -i >build/wine-run.log 2>&1 || { cat build/wine-run.log; exit 1; }
set +e
"${wine[@]}" build/windows/ssdprep.exe
code=$?
set -e
wineserver -k || true
echo "ssdprep.exe ended with exit code $code"
