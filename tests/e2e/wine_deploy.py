"""ssdprep-deploy.exe under Wine. Its twin, on the simulated drives, beside
the twins of the tool and its report (under their shipped names), with the
stand-in partitioning tool labelling drive M: as it formats: each row of
ROWS a run on a machine, and what it must do there; only Wine's loader,
registry and drive types show these (the decisions are the unit table's).
The shipped program: a fixed letter labelled TEMP_PART01, which Wine places
on no disk, is evidence.
"""

import glob
import hashlib
import os
import re
import shutil
import unittest

from harness import (BUS_TYPE_SATA, DEPLOY_RECORD_KEY, SimDrives, identify_reply,
                     install_fake_diskpart, layout_reply, remove_diskpart, storage_reply,
                     windows_executable)
from wine_images import file_system, make_image, table
from wine_partition import nested_folder
from wine_sim import SimCase

CARRY_ON = 0
STOP = 3
HIBERNATION = ([(1, 20, "7"), (21, 30, "84")], "dos")
GPT = ([(1, 20, "L")], "gpt")
# A logical hibernation partition in an extended partition that takes the rest
# of the disk: the report foresees a half change (5).
NO_ROOM = ([(1, 8, "7"), (9, 55, "5"), (10, 6, "7"), (17, 6, "84")], "dos")
# Drive 0 without an image: the stand-in changes nothing there.
REPLIES = "replies"
LOG = "ssdprep-deploy.log"
TOOL_RAN = b"ssdprep.exe: changing drive 0"
# A local fixed folder of the prefix, for --work-dir.
LOCAL_WORK = "C:\\ssdprep-work"
# Where Wine's GetTempPathW points: the refusals' log.
TEMP_LOGS = os.path.join("drive_c", "users", "*", "Temp", LOG)


def refused(text):  # what a row says on standard error and in the temp folder's log
    return ("refused", text)


# name: drive 0 (an image, REPLIES, a row's name: that row's machine again,
# or None: the machine of the row before), the options, the environment and
# the row's set-up ("copy of": that row's work dir and record, as its image
# would carry them; "no diskpart"; "folder": the length of the program's
# folder; "log folder": a folder where the log goes; "evidence": a script
# left in the folder; "no report"; "fresh folder": the programs in a new
# folder; "no record": the registry record deleted; "programs on": the
# programs' folder as a drive letter of a Wine drive type; "letter": a drive
# letter of a type, with a label or none; "local work dir": LOCAL_WORK made
# anew), the exit code, whether the tool ran, and what the log says of this
# run (or, refused, standard error and the temp log). A row on a new machine
# starts without the record.
ROWS = {
    "first run": (HIBERNATION, [], {}, CARRY_ON, True, b"ends with 0: done"),
    "second run": (None, [], {}, CARRY_ON, False, b"ends with 0: done by an earlier run at "),
    "second run, --decline-stops": (None, ["--decline-stops"], {}, CARRY_ON, False,
                                    b"done by an earlier run"),
    # Machine B: another disk, with A's files and record on it.
    "A's work dir and record on machine B": (
        (HIBERNATION[0], "dos", "0x11d0cafe"), [], {"copy of": "first run"}, CARRY_ON, True,
        b"names MBR disk signature 0x55D0CAFE, and drive 0 is MBR disk signature 0x11D0CAFE: "
        b"it came from another disk"),
    "A's work dir and record on a GPT machine": (
        GPT, [], {"copy of": "first run"}, CARRY_ON, False,
        b"no hibernation partition ssdprep.exe can find"),
    # The clean-up before A is captured.
    "--forget on machine A": ("first run", ["--forget"], {"copy of": "first run"}, CARRY_ON, False,
                              b"ends with 0: forgotten"),
    "GPT": (GPT, [], {}, CARRY_ON, False, b"no hibernation partition ssdprep.exe can find"),
    "GPT, --decline-stops": (None, ["--decline-stops"], {}, STOP, False,
                             b"(--decline-stops)"),
    "partitioning tool missing": (HIBERNATION, [], {"no diskpart": 1}, STOP, False,
                                  b"could not carry out its partition steps here"),
    "no room for the new partition": (NO_ROOM, [], {}, STOP, False,
                                      b"ends with 3: the tool would leave drive 0 half changed; "
                                      b"it was not started"),
    "stand-in changes nothing": (HIBERNATION, [], {"FAKE_DISKPART_NOCHANGE": "1"}, STOP, True,
                                 b"ssdprep.exe ran, but ssdprep-inspect.exe --after ended with "
                                 b"exit code 1"),
    # The work dir is lost; the record stays with the machine.
    "the same machine, a fresh folder": (None, [], {"fresh folder": 1}, STOP, False,
                                         b"evidence of an earlier run: the record "
                                         b"HKLM\\SOFTWARE\\ssdprep (started "),
    "the record removed": (None, [], {"fresh folder": 1, "no record": 1}, CARRY_ON, True,
                           b"ends with 0: done"),
    # The tool would stop at its message box: the program must stop first.
    "folder of 238 characters": (HIBERNATION, [], {"folder": 238}, CARRY_ON, True, b"done"),
    "folder of 239 characters": (HIBERNATION, [], {"folder": 239}, STOP, False,
                                 refused(b"has 239 characters")),
    "evidence on an untouched drive": (HIBERNATION, [], {"evidence": 1}, STOP, False,
                                       b"evidence of an earlier run: the file "),
    "a fixed letter labelled TEMP_PART01 that Wine places on no disk": (
        HIBERNATION, [], {"letter": ("Q", None, "TEMP_PART01")}, STOP, False,
        b"drive Q: is labelled TEMP_PART01, and whether it lies on drive 0 cannot be read"),
    "report missing": (HIBERNATION, [], {"no report": 1}, STOP, False,
                       b"ssdprep-inspect.exe is missing"),
    "tool never ends, --timeout 5": (REPLIES, ["--timeout", "5"], {"FAKE_DISKPART_DELAY": "40000"},
                                     STOP, True, b"diskpart.exe) may still be running"),
    "log cannot be opened": (HIBERNATION, [], {"log folder": 1}, STOP, False,
                             refused(b"cannot open the log ")),
    "programs on a network letter": (HIBERNATION, [], {"programs on": ("N", "network")}, STOP,
                                     False, refused(b"is on a network drive (N:\\), not a local "
                                                    b"fixed drive; give --work-dir")),
    "programs on a network letter, --work-dir C:": (
        None, ["--work-dir", LOCAL_WORK], {"programs on": ("N", "network"), "local work dir": 1},
        CARRY_ON, True, b"ends with 0: done"),
    "--work-dir on a removable letter": (HIBERNATION, ["--work-dir", "R:\\"],
                                         {"letter": ("R", "floppy", None)}, STOP, False,
                                         refused(b"is on a removable drive (R:\\)")),
    "a removable letter labelled TEMP_PART01": (None, [], {"letter": ("S", "floppy", "TEMP_PART01")},
                                                CARRY_ON, True, b"ends with 0: done"),
}
SET_UP = ("copy of", "no diskpart", "folder", "log folder", "evidence", "no report",
          "fresh folder", "no record", "programs on", "letter", "local work dir")
# The rows whose work dir and record a later row copies.
COPIED = {env["copy of"] for _, _, env, _, _, _ in ROWS.values() if "copy of" in env}


def read(path):
    with open(path, "rb") as file:
        return file.read()


class DeployProgramTest(SimCase):
    def install(self, folder):
        """The program's twin and the twins under the shipped names in `folder`."""
        os.makedirs(folder, exist_ok=True)
        for name, built in (("ssdprep.exe", self.exe),
                            ("ssdprep-inspect.exe", windows_executable("ssdprep-inspect-sim.exe")),
                            ("ssdprep-deploy.exe", windows_executable("ssdprep-deploy-sim.exe"))):
            shutil.copyfile(built, os.path.join(folder, name))
        return os.path.join(folder, "ssdprep-deploy.exe")

    def letter(self, folder, letter, kind, label=None):
        """`folder` as drive `letter` of Wine's drive type `kind`, labelled."""
        os.makedirs(folder, exist_ok=True)
        if label:
            with open(os.path.join(folder, ".windows-label"), "w") as file:
                file.write(label + "\n")
        self.undo.append(self.prefix.map_letter(letter, folder, kind))
        if label:  # Wine must report it, or the row would show nothing
            shown = self.prefix.run(["wine", "cmd", "/c", "vol", letter + ":"]).stdout
            self.assertIn(label.encode(), shown)

    def temp_log(self):
        found = glob.glob(os.path.join(self.prefix.path, TEMP_LOGS))
        return read(found[0]) if found else b""

    def test_rows_end_with_0_or_3_and_act_as_the_log_says(self):
        self.undo = []
        for name, (drive, options, env, code, tool_runs, said) in ROWS.items():
            with self.subTest(name):
                if isinstance(drive, str) and drive in ROWS:
                    folder = os.path.join(self.case_dir, re.sub(r"\W+", "_", drive))
                    while self.undo:
                        self.undo.pop()()
                    self.undo.append(self.prefix.map_letter("M", os.path.join(folder, "volume")))
                    self.drives = SimDrives(os.path.join(folder, "drives"))
                    disk = os.path.join(self.drives.folder, "0", "disk.img")
                    deploy = os.path.join(folder, "deploy")
                    program, log = os.path.join(deploy, "ssdprep-deploy.exe"), os.path.join(deploy, LOG)
                elif drive is not None:
                    folder = os.path.join(self.case_dir, re.sub(r"\W+", "_", name))
                    # A new, unlabelled M: (Wine reads a label when its server
                    # starts), no other letter, and no record.
                    while self.undo:
                        self.undo.pop()()
                    self.prefix.reg_delete_key(DEPLOY_RECORD_KEY)
                    volume = os.path.join(folder, "volume")
                    os.makedirs(volume)
                    self.undo.append(self.prefix.map_letter("M", volume))
                    self.drives = SimDrives(os.path.join(folder, "drives"))
                    replies = {"storage": storage_reply(BUS_TYPE_SATA), "smart": identify_reply(1)}
                    if drive == REPLIES:
                        replies["layout"] = layout_reply([(1, 0x07, 1), (2, 0x84, 1)])
                    self.drives.add_drive(0, **replies)
                    disk = os.path.join(self.drives.folder, "0", "disk.img")
                    if drive != REPLIES:
                        make_image(disk, *drive)
                    deploy = os.path.join(folder, "deploy")
                    if "folder" in env:
                        deploy = nested_folder(deploy, env["folder"])
                    if "programs on" in env:
                        self.letter(deploy, env["programs on"][0], env["programs on"][1])
                    program = self.install(deploy)
                    if "programs on" in env:
                        program = env["programs on"][0] + ":\\ssdprep-deploy.exe"
                    log = os.path.join(deploy, LOG)
                if "copy of" in env:
                    copied = os.path.join(self.case_dir, re.sub(r"\W+", "_", env["copy of"]))
                    for entry in os.listdir(os.path.join(copied, "deploy")):
                        if not entry.endswith(".exe") and copied != folder:
                            shutil.copyfile(os.path.join(copied, "deploy", entry),
                                            os.path.join(deploy, entry))
                    self.prefix.reg_delete_key(DEPLOY_RECORD_KEY)
                    self.prefix.reg_import(os.path.join(copied, "record.reg"))
                if "fresh folder" in env:
                    deploy = os.path.join(folder, "deploy-" + re.sub(r"\W+", "_", name))
                    program, log = self.install(deploy), os.path.join(deploy, LOG)
                if "no record" in env:
                    self.prefix.reg_delete_key(DEPLOY_RECORD_KEY)
                if "letter" in env:
                    self.letter(os.path.join(folder, "letter-" + env["letter"][0]), *env["letter"])
                if "local work dir" in env:
                    local = os.path.join(self.prefix.drive_c, LOCAL_WORK[3:])
                    shutil.rmtree(local, ignore_errors=True)
                    os.makedirs(local)
                    log = os.path.join(local, LOG)
                if "log folder" in env:
                    os.makedirs(log)
                if "evidence" in env:
                    with open(os.path.join(deploy, "deletePartition.VELK"), "wb") as script:
                        script.write(b"exit\r\r\n")
                if "no report" in env:
                    os.remove(os.path.join(deploy, "ssdprep-inspect.exe"))
                before = read(disk) if os.path.exists(disk) else b""
                logged = read(log) if os.path.isfile(log) else b""
                temp_logged = self.temp_log()
                programs = sorted(os.listdir(deploy))
                runs = len(self.records.runs())
                if "no diskpart" in env:
                    remove_diskpart(self.prefix)
                try:
                    result = self.prefix.run(
                        ["wine", program, *options], cwd=self.cwd,
                        extra_env={**self.drives.env, **self.records.env,
                                   "FAKE_DISKPART_VOLUME": "M:\\",
                                   **{key: value for key, value in env.items()
                                      if key not in SET_UP}})
                finally:
                    install_fake_diskpart(self.prefix)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                if name in COPIED:
                    self.prefix.reg_export(DEPLOY_RECORD_KEY, os.path.join(folder, "record.reg"))
                # Its own drive requests only read: every open asks for no access.
                for line in self.drives.log_lines("deploy-calls.log"):
                    if line.startswith("open "):
                        self.assertIn(" access=00000000 ", line)
                if isinstance(said, tuple):  # refused before its log: nothing written there
                    self.assertEqual(result.stdout, b"")
                    self.assertTrue(result.stderr.startswith(b"ssdprep-deploy: "), result.stderr)
                    self.assertIn(said[1], result.stderr)
                    self.assertIn(b" ends with 3: ", self.temp_log()[len(temp_logged):])
                    self.assertIn(said[1], self.temp_log()[len(temp_logged):])
                    self.assertEqual(sorted(os.listdir(deploy)), programs)
                    self.assertEqual(len(self.records.runs()), runs)
                    continue
                this_run = read(log)[len(logged):]
                self.assertIn(said, this_run)
                self.assertEqual(TOOL_RAN in this_run, tool_runs, this_run)
                last = this_run.splitlines()[-1]
                self.assertIn(f" ssdprep-deploy ends with {code}: ".encode(), last)
                # The program's own lines go to standard output as well.
                self.assertIn(last, result.stdout)
                if tool_runs and drive != REPLIES and "FAKE_DISKPART_NOCHANGE" not in env:
                    self.assertNotIn("84", [entry["type"] for entry in table(disk)])
                    self.assertIn(("ntfs", "TEMP_PART01"),
                                  [file_system(disk, entry["start"]) for entry in table(disk)])
                if "--forget" in options and code == CARRY_ON:  # nothing of the run is left
                    self.assertEqual(sorted(os.listdir(deploy)),
                                     sorted([e for e in programs if e.endswith(".exe")] + [LOG]))
                    self.assertEqual(self.prefix.run(["wine", "reg", "query",
                                                      DEPLOY_RECORD_KEY]).returncode, 1)
                elif drive != REPLIES and not tool_runs:
                    self.assertEqual(hashlib.sha256(read(disk)).digest(),
                                     hashlib.sha256(before).digest())
                if not tool_runs:
                    self.assertEqual(len(self.records.runs()), runs)
        while self.undo:
            self.undo.pop()()


    def test_the_shipped_program_takes_a_volume_it_cannot_place_for_evidence(self):
        # Wine answers every volume's extents request with a count of 0: the
        # shipped programs, not their twins, show what that does.
        self.undo = []
        deploy = os.path.join(self.case_dir, "shipped")
        os.makedirs(deploy)
        for name in ("ssdprep.exe", "ssdprep-inspect.exe", "ssdprep-deploy.exe"):
            shutil.copyfile(windows_executable(name), os.path.join(deploy, name))
        self.letter(os.path.join(self.case_dir, "letter-Q"), "Q", None, "TEMP_PART01")
        try:
            result = self.prefix.run(["wine", os.path.join(deploy, "ssdprep-deploy.exe")],
                                     cwd=self.cwd)
        finally:
            while self.undo:
                self.undo.pop()()
        log = read(os.path.join(deploy, LOG))
        self.assertEqual(result.returncode, STOP, log)
        self.assertIn(b"evidence of an earlier run: drive Q: is labelled TEMP_PART01, and whether "
                      b"it lies on drive 0 cannot be read", log)
        self.assertIn(b"where the system volume C: lies cannot be read", log)
        self.assertNotIn(TOOL_RAN, log)
