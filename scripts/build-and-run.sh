#!/usr/bin/env bash
# Builds ssdprep.exe and shows its whole job under Wine on a sample SSD-only
# machine whose drive 0 is a 64 MiB disk image: first the read-only report
# of what the tool would do, then ssdprep-sim.exe (the tool with simulated
# drives) writing and running its two partitioning scripts, which the
# stand-in partitioning tool carries out on the image with sfdisk and mkntfs.
# Then the real ssdprep.exe runs once on Wine's own drives. Nothing outside
# build/demo is touched.
set -euo pipefail
cd "$(dirname "$0")/.."

bin="$PWD/build/windows"
demo="$PWD/build/demo"
prefix="$demo/prefix"
drives="$demo/drives"
image="$drives/0/disk.img"
records="$demo/records"
volume="$demo/volume"
wine_log="$demo/wine.log"

bash scripts/install-deps.sh
mkdir -p build
echo "Building the Windows executables (build/windows, log in build/demo-build.log) ..."
{ cmake --preset windows && cmake --build --preset windows; } >build/demo-build.log 2>&1 ||
    { cat build/demo-build.log; exit 1; }

# sfdisk and mkntfs live in /usr/sbin, which a user's PATH may lack.
export PATH="/usr/sbin:/sbin:$PATH"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset FAKE_DISKPART_EXIT FAKE_DISKPART_DELAY
# Without address-space randomisation where the system allows it: it can,
# rarely, take the page Wine needs at a fixed address and fail the start.
wine=(wine)
if setarch "$(uname -m)" -R true 2>/dev/null; then
    wine=(setarch "$(uname -m)" -R wine)
fi
table_tool=(sfdisk --no-reread --no-tell-kernel --wipe never --wipe-partitions never -q)

heading() { printf '\n== %s\n' "$*"; }
windows_path() { local path; path=$(realpath "$1"); printf 'Z:%s' "${path//\//\\}"; }
# The tool's files and console end their lines in CR LF (the scripts in CR CR LF).
show_text() { tr -d '\r' <"$1"; }
failed=0
fail() { echo "NOT AS EXPECTED: $*"; failed=1; }

# Sectors of 512 bytes: an NTFS system partition from 1 MiB, then the
# hibernation partition (type 0x84) from 40 MiB to the end.
system_start=2048
system_sectors=79872
hibernation_start=81920

make_sample_machine() {
    rm -rf "$demo"
    mkdir -p "$drives/0" "$records" "$demo/cwd" "$demo/real" "$volume"
    truncate -s 64M "$image"
    printf 'label: dos\nlabel-id: 0x55d0cafe\nstart=%s, size=%s, type=7, bootable\nstart=%s, type=84\n' \
        "$system_start" "$system_sectors" "$hibernation_start" | "${table_tool[@]}" "$image"
    # mkntfs formats whole files: a scratch file of the partition's size.
    truncate -s $((system_sectors * 512)) "$demo/system.part"
    mkntfs -F -Q -q -s 512 -H 255 -S 63 -p "$system_start" -L System "$demo/system.part" \
        >/dev/null 2>&1
    dd if="$demo/system.part" of="$image" bs=1M seek=$((system_start * 512)) oflag=seek_bytes \
        conv=notrunc status=none
    rm "$demo/system.part"
    # A SATA bus and identify data whose word 217 is 1 (no rotation); no
    # drives 1 to 4.
    python3 - "$drives/0" <<'EOF'
import os, sys
sys.path.insert(0, "tests/e2e")
from harness import BUS_TYPE_SATA, identify_reply, storage_reply
for name, reply in (("storage.bin", storage_reply(BUS_TYPE_SATA)), ("smart.bin", identify_reply(1))):
    with open(os.path.join(sys.argv[1], name), "wb") as file:
        file.write(reply)
EOF
    echo "Starting Wine in a new prefix (build/demo/prefix), about a minute the first time ..."
    "${wine[@]}" wineboot -i >>"$wine_log" 2>&1 || { cat "$wine_log"; exit 1; }
    cp "$bin/fake-diskpart.exe" "$prefix/drive_c/windows/system32/diskpart.exe"
    # Drive M: stands for the new volume: the stand-in writes the label it
    # formats with into its folder, where Wine reads a drive's label. Wine
    # learns of a drive when its server starts.
    ln -s "$volume" "$prefix/dosdevices/m:"
    wineserver -k 2>/dev/null || true
    wineserver -w
}

show_machine() {
    heading "Sample machine"
    echo "drive 0: build/demo/drives/0/disk.img (64 MiB), SATA, identify word 217 = 1"
    echo "drives 1 to 4: absent"
}

# From the image's folder, so that sfdisk names its partitions briefly.
show_table() { (cd "$drives/0" && sfdisk -l --color=never disk.img); }

show_table_before() {
    heading "Drive 0 before (sfdisk -l)"
    show_table
}

run_report() {
    local sim=(env SSDPREP_SIM_DRIVES="$(windows_path "$drives")" "${wine[@]}"
        "$bin/ssdprep-inspect-sim.exe")
    heading "ssdprep-inspect-sim.exe: what the tool sees and would do"
    local code=0
    (cd "$demo/cwd" && "${sim[@]}" >"$demo/report.out" 2>>"$wine_log") || code=$?
    show_text "$demo/report.out"
    echo "(exit code $code)"
    heading "ssdprep-inspect-sim.exe --json"
    (cd "$demo/cwd" && "${sim[@]}" --json >"$demo/report.json" 2>>"$wine_log") || true
    show_text "$demo/report.json"
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
sys.exit(r["verdict"] != "would-change" or r["hibernation_partition"] != 2)' "$demo/report.json" ||
        fail "the report does not say the tool would delete partition 2"
    # The report changes nothing: no script, no run of the partitioning tool.
    [ -z "$(find "$demo/cwd" "$records" -mindepth 1)" ] || fail "the report left files behind"
}

# --after: 1 before the run, 0 after it.
run_after_check() {
    local expected=$1 code=0
    heading "ssdprep-inspect-sim.exe --after ($2)"
    # The simulated drives place the stand-in's volume, M:, on disk 0.
    (cd "$demo/cwd" && SSDPREP_SIM_DRIVES="$(windows_path "$drives")" FAKE_DISKPART_VOLUME='M:\' \
        "${wine[@]}" "$bin/ssdprep-inspect-sim.exe" --after >"$demo/after.out" 2>>"$wine_log") ||
        code=$?
    show_text "$demo/after.out"
    echo "(exit code $code)"
    ((code == expected)) || fail "--after ended with $code, not $expected"
}
run_after_check_before() { run_after_check 1 "before the run"; }
run_after_check_after() {
    run_after_check 0 "after the run"
    echo "(The stand-in's assign above only notes the first free letter, D:: it cannot mount the"
    echo " image. Drive M:, a folder Wine serves, stands for the new volume: the stand-in wrote"
    echo " the label there as it formatted, and the simulated drives place M: on disk 0.)"
}

run_tool() {
    heading "ssdprep-sim.exe: console output"
    local code=0
    # SSDPREP_SIM_SETTLE_MS: the twin waits the real tool's 15 seconds
    # between the two runs of the partitioning tool (the tests shorten it).
    (cd "$demo/cwd" && SSDPREP_SIM_DRIVES="$(windows_path "$drives")" \
        SSDPREP_SIM_SETTLE_MS=15000 \
        FAKE_DISKPART_RECORD="$(windows_path "$records")" \
        FAKE_DISKPART_VOLUME='M:\' \
        "${wine[@]}" "$bin/ssdprep-sim.exe" >"$demo/sim.out" 2>>"$wine_log") ||
        code=$?
    show_text "$demo/sim.out"
    echo "(exit code $code)"
    ((code == 0)) || fail "ssdprep-sim.exe ended with $code"
    # The first run's last record against the second run's first.
    local gap
    gap=$(python3 -c 'import os, sys; print("%.1f" % (os.stat(sys.argv[2]).st_mtime - os.stat(sys.argv[1]).st_mtime))' \
        "$records/run1.exit" "$records/run2.cmdline")
    echo "(the create script's partitioning tool started $gap seconds after the delete script's ended)"
    python3 -c 'import sys; sys.exit(float(sys.argv[1]) < 15)' "$gap" ||
        fail "less than 15 seconds between the two runs of the partitioning tool"
}

show_scripts() {
    local name
    for name in deletePartition.VELK CreatePartition.VELK; do
        heading "Script $name"
        show_text "$demo/cwd/$name"
    done
}

show_stand_in_log() {
    local run
    for run in "$records"/run*.log; do
        heading "Stand-in partitioning tool, $(basename "$run" .log) (exit code $(cat "${run%.log}.exit"))"
        cat "$run"
    done
}

show_table_after() {
    heading "Drive 0 after (sfdisk -l)"
    show_table
}

show_new_partition() {
    local offset=$((hibernation_start * 512))
    heading "New partition (blkid -p -O $offset)"
    (cd "$drives/0" && blkid -p -O "$offset" disk.img) || true
    local found
    found=$(blkid -p -O "$offset" -o export "$image" || true)
    [[ $'\n'$found$'\n' == *$'\nTYPE=ntfs\n'* && $'\n'$found$'\n' == *$'\nLABEL=TEMP_PART01\n'* ]] ||
        fail "no NTFS file system labelled TEMP_PART01 where the hibernation partition was"
}

run_real_tool() {
    heading "ssdprep.exe on Wine's own drives"
    local code=0
    (cd "$demo/real" && "${wine[@]}" "$bin/ssdprep.exe" >"$demo/real.out" \
        2>>"$wine_log") || code=$?
    show_text "$demo/real.out"
    echo "(exit code $code)"
    ((code <= 2)) || fail "ssdprep.exe ended with $code"
}

make_sample_machine
steps=(
    show_machine
    show_table_before
    run_report
    run_after_check_before
    run_tool
    show_scripts
    show_stand_in_log
    show_table_after
    show_new_partition
    run_after_check_after
    run_real_tool
)
for step in "${steps[@]}"; do
    "$step"
done
wineserver -k 2>/dev/null || true
echo
echo "Left in place: the Wine prefix build/demo/prefix and drive 0's image build/demo/drives/0/disk.img."
exit "$failed"
