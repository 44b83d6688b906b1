"""The deployment files the package ships, checked as they stand:

- unattend-auditUser.xml (no Wine needed): well-formed, in the auditUser pass,
  with WillReboot OnRequest, in the form Microsoft documents;
- the exit codes, stated in the guide as the README states them.

ssdprep-deploy.exe itself runs under Wine in wine_deploy.py.
"""

import os
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
GUIDE = os.path.join(ROOT, "docs", "operator-guide.md")
README = os.path.join(ROOT, "README.md")
FRAGMENT = os.path.join(ROOT, "deploy", "unattend-auditUser.xml")
UNATTEND = "{urn:schemas-microsoft-com:unattend}"
WCM = "{http://schemas.microsoft.com/WMIConfig/2002/State}"
# Microsoft's limits for a RunSynchronousCommand: Path and Description at most
# 259 characters, Order from 1 to 500; its children in the order of
# Microsoft's examples.
TEXT_LIMIT = 259
CHILDREN = ["Description", "Order", "Path", "WillReboot"]


class DeploymentFilesTest(unittest.TestCase):
    def test_unattend_fragment_runs_the_program_in_audit_user_on_request(self):
        root = ElementTree.parse(FRAGMENT).getroot()
        self.assertEqual(root.tag, f"{UNATTEND}unattend")
        settings = root.findall(f"{UNATTEND}settings")
        self.assertEqual([s.get("pass") for s in settings], ["auditUser"])
        component = settings[0].find(f"{UNATTEND}component")
        self.assertEqual((component.get("name"), component.get("processorArchitecture")),
                         ("Microsoft-Windows-Deployment", "amd64"))
        commands = component.findall(f"{UNATTEND}RunSynchronous/{UNATTEND}RunSynchronousCommand")
        self.assertEqual(len(commands), 1)
        command = commands[0]
        self.assertEqual(command.get(f"{WCM}action"), "add")
        self.assertEqual([child.tag.removeprefix(UNATTEND) for child in command], CHILDREN)
        self.assertEqual(command.findtext(f"{UNATTEND}WillReboot"), "OnRequest")
        self.assertTrue(1 <= int(command.findtext(f"{UNATTEND}Order")) <= 500)
        for text in ("Path", "Description"):
            self.assertLessEqual(len(command.findtext(f"{UNATTEND}{text}")), TEXT_LIMIT)
        self.assertEqual(command.findtext(f"{UNATTEND}Path"),
                         '"C:\\Deploy\\ssdprep\\ssdprep-deploy.exe"')

    def test_exit_codes_are_stated_as_in_the_readme(self):
        def exit_code_table(path):
            with open(path, encoding="utf-8") as document:
                lines = document.read().split("\n")
            start = lines.index("| Code | Meaning |")
            end = lines.index("", start)
            return lines[start:end]

        guide = exit_code_table(GUIDE)
        self.assertEqual([row[:4] for row in guide[2:]], ["| 0 ", "| 1 ", "| 2 "])
        self.assertEqual(exit_code_table(README), guide)


if __name__ == "__main__":
    unittest.main()
