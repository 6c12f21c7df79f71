#!/usr/bin/env bash
# Smoke test of the desktop host: starts the real QGIS application under a virtual display with
# the ONDU plugin enabled, opens the sample river, clicks one menu item of the ONDU Toolbar,
# takes a screenshot of the window it opens, closes that window and quits QGIS.
# Exits 77 (skipped) where QGIS or xvfb-run is not installed.
# Usage: qgis-smoke.sh PLUGIN.so ONDU-CLI SCREENSHOT.png
set -euo pipefail
plugin=$(realpath "$1")
cli=$(realpath "$2")
shot=$(realpath -m "$3")
if ! command -v qgis >/dev/null || ! command -v xvfb-run >/dev/null; then
  echo "QGIS or xvfb-run is not installed: skipped"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
base="${ONDU_WORK_DIR:-${TMPDIR:-/tmp}}"
mkdir -p "$base" "$(dirname "$shot")"
work=$(mktemp -d "$base/ondu-qgis-smoke-XXXXXX")
trap '[ -n "${ONDU_KEEP_SMOKE:-}" ] || rm -rf "$work"' EXIT
rm -f "$shot"

"$cli" sample-river "$work/river.gpkg" >/dev/null
bash "$here/qgis-install.sh" "$plugin" "$work/profiles" >/dev/null
cat > "$work/probe.py" <<PY
from qgis.utils import iface
from qgis.core import QgsProject, QgsVectorLayer
from qgis.PyQt.QtCore import QTimer
from qgis.PyQt.QtWidgets import QAction, QApplication, QMessageBox, QToolBar

report = open("$work/result.txt", "w")
for name in ["ChannelBoundary", "CenterlineSegments", "CenterLine", "GaugingStations"]:
    QgsProject.instance().addMapLayer(QgsVectorLayer("$work/river.gpkg|layername=" + name, name, "ogr"))
iface.mapCanvas().zoomToFullExtent()
report.write("toolbar %s\n" % (iface.mainWindow().findChild(QToolBar, "ONDU Toolbar") is not None))
action = iface.mainWindow().findChild(QAction, "RUDAvuZIR.clsSplitLine")
report.write("item %s\n" % (action.text() if action else None))

def discard_project():
    # QGIS asks before closing the unsaved project on exit: it is not kept.
    box = QApplication.activeModalWidget()
    if isinstance(box, QMessageBox):
        for answer in (QMessageBox.Discard, QMessageBox.Yes):
            if box.button(answer):
                box.button(answer).click()
                break
    QTimer.singleShot(500, discard_project)

def finish():
    report.write("closed %s\n" % (QApplication.activeModalWidget() is None))
    report.close()
    QTimer.singleShot(1000, discard_project)
    iface.actionExit().trigger()

def shoot():
    window = QApplication.activeModalWidget()
    report.write("window %s %s\n" % (window.objectName() if window else None,
                                     window.windowTitle() if window else ""))
    QApplication.primaryScreen().grabWindow(0).save("$shot")
    if window:
        window.reject()
    QTimer.singleShot(300, finish)

if action:
    QTimer.singleShot(800, action.trigger)
    QTimer.singleShot(2500, shoot)
else:
    QTimer.singleShot(300, finish)
PY
SECONDS=0
status=0
timeout ${ONDU_SMOKE_TIMEOUT:-150} xvfb-run -a -s "-screen 0 1280x800x24" qgis --nologo --noversioncheck \
  --profiles-path "$work/profiles" --code "$work/probe.py" >"$work/qgis.log" 2>&1 || status=$?
echo "QGIS ran for ${SECONDS} s"
cat "$work/result.txt" 2>/dev/null || { echo "QGIS wrote no result"; tail -20 "$work/qgis.log"; exit 1; }
grep -q "^toolbar True" "$work/result.txt"
grep -q "^item Split Line Into Segments" "$work/result.txt"
grep -q "^window frm" "$work/result.txt"
grep -q "^closed True" "$work/result.txt"
test -s "$shot"
if ((status != 0)); then
  echo "QGIS ended with status $status (124: it did not quit)"
  tail -20 "$work/qgis.log"
  exit 1
fi
echo "Screenshot: $shot"
