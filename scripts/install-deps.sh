#!/usr/bin/env bash
# Installs every Debian 12 package Quorvane needs to build, run and test (as root, or through sudo).
set -euo pipefail

packages=(
    build-essential cmake pkg-config dpkg-dev file
    qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    putty-tools openssh-server procps passwd iptables iproute2
    xvfb xauth xterm
    clang libfuzzer-14-dev
    g++-mingw-w64-x86-64 wine64
    nsis unzip openbox trayer xdotool imagemagick
    libglib2.0-bin
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
