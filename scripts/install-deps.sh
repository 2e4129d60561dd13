#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test and run.
# Safe to run again: packages already present are left alone.
set -euo pipefail
packages=(build-essential cmake g++ pkg-config libgtest-dev libgmock-dev libpugixml-dev
          libxml2-dev libxml2-utils libsqlite3-dev libdeflate-dev libisal-dev
          qt6-base-dev qt6-translations-l10n xvfb xauth dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}"
fi
