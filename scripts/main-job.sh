#!/usr/bin/env bash
# The main job: builds ondu, then runs the built tools on bundled and generated data:
# a meandering sample river, its thalweg from curvature, its gauging stations snapped to the
# centerline, (s,n) coordinates of its survey points, a thalweg from its surveyed 3D
# cross-sections, a HEC-RAS spatial data file converted to XML, and a channel-geometry document
# turned into HEC-RAS geometry, project, plan and flow files. Results go to build/main-job.
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
echo "== Gauging stations snapped to the centerline"
$ondu run clsSnapPointstoLine --map "$out/river.gpkg" --set cmbPoints=GaugingStations \
    --set cmbLine=CenterLine
echo "== (s,n) coordinates of the survey points"
$ondu run clsAssignSN --map "$out/river.gpkg" --set cmbInput=SurveyPoints \
    --set cmbCenterline=CenterLine --set cmbSCoordinate=S --set cmbNCoordinate=N
echo "== Thalweg from the surveyed 3D cross-sections"
$ondu run clsThalweg_CS --map "$out/river.gpkg" --set cmbLayer=SurveyCrossSections
$ondu layers --map "$out/river.gpkg"
echo "== HEC-RAS spatial data file to XML"
$ondu run clsExportSDFtoXML --set txtInput=data/sample.sdf --set txtOutput="$out/sample.xml"
echo "== Channel-geometry XML to HEC-RAS geometry, project, plan and flow files"
$ondu run clsXMLtoGeometryFile --set txtInput=data/channel-geometry.xml \
    --set txtOutput="$out/channel.g01" --set chkAuxFiles=1

echo
echo "Results in $out:"
ls -l "$out"
