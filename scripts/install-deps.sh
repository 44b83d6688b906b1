#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Run as root on Debian 12.
set -euo pipefail

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
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi
