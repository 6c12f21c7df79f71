#pragma once
// The project, plan and steady-flow files that let the hydraulic model open a written geometry
// file as a project. All three are fixed templates naming their siblings only by extension
// ("g01", "f01", "p01"), so they must sit beside the geometry file under its base name.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "framework/error.h"

namespace ondu {

/// A failure while writing the HEC-RAS files: a missing or wrong element of the channel-geometry
/// document, a value that is not a number, a file that cannot be created. The text names what
/// is wrong and where; the dialog shows it under "Error Occurred".
class RasExportError : public HostError {
public:
    explicit RasExportError(const std::string& text)
        : HostError(text, error_number::kGeneric, "Error Occurred") {}
};

/// The path the sibling files are named after: `geometryPath` without the extension of its last
/// component, either "/" or "\" separating components ("C:\run\geom.g01" gives "C:\run\geom",
/// "./run/geom.g01" gives "./run/geom"). Throws RasExportError when the last component has no
/// extension; a leading point (".g01") does not start an extension.
std::string hecRasBasePath(std::string_view geometryPath);

/// Writes the project file (27 lines) at `path`, replacing an existing file.
/// Throws RasExportError when it cannot be written.
void CreateHECRASProjectFile(const std::string& path);
/// Writes the steady-flow file (3 lines) at `path`, replacing an existing file.
/// Throws RasExportError when it cannot be written.
void CreateHECRASFlowFile(const std::string& path);
/// Writes the plan file (49 lines) at `path`, replacing an existing file.
/// Throws RasExportError when it cannot be written.
void CreateHECRASPlanFile(const std::string& path);

/// Writes base + ".prj", base + ".f01" and base + ".p01" in that order, base being
/// `hecRasBasePath(geometryPath)`. The first failure throws RasExportError and stops the files
/// not yet written.
void writeHecRasProjectFiles(std::string_view geometryPath);
/// As above, each file written at the path `placeOf` gives for it (a temporary name).
void writeHecRasProjectFiles(std::string_view geometryPath,
                             const std::function<std::string(const std::string&)>& placeOf);

}  // namespace ondu
