#!/usr/bin/env bash
# clang-tidy over the portable code and the fake machine, with the checks in
# .clang-tidy, on the native preset's compile commands. The Win32 layer needs
# the Windows headers, and the report's entry point its generated version
# header: both are left to the cross compiler's warnings.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/compile_commands.json ] || { echo "configure the native preset first"; exit 1; }
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    'src/app/*.cpp' 'src/common/*.cpp' 'src/deploy/*.cpp' 'src/disk/*.cpp' \
    'src/inspect/*.cpp' 'src/partition/*.cpp' 'tests/fake/*.cpp' \
    ':!src/inspect/main.cpp' ':!src/deploy/main.cpp')
# Keep the findings, drop the counts of suppressed system-header warnings.
printf '%s\n' "${files[@]}" | xargs -P 2 -n 4 clang-tidy --quiet -p build/native 2>&1 |
    { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }
echo "clang-tidy: ${#files[@]} files, no finding"
