"""ssdprep-sim.exe on drive images: drive 0 is a raw MBR image made with
sfdisk, and the stand-in partitioning tool carries both scripts out on it.

Each case reads the image back with sfdisk and blkid alone, never from the
stand-in's records: the hibernation partition (type 0x84) is gone where the
tool could find it and kept where it could not, an NTFS "TEMP_PART01"
partition fills the named free extent, every other entry is unchanged, and
no byte outside the new partition changed, nor a hole of the sparse image
filled, but partition-table sectors.
"""

import hashlib
import json
import os
import random
import subprocess
import unittest

from harness import (BANNER, BUS_TYPE_SATA, DECLINED, NOT_SSD_ONLY, DiskpartRecords, SimDrives,
                     identify_reply, storage_reply)
from wine_sim import SimCase

SECTOR = 512
MIB = 2048  # sectors
DISK_MIB = 64
DONE = 0
# sfdisk and blkid live in /usr/sbin, which a user's PATH may lack.
TOOL_ENV = {**os.environ, "PATH": "/usr/sbin:/sbin:" + os.environ.get("PATH", "")}

# Partitions as (start MiB, size MiB, sfdisk type); those inside a type 5
# entry are its logical drives, each 1 MiB after the last for its boot record.
# Then the number Windows gives the hibernation partition (the MBR's entries
# first, then the logical drives in chain order; -1 when there is none),
# which the delete script must select, and the extent the new partition must
# fill (first and end MiB).
CASES = {
    "hibernation_last": ([(1, 20, "7"), (21, 30, "84")], 2, (21, 64)),
    "hibernation_between_two_others": (
        [(1, 20, "7"), (21, 16, "84"), (37, 20, "7")], 2, (21, 37)),
    "no_hibernation_partition_two_free_extents": (
        [(1, 20, "7"), (25, 10, "7")], -1, (35, 64)),
    "four_primaries_hibernation_fourth": (
        [(1, 10, "7"), (13, 10, "7"), (23, 10, "c"), (33, 31, "84")], 4, (33, 64)),
    # The hibernation partition is a logical drive, unlinked from the chain
    # with its bytes left as they were. The largest free space lies inside the
    # extended partition, where no primary partition may go.
    "two_logical_drives": (
        [(1, 8, "7"), (9, 30, "5"), (10, 6, "7"), (17, 6, "84")], 3, (39, 64)),
    "three_logical_drives": (
        [(1, 8, "7"), (9, 40, "5"), (10, 6, "7"), (17, 6, "84"), (24, 6, "7")], 3, (49, 64)),
    # Three extended boot records make the 16 entries the tool's read holds.
    "three_logical_drives_primary_hibernation": (
        [(1, 8, "7"), (9, 22, "5"), (31, 20, "84"), (10, 6, "7"), (17, 6, "7"), (24, 6, "7")],
        2, (31, 64)),
}


def tool(command, stdin=None):
    return subprocess.run(command, input=stdin, capture_output=True, check=True,
                          env=TOOL_ENV).stdout


def make_image(path, partitions, label="dos", signature="0x55d0cafe", sectors=DISK_MIB * MIB,
               unit=MIB):
    """An image of `sectors` sectors, its partitions' starts and sizes
    counted in `unit` sectors (MiB unless given)."""
    # Sparse, so that any stray write shows: random bytes in the first and last
    # file system block of every MiB (where partitions begin and end and the
    # tables lie) show a write as changed bytes; a write into a hole, of zeros
    # too, shows as data where there was none (data_sectors).
    noise, total, mib = random.Random(0), sectors * SECTOR, MIB * SECTOR
    with open(path, "wb") as image:
        image.truncate(total)
        block = min(max(os.fstat(image.fileno()).st_blksize, 4096), mib // 2)
        for head in range(0, total - mib + 1, mib):  # whole MiBs: the size stays
            for at in (head, head + mib - block):
                image.seek(at)
                image.write(noise.randbytes(block))
        image.flush()
        if len(data_sectors(path)) == total // SECTOR:  # a file system without holes
            image.seek(0)
            image.write(noise.randbytes(total))
    lines = [f"label: {label}"] + ([f"label-id: {signature}"] if label == "dos" else [])
    lines += [f"start={start * unit}, size={size * unit}, type={kind}"
              for start, size, kind in partitions]
    if label == "dos":
        lines[2] += ", bootable"
    tool(["sfdisk", "--no-reread", "--no-tell-kernel", "--wipe", "never", "--wipe-partitions",
          "never", path], ("\n".join(lines) + "\n").encode())


def data_sectors(path):
    """The sectors the file system holds data for; the rest are holes."""
    sectors, at = set(), 0
    with open(path, "rb") as image:
        while True:
            try:
                start = os.lseek(image.fileno(), at, os.SEEK_DATA)
            except OSError:  # no data from `at` on
                return sectors
            at = os.lseek(image.fileno(), start, os.SEEK_HOLE)
            sectors.update(range(start // SECTOR, -(-at // SECTOR)))


def table(path):
    """The entries as sfdisk reads them, by start, without device names."""
    entries = json.loads(tool(["sfdisk", "--json", path]))["partitiontable"]["partitions"]
    return sorted(({key: value for key, value in entry.items() if key != "node"}
                   for entry in entries), key=lambda entry: entry["start"])


def file_system(path, first_sector):
    found = subprocess.run(["blkid", "-p", "-O", str(first_sector * SECTOR), "-o", "export", path],
                           capture_output=True, check=False, env=TOOL_ENV).stdout.decode()
    values = dict(line.split("=", 1) for line in found.splitlines() if "=" in line)
    return values.get("TYPE"), values.get("LABEL")


def read(path):
    with open(path, "rb") as image:
        return image.read()


class ImageTest(SimCase):
    def use_drive_0_image(self, folder, partitions, rotation_rate=1):
        self.drives = SimDrives(os.path.join(folder, "drives"))
        self.records = DiskpartRecords(os.path.join(folder, "records"))
        self.cwd = os.path.join(folder, "cwd")
        os.makedirs(self.cwd)
        drive = self.drives.add_drive(0, storage=storage_reply(BUS_TYPE_SATA),
                                      smart=identify_reply(rotation_rate))
        image = os.path.join(drive, "disk.img")
        make_image(image, partitions)
        return image

    def stand_in_logs(self):
        # For failure messages only: what the stand-in says it did.
        return "".join(run.get("log", "") for run in self.records.runs())

    def test_the_tool_replaces_the_hibernation_partition(self):
        for name, (partitions, number, (first_mib, end_mib)) in CASES.items():
            with self.subTest(name):
                image = self.use_drive_0_image(os.path.join(self.case_dir, name), partitions)
                before, before_bytes, before_data = table(image), read(image), data_sectors(image)
                self.assertRun(self.run_tool(), BANNER, DONE)
                detail = f"\nstand-in's log:\n{self.stand_in_logs()}"

                first, end = first_mib * MIB, end_mib * MIB
                with open(os.path.join(self.cwd, "deletePartition.VELK"), "rb") as script:
                    self.assertIn(f"\r\r\nselect part {number}\r\r\n".encode(), script.read())
                kept = [entry for entry in before if not (number != -1 and entry["type"] == "84")]
                new = {"start": first, "size": end - first, "type": "7"}
                self.assertEqual(table(image), sorted(kept + [new], key=lambda e: e["start"]),
                                 detail)
                self.assertEqual(file_system(image, first), ("ntfs", "TEMP_PART01"), detail)

                # Outside the new partition only table sectors may change
                # (bytes, or a hole filled): signed ones in no data partition.
                after_bytes, after_data = read(image), data_sectors(image)
                data = [(entry["start"], entry["start"] + entry["size"]) for entry in before
                        if entry["type"] not in ("5", "f")]
                strays = []
                for sector in range(len(before_bytes) // SECTOR):
                    at = sector * SECTOR
                    if (not first <= sector < end and
                            (before_bytes[at:at + SECTOR] != after_bytes[at:at + SECTOR] or
                             (sector in before_data) != (sector in after_data)) and
                            (before_bytes[at + 510:at + SECTOR] != b"\x55\xaa" or
                             any(start <= sector < stop for start, stop in data))):
                        strays.append(sector)
                self.assertEqual(strays, [], detail)

    def test_declined_gates_leave_the_image_byte_identical(self):
        image = self.use_drive_0_image(os.path.join(self.case_dir, "rotating"),
                                       CASES["hibernation_last"][0], rotation_rate=0)
        checksum, data = hashlib.sha256(read(image)).hexdigest(), data_sectors(image)
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)
        self.assertEqual((hashlib.sha256(read(image)).hexdigest(), data_sectors(image)),
                         (checksum, data))
        self.assertNothingPartitioned()


if __name__ == "__main__":
    unittest.main()
