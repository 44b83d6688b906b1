"""The deployment files the package ships, checked as they stand:

- run-ssdprep.cmd, run by Wine's cmd beside the simulated twins of the tool
  and its report (under their real names) on a drive image, with the stand-in
  partitioning tool labelling drive M: as it formats: a first run changes the
  image, a second run changes nothing, a GPT drive and a missing partitioning
  tool are never partitioned, a run that changes nothing stops set-up, and
  the wrapper only ever ends with 0 or 3, and a folder too long for the
  scripts stops it before the tool could show its message box;
- unattend-auditUser.xml (no Wine needed): well-formed, in the auditUser pass,
  with WillReboot OnRequest, in the form Microsoft documents;
- the exit codes, stated in the guide as the README states them.
"""

import hashlib
import os
import re
import shutil
import unittest
import xml.etree.ElementTree as ElementTree

from harness import (BUS_TYPE_SATA, SimDrives, identify_reply, install_fake_diskpart,
                     remove_diskpart, storage_reply, windows_executable, windows_path)
from wine_images import make_image, table
from wine_partition import nested_folder
from wine_sim import SimCase

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
GUIDE = os.path.join(ROOT, "docs", "operator-guide.md")
README = os.path.join(ROOT, "README.md")
WRAPPER = os.path.join(ROOT, "deploy", "run-ssdprep.cmd")
FRAGMENT = os.path.join(ROOT, "deploy", "unattend-auditUser.xml")
UNATTEND = "{urn:schemas-microsoft-com:unattend}"
WCM = "{http://schemas.microsoft.com/WMIConfig/2002/State}"
# Microsoft's limits for a RunSynchronousCommand: Path and Description at most
# 259 characters, Order from 1 to 500; its children in the order of
# Microsoft's examples.
TEXT_LIMIT = 259
CHILDREN = ["Description", "Order", "Path", "WillReboot"]
CARRY_ON = 0
STOP = 3
HIBERNATION = ([(1, 20, "7"), (21, 30, "84")], "dos")
GPT = ([(1, 20, "L")], "gpt")

# name: drive 0's image (None: the machine of the row before), the extra
# environment and the row's set-up ("no diskpart"; "folder": the length of
# the wrapper's folder), the wrapper's exit code, whether the tool ran, and
# what the wrapper's log says of this run
ROWS = {
    "first run": (HIBERNATION, {}, CARRY_ON, True,
                  b"done: no hibernation partition, and a TEMP_PART01 volume"),
    "second run": (None, {}, CARRY_ON, False,
                   b"already done: no hibernation partition, and a TEMP_PART01 volume"),
    "second run, DECLINE_STOPS=1": (None, {"DECLINE_STOPS": "1"}, CARRY_ON, False,
                                    b"already done"),
    "GPT": (GPT, {}, CARRY_ON, False, b"not done, and ssdprep.exe cannot do it"),
    "GPT, DECLINE_STOPS=1": (None, {"DECLINE_STOPS": "1"}, STOP, False,
                             b"not done, and ssdprep.exe cannot do it"),
    "partitioning tool missing": (HIBERNATION, {"no diskpart": "1"}, STOP, False,
                                  b"a partition step could not be carried out here"),
    "stand-in changes nothing": (HIBERNATION, {"FAKE_DISKPART_NOCHANGE": "1"}, STOP, True,
                                 b"ssdprep.exe ran, but drive 0 is not as it should be"),
    # The tool would stop at its message box: the wrapper must stop first.
    "folder of 238 characters": (HIBERNATION, {"folder": 238}, CARRY_ON, True, b"done"),
    "folder of 239 characters": (HIBERNATION, {"folder": 239}, STOP, False,
                                 b"the folder path is longer than 238 characters"),
}
SET_UP = ("no diskpart", "folder")


def read(path):
    with open(path, "rb") as file:
        return file.read()


class WrapperTest(SimCase):
    def install(self, folder):
        """The twins under the real names and the wrapper, with CR LF as in
        the package, in `folder`; returns the wrapper's path."""
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(self.exe, os.path.join(folder, "ssdprep.exe"))
        shutil.copyfile(windows_executable("ssdprep-inspect-sim.exe"),
                        os.path.join(folder, "ssdprep-inspect.exe"))
        path = os.path.join(folder, "run-ssdprep.cmd")
        with open(path, "wb") as script:
            script.write(read(WRAPPER).replace(b"\n", b"\r\n"))
        return path

    def run_wrapper(self, path, extra_env=None):
        env = {**self.drives.env, **self.records.env, **(extra_env or {})}
        # From another folder: the wrapper must change into its own.
        return self.prefix.run(["wine", "cmd", "/c", windows_path(path)], cwd=self.cwd,
                               extra_env=env)

    def test_rows_end_with_0_or_3_and_act_as_the_log_says(self):
        volume = os.path.join(self.case_dir, "volume")
        os.makedirs(volume)
        self.addCleanup(self.prefix.map_letter("M", volume))
        for name, (image, env, code, tool_runs, said) in ROWS.items():
            with self.subTest(name):
                if image is not None:
                    for leftover in os.listdir(volume):
                        os.remove(os.path.join(volume, leftover))
                    folder = os.path.join(self.case_dir, re.sub(r"\W+", "_", name))
                    self.drives = SimDrives(os.path.join(folder, "drives"))
                    self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA),
                                          smart=identify_reply(1))
                    disk = os.path.join(self.drives.folder, "0", "disk.img")
                    make_image(disk, *image)
                    deploy = os.path.join(folder, "deploy")
                    if "folder" in env:
                        deploy = nested_folder(deploy, env["folder"])
                    wrapper = self.install(deploy)
                    log = os.path.join(deploy, "ssdprep-run.log")
                before, logged = read(disk), read(log) if os.path.exists(log) else b""
                runs = len(self.records.runs())
                if "no diskpart" in env:
                    remove_diskpart(self.prefix)
                try:
                    result = self.run_wrapper(wrapper, {"FAKE_DISKPART_VOLUME": "M:\\", **{
                        key: value for key, value in env.items() if key not in SET_UP}})
                finally:
                    install_fake_diskpart(self.prefix)
                this_run = read(log)[len(logged):]
                self.assertEqual(result.returncode, code, this_run)
                self.assertIn(said, this_run)
                self.assertEqual(b"ssdprep.exe ended with" in this_run, tool_runs, this_run)
                self.assertTrue(this_run.endswith(f"ends with {code}\r\n".encode()), this_run)
                if tool_runs and "FAKE_DISKPART_NOCHANGE" not in env:
                    self.assertNotIn("84", [entry["type"] for entry in table(disk)])
                else:
                    self.assertEqual(hashlib.sha256(read(disk)).digest(),
                                     hashlib.sha256(before).digest())
                if not tool_runs:
                    self.assertEqual(len(self.records.runs()), runs)


class DeploymentFilesTest(unittest.TestCase):
    def test_unattend_fragment_runs_the_wrapper_in_audit_user_on_request(self):
        root = ElementTree.parse(FRAGMENT).getroot()
        self.assertEqual(root.tag, f"{UNATTEND}unattend")
        settings = root.findall(f"{UNATTEND}settings")
        self.assertEqual([s.get("pass") for s in settings], ["auditUser"])
        component = settings[0].find(f"{UNATTEND}component")
        self.assertEqual((component.get("name"), component.get("processorArchitecture")),
                         ("Microsoft-Windows-Deployment", "amd64"))
        commands = component.findall(f"{UNATTEND}RunSynchronous/{UNATTEND}RunSynchronousCommand")
        self.assertEqual(len(commands), 1)
        command = commands[0]
        self.assertEqual(command.get(f"{WCM}action"), "add")
        self.assertEqual([child.tag.removeprefix(UNATTEND) for child in command], CHILDREN)
        self.assertEqual(command.findtext(f"{UNATTEND}WillReboot"), "OnRequest")
        self.assertTrue(1 <= int(command.findtext(f"{UNATTEND}Order")) <= 500)
        for text in ("Path", "Description"):
            self.assertLessEqual(len(command.findtext(f"{UNATTEND}{text}")), TEXT_LIMIT)
        self.assertTrue(command.findtext(f"{UNATTEND}Path").endswith("\\run-ssdprep.cmd"))

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
