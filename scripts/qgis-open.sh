#!/usr/bin/env bash
# Opens the sample workflow's results (build/main-job, made by the main job when missing) in QGIS
# with the ONDU Toolbar loaded. Needs a display. QGIS runs on its own profiles folder,
# build/qgis-profiles, so the user's profiles are left alone.
# Usage: qgis-open.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export ONDU_WITH_QGIS=1
bash scripts/build.sh ondu ondu_qgis
[[ -f build/main-job/river.gpkg ]] || bash scripts/main-job.sh
bash scripts/qgis-install.sh build/apps/qgis/libondu_qgis.so build/qgis-profiles
out="$PWD/build/main-job"
cat > build/qgis-profiles/open-results.py <<PY
from osgeo import ogr
from qgis.core import QgsProject, QgsVectorLayer
from qgis.utils import iface
import os

for store in ["$out/workflow.gpkg", "$out/river.gpkg"]:
    if not os.path.exists(store):
        continue
    dataset = ogr.Open(store)
    group = QgsProject.instance().layerTreeRoot().addGroup(os.path.basename(store))
    for i in range(dataset.GetLayerCount()):
        name = dataset.GetLayer(i).GetName()
        layer = QgsVectorLayer(store + "|layername=" + name, name, "ogr")
        QgsProject.instance().addMapLayer(layer, False)
        group.addLayer(layer)
iface.mapCanvas().zoomToFullExtent()
PY
exec qgis --nologo --noversioncheck --profiles-path build/qgis-profiles \
  --code build/qgis-profiles/open-results.py
