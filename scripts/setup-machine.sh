#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

# fonts-wine: the fonts Wine draws system glyphs and dialogs with (Marlett's
# caption buttons among them).
# socat: the serial tests' pseudo-terminal lines.
# clang, libclang-rt-14-dev, g++-multilib: the native 32-bit build with the
# sanitizers and libFuzzer (build-native).
packages=(cmake g++-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb googletest imagemagick xauth socat
          clang libclang-rt-14-dev g++-multilib)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
