#!/usr/bin/env bash
# Benchmark, not a test: how much a declined run of ssdprep.exe costs over a
# bare start. Under Wine, with a warm wineserver per prefix, it times the
# real ssdprep.exe on the audit-declined path (ImageState is
# IMAGE_STATE_COMPLETE) and on the SSD-declined path (no setup state: Wine's
# drives do not answer the identify request), each against bench-hello.exe,
# a static hello-world built with the same toolchain and flags. The programs
# take turns round by round, so a change in the machine's load touches both
# sides of a ratio alike. Prints each program's median time and the median of
# the per-round ratios, after the executables' sizes.
#
#   bash scripts/bench.sh [rounds]     (default 40)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-40}

cmake --preset windows >/dev/null
cmake --build --preset windows --target ssdprep bench-hello >/dev/null

work="$PWD/build/bench"
mkdir -p "$work"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=(wine)
if setarch "$(uname -m)" -R true 2>/dev/null; then
    wine=(setarch "$(uname -m)" -R wine)
fi
state_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Setup\State'

# One prefix per path, each with its own wineserver kept up for the whole run.
prepare() {
    local prefix="$work/$1"
    export WINEPREFIX="$prefix"
    wineserver -k 2>/dev/null || true
    wineserver -w
    if [ ! -f "$prefix/system.reg" ]; then
        rm -rf "$prefix"
        mkdir -p "$prefix"
    fi
    wineserver -p
    "${wine[@]}" wineboot -i >"$work/$1.log" 2>&1
    "${wine[@]}" reg delete "$state_key" /f >/dev/null 2>&1 || true
    if [ "$1" = audit ]; then
        "${wine[@]}" reg add "$state_key" /v ImageState /t REG_SZ /d IMAGE_STATE_COMPLETE /f \
            >/dev/null 2>&1
    fi
}
stop_servers() {
    for name in audit ssd; do
        WINEPREFIX="$work/$name" wineserver -k 2>/dev/null || true
    done
}
trap stop_servers EXIT
prepare audit
prepare ssd

python3 - "$rounds" "$work" build/windows "${wine[@]}" <<'EOF'
import os
import statistics
import subprocess
import sys
import time

rounds, work, exe_dir, wine = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
hello = os.path.join(exe_dir, "bench-hello.exe")
tool = os.path.join(exe_dir, "ssdprep.exe")
# (path, prefix, the tool's exit code there)
paths = [("audit-declined", "audit", 1), ("ssd-declined", "ssd", 1)]


def timed(program, prefix, expected):
    env = dict(os.environ, WINEPREFIX=os.path.join(work, prefix))
    start = time.perf_counter()
    code = subprocess.run(wine + [program], env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - start
    if code != expected:
        sys.exit(f"{os.path.basename(program)} in the {prefix} prefix ended with {code}, "
                 f"not {expected}")
    return elapsed


# Warm each prefix's caches before anything is counted.
for _, prefix, code in paths:
    for _ in range(3):
        timed(hello, prefix, 0)
        timed(tool, prefix, code)

times = {name: {"hello": [], "tool": []} for name, _, _ in paths}
for round_number in range(rounds):
    for name, prefix, code in paths:
        # Alternate which of the pair goes first.
        order = [("hello", hello, 0), ("tool", tool, code)]
        if round_number % 2:
            order.reverse()
        for key, program, expected in order:
            times[name][key].append(timed(program, prefix, expected))

print(f"ssdprep.exe: {os.path.getsize(tool)} bytes ({os.path.getsize(tool) / 1024:.1f} KiB); "
      f"hello-world: {os.path.getsize(hello)} bytes")
print(f"{rounds} rounds, median seconds (hello-world / ssdprep.exe) and median ratio:")
for name, _, _ in paths:
    hello_times, tool_times = times[name]["hello"], times[name]["tool"]
    ratio = statistics.median(t / h for t, h in zip(tool_times, hello_times))
    print(f"  {name:15} {statistics.median(hello_times):.4f} / "
          f"{statistics.median(tool_times):.4f}   ratio {ratio:.3f}")
EOF
