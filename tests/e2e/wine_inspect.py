"""ssdprep-inspect-sim.exe beside ssdprep-sim.exe on the same simulated
machines: the report must say what the tool then does, and read the drives
the way the tool reads them.
"""

import json
import os
import unittest

from harness import (BANNER, BUS_TYPE_SATA, BUS_TYPE_USB, NOT_AUDIT_MODE, NOT_SSD_ONLY,
                     SETUP_STATE_KEY, DiskpartRecords, SimDrives, identify_reply, layout_reply,
                     storage_reply, windows_executable)
from wine_partition import CREATE_NAME, DELETE_NAME, STANDARD_LAYOUT
from wine_sim import SimCase

VERDICT_OF_OUTPUT = {BANNER: "would-change", NOT_AUDIT_MODE: "not-audit",
                     NOT_SSD_ONLY: "not-ssd-only"}


def drive(bus=BUS_TYPE_SATA, rate=1, layout=STANDARD_LAYOUT, **extra):
    return dict(storage=storage_reply(bus), smart=identify_reply(rate), layout=layout, **extra)


# name: (drives by number, image state or None)
MACHINES = {
    "hibernation_partition_2": ({0: drive()}, None),
    "no_hibernation_partition": ({0: drive(layout=layout_reply([(1, 0x07, 1), (2, 0x0C, 1)]))},
                                 None),
    "setup_completed": ({0: drive()}, "IMAGE_STATE_COMPLETE"),
    "two_internal_drives": ({0: drive(), 1: drive()}, None),
    "usb_drive_0": ({0: drive(bus=BUS_TYPE_USB), 1: drive()}, None),
    "rotating_drive": ({0: drive(rate=7200)}, None),
    "no_read_write_access": ({0: drive(deny_rw=True)}, None),
}


class InspectorCase(SimCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.inspector = windows_executable("ssdprep-inspect-sim.exe")

    def machine(self, name, drives, image_state):
        """Fresh drives, records and working folder for one machine."""
        self.prefix.reset()
        if image_state is not None:
            self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", "REG_SZ", image_state)
        folder = os.path.join(self.case_dir, name)
        self.drives = SimDrives(os.path.join(folder, "drives"))
        for number, files in drives.items():
            self.drives.add_drive(number, **files)
        self.records = DiskpartRecords(os.path.join(folder, "records"))
        self.cwd = os.path.join(folder, "cwd")
        os.makedirs(self.cwd)

    def inspect(self, *args):
        env = {**self.drives.env, **self.records.env}
        return self.prefix.run_windows(self.inspector, args, cwd=self.cwd, extra_env=env)

    def take_log(self):
        lines = self.drives.log_lines()
        os.remove(os.path.join(self.drives.folder, "calls.log"))
        return lines


class InspectorAgreesWithToolTest(InspectorCase):
    def test_both_twins_agree(self):
        for name, (drives, image_state) in MACHINES.items():
            with self.subTest(machine=name):
                self.machine(name, drives, image_state)
                inspected = self.inspect("--json")
                report = json.loads(inspected.stdout)
                inspector_log = self.take_log()
                tool = self.run_tool()
                tool_log = self.drives.log_lines()

                self.assertEqual(report["verdict"], VERDICT_OF_OUTPUT.get(tool.stdout), tool)
                self.assertEqual(inspected.returncode, 0 if tool.returncode == 0 else 1)
                # Same requests, sizes and access: the tool reads what the
                # inspector read, and stops where its gates decline.
                self.assertEqual(tool_log, inspector_log[:len(tool_log)])
                if report["verdict"] != "would-change":
                    self.assertIsNone(report["delete_script"])
                    self.assertEqual(os.listdir(self.cwd), [])
                    continue
                self.assertEqual(tool_log, inspector_log)
                with open(os.path.join(self.cwd, DELETE_NAME), "rb") as script:
                    deleted = script.read()
                with open(os.path.join(self.cwd, CREATE_NAME), "rb") as script:
                    created = script.read()
                self.assertEqual(report["delete_script"].encode("ascii"), deleted)
                self.assertEqual(report["create_script"].encode("ascii"), created)
                self.assertIn(f"select part {report['hibernation_partition']}\r\r\n".encode(),
                              deleted)

    def test_report_changes_nothing(self):
        self.machine("report", {0: drive()}, None)
        result = self.inspect()
        self.assertEqual(result.returncode, 0, result)
        self.assertIn(b"\r\nVerdict: ssdprep.exe would change drive 0.", result.stdout)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(os.listdir(self.cwd), [])
        self.assertEqual(self.records.runs(), [])
        # Only the drives' folders and their log are there.
        self.assertEqual(sorted(os.listdir(self.drives.folder)), ["0", "calls.log"])
        self.assertDrivesClosed(self.drives.log_lines())

    def test_unknown_argument_is_a_usage_error(self):
        self.machine("usage", {0: drive()}, None)
        result = self.inspect("--delete")
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, b"")
        self.assertTrue(result.stderr.startswith(b"usage: ssdprep-inspect"), result.stderr)
        self.assertEqual(self.drives.log_lines(), [])


if __name__ == "__main__":
    unittest.main()
