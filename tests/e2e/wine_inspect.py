"""ssdprep-inspect-sim.exe beside ssdprep-sim.exe on the same simulated
machines: the report's exit code must predict the tool's, and the report
must read the drives the way the tool reads them, then make its one read of
its own.
"""

import json
import os
import unittest

from harness import (NOT_AUDIT_MODE, NOT_SSD_ONLY, BUS_TYPE_SATA, BUS_TYPE_USB, SETUP_STATE_KEY,
                     DiskpartRecords, SimDrives, identify_reply, install_fake_diskpart,
                     layout_reply, remove_diskpart, storage_reply, windows_executable)
from wine_images import make_image, table
from wine_partition import CREATE_NAME, DELETE_NAME, STANDARD_LAYOUT, nested_folder
from wine_sim import SimCase

VERDICT_OF_OUTPUT = {NOT_AUDIT_MODE: "not-audit", NOT_SSD_ONLY: "not-ssd-only"}
VERDICT_OF_EXIT = {0: "would-change", 3: "would-stop", 4: "nothing-to-delete",
                   5: "would-half-change"}
# The tool's exit code each of the report's foretells: with 5 it ends with 0,
# having deleted the hibernation partition and created nothing.
TOOL_EXIT = {0: 0, 1: 1, 3: 2, 4: 0, 5: 0}
# The report's own reads after all of the tool's: drive 0's partition style,
# then its geometry, which the simulated drives answer for disk images only.
OWN_READS = ["open 0 access=00000000 share=00000003 disposition=00000003 flags=00000000 ok",
             "ioctl 0 code=00070050 in=- outlen=18480", "close 0",
             "open 0 access=00000000 share=00000003 disposition=00000003 flags=00000000 ok",
             "ioctl 0 code=000700A0 in=- outlen=256", "close 0"]
HIBERNATION = [(1, 20, "7"), (21, 30, "84")]
# In sectors: C: from one track in to cylinder 60 of 255 x 63 sectors, the
# extended partition from there to cylinder 140, the last whole one, holding
# a logical drive and the hibernation partition; 5000 sectors past it.
CYLINDER = 255 * 63
XP_TAIL = ([(63, 60 * CYLINDER - 63, "7"), (60 * CYLINDER, 80 * CYLINDER, "5"),
            (60 * CYLINDER + 63, 40 * CYLINDER - 63, "7"),
            (100 * CYLINDER + 63, 40 * CYLINDER - 63, "84")],
           "dos", "0x55d0cafe", 140 * CYLINDER + 5000, 1)
# In sectors, on 4 GiB: C: from 1 MiB to 173.25 MiB, the extended partition
# from 174.25 MiB to the end, holding the hibernation partition: 1 MiB free,
# which a 1 MiB boundary leaves 256 KiB of.
UNALIGNED_GAP = ([(2048, 352768, "7"), (356864, 8031744, "5"), (358912, 204800, "84")],
                 "dos", "0x55d0cafe", 4096 * 2048, 1)


def drive(bus=BUS_TYPE_SATA, rate=1, layout=STANDARD_LAYOUT, **extra):
    return dict(storage=storage_reply(bus), smart=identify_reply(rate), layout=layout, **extra)


# name: (drives by number, image state or None, the report's exit code, and
# extras: drive 0's disk image (make_image's arguments), the Windows version
# set with winecfg, the working folder's length, no partitioning tool, tool
# runs before the report's, and --after asked before and after those runs)
MACHINES = {
    "hibernation_partition_2": ({0: drive()}, None, 0, {}),
    "no_hibernation_partition": ({0: drive(layout=layout_reply([(1, 0x07, 1), (2, 0x0C, 1)]))},
                                 None, 4, {}),
    "setup_completed": ({0: drive()}, "IMAGE_STATE_COMPLETE", 1, {}),
    "two_internal_drives": ({0: drive(), 1: drive()}, None, 1, {}),
    "usb_drive_0": ({0: drive(bus=BUS_TYPE_USB), 1: drive()}, None, 1, {}),
    "rotating_drive": ({0: drive(rate=7200)}, None, 1, {}),
    "no_read_write_access": ({0: drive(deny_rw=True)}, None, 1, {}),
    "partitioning_tool_missing": ({0: drive()}, None, 3, {"no_diskpart": True}),
    "current_directory_past_the_limit": ({0: drive()}, None, 3, {"cwd": 239}),
    "gpt": ({0: drive(layout=None)}, None, 4, {"image": ([(1, 20, "L")], "gpt")}),
    "four_logical_drives": ({0: drive(layout=None)}, None, 4, {"image": (
        [(1, 8, "7"), (9, 40, "5"), (10, 6, "7"), (17, 6, "84"), (24, 6, "7"), (31, 6, "7")],
        "dos")}),
    "second_run": ({0: drive(layout=None)}, None, 4,
                   {"image": (HIBERNATION, "dos"), "runs": 1, "after": True}),
    # Where the stand-in makes the new partition, the report foresaw it.
    "image_hibernation_last": ({0: drive(layout=None)}, None, 0, {"image": (HIBERNATION, "dos")}),
    "image_larger_extent_elsewhere": ({0: drive(layout=None)}, None, 0, {"image": (
        [(1, 20, "7"), (21, 4, "84"), (25, 5, "7")], "dos")}),
    "image_logical_hibernation_room_outside": ({0: drive(layout=None)}, None, 0, {"image": (
        [(1, 8, "7"), (9, 30, "5"), (10, 6, "7"), (17, 6, "84")], "dos")}),
    # The hibernation partition is a logical drive, and the extended
    # partition takes the rest of the disk: the delete frees no room a
    # primary partition may take.
    "logical_hibernation_no_room": ({0: drive(layout=None)}, None, 5, {"image": (
        [(1, 8, "7"), (9, 55, "5"), (10, 6, "7"), (17, 6, "84")], "dos")}),
    # Windows XP x64 keeps to whole cylinders: the tail past the last one,
    # where Windows 7 puts the partition, is no room there.
    "xp_tail_on_windows_xp": ({0: drive(layout=None)}, None, 5,
                              {"image": XP_TAIL, "windows": "winxp64"}),
    "xp_tail_on_windows_7": ({0: drive(layout=None)}, None, 0, {"image": XP_TAIL}),
    "unaligned_gap_on_4_gib": ({0: drive(layout=None)}, None, 5, {"image": UNALIGNED_GAP}),
    # Free from sector 41500: the partition starts at the next 64 KiB.
    "unaligned_free_start": ({0: drive(layout=None)}, None, 0, {"image": (
        [(2048, 39452, "7"), (41500, 89572, "84")], "dos", "0x55d0cafe", 64 * 2048, 1)}),
}


class InspectorCase(SimCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.inspector = windows_executable("ssdprep-inspect-sim.exe")

    def machine(self, name, drives, image_state, extras=None):
        """Fresh drives, records and working folder for one machine."""
        extras = extras or {}
        self.prefix.reset(extras.get("windows"))
        if extras.get("windows") == "winxp64":  # the audit check's file form
            os.makedirs(os.path.join(self.prefix.drive_c, "SYSPREP"))
            with open(os.path.join(self.prefix.drive_c, "SYSPREP", "SYSPREP.EXE"), "wb") as stub:
                stub.write(b"MZ")
        if image_state is not None:
            self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", "REG_SZ", image_state)
        folder = os.path.join(self.case_dir, name)
        self.drives = SimDrives(os.path.join(folder, "drives"))
        for number, files in drives.items():
            self.drives.add_drive(number, **files)
        if "image" in extras:
            make_image(os.path.join(self.drives.folder, "0", "disk.img"), *extras["image"])
        self.records = DiskpartRecords(os.path.join(folder, "records"))
        self.cwd = os.path.join(folder, "cwd")
        os.makedirs(self.cwd)
        if "cwd" in extras:
            self.cwd = nested_folder(self.cwd, extras["cwd"])
        tool_env = {}
        if extras.get("after"):
            # The stand-in labels drive M: as it formats.
            volume = os.path.join(folder, "volume")
            os.makedirs(volume)
            self.addCleanup(self.prefix.map_letter("M", volume))
            tool_env = {"FAKE_DISKPART_VOLUME": "M:\\"}
            self.assertAfter(1, b"Result: not done: drive 0 still has a hibernation partition "
                             b"(number 2).")
        for _ in range(extras.get("runs", 0)):
            self.assertEqual(self.run_tool(tool_env).returncode, 0)
        if extras.get("after"):
            self.assertAfter(0, b"\r\nVolume labelled TEMP_PART01: M: (on drive 0), 43.0 MiB, ")
        if extras.get("no_diskpart"):
            remove_diskpart(self.prefix)
            self.addCleanup(install_fake_diskpart, self.prefix)
        if os.path.exists(os.path.join(self.drives.folder, "calls.log")):
            self.take_log()

    def inspect(self, *args):
        # The simulated drives serve the stand-in's volume, M:, as lying on disk 0.
        env = {**self.drives.env, **self.records.env, "FAKE_DISKPART_VOLUME": "M:\\"}
        return self.prefix.run_windows(self.inspector, args, cwd=self.cwd, extra_env=env)

    def assertAfter(self, code, said):
        result = self.inspect("--after")
        self.assertEqual(result.returncode, code, result.stdout)
        self.assertIn(said, result.stdout)

    def assertCreatedWhereForeseen(self, report, extras):
        """The partition the stand-in made against the report's new_partition,
        its start within one unit of the alignment the report names, its end
        the same: the report and the stand-in agree (what the real
        partitioning tool does, they cannot show). None made where the report
        foresaw that none could be; where it modelled nothing, nothing to
        compare."""
        image = os.path.join(self.drives.folder, "0", "disk.img")
        made = [entry for entry in table(image) if entry not in self.entries_before]
        new = report["new_partition"]
        if report["verdict"] == "would-half-change":  # what 5 foretells: deleted, none made
            self.assertNotIn("84", [entry["type"] for entry in table(image)])
        if new is None:
            if not report["create_problem"].startswith("not modelled"):
                self.assertEqual(made, [], report["create_problem"])
            return
        self.assertEqual(len(made), 1, made)
        start, end = made[0]["start"] * 512, (made[0]["start"] + made[0]["size"]) * 512
        self.assertTrue(new["offset"] <= start < new["offset"] + report["alignment"]["bytes"],
                        (new, made))
        self.assertEqual(end, new["offset"] + new["length"])

    def take_log(self):
        lines = self.drives.log_lines()
        os.remove(os.path.join(self.drives.folder, "calls.log"))
        return lines


class InspectorAgreesWithToolTest(InspectorCase):
    def test_both_twins_agree(self):
        for name, (drives, image_state, code, extras) in MACHINES.items():
            with self.subTest(machine=name):
                self.machine(name, drives, image_state, extras)
                inspected = self.inspect("--json")
                report = json.loads(inspected.stdout)
                inspector_log = self.take_log()
                if "image" in extras:
                    self.entries_before = table(os.path.join(self.drives.folder, "0", "disk.img"))
                tool = self.run_tool()
                tool_log = self.drives.log_lines()
                if extras.get("no_diskpart"):
                    install_fake_diskpart(self.prefix)

                self.assertEqual(inspected.returncode, code, inspected.stdout)
                self.assertEqual(tool.returncode, TOOL_EXIT[code], tool)
                self.assertEqual(report["verdict"], VERDICT_OF_OUTPUT.get(tool.stdout)
                                 or VERDICT_OF_EXIT[code])
                # The style, read at its offset, of the images (the reply files give none).
                if "image" in extras:
                    self.assertEqual(report["partition_style"], extras["image"][1].upper()
                                     .replace("DOS", "MBR"))
                # Same requests, sizes and access: the tool reads what the
                # inspector read, and stops where its gates decline.
                self.assertEqual(tool_log, inspector_log[:len(tool_log)])
                own_reads = inspector_log[-6:]
                for line in (1, 4):
                    own_reads[line] = own_reads[line].rsplit(" ", 1)[0]
                self.assertEqual(own_reads, OWN_READS)
                if code == 1:
                    self.assertIsNone(report["delete_script"])
                    self.assertEqual(os.listdir(self.cwd), [])
                    continue
                self.assertEqual(tool_log, inspector_log[:-6])
                if code == 3:
                    continue
                if "image" in extras:
                    self.assertCreatedWhereForeseen(report, extras)
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
        # Nothing of its own; Wine says when it cannot read a volume's device.
        self.assertEqual([line for line in result.stderr.splitlines()
                          if not line.startswith(b"wine: ")], [])
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
