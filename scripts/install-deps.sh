#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test and run the kit. Safe to re-run:
# it does nothing when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev libqt6opengl6-dev qt6-tools-dev qt6-translations-l10n
    libsqlite3-dev
    libical-dev
    libbenchmark-dev
    tzdata
    khard khal todoman
    python3-aiosmtpd dnsmasq-base
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q "${missing[@]}"
