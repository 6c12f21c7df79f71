#!/usr/bin/env bash
# Installs the Debian packages that building and testing ondu needs, only when some are missing.
set -euo pipefail
packages=(g++ cmake make libgdal-dev libgeos-dev libsqlite3-dev libpugixml-dev libcli11-dev libfmt-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev python3-gdal libboost-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
