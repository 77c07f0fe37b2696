#!/usr/bin/env bash
# Installs what building and testing Orbisk needs on Debian, skipping what is
# already there.  Runs as root (or through sudo when available).
set -euo pipefail

packages=(cmake make g++ binutils pkg-config
          googletest libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev
          clang libclang-rt-dev
          xvfb xauth
          libsystemd-dev lirc
          libtomlplusplus-dev ir-keytable
          g++-mingw-w64-i686 wine wine32:i386 fonts-wine socat
          dpkg-dev debhelper lintian zip unzip systemd)  # the last line: packaging and its tests
if [ "${1:-}" = "--runtime" ]; then
  packages=(cmake make g++ pkg-config qt6-base-dev libsystemd-dev libtomlplusplus-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
            socat)
elif [ "${1:-}" = "--windows" ]; then
  packages=(cmake make g++-mingw-w64-i686 libtomlplusplus-dev wine wine32:i386 fonts-wine socat)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
# Wine for the 32-bit Windows tests comes from the i386 architecture.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
# The tests use lirc's clients (irw, irexec, irsend) only.  Its daemon is
# never started: a policy-rc.d that refuses keeps the package from starting
# it (or its socket) while it installs.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  trap '$sudo rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
