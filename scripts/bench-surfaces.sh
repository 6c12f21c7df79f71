#!/usr/bin/env bash
# Runs the surface benchmarks against gdal_grid (installed with the other packages when
# missing): inverse-distance interpolation and TIN rasterization. Each prints its ratio.
# Usage: bench-surfaces.sh   (scratch files go to $ONDU_WORK_DIR, else the temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gdal_grid >/dev/null || echo "gdal_grid is missing: installing gdal-bin"
bash scripts/build.sh idw_bench tin_to_raster_bench
status=0
./build/bench/idw_bench || status=1
./build/bench/tin_to_raster_bench || status=1
exit $status
