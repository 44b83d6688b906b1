"""The release package as scripts/release.sh writes it. A release is built
from a commit, so every case works on clean clones of HEAD:

- two clones, in paths of different lengths and under different umasks and
  time zones, give the same zip, byte for byte;
- both SHA256SUMS files pass `sha256sum -c`, and unzip lists exactly the
  expected files;
- the executables in the zip are those of the windows preset's build, which
  the other tests ran;
- with a throwaway certificate made here, the executables are signed, the
  signature and a local RFC 3161 server's time stamp verify, and SHA256SUMS covers them;
- a changed project(VERSION) is followed by the version record, the
  package's name and the guide's title;
- release.sh refuses a tree with uncommitted changes, and one signing
  variable without the other.

Environment: SSDPREP_WINDOWS_DIR, the windows preset's build folder;
SSDPREP_RELEASE_WORK, a scratch folder (a temporary one when unset).
"""

import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import pe_image  # noqa: E402  (the binary tests' PE reader)

# What the package holds under its folder, in order; the executables are
# also compared with the build.
EXECUTABLES = ["ssdprep.exe", "ssdprep-inspect.exe", "ssdprep-deploy.exe"]
EXPECTED_FILES = EXECUTABLES + ["unattend-auditUser.xml", "operator-guide.md",
                                "CHANGELOG.md", "LICENSE", "SHA256SUMS"]
UNSIGNED_NOTE = "> The executables in this package are not Authenticode-signed"
SIGNER = "ssdprep throwaway signer"
SIGNED_NOTE = f"> The executables in this package are Authenticode-signed by CN={SIGNER}, with"
TSA = "ssdprep throwaway time-stamp server"
TSA_CONFIG = ("[tsa]\ndefault_tsa = t\n[t]\nserial = tsa-serial\nsigner_cert = tsa.pem\n"
              "signer_key = tsa-key.pem\nsigner_digest = sha256\ndigests = sha256\n"
              "default_policy = 1.2.3.4.1\n")

work = None
head = None
clone_a = None
unsigned_dist = None
unsigned_folder = None
unsigned_zip_b = None


def run(command, cwd=None, env=None, umask=None, expect_ok=True):
    result = subprocess.run(command, cwd=cwd, env={**os.environ, **(env or {})},
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            preexec_fn=(lambda: os.umask(umask)) if umask is not None else None,
                            check=False)
    if expect_ok and result.returncode != 0:
        raise AssertionError(f"{command} in {cwd} ended with {result.returncode}:\n"
                             f"{result.stdout[-3000:]}")
    return result


def clean_clone(path):
    run(["git", "clone", "-q", "--no-hardlinks", ROOT, path])
    run(["git", "checkout", "-q", "--detach", head], cwd=path)
    return path


def release(clone, env=None, umask=0o022, expect_ok=True):
    # Unsigned unless the case says otherwise, whatever the caller's shell has.
    env = {"SSDPREP_SIGN_CERT": "", "SSDPREP_SIGN_KEY": "", "SSDPREP_SIGN_TIMESTAMP": "",
           **(env or {})}
    return run(["bash", "scripts/release.sh"], cwd=clone, env=env, umask=umask,
               expect_ok=expect_ok)


def version_of(clone):
    with open(os.path.join(clone, "build", "windows", "release-version"), encoding="ascii") as f:
        return f.read().strip()


def the_zip(dist):
    zips = [name for name in os.listdir(dist) if name.endswith(".zip")]
    if len(zips) != 1:
        raise AssertionError(f"{dist} holds {zips}, not one zip")
    return os.path.join(dist, zips[0])


def extract(zip_path, into):
    shutil.rmtree(into, ignore_errors=True)
    run(["unzip", "-q", zip_path, "-d", into])
    folders = os.listdir(into)
    if len(folders) != 1:
        raise AssertionError(f"the zip has {folders} at its top, not one folder")
    return os.path.join(into, folders[0])


def read(path, mode="rb"):
    with open(path, mode) as file:
        return file.read()


def setUpModule():
    global work, head, clone_a, unsigned_dist, unsigned_folder, unsigned_zip_b
    work = os.environ.get("SSDPREP_RELEASE_WORK") or tempfile.mkdtemp(prefix="ssdprep-release-")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    head = run(["git", "rev-parse", "HEAD"], cwd=ROOT).stdout.strip()
    clone_a = clean_clone(os.path.join(work, "a"))
    clone_b = clean_clone(os.path.join(work, "another", "clone", "at", "a", "longer", "path"))
    release(clone_a, env={"TZ": "UTC"}, umask=0o022)
    release(clone_b, env={"TZ": "Pacific/Kiritimati"}, umask=0o077)
    # Kept aside: later cases release into clone A's dist again.
    unsigned_dist = os.path.join(work, "unsigned-dist")
    shutil.copytree(os.path.join(clone_a, "dist"), unsigned_dist)
    unsigned_folder = extract(the_zip(unsigned_dist), os.path.join(work, "unsigned-extracted"))
    unsigned_zip_b = the_zip(os.path.join(clone_b, "dist"))


class UnsignedReleaseTest(unittest.TestCase):
    def test_two_clean_clones_give_the_same_zip(self):
        zip_a = the_zip(unsigned_dist)
        self.assertEqual(os.path.basename(zip_a), os.path.basename(unsigned_zip_b))
        self.assertEqual(read(zip_a), read(unsigned_zip_b),
                         "the zips of two clean clones differ")

    def test_both_checksum_files_pass_sha256sum(self):
        for where in (unsigned_dist, unsigned_folder):
            with self.subTest(where=where):
                run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=where)
        # The outer file names the zip; the inner one every other file.
        self.assertEqual(read(os.path.join(unsigned_dist, "SHA256SUMS"), "r").split()[1::2],
                         [os.path.basename(the_zip(unsigned_dist))])
        self.assertEqual(read(os.path.join(unsigned_folder, "SHA256SUMS"), "r").split()[1::2],
                         EXPECTED_FILES[:-1])

    def test_zip_lists_exactly_the_expected_files(self):
        folder = f"ssdprep-{version_of(clone_a)}"
        names = run(["unzip", "-Z1", the_zip(unsigned_dist)]).stdout.split()
        self.assertEqual(names, [folder + "/"] + [f"{folder}/{name}" for name in EXPECTED_FILES])
        # Every text file in the zip ends its lines in CR LF, as Windows editors show them.
        fragment = read(os.path.join(unsigned_folder, "unattend-auditUser.xml"))
        self.assertEqual(fragment.count(b"\r\n"), fragment.count(b"\n"))

    def test_executables_are_the_tested_build(self):
        build = os.environ["SSDPREP_WINDOWS_DIR"]
        for name in EXECUTABLES:
            with self.subTest(name=name):
                self.assertEqual(read(os.path.join(unsigned_folder, name)),
                                 read(os.path.join(build, name)),
                                 f"{name} in the zip is not build/windows/{name}: is the "
                                 f"build current and everything committed?")

    def test_guide_title_names_the_version_and_no_signature(self):
        lines = read(os.path.join(unsigned_folder, "operator-guide.md"), "r").splitlines()
        self.assertEqual(lines[0], f"# ssdprep {version_of(clone_a)} operator's guide")
        self.assertTrue(lines[2].startswith(UNSIGNED_NOTE), lines[2])


class TimeStampServer(http.server.BaseHTTPRequestHandler):
    """RFC 3161 over HTTP: `openssl ts -reply` answers the DER query in the body."""
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile",
                                "/dev/stdin"], cwd=os.path.join(work, "signing"), input=query,
                               capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(reply)


class SignedReleaseTest(unittest.TestCase):
    def test_throwaway_certificate_signs_and_verifies(self):
        keys = os.path.join(work, "signing")
        os.makedirs(keys, exist_ok=True)
        cert, key = os.path.join(keys, "cert.pem"), os.path.join(keys, "key.pem")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", f"/CN={SIGNER}",
             "-addext", "extendedKeyUsage=codeSigning", "-keyout", key, "-out", cert])
        tsa = os.path.join(keys, "tsa.pem")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", f"/CN={TSA}", "-addext", "extendedKeyUsage=critical,timeStamping",
             "-keyout", os.path.join(keys, "tsa-key.pem"), "-out", tsa])
        with open(os.path.join(keys, "tsa.cnf"), "w", encoding="ascii") as f:
            f.write(TSA_CONFIG)
        server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampServer)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        url = f"http://127.0.0.1:{server.server_port}/"
        release(clone_a, env={"SSDPREP_SIGN_CERT": cert, "SSDPREP_SIGN_KEY": key,
                              "SSDPREP_SIGN_TIMESTAMP": url})
        folder = extract(the_zip(os.path.join(clone_a, "dist")),
                         os.path.join(work, "signed-extracted"))
        run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=folder)
        for name in EXECUTABLES:
            with self.subTest(name=name):
                signed = os.path.join(folder, name)
                result = run(["osslsigncode", "verify", "-CAfile", cert, "-TSA-CAfile", tsa,
                              "-in", signed], expect_ok=False)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertIn("Timestamp Server Signature verification: ok", result.stdout)
                # osslsigncode 2.5 (Debian 12) prints "Issuer : ", 2.9 "Issuer: ".
                self.assertRegex(result.stdout, rf"(?m)^\s*Issuer ?: /CN={TSA}\s*$")
                # The same check fails on the unsigned file ...
                self.assertNotEqual(run(["osslsigncode", "verify", "-CAfile", cert, "-in",
                                         os.path.join(unsigned_folder, name)],
                                        expect_ok=False).returncode, 0)
                # ... and without its signature the signed one is the unsigned one.
                stripped = os.path.join(work, "signing", f"stripped-{name}")
                run(["osslsigncode", "remove-signature", "-in", signed, "-out", stripped])
                self.assertEqual(read(stripped), read(os.path.join(unsigned_folder, name)))
        lines = read(os.path.join(folder, "operator-guide.md"), "r").splitlines()
        self.assertEqual(lines[2], SIGNED_NOTE)
        self.assertTrue(lines[3].startswith(f"> a time stamp from {url},"), lines[3])


class VersionFollowsTest(unittest.TestCase):
    def test_changed_project_version_is_followed_everywhere(self):
        clone = clean_clone(os.path.join(work, "version"))
        version = "2.3.4.5"
        cmake_lists = os.path.join(clone, "CMakeLists.txt")
        text = read(cmake_lists, "r")
        changed = text.replace(f"VERSION {version_of(clone_a)} ", f"VERSION {version} ", 1)
        self.assertNotEqual(changed, text)
        with open(cmake_lists, "w", encoding="utf-8") as f:
            f.write(changed)
        changelog = os.path.join(clone, "CHANGELOG.md")
        text = read(changelog, "r").replace("\n## [", f"\n## [{version}] - 2026-12-08\n\n## [", 1)
        with open(changelog, "w", encoding="utf-8") as f:
            f.write(text)
        run(["git", "-c", "user.name=test", "-c", "user.email=test@example.invalid", "commit",
             "-q", "-am", f"Version {version}"], cwd=clone)
        release(clone)

        dist = os.path.join(clone, "dist")
        zip_path = the_zip(dist)
        self.assertEqual(os.path.basename(zip_path), f"ssdprep-{version}-win-x64.zip")
        folder = extract(zip_path, os.path.join(work, "version-extracted"))
        self.assertEqual(os.path.basename(folder), f"ssdprep-{version}")
        guide = read(os.path.join(folder, "operator-guide.md"), "r")
        self.assertEqual(guide.splitlines()[0], f"# ssdprep {version} operator's guide")

        for name in EXECUTABLES:
            data = read(os.path.join(folder, name))
            image = pe_image.PeImage(data)
            [record] = [r for r in image.resources() if r.type_id == pe_image.RT_VERSION]
            root, _ = pe_image.parse_version_block(record.data)
            fixed = pe_image.parse_fixed_file_info(root.value)
            for kind in ("file", "product"):
                self.assertEqual((fixed[f"{kind}_version_ms"], fixed[f"{kind}_version_ls"]),
                                 (0x00020003, 0x00040005), name)
            strings = root.child("StringFileInfo").children[0]
            for key in ("FileVersion", "ProductVersion"):
                self.assertEqual(strings.child(key).text(), version, name)
        # What the report prints for --version and in its JSON, as the
        # program holds it (the version record's strings are UTF-16).
        self.assertIn(f"{version}\0".encode("ascii"),
                      read(os.path.join(folder, "ssdprep-inspect.exe")))


class RefusalTest(unittest.TestCase):
    def test_release_refuses(self):
        stray = os.path.join(clone_a, "stray.txt")
        cases = [
            # name, file left in the tree, environment
            ("uncommitted file", stray, {}),
            ("certificate without key", None, {"SSDPREP_SIGN_CERT": os.path.join(clone_a,
                                                                                 "LICENSE")}),
            ("key without certificate", None, {"SSDPREP_SIGN_KEY": os.path.join(clone_a,
                                                                               "LICENSE")}),
            ("time stamp without signing", None, {"SSDPREP_SIGN_TIMESTAMP": "http://127.0.0.1:9/"}),
        ]
        dist = os.path.join(clone_a, "dist")
        for name, left, env in cases:
            with self.subTest(name):
                shutil.rmtree(dist, ignore_errors=True)
                if left:
                    with open(left, "w", encoding="ascii") as f:
                        f.write("not committed\n")
                try:
                    result = release(clone_a, env=env, expect_ok=False)
                finally:
                    if left:
                        os.remove(left)
                self.assertNotEqual(result.returncode, 0, result.stdout)
                self.assertFalse(os.path.exists(dist) and os.listdir(dist), "dist was written")


if __name__ == "__main__":
    unittest.main()
