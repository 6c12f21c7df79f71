#!/usr/bin/env bash
# The main job: builds ondu, then runs the built tools on bundled and generated data:
# a meandering sample river, its thalweg from curvature, a HEC-RAS spatial data file converted
# to XML, and the HEC-RAS chain on the sample river: reaches from its segments, measures,
# trapezoidal cross-sections, stations, downstream distances, the channel-geometry document and
# from it the HEC-RAS geometry, project, plan and flow files. Results go to build/main-job.
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
echo "== HEC-RAS spatial data file to XML"
$ondu run clsExportSDFtoXML --set txtInput=data/sample.sdf --set txtOutput="$out/sample.xml"

echo "== From centerline segments to a HEC-RAS project"
# The sample river's segments get river and reach names (two reaches of fifty segments), the
# four values of a trapezoidal channel, and an empty measured reach layer.
river="$out/river.gpkg"
sql() { ogrinfo -q "$river" -sql "$1" >/dev/null; }
for column in "RiverName TEXT" "ReachName TEXT" "BotElev REAL" "BotWidth REAL" "Slope REAL"; do
    sql "ALTER TABLE CenterlineSegments ADD COLUMN $column"
done
sql "UPDATE CenterlineSegments SET RiverName = 'Sample River',
     ReachName = CASE WHEN fid <= 50 THEN 'Upper' ELSE 'Lower' END,
     BotElev = BankElev - Depth, BotWidth = 0.6 * Width, Slope = 0.5"
ogr2ogr -update "$river" "$river" -sql "SELECT * FROM CenterLine WHERE 0" -nln Reach -nlt LINESTRINGM
echo "-- HEC-RAS reaches"
$ondu run clsCreateHECReach --map "$river" --set cmbInput=CenterlineSegments \
    --set cmbRiver=RiverName --set cmbReach=ReachName --set cmbOutput=Reach
echo "-- Measures growing upstream, as HEC-RAS stations run"
$ondu run clsAssignMstoReaches --map "$river" --set cmbInput=Reach --set chkOrientation=1
echo "-- Trapezoidal cross-sections"
$ondu run clsTrapezoidalCS --map "$river" --set cmbInput=CenterlineSegments \
    --set cmbBottomElev=BotElev --set cmbBottomWidth=BotWidth --set cmbDepth=Depth \
    --set cmbSideSlope=Slope --set cmbOutput=CrossSections
echo "-- Station numbers and downstream distances"
$ondu run clsAssignStnNotoCS --map "$river" --set cmbReach=Reach --set cmbField=ReachName
$ondu run clsAssignDnDs --map "$river"
echo "-- Channel-geometry XML"
$ondu run clsRUDAvuZIR --map "$river" --set cmbCenterline=Reach --set cmbCLineID=ReachName \
    --set cmbRiver=RiverName --set cmbReachCode=ReachName --set cmbCrossID=ReachName --set txtPath="$out/channel.xml"
$ondu layers --map "$river"
echo "== Channel-geometry XML to HEC-RAS geometry, project, plan and flow files"
$ondu run clsXMLtoGeometryFile --set txtInput="$out/channel.xml" \
    --set txtOutput="$out/channel.g01" --set chkAuxFiles=1

echo
echo "Results in $out:"
ls -l "$out"
