#!/usr/bin/env bash
# The main job: builds ondu, then runs the built tools on bundled and generated data:
# a meandering sample river, its thalweg from curvature, its gauging stations snapped to the
# centerline, (s,n) coordinates of its survey points, a thalweg from its surveyed 3D
# cross-sections, a map of the river with its thalweg and the thalweg's longitudinal profile, the
# preprocessing of one digitised centerline (segments, interpolated depth and bank elevation,
# boundary and its outline), a HEC-RAS spatial data file converted to XML, and the HEC-RAS chain
# on the sample river: reaches from its segments, measures, trapezoidal cross-sections, stations,
# downstream distances, the channel-geometry document and from it the HEC-RAS geometry, project,
# plan and flow files, and profile lines drawn from a table of water levels at its cross-sections.
# Results go to build/main-job.
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
echo "== Pictures: the river with its thalweg, the thalweg's longitudinal profile"
$ondu render --map "$out/river.gpkg" --out "$out/river-map.png" --size 1600x900
$ondu plot profile --map "$out/river.gpkg" --layer Thalweg --out "$out/thalweg-profile.png"
echo "== Preprocessing from one digitised centerline"
# A map holding only the centerline and the reference points of the sample river, with empty
# layers for what the tools make.
wf="$out/workflow.gpkg"
ogr2ogr -f GPKG "$wf" "$out/river.gpkg" CenterLine
ogr2ogr -update "$wf" "$out/river.gpkg" ReferencePoints
ogr2ogr -update "$wf" "$out/river.gpkg" CenterlineSegments -select Width -where "0=1"
ogr2ogr -update "$wf" "$out/river.gpkg" ChannelBoundary -where "0=1"
ogr2ogr -update "$wf" "$out/river.gpkg" ChannelBoundary -where "0=1" -nln BoundarySegments \
    -nlt LINESTRING
echo "-- Split into 100 m segments"
$ondu run clsSplitLine --map "$wf" --set txtDistance=100
# The channel width is surveyed data the tools read; the sample's is 40 m throughout.
ogrinfo -q "$wf" -sql "UPDATE CenterlineSegments SET Width = 40"
echo "-- Depth and measures, then bank elevation, from the reference points"
$ondu run clsIntAttribute --map "$wf"
$ondu run clsIntAttribute --map "$wf" --set cmbAttribute=BankElev --set chkMeasure=0
echo "-- Boundary from the segments, and its outline as lines"
$ondu run clsBoundaryFromLines --map "$wf"
$ondu run clsPolyToLines --map "$wf"
$ondu layers --map "$wf"
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
echo "== Profile lines from a flow table"
# A flow table as HEC-RAS reports one: two profiles, 1 m and 2 m above the bed, at every
# cross-section of the upper reach, as a CSV file beside the map; and an empty 3D line layer
# for the lines. Both reaches number their stations alike; the tool takes the first
# cross-section of a station, and the upper reach's come first.
sections="FROM CrossSections WHERE ReachName = 'Upper'"
ogr2ogr -f CSV "$out/flow.csv" "$river" -dialect sqlite -sql \
    "SELECT StationNo AS XS, 'PF 1' AS Profile, ST_MinZ(SHAPE) + 1 AS WSE $sections
     UNION ALL SELECT StationNo, 'PF 2', ST_MinZ(SHAPE) + 2 $sections"
ogr2ogr -update "$river" "$river" -dialect sqlite -sql "SELECT SHAPE FROM CrossSections WHERE 0" \
    -nln ProfileLines -nlt LINESTRINGZ
$ondu run clsProfileFromFTable --map "$river" --map "$out/flow.csv" \
    --set cmbCrossSection=CrossSections --set cmbStation=StationNo --set cmbFTable=flow \
    --set cmbCrossIdentifier=XS --set cmbProfileID=Profile --set cmbWSE=WSE \
    --set cmbProfile=ProfileLines
$ondu layers --map "$river" --map "$out/flow.csv"

echo
echo "Results in $out:"
ls -l "$out"
