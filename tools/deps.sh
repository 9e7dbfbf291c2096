#!/usr/bin/env bash
# Installs the Debian packages the scripts need (idempotent).
# Usage: deps.sh [release]   (no argument: everything the build, the tests and the run need;
# "release": only what tools/release.sh needs)
set -euo pipefail
build=(cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix python3)
release=(osslsigncode nsis)
# Wine with a CJK font (the Chinese captions), GoogleTest, screenshots; the release checks:
# signing with a throwaway certificate, 7-Zip to take the uninstaller out of a setup, the sample
# page in headless Chromium, npm for acorn.
# The second compiler (clang with lld for the MinGW-w64 target) is built by the test command too.
# PulseAudio with its pactl: a private sound server with a null sink gives Wine an audio device.
tests=(wine64 xvfb xauth imagemagick googletest fonts-wqy-microhei
       openssl 7zip chromium chromium-driver python3-selenium clang lld
       pulseaudio pulseaudio-utils)
case "${1:-all}" in
  release) pkgs=("${build[@]}" "${release[@]}") ;;
  *)
    pkgs=("${build[@]}" "${release[@]}" "${tests[@]}")
    # Any Node.js with npm will do; Debian's only when there is none.
    command -v npm >/dev/null 2>&1 || pkgs+=(nodejs npm)
    ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}" || {
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
  }
fi
