#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshot need.
# Does nothing when all of them are present.
set -euo pipefail
pkgs=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev pxlib-dev libshp-dev
      libgtest-dev nettle-dev fonts-dejavu-core xvfb xauth python3-dbfread qt6-translations-l10n
      libsqlite3-dev desktop-file-utils ccache lld dpkg-dev libpq-dev postgresql-15)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
