#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Packages that are already there are not fetched again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  libsqlite3-dev sqlite3
  zip unzip libxml2-utils
  python3 python3-openpyxl python3-xlrd locales
  qt6-base-dev libqt6widgets6 fonts-dejavu-core
)
if [ "${1:-}" = "--extra" ]; then shift; packages+=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
