#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does nothing when all are there.
set -euo pipefail

packages=(
    cmake ninja-build g++ googletest libgtest-dev python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 fonts-wine fonts-liberation xvfb xauth x11-utils
    icoutils python3-pefile imagemagick
    libcurl4-openssl-dev
    # clang's libFuzzer and sanitizer run-times, for the fuzz preset.
    clang libclang-rt-14-dev
    osslsigncode openssl faketime git
    # Samba's ntlm_auth: without it Wine's WinINet never answers an NTLM challenge, and the test
    # that no credentials are ever sent could not fail.
    winbind
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    "${missing[@]}" >/dev/null
