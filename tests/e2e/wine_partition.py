"""ssdprep-sim.exe under Wine through the whole run: the layout reads, the
two scripts, the partitioning tool started from the system folder, and the
exit codes.

The fake partitioning tool stands in for C:\\windows\\system32\\diskpart.exe
and records each start; the simulated drives log every drive call. The
expected bytes are written out here on purpose: a changed script must show.
"""

import os
import re
import shutil
import unittest

from harness import (BANNER, BUS_TYPE_SATA, BUS_TYPE_USB, DECLINED, NOT_SSD_ONLY, identify_reply,
                     install_fake_diskpart, layout_reply, remove_diskpart, storage_reply,
                     windows_executable, windows_path)
from wine_sim import GATES_DRIVE_0_ONLY, SimCase, close

DONE = 0
NOT_CARRIED_OUT = 2

DELETE_NAME = "deletePartition.VELK"
CREATE_NAME = "CreatePartition.VELK"
SYSTEM_DISKPART = "C:\\windows\\system32\\diskpart.exe"

DELETE_PART_2 = (b"rescan \r\r\nselect disk 0\r\r\nselect part 2\r\r\n"
                 b"delete part override\r\r\nexit\r\r\n")
DELETE_NONE = (b"rescan \r\r\nselect disk 0\r\r\nselect part -1\r\r\n"
               b"delete part override\r\r\nexit\r\r\n")
CREATE = (b"rescan \r\r\nselect disk 0 \r\r\ncreate partition PRIMARY noerr\r\r\n"
          b"format quick fs=ntfs label=TEMP_PART01 noerr\r\r\nassign \r\r\nexit\r\r\n")

# Partition 2 is the hibernation partition (type 0x84); two empty entries follow.
STANDARD_LAYOUT = layout_reply([(1, 0x07, 1), (2, 0x84, 1), (0, 0, 0), (0, 0, 0)])

# The tool's notices when a script cannot be written, and their caption: the
# executable's name without its extension.
DELETE_NOTICE = "Fail to create delete DISKPART file."
CREATE_NOTICE = "Fail to create create DISKPART file."



def layout_read(drive, ok=True):
    """One layout question: open with GENERIC_ALL, the layout request, close."""
    return [f"open {drive} access=10000000 share=00000003 disposition=00000003 "
            f"flags=00000000 ok",
            f"ioctl {drive} code=0007400C in=- outlen=520 {'ok' if ok else 'fail'}",
            close(drive)]


def command_line(script_path):
    # Wine hands the command line over as composed: no closing quotation mark.
    return f'Diskpart /s "{script_path}'


def nested_folder(root, windows_length):
    """Creates folders below `root` so that the Windows path of the deepest
    is exactly `windows_length` characters long, and returns it."""
    path = root
    while True:
        missing = windows_length - len(windows_path(path))
        if missing == 0:
            os.makedirs(path, exist_ok=True)
            return path
        if missing < 2:
            raise ValueError(f"{root} is too long for a path of {windows_length} characters")
        # A separator and a name; never leave a single character over, which
        # could not hold both.
        name_length = min(missing - 1, 100)
        if missing - 1 - name_length == 1:
            name_length -= 1
        path = os.path.join(path, "d" * name_length)


class PartitionCase(SimCase):
    def run_sim(self, exe=None, cwd=None, extra_env=None, stderr_path=None):
        env = {**self.drives.env, **self.records.env, **(extra_env or {})}
        return self.prefix.run_windows(exe or self.exe, cwd=cwd or self.cwd, extra_env=env,
                                       stderr_path=stderr_path)

    def add_standard_drive(self, layout=STANDARD_LAYOUT):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1),
                              layout=layout)

    def script_path(self, name, folder=None):
        return windows_path(os.path.join(folder or self.cwd, name))

    def read_file(self, path):
        with open(path, "rb") as file:
            return file.read()

    def assertScriptFiles(self, delete, create, folder=None):
        folder = folder or self.cwd
        self.assertEqual(sorted(os.listdir(folder)), sorted([DELETE_NAME, CREATE_NAME]))
        self.assertEqual(self.read_file(os.path.join(folder, DELETE_NAME)), delete)
        self.assertEqual(self.read_file(os.path.join(folder, CREATE_NAME)), create)

    def assertToolRuns(self, runs, delete, create, folder=None, exit_code="0"):
        """Two starts of the system's tool, delete script first, each on a
        complete script the tool had closed."""
        self.assertEqual(len(runs), 2, runs)
        expected = [(DELETE_NAME, delete), (CREATE_NAME, create)]
        for number, (run, (name, script)) in enumerate(zip(runs, expected), 1):
            # The exit record comes last: without it the tool had ended
            # before this run of the partitioning tool did.
            self.assertEqual(run.get("exit"), exit_code, f"run {number} unfinished: {run}")
            self.assertEqual(run["cmdline"], command_line(self.script_path(name, folder)))
            self.assertEqual(run.get("exe"), SYSTEM_DISKPART)
            # It inherits the current directory the tool was started in.
            self.assertEqual(run.get("cwd"), windows_path(folder or self.cwd))
            # Started hidden: STARTF_USESHOWWINDOW with SW_HIDE.
            self.assertEqual(run.get("startup"), "flags=00000001 show=0\n")
            self.assertEqual(run.get("open"), "ok\n")
            self.assertEqual(run.get("script"), script)

    def assertNoFullAccessBeyondDrive0(self, lines):
        for line in lines:
            words = line.split()
            if words[0] == "open" and words[1] != "0":
                self.assertEqual(int(words[2].removeprefix("access="), 16) & 0x10000000, 0, line)

    def gate_end(self, lines):
        """Index just past the gates' last log line (the identify close)."""
        for index in range(len(lines) - 1, -1, -1):
            if lines[index].startswith("ioctl 0 code=0007C088"):
                return index + 2
        self.fail(f"no identify request in the log: {lines}")


class StandardRunTest(PartitionCase):
    def test_standard_run(self):
        self.add_standard_drive()
        self.drives.settle_ms = None  # the real 15 seconds between the two runs
        # The fake lists the script folder after this delay, just before it
        # ends: had the tool not waited, the create script would be there.
        result = self.run_sim(extra_env={"FAKE_DISKPART_DELAY": "300"})
        self.assertRun(result, BANNER, DONE)
        self.assertEqual(len(DELETE_PART_2), 72)
        self.assertEqual(len(CREATE), 124)

        runs = self.records.runs()
        self.assertEqual(len(runs), 2, runs)
        # Listed as each run ended: the create script came after the first.
        self.assertEqual(sorted(runs[0].get("dir", "?").splitlines()), [DELETE_NAME],
                         "the delete run had not ended when the create script was written")
        self.assertEqual(sorted(runs[1].get("dir", "?").splitlines()),
                         sorted([CREATE_NAME, DELETE_NAME]))
        self.assertToolRuns(runs, DELETE_PART_2, CREATE)
        # The second run started at least 15 seconds after the first ended:
        # its first record against the first run's last.
        records = self.records.folder
        gap = (os.stat(os.path.join(records, "run2.cmdline")).st_mtime -
               os.stat(os.path.join(records, "run1.exit")).st_mtime)
        self.assertGreaterEqual(gap, 15.0)
        # Both scripts stay where they were written.
        self.assertScriptFiles(DELETE_PART_2, CREATE)

        lines = self.drives.log_lines()
        # The count, then the type of partition 1 and of partition 2, which
        # ends the search: each read opens and closes the drive afresh.
        self.assertEqual(lines, GATES_DRIVE_0_ONLY + layout_read(0) * 3)
        self.assertNoFullAccessBeyondDrive0(lines)
        self.assertDrivesClosed(lines)

    def test_238_character_directory_takes_the_scripts(self):
        self.add_standard_drive()
        cwd = nested_folder(self.cwd, 238)
        result = self.run_sim(cwd=cwd)
        self.assertRun(result, BANNER, DONE)
        self.assertToolRuns(self.records.runs(), DELETE_PART_2, CREATE, folder=cwd)
        self.assertScriptFiles(DELETE_PART_2, CREATE, folder=cwd)


class NoHibernationPartitionTest(PartitionCase):
    def test_missing_hibernation_partition_selects_minus_1(self):
        # Drive 0's only 0x84 entry is not recognised; a USB drive 1 does
        # hold one, and must not be the drive searched.
        self.add_standard_drive(layout_reply([(1, 0x07, 1), (2, 0x0C, 1), (3, 0x84, 0)]))
        self.drives.add_drive(1, storage=storage_reply(BUS_TYPE_USB),
                              layout=layout_reply([(1, 0x84, 1)]))
        result = self.run_sim()
        self.assertRun(result, BANNER, DONE)
        self.assertEqual(len(DELETE_NONE), 73)
        self.assertToolRuns(self.records.runs(), DELETE_NONE, CREATE)
        self.assertScriptFiles(DELETE_NONE, CREATE)
        lines = self.drives.log_lines()
        # Two recognised partitions counted, both types read, none matched.
        self.assertEqual(lines[self.gate_end(lines):], layout_read(0) * 3)
        self.assertNoFullAccessBeyondDrive0(lines)
        self.assertDrivesClosed(lines)


class ToolStartTest(PartitionCase):
    def test_missing_partitioning_tool_ends_with_2(self):
        self.add_standard_drive()
        remove_diskpart(self.prefix)
        self.addCleanup(install_fake_diskpart, self.prefix)
        result = self.run_sim()
        self.assertRun(result, BANNER, NOT_CARRIED_OUT)
        self.assertEqual(self.records.runs(), [])
        # Both steps were still attempted, each script written whole.
        self.assertScriptFiles(DELETE_PART_2, CREATE)

    def run_with_planted_diskpart(self, beside_the_tool):
        """Runs a copy of the tool with a copy of the fake named Diskpart.exe
        beside it or in the current directory, which records itself (with
        its own path) if started."""
        self.add_standard_drive()
        own_folder = os.path.join(self.case_dir, "bin")
        os.makedirs(own_folder)
        exe = os.path.join(own_folder, "ssdprep-sim.exe")
        shutil.copyfile(self.exe, exe)
        planted = os.path.join(own_folder if beside_the_tool else self.cwd, "Diskpart.exe")
        shutil.copyfile(windows_executable("fake-diskpart.exe"), planted)
        result = self.run_sim(exe=exe)
        self.assertRun(result, BANNER, DONE)
        runs = self.records.runs()
        self.assertEqual([run.get("exe") for run in runs], [SYSTEM_DISKPART, SYSTEM_DISKPART])
        self.assertToolRuns(runs, DELETE_PART_2, CREATE)
        expected_files = [DELETE_NAME, CREATE_NAME] + ([] if beside_the_tool else ["Diskpart.exe"])
        self.assertEqual(sorted(os.listdir(self.cwd)), sorted(expected_files))

    def test_diskpart_beside_the_tool_is_not_run(self):
        self.run_with_planted_diskpart(beside_the_tool=True)

    def test_diskpart_in_the_current_directory_is_not_run(self):
        self.run_with_planted_diskpart(beside_the_tool=False)

    def test_error_exit_of_the_tool_still_ends_with_0(self):
        self.add_standard_drive()
        result = self.run_sim(extra_env={"FAKE_DISKPART_EXIT": "5"})
        self.assertRun(result, BANNER, DONE)
        self.assertToolRuns(self.records.runs(), DELETE_PART_2, CREATE, exit_code="5")


class UnwritableScriptTest(PartitionCase):
    def test_current_directory_too_long_for_the_scripts(self):
        self.add_standard_drive()
        # 239 characters and "\deletePartition.VELK" make 260, one too many.
        cwd = nested_folder(self.cwd, 239)
        # Wine starts a program whose directory it cannot take in the
        # Windows folder instead: make sure this one really is current.
        shown = self.prefix.run(["wine", "cmd", "/c", "cd"], cwd=cwd)
        self.assertEqual(shown.stdout, windows_path(cwd).encode("ascii") + b"\r\n", shown)
        self.assertEqual(len(windows_path(cwd)), 239)

        trace = os.path.join(self.case_dir, "relay.txt")
        # No display: Wine's message box returns at once. The relay trace
        # shows what it was asked to say.
        result = self.run_sim(cwd=cwd, extra_env={"WINEDEBUG": "+relay"}, stderr_path=trace)
        self.assertRun(result, BANNER, NOT_CARRIED_OUT)
        self.assertEqual(self.records.runs(), [])
        self.assertEqual(os.listdir(cwd), [])
        windows_folder = os.path.join(self.prefix.drive_c, "windows")
        for name in (DELETE_NAME, CREATE_NAME):
            self.assertFalse(os.path.exists(os.path.join(windows_folder, name)), name)
        # The gates passed and the layout was read: the scripts alone failed.
        lines = self.drives.log_lines()
        self.assertEqual(lines[self.gate_end(lines):], layout_read(0) * 3)

        notices = []
        call = re.compile(r'Call user32\.MessageBoxW\(([0-9a-f]+),[0-9a-f]+ L"(.*)",'
                          r'[0-9a-f]+ L"(.*)",([0-9a-f]+)\)')
        with open(trace, "rb") as lines_of_trace:
            for raw in lines_of_trace:
                if b"MessageBoxW" in raw:
                    match = call.search(raw.decode("utf-8", "replace"))
                    if match:
                        notices.append((int(match[1], 16), match[2], match[3],
                                        int(match[4], 16) & 0xFFFFFFFF))
        # No owner window, MB_OK | MB_ICONEXCLAMATION, captioned with the
        # program's name.
        self.assertEqual(notices, [(0, DELETE_NOTICE, "ssdprep-sim", 0x30),
                                   (0, CREATE_NOTICE, "ssdprep-sim", 0x30)])
        os.remove(trace)


class DeclinedTest(PartitionCase):
    def test_usb_drive_0_is_declined_before_any_partition_change(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_USB), smart=identify_reply(1),
                              layout=STANDARD_LAYOUT)
        self.drives.add_drive(1, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1),
                              layout=STANDARD_LAYOUT)
        result = self.run_sim()
        self.assertRun(result, NOT_SSD_ONLY, DECLINED)
        lines = self.drives.log_lines()
        self.assertNotIn("access=10000000", "\n".join(lines))
        self.assertNotIn("code=0007400C", "\n".join(lines))
        self.assertDrivesClosed(lines)
        self.assertNothingPartitioned()


class LayoutReadFailureTest(PartitionCase):
    def test_failed_layout_read_is_reported_to_the_debugger(self):
        self.add_standard_drive(layout=None)
        # Wine 8 shows OutputDebugString on the seh channel's warnings:
        # one OutputDebugStringA line per call, then the exception's own.
        result = self.run_sim(extra_env={"WINEDEBUG": "warn+seh"})
        self.assertRun(result, BANNER, DONE)
        debug_lines = [line for line in result.stderr.decode("utf-8", "replace").splitlines()
                       if ":warn:seh:OutputDebugString" in line]
        self.assertEqual(len(debug_lines), 1, result.stderr)
        self.assertTrue(debug_lines[0].endswith(' "Get Partition Number failed."'),
                        debug_lines[0])
        # The count read failed, so the search found nothing without reading
        # any partition's type.
        lines = self.drives.log_lines()
        self.assertEqual(lines[self.gate_end(lines):], layout_read(0, ok=False))
        self.assertToolRuns(self.records.runs(), DELETE_NONE, CREATE)
        self.assertScriptFiles(DELETE_NONE, CREATE)


if __name__ == "__main__":
    unittest.main()
