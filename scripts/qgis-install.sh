#!/usr/bin/env bash
# Installs the ONDU QGIS plugin into a QGIS profiles folder and enables it there, so that QGIS
# started with `--profiles-path FOLDER` loads the ONDU Toolbar. The user's own profiles are left
# alone unless their folder is given.
# Usage: qgis-install.sh PLUGIN.so PROFILES-FOLDER
set -euo pipefail
plugin=$1
profiles=$2
profile="$profiles/profiles/default"
mkdir -p "$profile/QGIS" "$profile/cpp-plugins"
cp "$plugin" "$profile/cpp-plugins/"
plugins_dir=$(cd "$profile/cpp-plugins" && pwd)
ini="$profile/QGIS/QGIS3.ini"
touch "$ini"
# QGIS loads a C++ plugin found in the search paths when Plugins/<library base name> is true;
# both keys are set afresh, whatever the file held before.
python3 - "$ini" "$plugins_dir" "$(basename "$plugin" .so)" <<'PY'
import re, sys
ini, folder, name = sys.argv[1:]
text = open(ini).read()
def put(text, group, key, value):
    header = f"[{group}]"
    lines = text.splitlines()
    if header not in lines:
        return text.rstrip("\n") + f"\n\n{header}\n{key}={value}\n"
    start = lines.index(header) + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("[")), len(lines))
    body = [l for l in lines[start:end] if not l.startswith(key + "=")]
    lines[start:end] = [f"{key}={value}"] + body
    return "\n".join(lines) + "\n"
text = put(text, "Plugins", name, "true")
text = put(text, "plugins", "searchPathsForPlugins", folder)
open(ini, "w").write(text)
PY
echo "Installed $(basename "$plugin") into $profile"
