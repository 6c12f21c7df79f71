#!/usr/bin/env bash
# The main job: builds ondu and converts the bundled HEC-RAS spatial data file to XML.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
out="$PWD/build/main-job"
mkdir -p "$out"
./build/ondu run clsExportSDFtoXML --set txtInput=data/sample.sdf --set txtOutput="$out/sample.xml"
echo "Converted data/sample.sdf to $out/sample.xml"
