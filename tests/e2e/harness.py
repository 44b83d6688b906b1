"""Shared set-up for the end-to-end tests: one throwaway Wine prefix per test
run, the registry and file state the tool reads, and runs of the Windows
executables with their raw standard output.

Environment:
  SSDPREP_WINDOWS_DIR  build folder of the windows preset (ssdprep.exe ...)
  SSDPREP_E2E_WORK     scratch folder for the prefix and per-case files

ctest runs test_binary.py on its own and every wine_*.py module together, so
that all Wine cases share the one prefix; by hand, from tests/e2e:
  python3 -m unittest discover -v -p "wine_*.py"
"""

import atexit
import os
import platform
import shutil
import struct
import subprocess
import tempfile
import unittest

SETUP_STATE_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Setup\State"
# ssdprep-deploy.exe's record: evidence of a run for every later one in the prefix.
DEPLOY_RECORD_KEY = r"HKLM\SOFTWARE\ssdprep"
WINE_DRIVES_KEY = r"HKLM\Software\Wine\Drives"

# The tool's console texts as they reach a redirected standard output (CR LF),
# written out here rather than taken from the sources, so a changed text shows.
BANNER = (b"This program is used to configure HDD environment after iRST driver installation.\r\n"
          b"\t- Delete the hibernate partition.\r\n"
          b"\t- Create D partition again.\r\n")
NOT_AUDIT_MODE = BANNER + b"This program only runs on audit model. Return.\r\n"
NOT_SSD_ONLY = BANNER + b"This is not SSD-only model, don't need to be configured. Return.\r\n"
DECLINED = 1

# Generous for one start of a small console program, short enough that a
# hung run (a message box waiting on a display, say) fails the case.
RUN_TIMEOUT = 60
# How long the wineserver outlives its last client. Keeping it up between
# cases saves restarting it and Wine's services for every run; the limit
# makes it go away by itself should this process be killed.
SERVER_PERSISTENCE = 30


def _required_dir(variable):
    value = os.environ.get(variable)
    if not value:
        raise RuntimeError(f"{variable} is not set; run the suite through ctest "
                           f"or set it by hand (see tests/e2e/harness.py)")
    return os.path.abspath(value)


def windows_executable(name):
    """Path of an executable of the windows preset's build; fails if absent."""
    path = os.path.join(_required_dir("SSDPREP_WINDOWS_DIR"), name)
    if not os.path.isfile(path):
        raise RuntimeError(f"{path} is missing: run `cmake --preset windows && "
                           f"cmake --build --preset windows` first")
    return path


def work_dir(*parts):
    path = os.path.join(_required_dir("SSDPREP_E2E_WORK"), *parts)
    os.makedirs(path, exist_ok=True)
    return path


def windows_path(posix_path):
    """The path as a Windows program under Wine sees it (Z: is the root).
    Symbolic links are resolved, as in the current directory Wine reports."""
    return "Z:" + os.path.realpath(posix_path).replace("/", "\\")


def _fixed_layout_prefix():
    """The command prefix that starts Wine with address space randomisation
    off, or nothing when setarch is missing or refused.

    Without Wine's preloader (Debian's wine64 has none) the Linux heap of a
    Wine process starts anywhere in a 1 GB range above the loader, and now and
    then lands on the page Wine needs for its shared user data (0x7FFE0000):
    that process dies at once with "failed to map the shared user data:
    c0000018". Only about one start in several thousand does, but a suite
    run starts hundreds of Wine processes, the tool's children included.
    With randomisation off the heap always starts just above the loader, far
    below that page. Children inherit the setting."""
    setarch = shutil.which("setarch")
    if not setarch:
        return []
    command = [setarch, platform.machine(), "-R"]
    # Some sandboxes refuse to change the personality: run as before there.
    works = subprocess.run(command + ["true"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False).returncode == 0
    return command if works else []


def _clean_environment():
    env = dict(os.environ)
    # Without a display Wine returns from message boxes at once instead of
    # waiting for a click that never comes.
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    # Nothing from the caller's shell may steer the test doubles.
    for name in list(env):
        if name.startswith(("SSDPREP_SIM", "FAKE_DISKPART")):
            del env[name]
    return env


_FIXED_LAYOUT = _fixed_layout_prefix()


class WinePrefix:
    def __init__(self, path):
        self.path = path
        self.env = _clean_environment()
        self.env.update({
            "WINEPREFIX": path,
            "WINEDEBUG": "-all",
            # No Mono or Gecko installer prompts, no desktop menu entries.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        })
        self.default_version = None
        self.current_version = None
        self._server_started = False

    @property
    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    # --- life cycle --------------------------------------------------------

    def create(self):
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(self.path)
        self._tool(["wineserver", f"-p{SERVER_PERSISTENCE}"])
        self._server_started = True
        self._tool(["wine", "wineboot", "-i"], timeout=300)
        self.default_version = self.windows_version()
        self.current_version = self.default_version

    def shutdown(self):
        if not self._server_started:
            return
        self._server_started = False
        subprocess.run(["wineserver", "-k"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def map_letter(self, letter, folder, kind=None):
        """Maps a drive letter to a folder, whose .windows-label Wine reports
        as the volume's label, of the drive type `kind` ("network", "floppy",
        "cdrom"; Wine's default otherwise, a fixed drive), and restarts the
        server, so that Wine's mount manager knows the drive; returns the
        undo."""
        link = os.path.join(self.path, "dosdevices", letter.lower() + ":")
        if kind:
            self._tool(["wine", "reg", "add", WINE_DRIVES_KEY, "/v", letter.lower() + ":",
                        "/d", kind, "/f"])
        os.symlink(os.path.realpath(folder), link)
        self.shutdown()
        self._tool(["wineserver", f"-p{SERVER_PERSISTENCE}"])
        self._server_started = True

        def undo():
            os.remove(link)
            if kind:
                self._tool(["wine", "reg", "delete", WINE_DRIVES_KEY, "/v", letter.lower() + ":",
                            "/f"])
        return undo

    def _tool(self, command, timeout=RUN_TIMEOUT, expect=(0,)):
        result = self.run(command, timeout=timeout)
        if result.returncode not in expect:
            raise RuntimeError(f"{command} exited with {result.returncode}\n"
                               f"stdout: {result.stdout!r}\nstderr: {result.stderr!r}")
        return result

    # --- running programs ----------------------------------------------------

    def run(self, command, cwd=None, extra_env=None, timeout=RUN_TIMEOUT, stderr_path=None):
        """Runs `command` (a list; wine programs start with "wine") and returns
        the CompletedProcess with stdout and stderr as bytes. With
        `stderr_path` the standard error (Wine's debug output) goes to that
        file instead, and the result's stderr is empty."""
        env = dict(self.env)
        if extra_env:
            env.update(extra_env)
        if command and command[0] == "wine":
            command = _FIXED_LAYOUT + list(command)
        # Files, not pipes: the wineserver and Wine's services may inherit the
        # output handles and outlive the program, and a pipe would then not
        # reach its end until they are gone.
        with tempfile.TemporaryFile() as stdout, \
                (open(stderr_path, "w+b") if stderr_path else tempfile.TemporaryFile()) as stderr:
            try:
                result = subprocess.run(command, cwd=cwd or self.path, env=env,
                                        stdin=subprocess.DEVNULL, stdout=stdout,
                                        stderr=stderr, timeout=timeout, check=False)
            except subprocess.TimeoutExpired:
                # Whatever hangs in the prefix goes, so later cases start clean.
                subprocess.run(["wineserver", "-k"], env=self.env, check=False)
                raise
            stdout.seek(0)
            result.stdout = stdout.read()
            if stderr_path:
                result.stderr = b""
            else:
                stderr.seek(0)
                result.stderr = stderr.read()
        return result

    def run_windows(self, exe_path, args=(), cwd=None, extra_env=None, stderr_path=None):
        return self.run(["wine", exe_path, *args], cwd=cwd, extra_env=extra_env,
                        stderr_path=stderr_path)

    # --- registry ------------------------------------------------------------

    def reg_delete_key(self, key):
        self._tool(["wine", "reg", "delete", key, "/f"], expect=(0, 1))
        if self.run(["wine", "reg", "query", key]).returncode != 1:
            raise RuntimeError(f"registry key {key} is still there after deletion")

    def reg_add(self, key, name, value_type, data, shown=None):
        """Adds a value and reads it back; `shown` is how `reg query` prints
        it, when that differs from `data`."""
        self._tool(["wine", "reg", "add", key, "/v", name, "/t", value_type,
                    "/d", data, "/f"])
        expected = f"    {name}    {value_type}    {data if shown is None else shown}"
        lines = self.reg_query(key).splitlines()
        if expected not in lines:
            raise RuntimeError(f"reg query does not show {expected!r}: {lines!r}")

    def reg_export(self, key, path):
        """The key and its values into a .reg file, as an image would keep them."""
        self._tool(["wine", "reg", "export", key, windows_path(path), "/y"])

    def reg_import(self, path):
        self._tool(["wine", "reg", "import", windows_path(path)])

    def reg_query(self, key):
        return self._tool(["wine", "reg", "query", key]).stdout.decode("utf-8", "replace")

    # --- Windows version -----------------------------------------------------

    def windows_version(self):
        return self._tool(["wine", "winecfg", "-v"]).stdout.decode().strip()

    def set_windows_version(self, name):
        if name == self.current_version:
            return
        self.current_version = None  # unknown until confirmed
        self._tool(["wine", "winecfg", "-v", name])
        reported = self.windows_version()
        if reported != name:
            raise RuntimeError(f"winecfg -v {name} left the version at {reported}")
        self.current_version = name

    def reported_version(self):
        """What the version query answers programs, as cmd's `ver` prints it:
        (major, minor, build)."""
        text = self._tool(["wine", "cmd", "/c", "ver"]).stdout.decode().strip()
        numbers = text.rsplit(" ", 1)[-1]
        return tuple(int(part) for part in numbers.split("."))

    # --- state between cases -----------------------------------------------

    def reset(self, version=None):
        """Puts back what the cases change: no setup state key, no record of
        ssdprep-deploy.exe, no sysprep folder, and the given (or the prefix's
        default) Windows version."""
        self.reg_delete_key(SETUP_STATE_KEY)
        self.reg_delete_key(DEPLOY_RECORD_KEY)
        shutil.rmtree(os.path.join(self.drive_c, "SYSPREP"), ignore_errors=True)
        self.set_windows_version(version or self.default_version)


# --- the simulated drives of ssdprep-sim.exe ---------------------------------

BUS_TYPE_SATA = 11
BUS_TYPE_USB = 7


def storage_reply(bus_type):
    """The 37-byte head of a storage device descriptor with the given bus."""
    reply = bytearray(37)
    struct.pack_into("<II", reply, 0, 37, 37)  # Version, Size
    struct.pack_into("<I", reply, 28, bus_type)
    return bytes(reply)


def identify_reply(rotation_rate):
    """A 528-byte identify reply: 16-byte header, then the 512 bytes of
    identify data whose word 217 is the nominal media rotation rate."""
    reply = bytearray(528)
    struct.pack_into("<I", reply, 0, 512)
    struct.pack_into("<H", reply, 16 + 2 * 217, rotation_rate)
    return bytes(reply)


def layout_reply(entries, partition_count=None):
    """A 520-byte drive layout reply: PartitionCount (the number of entries
    unless given), then 32-byte entries of (PartitionNumber, PartitionType,
    RecognizedPartition) at offsets 20, 24 and 26 of each."""
    reply = bytearray(520)
    struct.pack_into("<I", reply, 0, len(entries) if partition_count is None else partition_count)
    for index, (number, partition_type, recognized) in enumerate(entries):
        entry = 8 + 32 * index
        struct.pack_into("<I", reply, entry + 20, number)
        reply[entry + 24] = partition_type
        reply[entry + 26] = recognized
    return bytes(reply)


class SimDrives:
    r"""A folder served by ssdprep-sim.exe as \\.\PHYSICALDRIVE<N>. The
    twins' pause between the partitioning tool's two runs is 0 ms, so that
    the tables run fast; `settle_ms` None gives the real 15 seconds."""

    def __init__(self, folder, settle_ms="0"):
        self.folder = folder
        self.settle_ms = settle_ms
        os.makedirs(folder, exist_ok=True)

    @property
    def env(self):
        env = {"SSDPREP_SIM_DRIVES": windows_path(self.folder)}
        if self.settle_ms is not None:
            env["SSDPREP_SIM_SETTLE_MS"] = self.settle_ms
        return env

    def add_drive(self, number, storage=None, smart=None, layout=None,
                  deny_rw=False, deny_all=False):
        drive = os.path.join(self.folder, str(number))
        os.makedirs(drive, exist_ok=True)
        files = {"storage.bin": storage, "smart.bin": smart, "layout.bin": layout,
                 "deny-rw": b"" if deny_rw else None, "deny-all": b"" if deny_all else None}
        for name, data in files.items():
            if data is not None:
                with open(os.path.join(drive, name), "wb") as reply:
                    reply.write(data)
        return drive

    def log_lines(self, name="calls.log"):
        """The lines of calls.log (or ssdprep-deploy.exe's deploy-calls.log);
        an empty list when no drive was touched."""
        path = os.path.join(self.folder, name)
        if not os.path.exists(path):
            return []
        with open(path, "rb") as log:
            data = log.read()
        if data and not data.endswith(b"\n"):
            raise AssertionError(f"calls.log ends inside a line: {data[-80:]!r}")
        return data.decode("ascii").split("\n")[:-1]


# --- the fake partitioning tool -------------------------------------------------

def install_fake_diskpart(prefix):
    """Puts the fake in place of the system's diskpart.exe."""
    target = os.path.join(prefix.drive_c, "windows", "system32", "diskpart.exe")
    shutil.copyfile(windows_executable("fake-diskpart.exe"), target)
    return target


def remove_diskpart(prefix):
    target = os.path.join(prefix.drive_c, "windows", "system32", "diskpart.exe")
    if os.path.exists(target):
        os.remove(target)


class DiskpartRecords:
    """What the fake partitioning tool wrote, one entry per start, in order."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)

    @property
    def env(self):
        return {"FAKE_DISKPART_RECORD": windows_path(self.folder)}

    def runs(self):
        runs = []
        while True:
            stem = os.path.join(self.folder, f"run{len(runs) + 1}")
            if not os.path.exists(stem + ".cmdline"):
                return runs
            run = {}
            for part in ("cmdline", "startup", "exe", "cwd", "open", "script", "log", "dir",
                         "exit"):
                path = f"{stem}.{part}"
                if os.path.exists(path):
                    with open(path, "rb") as record:
                        data = record.read()
                    run[part] = data if part == "script" else data.decode("utf-8")
            runs.append(run)


_shared = None
_shared_failure = None


def shared_prefix():
    """The test run's one prefix, created on first use and ended at exit."""
    global _shared, _shared_failure
    if _shared_failure is not None:
        raise RuntimeError("the Wine prefix could not be created") from _shared_failure
    if _shared is None:
        prefix = WinePrefix(os.path.join(work_dir(), "prefix"))
        atexit.register(prefix.shutdown)
        try:
            prefix.create()
        except Exception as error:
            _shared_failure = error
            raise
        _shared = prefix
    return _shared


class WineTestCase(unittest.TestCase):
    """A case on the shared prefix, reset before it runs."""

    # The Windows version the case runs under; None for the prefix's default.
    windows_version = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.prefix = shared_prefix()

    def setUp(self):
        super().setUp()
        self.prefix.reset(self.windows_version)
        self.case_dir = work_dir("cases", self.id().rsplit(".", 2)[-2], self._testMethodName)
        shutil.rmtree(self.case_dir)
        os.makedirs(self.case_dir)

    def run(self, result=None):
        failed = len(result.failures) + len(result.errors) if result else 0
        result = super().run(result)
        # A passing case's disk images go; a failing case keeps them to look at.
        if (result is not None and len(result.failures) + len(result.errors) == failed and
                hasattr(self, "case_dir")):
            for folder, _, names in os.walk(self.case_dir):
                if "disk.img" in names:
                    os.remove(os.path.join(folder, "disk.img"))
        return result

    def assertRun(self, result, expected_stdout, expected_code):
        detail = f"\nstdout: {result.stdout!r}\nstderr: {result.stderr[-2000:]!r}"
        self.assertEqual(result.stdout, expected_stdout, detail)
        self.assertEqual(result.returncode, expected_code, detail)
