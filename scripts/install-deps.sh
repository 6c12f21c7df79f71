#!/usr/bin/env bash
# Installs the Debian packages that building and testing ondu needs, only when some are missing.
# Usage: install-deps.sh [EXTRA-PACKAGE...]   (extras for one job, e.g. the fuzzing compiler)
# With ONDU_WITH_QGIS=1 the optional group for the QGIS plugin and its tests is added: QGIS with
# its development files (about three minutes to install) and a virtual display for its smoke test.
set -euo pipefail
packages=(g++ cmake make libgdal-dev libgeos-dev libsqlite3-dev libpugixml-dev libcli11-dev libfmt-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev libcgal-dev libnanoflann-dev
          gdal-bin python3-gdal libcairo2-dev zlib1g-dev pkg-config libboost-dev "$@")
if [[ "${ONDU_WITH_QGIS:-0}" == 1 ]]; then
  packages+=(libqgis-dev qgis xvfb xauth fonts-dejavu-core)
fi
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
