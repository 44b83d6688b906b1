"""The fake partitioning tool on its own: the records the partition tests
read must say what really happened, or those tests prove nothing.
"""

import os
import unittest

from harness import (DiskpartRecords, WineTestCase, install_fake_diskpart, windows_executable,
                     windows_path)

SCRIPT = b"rescan \r\r\nselect disk 0\r\r\nexit\r\r\n"


class FakeDiskpartTest(WineTestCase):
    def setUp(self):
        super().setUp()
        install_fake_diskpart(self.prefix)
        self.records = DiskpartRecords(os.path.join(self.case_dir, "records"))
        self.script = os.path.join(self.case_dir, "script.txt")
        with open(self.script, "wb") as script:
            script.write(SCRIPT)

    def run_batch(self, lines, exit_code):
        # A batch file passes each command line on as written, the unclosed
        # quotation mark included, which is how the tool starts diskpart.
        batch = os.path.join(self.case_dir, "starts.bat")
        with open(batch, "wb") as batch_file:
            batch_file.write("".join(f"@{line}\r\n" for line in lines).encode("ascii"))
        env = {**self.records.env, "FAKE_DISKPART_EXIT": str(exit_code)}
        return self.prefix.run(["wine", "cmd", "/c", windows_path(batch)],
                               cwd=self.case_dir, extra_env=env)

    def test_records_each_start_in_order(self):
        script = windows_path(self.script)
        missing = windows_path(os.path.join(self.case_dir, "missing.txt"))
        result = self.run_batch([f'Diskpart /s "{script}',
                                 f'Diskpart /s "{missing}',
                                 # cmd holds the script open while the fake runs.
                                 f'>>{script} Diskpart /s "{script}'], exit_code=7)
        self.assertEqual(result.returncode, 7, result)
        runs = self.records.runs()
        self.assertEqual([run["cmdline"] for run in runs],
                         [f'Diskpart /s "{script}', f'Diskpart /s "{missing}',
                          f'Diskpart /s "{script}'])
        self.assertEqual([run["open"] for run in runs],
                         ["ok\n", "fail 2\n", "fail 32\n"])  # not found; sharing violation
        self.assertEqual(runs[0]["script"], SCRIPT)
        self.assertNotIn("script", runs[1])
        self.assertEqual(runs[2]["script"], SCRIPT)
        for run in runs:
            self.assertEqual(run["exe"].lower(), r"c:\windows\system32\diskpart.exe")
            self.assertEqual(run["cwd"], windows_path(self.case_dir))

    def test_exit_code_defaults_to_0_and_nothing_is_recorded_unasked(self):
        fake = windows_executable("fake-diskpart.exe")
        result = self.prefix.run_windows(fake, ["/s", windows_path(self.script)],
                                         cwd=self.case_dir)
        self.assertEqual(result.returncode, 0, result)
        self.assertEqual(self.records.runs(), [])
        result = self.prefix.run_windows(fake, cwd=self.case_dir,
                                         extra_env={"FAKE_DISKPART_EXIT": "3"})
        self.assertEqual(result.returncode, 3, result)


if __name__ == "__main__":
    unittest.main()
