#!/usr/bin/env bash
# The main job: builds ondu, then runs the built tools on bundled and generated data:
# a meandering sample river, its thalweg from curvature, a map of the river with its thalweg and
# the thalweg's longitudinal profile, a HEC-RAS spatial data file converted to XML, and a
# channel-geometry document turned into HEC-RAS geometry, project, plan and flow files. Results
# go to build/main-job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh ondu
ondu=./build/ondu
out="$PWD/build/main-job"
rm -rf "$out"
mkdir -p "$out"

echo "== Sample river"
$ondu sample-river "$out/river.gpkg"
echo "== Thalweg from curvature (medium sinuosity, width from the boundary)"
$ondu run clsThaCur --map "$out/river.gpkg" --set frmLogRel.optMedium=1 --set frmNewThaCur.chkBoundary=1
$ondu layers --map "$out/river.gpkg"
echo "== Pictures: the river with its thalweg, the thalweg's longitudinal profile"
$ondu render --map "$out/river.gpkg" --out "$out/river-map.png" --size 1600x900
$ondu plot profile --map "$out/river.gpkg" --layer Thalweg --out "$out/thalweg-profile.png"
echo "== HEC-RAS spatial data file to XML"
$ondu run clsExportSDFtoXML --set txtInput=data/sample.sdf --set txtOutput="$out/sample.xml"
echo "== Channel-geometry XML to HEC-RAS geometry, project, plan and flow files"
$ondu run clsXMLtoGeometryFile --set txtInput=data/channel-geometry.xml \
    --set txtOutput="$out/channel.g01" --set chkAuxFiles=1

echo
echo "Results in $out:"
ls -l "$out"
