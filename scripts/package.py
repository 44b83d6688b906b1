#!/usr/bin/env python3
"""Writes the release package of a windows-preset build (scripts/release.sh
calls it after the build):

  <out>/ssdprep-<version>-win-x64.zip  one folder, ssdprep-<version>/, with
                                       EXECUTABLES, DOCUMENTS and SHA256SUMS
                                       over them
  <out>/SHA256SUMS                     over the zip

The zip's bytes depend on nothing but those files, the version and the
source date: a fixed entry order, every timestamp the source date in UTC,
fixed modes, no owner and no extra fields. Text files get CR LF line ends,
which every Windows editor shows as lines.

When SSDPREP_SIGN_CERT and SSDPREP_SIGN_KEY name a PEM certificate and its
(unencrypted) key, the executables are Authenticode-signed with osslsigncode
on the way into the package; the build's own files are left as they are.
With SSDPREP_SIGN_TIMESTAMP naming an RFC 3161 time-stamp server's URL as
well, each signature gets that server's time stamp.
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The executables shipped, from the build folder, in the package's order.
EXECUTABLES = ["ssdprep.exe", "ssdprep-inspect.exe", "ssdprep-deploy.exe"]
# Then the deployment files and the documents: name in the package, path in
# the tree.
DOCUMENTS = [
    ("unattend-auditUser.xml", "deploy/unattend-auditUser.xml"),
    ("operator-guide.md", "docs/operator-guide.md"),
    ("CHANGELOG.md", "CHANGELOG.md"),
    ("LICENSE", "LICENSE"),
]
CHECKSUMS = "SHA256SUMS"

GUIDE_TITLE = "# ssdprep operator's guide"
UNSIGNED_NOTE = ("> The executables in this package are not Authenticode-signed: check them\n"
                 "> with SHA256SUMS, as \"Getting and checking it\" shows.")
# Whether the signature outlives the certificate: a time stamp "extends the
# validity of a certificate by verifying that the executable file was signed at
# the time that it was time stamped" (Microsoft,
# https://learn.microsoft.com/en-us/windows/win32/seccrypto/signedcode-timestamp).
SIGNED_NOTE = ("> The executables in this package are Authenticode-signed by {signer}, without\n"
               "> a time stamp, so the signature is valid only until the certificate expires:\n"
               "> check it, as \"Getting and checking it\" shows.")
TIMESTAMPED_NOTE = ("> The executables in this package are Authenticode-signed by {signer}, with\n"
                    "> a time stamp from {url}, so the signature stays valid after the certificate\n"
                    "> expires: check it, as \"Getting and checking it\" shows.")

FILE_MODE = 0o100644
EXECUTABLE_MODE = 0o100755
DIRECTORY_MODE = 0o040755
MS_DOS_DIRECTORY = 0x10
UNIX = 3


class PackageError(Exception):
    pass


def read_text(path):
    with open(path, encoding="utf-8", newline="") as text:
        content = text.read()
    if "\r" in content:
        raise PackageError(f"{path} has CR characters; the tree keeps LF line ends")
    return content


def windows_lines(text):
    return text.replace("\n", "\r\n").encode("utf-8")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def signing_files():
    """The certificate, key and time-stamp URL ("" for none) to sign with, or
    None; certificate and key both or neither."""
    cert = os.environ.get("SSDPREP_SIGN_CERT", "")
    key = os.environ.get("SSDPREP_SIGN_KEY", "")
    timestamp = os.environ.get("SSDPREP_SIGN_TIMESTAMP", "")
    if bool(cert) != bool(key):
        raise PackageError("set both SSDPREP_SIGN_CERT and SSDPREP_SIGN_KEY, or neither")
    if timestamp and not cert:
        raise PackageError("SSDPREP_SIGN_TIMESTAMP time-stamps a signature: set SSDPREP_SIGN_CERT "
                           "and SSDPREP_SIGN_KEY too, or unset it")
    if not cert:
        return None
    for path in (cert, key):
        if not os.path.isfile(path):
            raise PackageError(f"{path} is not a file")
    return cert, key, timestamp


def signer_name(cert):
    subject = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-subject",
                              "-nameopt", "RFC2253"], check=True, capture_output=True, text=True)
    return subject.stdout.strip().removeprefix("subject=")


def signed_copy(path, cert, key, timestamp, work):
    signed = os.path.join(work, os.path.basename(path))
    # -ts asks for an RFC 3161 time stamp (-t would be the older Authenticode kind).
    stamp = ["-ts", timestamp] if timestamp else []
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                    "-n", "ssdprep", *stamp, "-in", path, "-out", signed],
                   check=True, stdout=subprocess.DEVNULL)
    with open(signed, "rb") as signed_file:
        return signed_file.read()


def stamped_guide(text, version, note):
    title, newline, rest = text.partition("\n")
    if title != GUIDE_TITLE:
        raise PackageError(f"the guide's first line is {title!r}, not {GUIDE_TITLE!r}")
    return f"# ssdprep {version} operator's guide\n\n{note}{newline}{rest}"


def require_changelog_section(text, version):
    if not re.search(rf"^## \[{re.escape(version)}\]", text, re.MULTILINE):
        raise PackageError(f"CHANGELOG.md has no section for {version}")


def package_files(version, build_dir, work):
    """(name, bytes, mode) of every file in the package, in its order."""
    signing = signing_files()
    files = []
    for name in EXECUTABLES:
        path = os.path.join(build_dir, name)
        if not os.path.isfile(path):
            raise PackageError(f"{path} is missing: build the windows preset first")
        if signing:
            data = signed_copy(path, *signing, work)
        else:
            with open(path, "rb") as executable:
                data = executable.read()
        files.append((name, data, EXECUTABLE_MODE))
    if not signing:
        note = UNSIGNED_NOTE
    else:
        cert, _, timestamp = signing
        note = (TIMESTAMPED_NOTE if timestamp else SIGNED_NOTE).format(
            signer=signer_name(cert), url=timestamp)
    for name, source in DOCUMENTS:
        text = read_text(os.path.join(ROOT, source))
        if source == "docs/operator-guide.md":
            text = stamped_guide(text, version, note)
        elif source == "CHANGELOG.md":
            require_changelog_section(text, version)
        files.append((name, windows_lines(text), FILE_MODE))
    sums = "".join(f"{sha256(data)}  {name}\n" for name, data, _ in files)
    files.append((CHECKSUMS, windows_lines(sums), FILE_MODE))
    return files


def entry(name, date_time, mode):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = UNIX
    info.external_attr = mode << 16
    if name.endswith("/"):
        info.external_attr |= MS_DOS_DIRECTORY
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
    return info


def write_zip(path, folder, files, source_date):
    date_time = time.gmtime(source_date)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr(entry(folder + "/", date_time, DIRECTORY_MODE), b"")
        for name, data, mode in files:
            archive.writestr(entry(f"{folder}/{name}", date_time, mode), data,
                             compresslevel=9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--source-date", required=True, type=int,
                        help="seconds since 1970 (UTC) for every timestamp in the zip")
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args()

    folder = f"ssdprep-{args.version}"
    zip_name = f"{folder}-win-x64.zip"
    try:
        with tempfile.TemporaryDirectory() as work:
            files = package_files(args.version, args.build_dir, work)
    except (PackageError, subprocess.CalledProcessError) as error:
        sys.exit(f"package.py: {error}")
    os.makedirs(args.out_dir, exist_ok=True)
    zip_path = os.path.join(args.out_dir, zip_name)
    write_zip(zip_path, folder, files, args.source_date)
    with open(zip_path, "rb") as written:
        digest = sha256(written.read())
    with open(os.path.join(args.out_dir, CHECKSUMS), "w", encoding="ascii", newline="\n") as sums:
        sums.write(f"{digest}  {zip_name}\n")
    for name, data, _ in files:
        print(f"{len(data):>8}  {folder}/{name}")
    print(f"{digest}  {zip_path}")


if __name__ == "__main__":
    main()
