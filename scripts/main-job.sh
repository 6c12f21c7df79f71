#!/usr/bin/env bash
# The main job: builds ondu, then runs the built tools on bundled and generated data:
# a meandering sample river, its thalweg from curvature, beta cross-sections along that thalweg
# (layer BetaSections, from the sample parameter table BetaParameters.gpkg), its gauging stations
# snapped to the centerline, (s,n) coordinates of its survey points, a thalweg from its surveyed
# 3D cross-sections, those cross-sections integrated with a synthetic valley terrain (raster and
# TIN), a map of the river with its thalweg and the thalweg's longitudinal profile,
# the preprocessing of one digitised centerline (segments, interpolated depth and bank elevation,
# boundary and its outline), a HEC-RAS spatial data file converted to XML, and the HEC-RAS chain
# on the sample river: reaches from its segments, measures, trapezoidal cross-sections, stations,
# downstream distances, a plot of one trapezoidal cross-section, the channel-geometry document
# and from it the HEC-RAS geometry, project, plan and flow files, and profile lines drawn from a
# table of water levels at its cross-sections; profile lines from the beta cross-sections, depth
# and flow based; and the thalweg located along a line drawn on a second sample river, on its
# bathymetry raster and from its bed points. Results go to build/main-job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh ondu
ondu=./build/ondu
out="$PWD/build/main-job"
rm -rf "$out"
mkdir -p "$out"

echo "== Sample river"
$ondu sample-river "$out/river.gpkg" --valley 10
echo "== Thalweg from curvature (medium sinuosity, width from the boundary)"
$ondu run clsThaCur --map "$out/river.gpkg" --set frmLogRel.optMedium=1 --set frmNewThaCur.chkBoundary=1
echo "== Beta cross-sections every 250 m along the thalweg (sample parameter table in the work folder)"
$ondu beta-parameters --out "$out/BetaParameters.gpkg"
mkdir -p "$out/work"
cp "$out/BetaParameters.gpkg" "$out/work/"
ogr2ogr -update "$out/river.gpkg" "$out/river.gpkg" -sql "SELECT * FROM CrossSections WHERE 0" \
    -nln BetaSections -nlt LINESTRINGZ
ONDU_WORK_DIR="$out/work" $ondu run clsBetaFromTha --map "$out/river.gpkg" \
    --set txtInterval=250 --set cmbCrossSections=BetaSections
echo "== Gauging stations snapped to the centerline"
$ondu run clsSnapPointstoLine --map "$out/river.gpkg" --set cmbPoints=GaugingStations \
    --set cmbLine=CenterLine
echo "== (s,n) coordinates of the survey points"
$ondu run clsAssignSN --map "$out/river.gpkg" --set cmbInput=SurveyPoints \
    --set cmbCenterline=CenterLine --set cmbSCoordinate=S --set cmbNCoordinate=N
echo "== Thalweg from the surveyed 3D cross-sections"
$ondu run clsThalweg_CS --map "$out/river.gpkg" --set cmbLayer=SurveyCrossSections
$ondu layers --map "$out/river.gpkg"
echo "== Surveyed cross-sections integrated with the valley around the river (raster, then TIN)"
# The valley was written beside the river as a raster and a TIN from one function.
cat > "$out/terrain-map.json" <<'JSON'
{"layers": [
  {"name": "SurveyCrossSections", "source": "river.gpkg", "table": "SurveyCrossSections"},
  {"name": "Valley", "kind": "raster", "source": "valley.tif"},
  {"name": "ValleyTIN", "kind": "tin", "source": "valley-tin.gpkg"}]}
JSON
for surface in Valley ValleyTIN; do
    $ondu run clsIntegrateCSwithTerrain --map "$out/terrain-map.json" \
        --set cmbCrossSections=SurveyCrossSections --set cmbMeasure=Measure \
        --set cmbSurface=$surface --set chkExtend=1 --set chkNewTerrain=1
done
cat > "$out/merged-map.json" <<'JSON'
{"layers": [
  {"name": "SurveyCrossSections_new", "source": "river.gpkg", "table": "SurveyCrossSections_new"},
  {"name": "NewTIN", "kind": "tin", "source": "NewTIN.gpkg"},
  {"name": "rast", "kind": "raster", "source": "rast.tif"},
  {"name": "merged", "kind": "raster", "source": "merged.tif"},
  {"name": "MergedTIN", "kind": "tin", "source": "MergedTIN.gpkg"}]}
JSON
$ondu layers --map "$out/merged-map.json"
gdalinfo -stats "$out/merged.tif" | grep -E "Size is|Pixel Size|STATISTICS_(MINIMUM|MAXIMUM)"
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
echo "-- Plot of the first trapezoidal cross-section"
$ondu plot section --map "$river" --layer CrossSections --fid 1 \
    --out "$out/trapezoidal-section.png"
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
    -nln WaterLevelLines -nlt LINESTRINGZ
$ondu run clsProfileFromFTable --map "$river" --map "$out/flow.csv" \
    --set cmbCrossSection=CrossSections --set cmbStation=StationNo --set cmbFTable=flow \
    --set cmbCrossIdentifier=XS --set cmbProfileID=Profile --set cmbWSE=WSE \
    --set cmbProfile=WaterLevelLines
$ondu layers --map "$river" --map "$out/flow.csv"

echo "== Profile lines from the beta cross-sections, depth and flow based"
# Two empty 3D line layers receive the profile lines.
for layer in ProfileLines FlowProfileLines; do
    ogr2ogr -update "$river" "$river" -sql "SELECT * FROM Thalweg WHERE 0" -nln $layer \
        -nlt LINESTRING25D
done
$ondu run clsProfileLines --map "$river" --set cmbCrossSection=BetaSections \
    --set cmbMeasure=Measure --set cmbProfileLines=ProfileLines --set txtNumber=4
$ondu run clsProfileLines --map "$river" --set cmbCrossSection=BetaSections \
    --set cmbMeasure=Measure --set cmbProfileLines=FlowProfileLines --set optFlow=1 \
    --set txtNumber=4
$ondu plot section --map "$river" --layer BetaSections --fid 6 --levels ProfileLines \
    --out "$out/beta-section.png"
$ondu layers --map "$river"

echo "== Thalweg located along a drawn line: on a bathymetry raster, and from bed points"
# A second sample river with its bed as a raster beside it and as points; the line a user would
# draw along the channel is its centerline, simplified, in one layer for each way.
bedRiver="$out/bed-river.gpkg"
$ondu sample-river "$bedRiver" --length 4000 --amplitude 150 --bathymetry-cell-size 4
for layer in ThalwegOnRaster ThalwegFromPoints; do
    ogr2ogr -update "$bedRiver" "$bedRiver" CenterLine -nln "$layer" -nlt LINESTRING25D \
        -dim XYZ -simplify 10
done
bathymetry="$out/bed-river-bathymetry.json"
echo '{"layers": [{"name": "Bathymetry", "kind": "raster", "source": "bed-river-bathymetry.tif"}]}' \
    >"$bathymetry"
echo "-- Raster mode (the opening question answered yes; channel width 40)"
$ondu run clsThalweg --map "$bedRiver" --map "$bathymetry" --answer yes --answer 40 \
    --set cmbRaster=Bathymetry --set cboPolylineLayer=ThalwegOnRaster
echo "-- Point mode (answered no; the bed interpolated from BedElev of the bed points)"
ONDU_WORK_DIR="$out/work" $ondu run clsThalweg --map "$bedRiver" --map "$bathymetry" \
    --answer no --answer 40 --set cboPointLayer=BedPoints --set cboField=BedElev \
    --set cboPolylineLayer=ThalwegFromPoints
$ondu layers --map "$bedRiver" --map "$bathymetry"

echo
echo "Results in $out:"
ls -l "$out"
