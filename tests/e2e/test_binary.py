"""Checks on the shipped ssdprep.exe as a file: what a bare Windows image
needs to start it, and what Explorer and the loader read from its resources.
"""

import os
import re
import struct
import unittest
import xml.etree.ElementTree as ElementTree

import pe_image
from harness import windows_executable

# user32, oleaut32 and shlwapi are loaded from the system folder when first
# needed; importing them would load them on every start.
ALLOWED_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}
# Every function a shipped executable may import. Each was checked once
# against Microsoft's documentation of its minimum supported system: all are
# in Windows Server 2003 SP2 x64 (Windows XP x64). A new import fails here
# until someone has checked it too.
ALLOWED_IMPORTS = {
    "advapi32.dll": {"RegCloseKey", "RegOpenKeyExW", "RegQueryValueExW",
                     # ssdprep-deploy.exe's administrator check.
                     "AllocateAndInitializeSid", "CheckTokenMembership", "FreeSid",
                     # ssdprep-deploy.exe's record: Windows 2000 and later.
                     "RegCreateKeyExW", "RegFlushKey", "RegSetValueExW",
                     # Its removal: "Windows Vista, Windows XP Professional x64
                     # Edition", "Windows Server 2008, Windows Server 2003 SP1".
                     "RegDeleteKeyExW"},
    "kernel32.dll": {
        # The tool's own calls.
        "CloseHandle", "CreateFileW", "CreateProcessW", "DeviceIoControl", "GetCommandLineW",
        "GetCurrentDirectoryW", "GetFileAttributesExW", "GetFullPathNameW", "GetLastError",
        "GetLogicalDrives", "GetModuleFileNameW", "GetModuleHandleW", "GetProcAddress", "GetSystemDirectoryW",
        "GetVersionExW", "GetVolumeInformationW", "GlobalAlloc", "GlobalFree", "LoadLibraryW",
        "OutputDebugStringW", "SetErrorMode", "WaitForSingleObject", "WriteFile",
        # ssdprep-deploy.exe's own: its log, the programs it runs, the clock.
        "FileTimeToSystemTime", "FlushFileBuffers", "FormatMessageW", "GetDriveTypeW",
        "GetExitCodeProcess", "GetLocalTime", "GetStdHandle", "GetTickCount",
        "SystemTimeToTzSpecificLocalTime", "TerminateProcess",
        # ssdprep-deploy.exe's work dir and temp log: Windows XP and Server 2003.
        "GetTempPathW", "GetVolumePathNameW",
        # Its state file read back, and removed: Windows 2000 and later.
        "DeleteFileW", "ReadFile",
        # The C and C++ runtime's.
        "CreateSemaphoreW", "DeleteCriticalSection", "EnterCriticalSection",
        "GetCurrentThreadId", "GetStartupInfoA", "InitializeCriticalSection",
        "IsDBCSLeadByteEx", "LeaveCriticalSection", "MultiByteToWideChar", "RaiseException",
        "ReleaseSemaphore", "RtlCaptureContext", "RtlLookupFunctionEntry", "RtlUnwindEx",
        "RtlVirtualUnwind", "SetLastError", "SetUnhandledExceptionFilter", "Sleep", "TlsAlloc",
        "TlsFree", "TlsGetValue", "TlsSetValue", "VirtualProtect", "VirtualQuery",
        "WideCharToMultiByte", "__C_specific_handler",
    },
    # The system's C runtime, as Windows Server 2003's msvcrt.dll exports it:
    # no secure-CRT (*_s) function, which came later.
    "msvcrt.dll": {
        "___lc_codepage_func", "___mb_cur_max_func", "__getmainargs", "__initenv",
        "__iob_func", "__set_app_type", "__setusermatherr", "_acmdln", "_amsg_exit", "_cexit",
        "_close", "_commode", "_errno", "_fmode", "_initterm", "_lock", "_onexit", "_read",
        "_unlock", "abort", "calloc", "exit", "fprintf", "fputc", "free", "fwrite", "localeconv",
        "malloc", "memchr", "memcmp", "memcpy", "memmove", "memset", "realloc", "signal",
        "strcmp", "strerror", "strlen", "strncmp", "vfprintf", "wcslen",
    },
}
# The version the tool's record must carry, written here rather than read
# from the build files, so that a changed project(VERSION) shows.
VERSION = (1, 0, 0, 1)
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ENGLISH_UNITED_STATES = 0x0409
# Windows Server 2003 SP2 x64 and Windows XP x64 (5.2), the oldest 64-bit
# Windows, whose loader must accept the image.
OLDEST_WINDOWS = (5, 2)


class ProductBinaryTest(unittest.TestCase):
    name = "ssdprep.exe"
    description = "Configure SSD partition after iRST installation"
    size_limit = 160 * 1024

    @classmethod
    def setUpClass(cls):
        cls.path = windows_executable(cls.name)
        with open(cls.path, "rb") as image_file:
            cls.data = image_file.read()
        cls.image = pe_image.PeImage(cls.data)
        cls.resources = cls.image.resources()

    def resources_of_type(self, type_id):
        return [r for r in self.resources if r.type_id == type_id]

    # --- what the loader checks -------------------------------------------

    def test_is_a_64_bit_console_program(self):
        self.assertEqual(self.image.machine, pe_image.IMAGE_FILE_MACHINE_AMD64)
        self.assertEqual(self.image.optional_magic, pe_image.PE32_PLUS_MAGIC)
        self.assertEqual(self.image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI)
        self.assertEqual(self.image.subsystem_version, OLDEST_WINDOWS)
        self.assertEqual(self.image.os_version, OLDEST_WINDOWS)

    def test_imports_only_windows_system_dlls(self):
        dlls = self.image.imported_dlls()
        self.assertTrue(dlls, "no import table found")
        unexpected = sorted(name for name in dlls if name.lower() not in ALLOWED_DLLS)
        self.assertEqual(unexpected, [], f"imports beyond the system DLLs: {dlls}")
        # The runtime is linked in, not loaded beside the program.
        for name in dlls:
            for runtime in ("libstdc++", "libgcc", "libwinpthread"):
                self.assertNotIn(runtime, name.lower())

    def test_imports_only_functions_checked_for_the_oldest_windows(self):
        unchecked = sorted(f"{dll}!{name}" for dll, name in self.image.imported_functions()
                           if name not in ALLOWED_IMPORTS.get(dll, ()))
        self.assertEqual(unchecked, [])

    def test_is_small(self):
        self.assertLessEqual(os.path.getsize(self.path), self.size_limit)

    def test_reads_none_of_the_twins_settings(self):
        # SSDPREP_SIM_SETTLE_MS shortens the twins' pause between the
        # partitioning tool's runs; the shipped programs never name it.
        for encoding in ("ascii", "utf-16-le"):
            self.assertNotIn("SSDPREP_SIM".encode(encoding), self.data)

    def test_has_no_link_time_stamp(self):
        self.assertEqual(self.image.time_date_stamp, 0)

    # --- manifest ----------------------------------------------------------

    def test_has_exactly_one_manifest_for_the_process(self):
        manifests = self.resources_of_type(pe_image.RT_MANIFEST)
        self.assertEqual(len(manifests), 1,
                         [(m.name, m.language) for m in manifests])
        self.assertEqual(manifests[0].name, CREATEPROCESS_MANIFEST_RESOURCE_ID)
        self.assertEqual(manifests[0].language, ENGLISH_UNITED_STATES)

    def test_manifest_runs_as_invoker_without_elevation(self):
        manifests = self.resources_of_type(pe_image.RT_MANIFEST)
        self.assertEqual(len(manifests), 1)
        text = manifests[0].data.decode("utf-8-sig")
        root = ElementTree.fromstring(text)
        levels = [element for element in root.iter()
                  if element.tag.rsplit("}", 1)[-1] == "requestedExecutionLevel"]
        self.assertEqual(len(levels), 1, text)
        self.assertEqual(levels[0].attrib, {"level": "asInvoker", "uiAccess": "false"})
        for elevation in ("requireAdministrator", "highestAvailable", "autoElevate"):
            self.assertNotIn(elevation.lower(), text.lower())

    # --- version record ----------------------------------------------------

    def version_root(self):
        records = self.resources_of_type(pe_image.RT_VERSION)
        self.assertEqual(len(records), 1, [(r.name, r.language) for r in records])
        self.assertEqual(records[0].language, ENGLISH_UNITED_STATES)
        root, end = pe_image.parse_version_block(records[0].data)
        self.assertEqual(root.key, "VS_VERSION_INFO")
        self.assertLessEqual(end, len(records[0].data))
        return root

    def test_fixed_version_is_1_0_0_1(self):
        major, minor, patch, build = VERSION
        root = self.version_root()
        self.assertEqual(root.value_type, 0)
        fixed = pe_image.parse_fixed_file_info(root.value)
        self.assertEqual(fixed["signature"], pe_image.VS_FIXEDFILEINFO_SIGNATURE)
        for kind in ("file", "product"):
            with self.subTest(kind=kind):
                self.assertEqual(fixed[f"{kind}_version_ms"], major << 16 | minor)
                self.assertEqual(fixed[f"{kind}_version_ls"], patch << 16 | build)

    def test_version_strings_are_us_english_unicode(self):
        string_info = self.version_root().child("StringFileInfo")
        self.assertEqual([table.key.upper() for table in string_info.children], ["040904B0"])
        table = string_info.children[0]
        version = ".".join(str(part) for part in VERSION)
        expected = {
            "FileDescription": self.description,
            "FileVersion": version,
            "ProductVersion": version,
            "ProductName": "ssdprep",
            "OriginalFilename": self.name,
        }
        for key, text in expected.items():
            with self.subTest(key=key):
                node = table.child(key)
                self.assertEqual(node.text(), text)
                # Length in characters, terminator included, as readers expect.
                self.assertEqual(node.value_length, len(text) + 1)

    def test_translation_is_us_english_unicode(self):
        var_info = self.version_root().child("VarFileInfo")
        translation = var_info.child("Translation")
        self.assertEqual(translation.value_type, 0)
        self.assertEqual(len(translation.value), 4)
        self.assertEqual(struct.unpack("<HH", translation.value), (0x0409, 1200))


class InspectorBinaryTest(ProductBinaryTest):
    """The report ships beside the tool and is held to the same; it cannot
    change a machine, because it has nothing to do it with."""
    name = "ssdprep-inspect.exe"
    description = "Report what ssdprep sees on this machine and would do"
    # 16 KiB more than at first: each Windows version's alignment, every
    # entry and free extent in disk order, and the disk drawn.
    size_limit = 208 * 1024

    def test_cannot_write_start_or_show_anything(self):
        changing = {"WriteFile", "CreateProcessW", "DeleteFileW", "MoveFileExW", "RegSetValueExW"}
        self.assertEqual(changing & {name for _, name in self.image.imported_functions()}, set())
        for library in ("user32.dll", "oleaut32.dll"):
            for encoding in ("ascii", "utf-16-le"):
                self.assertNotIn(library.encode(encoding), self.data.lower())


class DeployBinaryTest(ProductBinaryTest):
    """The unattended run ships beside both and starts them as programs. It
    holds no name that would load user32, oleaut32 or shlwapi (which loads
    user32). It may read drives (drive 0's style and identity, volume
    extents), delete files and a registry key but move, copy or remove no
    folder, and start nothing but the two programs beside it; that it opens
    drives asking for no access, writes only in its work dir, its temp log
    and its record, and deletes only its state file, the tool's scripts and
    its record, the Wine table and the unit table show, with its twin on the
    simulated drives."""
    name = "ssdprep-deploy.exe"
    description = "Run ssdprep once, unattended: end with 0 to go on or 3 to stop"
    # 16 KiB more than at first: drive 0's identity for both styles, the
    # state file read back, and --forget.
    size_limit = 208 * 1024

    def test_loads_no_user32_moves_nothing_and_starts_only_its_two_programs(self):
        imported = {name for _, name in self.image.imported_functions()}
        destructive = {"MoveFileW", "MoveFileExW", "CopyFileW", "RemoveDirectoryW",
                       "SetFileAttributesW", "RegDeleteKeyW", "RegDeleteTreeW", "RegDeleteValueW",
                       "WinExec", "CreateProcessAsUserW", "CreateProcessWithLogonW"}
        self.assertEqual(destructive & imported, set())
        for library in ("user32.dll", "oleaut32.dll", "shlwapi.dll"):
            for encoding in ("ascii", "utf-16-le"):
                self.assertNotIn(library.encode(encoding), self.data.lower())
        # The programs it names: the two it starts, and its own name in its
        # version record.
        programs = {match.decode("utf-16-le").lower() for match in
                    re.findall(rb"(?:[\x20-\x7e]\x00)+?\.\x00e\x00x\x00e\x00", self.data)}
        self.assertEqual({name.rsplit("\\", 1)[-1] for name in programs},
                         {"ssdprep.exe", "ssdprep-inspect.exe", "ssdprep-deploy.exe"})


if __name__ == "__main__":
    unittest.main()
