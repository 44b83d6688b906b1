"""The shipped ssdprep.exe under Wine: banner, audit gate and solid-state gate.

Wine's emulated drive 0 does not answer the identify request, so every run
that passes the audit gate ends with the solid-state verdict. The expected
texts are written out here on purpose: a changed console text must show up.
"""

import os
import unittest

from harness import (DECLINED, NOT_AUDIT_MODE, NOT_SSD_ONLY, SETUP_STATE_KEY, WineTestCase,
                     windows_executable)



class GateCase(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.exe = windows_executable("ssdprep.exe")

    def run_tool(self, *args):
        return self.prefix.run_windows(self.exe, args, cwd=self.case_dir)

    def set_image_state(self, value_type, data, shown=None):
        self.prefix.reg_add(SETUP_STATE_KEY, "ImageState", value_type, data, shown)

    def make_sysprep_entry(self, name, directory=False):
        folder = os.path.join(self.prefix.drive_c, "SYSPREP")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        if directory:
            os.mkdir(path)
        else:
            with open(path, "wb") as stub:
                stub.write(b"MZ")


class RegistryFormTest(GateCase):
    """Windows 6 and later: the image state in the registry decides."""

    def test_complete_image_is_not_audit_mode(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)

    def test_missing_key_passes_the_audit_gate(self):
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_missing_value_passes_the_audit_gate(self):
        self.prefix.reg_add(SETUP_STATE_KEY, "Other", "REG_SZ", "IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_lower_case_state_passes_the_audit_gate(self):
        self.set_image_state("REG_SZ", "image_state_complete")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_trailing_space_passes_the_audit_gate(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE ")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_audit_mode_state_passes_the_audit_gate(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_UNDEPLOYABLE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_multi_string_is_read_up_to_its_first_terminator(self):
        self.set_image_state("REG_MULTI_SZ", r"IMAGE_STATE_COMPLETE\0SECOND")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)

    def test_multi_string_with_the_state_second_passes(self):
        self.set_image_state("REG_MULTI_SZ", r"FIRST\0IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_expandable_string_is_read_as_text(self):
        self.set_image_state("REG_EXPAND_SZ", "IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)

    def test_number_passes_the_audit_gate(self):
        self.set_image_state("REG_DWORD", "1", shown="0x1")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_sysprep_files_do_not_count_from_windows_6_on(self):
        self.assertGreaterEqual(self.prefix.reported_version()[0], 6)
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE")
        self.make_sysprep_entry("SYSPREP.EXE")
        self.make_sysprep_entry("SYSPRP.EXE")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)


class FileFormTest(GateCase):
    """Windows below 6: the presence of the sysprep program decides."""

    windows_version = "winxp64"

    @classmethod
    def tearDownClass(cls):
        cls.prefix.set_windows_version(cls.prefix.default_version)
        super().tearDownClass()

    def test_version_query_reports_major_5(self):
        self.assertEqual(self.prefix.reported_version()[0], 5)

    def test_neither_file_is_not_audit_mode(self):
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)

    def test_sysprp_passes_the_audit_gate(self):
        self.make_sysprep_entry("SYSPRP.EXE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_sysprep_passes_the_audit_gate(self):
        self.make_sysprep_entry("SYSPREP.EXE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_directory_named_like_the_program_passes(self):
        self.make_sysprep_entry("SYSPREP.EXE", directory=True)
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_complete_image_state_is_ignored_without_a_file(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)

    def test_complete_image_state_is_ignored_with_a_file(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE")
        self.make_sysprep_entry("SYSPRP.EXE")
        self.assertRun(self.run_tool(), NOT_SSD_ONLY, DECLINED)

    def test_other_image_state_is_ignored_without_a_file(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_UNDEPLOYABLE")
        self.assertRun(self.run_tool(), NOT_AUDIT_MODE, DECLINED)


class ArgumentsTest(GateCase):
    """The command line's arguments are not read."""

    ARGS = ("/x", "foo", "a b")

    def test_arguments_do_not_change_the_audit_verdict(self):
        self.set_image_state("REG_SZ", "IMAGE_STATE_COMPLETE")
        self.assertRun(self.run_tool(*self.ARGS), NOT_AUDIT_MODE, DECLINED)

    def test_arguments_do_not_change_the_solid_state_verdict(self):
        self.assertRun(self.run_tool(*self.ARGS), NOT_SSD_ONLY, DECLINED)


if __name__ == "__main__":
    unittest.main()
