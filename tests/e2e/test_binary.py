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
SIZE_LIMIT = 256 * 1024
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ENGLISH_UNITED_STATES = 0x0409
# The loader of Windows Vista (6.0), the oldest Windows whose kernel32 has
# every function the executable imports, must accept the image.
OLDEST_SUBSYSTEM_VERSION = (6, 0)


def project_version():
    """The version written in project() of CMakeLists.txt, read here on its
    own so that a version record that does not follow it shows."""
    path = os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")
    with open(path, encoding="utf-8") as cmake_lists:
        match = re.search(r"project\(ssdprep VERSION (\d+)\.(\d+)\.(\d+)\.(\d+)",
                          cmake_lists.read())
    if not match:
        raise RuntimeError("no four-part project(ssdprep VERSION ...) in CMakeLists.txt")
    return tuple(int(part) for part in match.groups())


class ProductBinaryTest(unittest.TestCase):
    name = "ssdprep.exe"
    description = "Configure SSD partition after iRST installation"

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
        self.assertLessEqual(self.image.subsystem_version, OLDEST_SUBSYSTEM_VERSION)

    def test_imports_only_windows_system_dlls(self):
        dlls = self.image.imported_dlls()
        self.assertTrue(dlls, "no import table found")
        unexpected = sorted(name for name in dlls if name.lower() not in ALLOWED_DLLS)
        self.assertEqual(unexpected, [], f"imports beyond the system DLLs: {dlls}")
        # The runtime is linked in, not loaded beside the program.
        for name in dlls:
            for runtime in ("libstdc++", "libgcc", "libwinpthread"):
                self.assertNotIn(runtime, name.lower())

    def test_is_small(self):
        self.assertLess(os.path.getsize(self.path), SIZE_LIMIT)

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

    def test_fixed_version_is_the_project_version(self):
        major, minor, patch, build = project_version()
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
        version = ".".join(str(part) for part in project_version())
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
    """The report ships beside the tool and is held to the same."""
    name = "ssdprep-inspect.exe"
    description = "Report what ssdprep sees on this machine and would do"


if __name__ == "__main__":
    unittest.main()
