#!/usr/bin/env bash
# Installs the Debian packages Kalvor needs to build, run and test, when any is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build clang-format pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev nlohmann-json3-dev
  curl openssl
  python3 python3-pyftpdlib python3-openssl vsftpd
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus-daemon libsecret-tools
  xvfb xauth adwaita-icon-theme qt6-gtk-platformtheme
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
