"""The operator's guide's pieces that an engineer pastes, checked as they
stand in the guide:

- the batch wrapper, run by Wine's cmd around the tool's simulated twin:
  each exit code of the tool gives the wrapper's documented answer and log
  line, and a folder too long for the scripts stops the wrapper before the
  tool could show its message box;
- the unattend.xml fragment (no Wine needed): well-formed, in the auditUser
  pass, and never letting Windows restart on the tool's exit code;
- the exit codes, stated as the README states them.
"""

import os
import re
import shutil
import unittest
import xml.etree.ElementTree as ElementTree

from harness import (BANNER, BUS_TYPE_SATA, SimDrives, identify_reply, install_fake_diskpart,
                     remove_diskpart, storage_reply, windows_path)
from wine_partition import STANDARD_LAYOUT, nested_folder
from wine_sim import SimCase

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
GUIDE = os.path.join(ROOT, "docs", "operator-guide.md")
README = os.path.join(ROOT, "README.md")
UNATTEND = "{urn:schemas-microsoft-com:unattend}"
WCM = "{http://schemas.microsoft.com/WMIConfig/2002/State}"
# Microsoft's limit for a RunSynchronousCommand's Path.
PATH_LIMIT = 259
CARRY_ON = 0
STOP = 3


def guide_block(first_line):
    """The text of the guide's one unindented fenced block that begins with
    `first_line`, with Windows line ends as an engineer's copy would have."""
    with open(GUIDE, encoding="utf-8") as guide:
        blocks = re.findall(r"^```[a-z]*\n(.*?)^```$", guide.read(), re.MULTILINE | re.DOTALL)
    found = [block for block in blocks if block.startswith(first_line + "\n")]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} blocks of the guide begin with {first_line!r}")
    return found[0].replace("\n", "\r\n")


class WrapperTest(SimCase):
    def install(self, folder, decline_stops=False):
        """The tool (its twin, under the tool's name) and the wrapper in
        `folder`; returns the wrapper's path."""
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(self.exe, os.path.join(folder, "ssdprep.exe"))
        wrapper = guide_block("@echo off")
        if decline_stops:
            # The one edit the guide tells the engineer about.
            edited = wrapper.replace('set "DECLINE_STOPS=0"', 'set "DECLINE_STOPS=1"')
            self.assertNotEqual(edited, wrapper)
            wrapper = edited
        path = os.path.join(folder, "run-ssdprep.cmd")
        with open(path, "w", encoding="ascii", newline="") as script:
            script.write(wrapper)
        return path

    def run_wrapper(self, path):
        env = {**self.drives.env, **self.records.env}
        # From another folder: the wrapper must change into its own.
        return self.prefix.run(["wine", "cmd", "/c", windows_path(path)], cwd=self.cwd,
                               extra_env=env)

    def read_log(self, folder):
        with open(os.path.join(folder, "ssdprep-run.log"), "rb") as log:
            return log.read()

    def test_exit_codes_give_the_documented_answers(self):
        cases = [
            # name, drive 0 present, partitioning tool present, DECLINE_STOPS,
            # the wrapper's exit code, its last log line's ending
            ("done", True, True, False, CARRY_ON,
             b"exit code 0: both partition steps ran. Check the result.\r\n"),
            ("declined", False, True, False, CARRY_ON,
             b"exit code 1: declined, nothing was changed.\r\n"),
            ("declined, DECLINE_STOPS=1", False, True, True, STOP,
             b"exit code 1: declined, nothing was changed.\r\n"),
            ("not carried out", True, False, False, STOP,
             b"exit code 2: a partition step was not carried out. Do not seal this image.\r\n"),
        ]
        for name, drive_0, diskpart, decline_stops, code, outcome in cases:
            with self.subTest(name):
                case_dir = os.path.join(self.case_dir, re.sub(r"\W+", "_", name))
                self.drives = SimDrives(os.path.join(case_dir, "drives"))
                if drive_0:
                    self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA),
                                          smart=identify_reply(1), layout=STANDARD_LAYOUT)
                folder = os.path.join(case_dir, "deploy")
                wrapper = self.install(folder, decline_stops)
                if not diskpart:
                    remove_diskpart(self.prefix)
                try:
                    result = self.run_wrapper(wrapper)
                finally:
                    install_fake_diskpart(self.prefix)
                self.assertEqual(result.returncode, code, result.stdout)
                log = self.read_log(folder)
                self.assertIn(b"running ssdprep.exe in " + windows_path(folder).encode(), log)
                # The tool's own output is kept between the two lines.
                self.assertIn(b"\r\n" + BANNER, log)
                self.assertTrue(log.endswith(outcome), log)

    def test_folder_too_long_for_the_scripts_stops_before_the_tool(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1),
                              layout=STANDARD_LAYOUT)
        for length, code in [(238, CARRY_ON), (239, STOP)]:
            with self.subTest(length=length):
                folder = nested_folder(os.path.join(self.case_dir, str(length)), length)
                result = self.run_wrapper(self.install(folder))
                self.assertEqual(result.returncode, code, result.stdout)
                ran = os.path.exists(os.path.join(folder, "deletePartition.VELK"))
                self.assertEqual(ran, code == CARRY_ON)
        self.assertIn(b"longer than 238 characters", result.stdout)


class GuideDocumentTest(unittest.TestCase):
    def test_unattend_fragment_runs_in_audit_user_and_never_restarts(self):
        # Inside <unattend>, whose namespace the fragment's elements take.
        text = guide_block('<settings pass="auditUser">')
        root = ElementTree.fromstring(
            f'<unattend xmlns="{UNATTEND[1:-1]}">{text}</unattend>')
        commands = root.findall(f"./{UNATTEND}settings/{UNATTEND}component/"
                                f"{UNATTEND}RunSynchronous/{UNATTEND}RunSynchronousCommand")
        self.assertEqual(len(commands), 1)
        component = root.find(f"./{UNATTEND}settings/{UNATTEND}component")
        self.assertEqual(component.get("name"), "Microsoft-Windows-Deployment")
        self.assertEqual(component.get("processorArchitecture"), "amd64")
        command = commands[0]
        self.assertEqual(command.get(f"{WCM}action"), "add")
        self.assertEqual(command.findtext(f"{UNATTEND}WillReboot"), "Never")
        path = command.findtext(f"{UNATTEND}Path")
        self.assertLessEqual(len(path), PATH_LIMIT)
        self.assertIn("cd /d C:\\Deploy\\ssdprep && ssdprep.exe >>", path)

    def test_exit_codes_are_stated_as_in_the_readme(self):
        def exit_code_table(path):
            with open(path, encoding="utf-8") as document:
                lines = document.read().split("\n")
            start = lines.index("| Code | Meaning |")
            end = lines.index("", start)
            return lines[start:end]

        guide = exit_code_table(GUIDE)
        self.assertEqual([row[:4] for row in guide[2:]], ["| 0 ", "| 1 ", "| 2 "])
        self.assertEqual(exit_code_table(README), guide)


if __name__ == "__main__":
    unittest.main()
