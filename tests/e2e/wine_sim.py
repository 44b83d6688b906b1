"""ssdprep-sim.exe under Wine: the gates on simulated drives, checked
through the simulation's call log.

The log shows every drive the tool opened, with which access, and every
request it sent; these cases pin the gates' part of it line for line.
"""

import os
import unittest

from harness import (BANNER, BUS_TYPE_SATA, BUS_TYPE_USB, DECLINED, NOT_AUDIT_MODE, NOT_SSD_ONLY,
                     SETUP_STATE_KEY, DiskpartRecords, SimDrives, WineTestCase, identify_reply,
                     install_fake_diskpart, storage_reply, windows_executable)


# Storage property query, standard query of the device property: 14 zero bytes.
STORAGE_QUERY = "0000000000000000000000000000"
# Identify request: 32 bytes, zero but for the command register (byte 10).
IDENTIFY_REQUEST = "00000000000000000000EC000000000000000000000000000000000000000000"


def presence_open(drive, ok):
    return (f"open {drive} access=00000000 share=00000003 disposition=00000003 "
            f"flags=00000000 {'ok' if ok else 'fail'}")


def bus_open(drive, ok):
    return (f"open {drive} access=C0000000 share=00000003 disposition=00000003 "
            f"flags=00000080 {'ok' if ok else 'fail'}")


def bus_query(drive, ok=True):
    return f"ioctl {drive} code=002D1400 in={STORAGE_QUERY} outlen=37 {'ok' if ok else 'fail'}"


def identify_open(drive, ok):
    return (f"open {drive} access=C0000000 share=00000003 disposition=00000003 "
            f"flags=00000000 {'ok' if ok else 'fail'}")


def identify_query(drive, ok=True):
    return f"ioctl {drive} code=0007C088 in={IDENTIFY_REQUEST} outlen=528 {'ok' if ok else 'fail'}"


def close(drive):
    return f"close {drive}"


# What the gates log for one internal solid-state drive 0 and no other drive.
GATES_DRIVE_0_ONLY = [
    # Drives present, whatever access they would grant.
    presence_open(0, True), close(0),
    presence_open(1, False), presence_open(2, False),
    presence_open(3, False), presence_open(4, False),
    # Which of them are on USB.
    bus_open(0, True), bus_query(0), close(0),
    bus_open(1, False), bus_open(2, False), bus_open(3, False), bus_open(4, False),
    # Drive 0 itself must not be the USB one.
    bus_open(0, True), bus_query(0), close(0),
    # Its identify data.
    identify_open(0, True), identify_query(0), close(0),
]


class SimCase(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.exe = windows_executable("ssdprep-sim.exe")

    def setUp(self):
        super().setUp()
        install_fake_diskpart(self.prefix)
        self.drives = SimDrives(os.path.join(self.case_dir, "drives"))
        self.records = DiskpartRecords(os.path.join(self.case_dir, "records"))
        self.cwd = os.path.join(self.case_dir, "cwd")
        os.makedirs(self.cwd)

    def run_tool(self, extra_env=None):
        env = {**self.drives.env, **self.records.env, **(extra_env or {})}
        return self.prefix.run_windows(self.exe, cwd=self.cwd, extra_env=env)

    def assertDrivesClosed(self, lines):
        """Every drive opened is closed again before the next is opened, and
        no call names an unknown handle or a path that is not a physical
        drive."""
        open_count = {}
        for line in lines:
            words = line.split()
            self.assertNotEqual(words[1], "?", line)
            if words[0] == "open" and words[-1] == "ok":
                open_count[words[1]] = open_count.get(words[1], 0) + 1
                self.assertEqual(sum(open_count.values()), 1, f"two drives open at once: {line}")
            elif words[0] == "close":
                self.assertGreater(open_count.get(words[1], 0), 0, f"close without open: {line}")
                open_count[words[1]] -= 1
        self.assertEqual({drive: n for drive, n in open_count.items() if n}, {},
                         "drives left open")

    def assertNothingPartitioned(self):
        self.assertEqual(self.records.runs(), [])
        self.assertEqual(os.listdir(self.cwd), [])


class SimGateTest(SimCase):
    def test_one_internal_solid_state_drive_passes_both_gates(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1))
        result = self.run_tool()
        self.assertRun(result, BANNER, 0)
        lines = self.drives.log_lines()
        self.assertEqual(lines[:len(GATES_DRIVE_0_ONLY)], GATES_DRIVE_0_ONLY)
        # Drive 5 and beyond are never asked about.
        probed = {"0", "1", "2", "3", "4"}
        self.assertEqual([line for line in lines if line.split()[1] not in probed], [])
        self.assertDrivesClosed(lines)

    def test_denying_full_access_leaves_the_gates_alone(self):
        # The gates ask for read and write at most; only opens that ask for
        # GENERIC_ALL may fail on such a drive.
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1),
                              deny_all=True)
        result = self.run_tool()
        self.assertEqual(result.stdout, BANNER, result)
        lines = self.drives.log_lines()
        self.assertIn(identify_query(0), lines)
        for line in lines:
            words = line.split()
            if words[0] == "open" and words[1] == "0":
                asks_all = int(words[2].removeprefix("access="), 16) & 0x10000000
                self.assertEqual(words[-1], "fail" if asks_all else "ok", line)
        self.assertDrivesClosed(lines)

    def test_declined_audit_gate_touches_no_drive(self):
        self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", "REG_SZ", "IMAGE_STATE_COMPLETE")
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1))
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)
        self.assertEqual(self.drives.log_lines(), [])
        self.assertNothingPartitioned()

    def test_usb_drive_0_beside_one_internal_drive_is_declined(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_USB), smart=identify_reply(1))
        self.drives.add_drive(1, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1))
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)
        self.assertEqual(self.drives.log_lines(), [
            presence_open(0, True), close(0), presence_open(1, True), close(1),
            presence_open(2, False), presence_open(3, False), presence_open(4, False),
            bus_open(0, True), bus_query(0), close(0),
            bus_open(1, True), bus_query(1), close(1),
            bus_open(2, False), bus_open(3, False), bus_open(4, False),
            bus_open(0, True), bus_query(0), close(0),
        ])
        self.assertNothingPartitioned()

    def test_drive_refusing_read_write_access_is_declined(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(1),
                              deny_rw=True)
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)
        self.assertEqual(self.drives.log_lines(), [
            presence_open(0, True), close(0),
            presence_open(1, False), presence_open(2, False),
            presence_open(3, False), presence_open(4, False),
            bus_open(0, False), bus_open(1, False), bus_open(2, False),
            bus_open(3, False), bus_open(4, False),
            # Drive 0 cannot be confirmed internal: no identify open follows.
            bus_open(0, False),
        ])
        self.assertNothingPartitioned()

    def test_rotating_drive_is_declined(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA), smart=identify_reply(7200))
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)
        lines = self.drives.log_lines()
        self.assertEqual(lines[-3:], [identify_open(0, True), identify_query(0), close(0)])
        self.assertDrivesClosed(lines)
        self.assertNothingPartitioned()

    def test_unanswered_identify_is_declined(self):
        self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA))
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)
        lines = self.drives.log_lines()
        self.assertEqual(lines[-3:], [identify_open(0, True), identify_query(0, ok=False),
                                      close(0)])
        self.assertDrivesClosed(lines)
        self.assertNothingPartitioned()


if __name__ == "__main__":
    unittest.main()
