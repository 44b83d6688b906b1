#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Run as root on Debian 12; without root it only checks,
# and names what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake make g++ libgtest-dev python3 git
    clang clang-format clang-tidy libclang-rt-dev
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 mingw-w64-tools
    wine wine64
    osslsigncode openssl unzip
    fdisk ntfs-3g
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    echo "Debian packages: all ${#packages[@]} needed are installed."
    exit 0
fi
what="${#missing[@]} Debian packages"
((${#missing[@]} > 1)) || what="1 Debian package"
if ((EUID != 0)); then
    echo "Missing $what: ${missing[*]}" >&2
    echo "Install them as root: bash scripts/install-deps.sh (or apt-get install ${missing[*]})" >&2
    exit 1
fi

# apt-get and debconf talk on both streams even when asked to be quiet: all
# of it goes to a log, shown only when apt-get fails.
log=build/apt.log
if ! mkdir -p build 2>/dev/null || ! : >"$log" 2>/dev/null; then
    log=$(mktemp /tmp/ssdprep-apt.XXXXXX.log)
fi
echo "Installing $what: ${missing[*]} (apt-get, log in $log) ..."
export DEBIAN_FRONTEND=noninteractive
apt_get() {
    local code=0
    apt-get "$@" >>"$log" 2>&1 </dev/null || code=$?
    if ((code != 0)); then
        echo "apt-get $* failed with exit code $code; its log ($log):" >&2
        cat "$log" >&2
        exit "$code"
    fi
}
apt_get update
apt_get install -y "${missing[@]}"
