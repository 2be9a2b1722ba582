#!/usr/bin/env bash
# Installs what building, running and testing Ardentia needs on Debian 12,
# asking apt-get only for packages that are missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libqt6svg6
  qt6-image-formats-plugins qt6-qpa-plugins
  libsqlite3-dev sqlite3 libphonenumber-dev qtkeychain-qt6-dev
  python3-vobject khard radicale openssl
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  fonts-dejavu-core
  xvfb xauth imagemagick poppler-utils
  desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
