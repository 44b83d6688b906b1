#!/usr/bin/env bash
# Builds the windows preset from a clean tree and writes the release package:
#   dist/ssdprep-<version>-win-x64.zip  and  dist/SHA256SUMS
# The version is the one in project() of CMakeLists.txt; every timestamp in
# the zip is the commit's, so two clean clones of one commit give the same
# bytes. With SSDPREP_SIGN_CERT and SSDPREP_SIGN_KEY naming a PEM
# certificate and its key, the executables in the zip are Authenticode-signed.
# dist/ is wiped and written afresh on every run. Installs what is missing
# as root; otherwise names the Debian packages it lacks and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "$(git status --porcelain --untracked-files=all)" ]; then
    echo "release.sh: the tree has changes that are not committed; a release is built from a commit:" >&2
    git status --short --untracked-files=all >&2
    exit 1
fi

bash scripts/install-deps.sh

echo "Building the Windows executables (build/windows) ..."
cmake --preset windows >/dev/null
cmake --build --preset windows
version=$(cat build/windows/release-version)

echo "Writing the package for version $version into dist/ (wiped first) ..."
rm -rf dist
python3 scripts/package.py --version "$version" --build-dir build/windows \
    --source-date "$(git log -1 --format=%ct)" --out-dir dist
