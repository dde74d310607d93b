#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages the project builds and tests with. Idempotent:
# does nothing when every package is already present.
set -euo pipefail

BUILD_PKGS=(build-essential cmake pkg-config qtbase5-dev libqt5svg5-dev qttools5-dev qttools5-dev-tools
  libjsoncpp-dev libcrypto++-dev libavcodec-dev libavutil-dev libswscale-dev libavformat-dev
  libx264-dev libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xfixes0-dev libxcb-xtest0-dev libxcb-damage0-dev
  libx11-dev libx11-xcb-dev libxtst-dev libyuv-dev librsvg2-bin)
TEST_PKGS=(xvfb xauth x11-utils xdotool ffmpeg imagemagick openssl fonts-dejavu-core clang-format)
# `make package` and the package test: dpkg-shlibdeps (dpkg-dev) and file for
# CPack, then the checkers a Debian maintainer runs.
PACKAGE_PKGS=(dpkg-dev file lintian desktop-file-utils appstream man-db)
FUZZ_PKGS=(clang-14 libfuzzer-14-dev libclang-rt-14-dev)
CROSS_PKGS=(g++-mingw-w64-x86-64 wine64)
# Wayland: PipeWire for the screen cast (build), and the portal test fixture
# (private D-Bus session, PipeWire + WirePlumber, the real portal frontend,
# the fake backend in Python).
WAYLAND_PKGS=(libpipewire-0.3-dev libspa-0.2-dev dbus dbus-bin python3-dbus python3-gi pipewire pipewire-bin wireplumber xdg-desktop-portal)

want=("${BUILD_PKGS[@]}" "${TEST_PKGS[@]}" "${PACKAGE_PKGS[@]}" "${WAYLAND_PKGS[@]}")
case "${1:-}" in
  --all) want+=("${FUZZ_PKGS[@]}" "${CROSS_PKGS[@]}") ;;
  --fuzz) want+=("${FUZZ_PKGS[@]}") ;;
  --cross) want+=("${CROSS_PKGS[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--all|--fuzz|--cross]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: not root and no sudo; install: ${missing[*]}" >&2; exit 1; }
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
