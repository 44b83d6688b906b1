#!/usr/bin/env bash
# Builds ssdprep.exe a second time, from scratch in another folder, and
# checks that the bytes equal those of the windows preset's build.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
first="$source_dir/build/windows/ssdprep.exe"
again=$(mktemp -d "${TMPDIR:-/tmp}/ssdprep-again.XXXXXX")
trap 'rm -rf "$again"' EXIT

[ -f "$first" ] || { echo "missing $first: build the windows preset first"; exit 1; }
cmake -S "$source_dir" --preset windows -B "$again" >/dev/null
cmake --build "$again" --target ssdprep -j 2 >/dev/null
if cmp "$first" "$again/ssdprep.exe"; then
    echo "identical: $(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)"
else
    echo "ssdprep.exe differs between two builds of the same tree"
    exit 1
fi
