"""The shipped ssdprep.exe under WINEDEBUG=+relay on the declined paths: from
Wine's trace of the calls the program itself makes, every drive handle and
registry key it opened was closed, and every drive open asked for exactly
the access it should.

Relay lines look like
  01a0:01a4:Call KERNEL32.CreateFileW(0021fa70 L"\\\\.\\PHYSICALDRIVE0",00000000,...) ret=140001551
  01a0:01a4:Ret  KERNEL32.CreateFileW() retval=00000058 ret=140001551
(process and thread, then the call; "ret" is the caller's return address).
Arguments are whole 64-bit registers: a DWORD argument may carry junk in its
upper half, so only its lower 32 bits count. The program's own calls are
those of its process whose return address lies in its image, as the loader
trace places it. The registry trace adds what relay cannot show: the key
handle an open returned, and the byte count a value query was given.
"""

import contextlib
import os
import re
import unittest

from harness import (DECLINED, NOT_AUDIT_MODE, NOT_SSD_ONLY, SETUP_STATE_KEY, WineTestCase,
                     windows_executable)
from pe_image import PeImage


WINEDEBUG = "+pid,+relay,+reg,+loaddll"
# A relay trace of one declined run is well under 50 MB even when Wine's
# services start along with it; far more means something runs away.
TRACE_LIMIT = 512 * 1024 * 1024

HKEY_LOCAL_MACHINE = 0x80000002
KEY_READ = 0x00020019
OPEN_EXISTING = 3
SHARE_READ_WRITE = 3
GENERIC_READ_WRITE = 0xC0000000
FILE_ATTRIBUTE_NORMAL = 0x80
INVALID_HANDLE = 0xFFFFFFFFFFFFFFFF
SETUP_STATE_SUBKEY = SETUP_STATE_KEY.split("\\", 1)[1]
IMAGE_STATE_READ_LIMIT = 256  # bytes: half of the 512-byte buffer

# (access, share, disposition, flags) of each kind of drive open.
PRESENCE = (0, SHARE_READ_WRITE, OPEN_EXISTING, 0)
BUS_QUERY = (GENERIC_READ_WRITE, SHARE_READ_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL)
IDENTIFY = (GENERIC_READ_WRITE, SHARE_READ_WRITE, OPEN_EXISTING, 0)

# Loaded only when a partition step (or the file form of the audit check)
# first needs them: a declined run on Vista or later loads none of them.
ON_DEMAND_LIBRARIES = {"user32.dll", "oleaut32.dll", "shlwapi.dll"}

# Functions that end the process instead of returning.
NO_RETURN = {"exit", "_exit", "ExitProcess", "abort"}

_PREFIX = r"(?P<pid>[0-9a-f]+):(?P<tid>[0-9a-f]+):"
_CALL = re.compile(_PREFIX + r"Call (?P<dll>[\w.-]+)\.(?P<function>\w+)\((?P<args>.*)\) "
                   r"ret=(?P<ret>[0-9a-f]+)$")
_RET = re.compile(_PREFIX + r"Ret  (?P<dll>[\w.-]+)\.(?P<function>\w+)\(\) "
                  r"retval=(?P<retval>[0-9a-f]+) ret=(?P<ret>[0-9a-f]+)$")
_LOADED = re.compile(_PREFIX + r'trace:loaddll:\w+ Loaded L"(?P<path>(?:[^"\\]|\\.)*)" '
                     r"at (?P<base>[0-9A-Fa-f]+): (?:native|builtin)")
_TRACE = re.compile(_PREFIX + r"(?P<class>trace|warn|err|fixme):(?P<channel>\w+):(?P<text>.*)$")
# One argument: a number, and for a string argument its text after a blank.
_ARGUMENT = re.compile(r'(?P<value>[0-9a-f]+)(?: L?"(?P<text>(?:[^"\\]|\\.)*)")?(?:,|$)')


def _unescape(text):
    """The text of a string as Wine's debug output escapes it."""
    out = []
    index = 0
    while index < len(text):
        char = text[index]
        if char == "\\" and index + 1 < len(text):
            following = text[index + 1]
            if following == "x" and re.fullmatch(r"[0-9a-fA-F]{4}", text[index + 2:index + 6]):
                out.append(chr(int(text[index + 2:index + 6], 16)))
                index += 6
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(following, following))
            index += 2
            continue
        out.append(char)
        index += 1
    return "".join(out)


class Argument:
    def __init__(self, value, text):
        self.value = value
        self.text = text

    @property
    def dword(self):
        return self.value & 0xFFFFFFFF


class Call:
    """One call the program made, with what the trace said while it ran."""

    def __init__(self, line_number, function, dll, args, ret):
        self.line_number = line_number
        self.function = function
        self.dll = dll
        self.args = args
        self.ret = ret
        self.retval = None
        self.inner = []  # debug lines of the same thread between Call and Ret

    def __repr__(self):
        shown = ",".join(f"{a.value:x}" + (f' "{a.text}"' if a.text is not None else "")
                         for a in self.args)
        return (f"{self.dll}.{self.function}({shown}) = "
                f"{'?' if self.retval is None else f'{self.retval:x}'} [line {self.line_number}]")


def _parse_arguments(text):
    args = []
    position = 0
    while position < len(text):
        match = _ARGUMENT.match(text, position)
        if not match:
            raise ValueError(f"cannot read the arguments {text!r}")
        raw = match["text"]
        args.append(Argument(int(match["value"], 16), None if raw is None else _unescape(raw)))
        position = match.end()
    return args


def program_calls(trace_path, exe_path):
    """The calls ssdprep.exe made itself, in order, each with its result, and
    the file names of the libraries its process loaded after it."""
    # By name: the folder as Wine spells it may differ (links, case).
    exe_name = os.path.basename(exe_path).lower()
    with open(exe_path, "rb") as image_file:
        image = PeImage(image_file.read())
    image_size = max(s.virtual_address + max(s.virtual_size, s.raw_size) for s in image.sections)

    pid = None
    base = None
    calls = []
    libraries = []
    # Per thread, the program's calls still running there, innermost last
    # (a call can lead back into the program, which then calls again).
    running = {}
    with open(trace_path, "rb") as trace:
        for line_number, raw in enumerate(trace, 1):
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            if pid is None:
                loaded = _LOADED.match(line)
                if loaded and _unescape(loaded["path"]).lower().rsplit("\\", 1)[-1] == exe_name:
                    pid, base = loaded["pid"], int(loaded["base"], 16)
                continue
            if not line.startswith(pid + ":"):
                continue
            library = _LOADED.match(line)
            if library:
                libraries.append(_unescape(library["path"]).lower().rsplit("\\", 1)[-1])
            call = _CALL.match(line)
            if call:
                ret = int(call["ret"], 16)
                if base <= ret < base + image_size:
                    entry = Call(line_number, call["function"], call["dll"],
                                 _parse_arguments(call["args"]), ret)
                    running.setdefault(call["tid"], []).append(entry)
                    calls.append(entry)
                continue
            stack = running.get(line.split(":", 2)[1])
            if not stack:
                continue
            ret_line = _RET.match(line)
            if ret_line:
                # The first return of that function to that address closes it.
                if (ret_line["function"] == stack[-1].function
                        and int(ret_line["ret"], 16) == stack[-1].ret):
                    stack.pop().retval = int(ret_line["retval"], 16)
                continue
            debug = _TRACE.match(line)
            if debug:
                stack[-1].inner.append((debug["channel"], debug["text"]))
    if pid is None:
        raise AssertionError(f"the trace does not show {exe_name} being loaded")
    unfinished = [call for call in calls
                  if call.retval is None and call.function not in NO_RETURN]
    if unfinished:
        raise AssertionError(f"calls without a return in the trace: {unfinished}")
    return calls, libraries


class RelayCase(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.exe = windows_executable("ssdprep.exe")

    def run_traced(self):
        """Runs the program under relay; returns its result and its calls.
        The trace is removed when the case passes and kept when it fails."""
        trace = os.path.join(self.case_dir, "relay.txt")
        result = self.prefix.run_windows(self.exe, cwd=self.case_dir,
                                         extra_env={"WINEDEBUG": WINEDEBUG}, stderr_path=trace)
        self.trace = trace
        size = os.path.getsize(trace)
        with self.keeping_trace_on_failure():
            self.assertLess(size, TRACE_LIMIT, "runaway trace")
            calls, self.loaded = program_calls(trace, self.exe)
        return result, calls

    @contextlib.contextmanager
    def keeping_trace_on_failure(self):
        try:
            yield
        except Exception as error:
            raise self.failureException(f"{error}\nrelay trace kept: {self.trace}") from error

    def passed(self):
        os.remove(self.trace)

    # --- checks ------------------------------------------------------------

    def named(self, calls, *functions):
        return [call for call in calls if call.function in functions]

    def assertImageStateRead(self, calls):
        """One key opened for reading, queried for ImageState with room for
        256 bytes, and closed once with the handle the open gave."""
        opens = self.named(calls, "RegOpenKeyExW", "RegOpenKeyExA", "RegOpenKeyW",
                           "RegOpenKeyA", "RegCreateKeyExW", "RegCreateKeyExA",
                           "RegCreateKeyW", "RegCreateKeyA")
        self.assertEqual(len(opens), 1, opens)
        key_open = opens[0]
        self.assertEqual(key_open.function, "RegOpenKeyExW")
        hkey, subkey, options, access = key_open.args[:4]
        self.assertEqual(hkey.dword, HKEY_LOCAL_MACHINE)
        self.assertEqual(subkey.text, SETUP_STATE_SUBKEY)
        self.assertEqual(options.dword, 0)
        self.assertEqual(access.dword, KEY_READ)
        self.assertEqual(key_open.retval & 0xFFFFFFFF, 0, "the key was set up to be there")
        # The registry trace of the open shows the handle it handed back.
        handles = [int(text.rsplit("<- ", 1)[1], 16) for channel, text in key_open.inner
                   if channel == "reg" and re.match(r"Nt(Open|Create)Key\w* <- 0x[0-9a-f]+$",
                                                    text)]
        self.assertTrue(handles, key_open.inner)
        key = handles[-1]

        queries = self.named(calls, "RegQueryValueExW", "RegQueryValueExA", "RegGetValueW",
                             "RegGetValueA")
        self.assertEqual(len(queries), 1, queries)
        query = queries[0]
        self.assertEqual(query.function, "RegQueryValueExW")
        self.assertEqual(query.args[0].value, key)
        self.assertEqual(query.args[1].text, "ImageState")
        counts = [re.search(r"=(\d+)\)$", text) for channel, text in query.inner
                  if channel == "reg" and text.startswith("RegQueryValueExW ")]
        self.assertEqual([int(m[1]) for m in counts if m], [IMAGE_STATE_READ_LIMIT],
                         query.inner)

        closes = self.named(calls, "RegCloseKey")
        self.assertEqual([(c.args[0].value, c.retval & 0xFFFFFFFF) for c in closes], [(key, 0)])
        self.assertLess(query.line_number, closes[0].line_number)

    def assertNoOnDemandLibraryLoaded(self):
        self.assertEqual(ON_DEMAND_LIBRARIES.intersection(self.loaded), set(), self.loaded)

    def assertVersionRead(self, calls):
        # Wine refuses (returns 0) any structure size other than the two
        # version structures': a nonzero result shows the size was right.
        versions = self.named(calls, "GetVersionExW")
        self.assertEqual(len(versions), 1, versions)
        self.assertNotEqual(versions[0].retval & 0xFFFFFFFF, 0)

    def runtime_handles(self, calls):
        """Handles of the C++ runtime's own locks (the win32 thread model
        makes each a semaphore), which it closes at exit."""
        return {call.retval for call in self.named(calls, "CreateSemaphoreW", "CreateSemaphoreA")}

    def drive_opens(self, calls):
        return [call for call in self.named(calls, "CreateFileW", "CreateFileA", "CreateFile2")
                if call.args[0].text is not None
                and call.args[0].text.upper().startswith("\\\\.\\PHYSICALDRIVE")]

    def assertDriveHandlesClosed(self, calls):
        """Each drive handle an open gave is closed once, before the handle
        value comes back from another open; nothing else is closed."""
        open_handles = set()
        drive_opens = set(id(call) for call in self.drive_opens(calls))
        runtime = self.runtime_handles(calls)
        for call in calls:
            if id(call) in drive_opens:
                if call.retval != INVALID_HANDLE:
                    self.assertNotIn(call.retval, open_handles, f"handle reused while open: {call}")
                    open_handles.add(call.retval)
            elif call.function == "CloseHandle" and call.args[0].value not in runtime:
                self.assertIn(call.args[0].value, open_handles, f"not an open drive: {call}")
                self.assertEqual(call.retval & 0xFFFFFFFF, 1, call)
                open_handles.remove(call.args[0].value)
            elif call.function == "DeviceIoControl":
                self.assertIn(call.args[0].value, open_handles, f"not an open drive: {call}")
        self.assertEqual(open_handles, set(), "drive handles left open")

    def assertDriveRequests(self, calls):
        """Each request goes to the handle of the drive open just before it,
        with the sizes of its blocks: the bus query 14 bytes in, 37 out;
        the identify exchange 32 in, 528 out."""
        last_open = None
        sizes = {0x2D1400: (14, 37), 0x7C088: (32, 528)}
        for call in calls:
            if call.function == "CreateFileW":
                last_open = call
            elif call.function == "DeviceIoControl":
                handle, code, _, in_size, _, out_size = call.args[:6]
                self.assertIsNotNone(last_open, call)
                self.assertEqual(handle.value, last_open.retval, call)
                self.assertIn(code.dword, sizes, call)
                self.assertEqual((in_size.dword, out_size.dword), sizes[code.dword], call)
                expected_access = BUS_QUERY if code.dword == 0x2D1400 else IDENTIFY
                self.assertEqual(last_open.args[1].dword, expected_access[0], call)
                self.assertEqual(last_open.args[5].dword, expected_access[3], call)

    def assertMemoryFreed(self, calls):
        """Every block GlobalAlloc gave is freed once (GlobalFree gives NULL
        when it succeeds)."""
        blocks = set()
        for call in calls:
            if call.function == "GlobalAlloc" and call.retval:
                self.assertNotIn(call.retval, blocks, call)
                blocks.add(call.retval)
            elif call.function == "GlobalFree":
                self.assertIn(call.args[0].value, blocks, f"not an allocated block: {call}")
                self.assertEqual(call.retval, 0, call)
                blocks.remove(call.args[0].value)
        self.assertEqual(blocks, set(), "memory blocks left allocated")


class RelayTest(RelayCase):
    def test_not_in_audit_mode(self):
        self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", "REG_SZ", "IMAGE_STATE_COMPLETE")
        result, calls = self.run_traced()
        with self.keeping_trace_on_failure():
            self.assertRun(result, NOT_AUDIT_MODE, DECLINED)
            self.assertNoOnDemandLibraryLoaded()
            self.assertVersionRead(calls)
            self.assertImageStateRead(calls)
            self.assertEqual(self.drive_opens(calls), [])
            self.assertEqual(self.named(calls, "CreateFileW", "CreateFileA", "DeviceIoControl"), [])
            self.assertEqual([call for call in self.named(calls, "CloseHandle")
                              if call.args[0].value not in self.runtime_handles(calls)], [])
        self.passed()

    def test_solid_state_verdict(self):
        # A value that is not the completed state: audit mode, and the key
        # is there to be opened and closed.
        self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", "REG_SZ", "IMAGE_STATE_UNDEPLOYABLE")
        result, calls = self.run_traced()
        with self.keeping_trace_on_failure():
            self.assertRun(result, NOT_SSD_ONLY, DECLINED)
            self.assertNoOnDemandLibraryLoaded()
            self.assertVersionRead(calls)
            self.assertImageStateRead(calls)

            drive_opens = self.drive_opens(calls)
            opens = []
            for call in drive_opens:
                path, access, share, security, disposition, flags, template = call.args
                self.assertEqual((security.value, template.value), (0, 0), call)
                opens.append((path.text.upper().removeprefix("\\\\.\\PHYSICALDRIVE"),
                              (access.dword, share.dword, disposition.dword, flags.dword)))
            expected = ([(str(n), PRESENCE) for n in range(5)]
                        + [(str(n), BUS_QUERY) for n in range(5)]
                        + [("0", BUS_QUERY), ("0", IDENTIFY)])
            # Drive 0 is checked on its own only when exactly one internal
            # drive was counted; every open made is the one due at its place.
            self.assertIn(len(opens), (10, 12), opens)
            self.assertEqual(opens, expected[:len(opens)])
            present = [number for number, call in enumerate(drive_opens[:5])
                       if call.retval != INVALID_HANDLE]
            if present == [0]:
                # Wine's one drive is not on USB: it is counted, checked and
                # asked for its identify data, which Wine does not answer.
                self.assertEqual(len(opens), 12, opens)
            self.assertDriveHandlesClosed(calls)
            self.assertDriveRequests(calls)
            self.assertMemoryFreed(calls)
        self.passed()


if __name__ == "__main__":
    unittest.main()
