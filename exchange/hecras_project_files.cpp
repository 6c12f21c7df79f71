#include "exchange/hecras_project_files.h"

#include <fmt/format.h>

#include <span>

#include "framework/file_helpers.h"

namespace ondu {

namespace {

/// One template line per entry; the empty entry is the empty line the model keeps between the
/// description markers.
constexpr std::string_view kProjectLines[] = {
    "Proj Title=Basic Project File",
    "Current Plan=p01",
    "Default Exp/Contr=0.3,0.1",
    "SI Units",
    "Geom File=g01",
    "Flow File=f01",
    "Plan File=p01",
    "Y Axis Title=Elevation",
    "X Axis Title(PF)=Main Channel Distance",
    "X Axis Title(XS)=Station",
    "BEGIN DESCRIPTION:",
    "",
    "END DESCRIPTION:",
    "DSS Start Date=",
    "DSS Start Time=",
    "DSS End Date=",
    "DSS End Time=",
    "DSS File=dss",
    "DSS Export Filename=",
    "DSS Export Rating Curves= 0",
    "DSS Export Rating Curve Sorted= 0",
    "DSS Export Volume Flow Curves= 0",
    "DXF Filename=",
    "DXF OffsetX= 0",
    "DXF OffsetY= 0",
    "DXF ScaleX= 1",
    "DXF ScaleY= 10",
};

constexpr std::string_view kFlowLines[] = {
    "Flow Title=Basic Flow File",
    "Number of Profiles= 1",
    "Profile Names=PF1",
};

// The trailing blanks of the three tolerance lines are part of the template.
constexpr std::string_view kPlanLines[] = {
    "Plan Title=Basic Plan File",
    "Short Identifier=Dummy ID",
    "Simulation Date=,,,",
    "Geom File=g01",
    "Flow File=f01",
    "Subcritical Flow",
    "K Sum by GR= 0",
    "Std Step Tol= 0.01",
    "Critical Tol= 0.01",
    "Num of Std Step Trials= 20",
    "Max Error Tol= 0.33",
    "Flow Tol Ratio= 0.001 ",
    "Split Flow NTrial= 30 ",
    "Split Flow Tol= 0.02 ",
    "Split Flow Ratio= 0.02",
    "Log Output Level= 0",
    "Friction Slope Method= 1",
    "Unsteady Friction Slope Method= 2",
    "Calc Critical at every XS",
    "Parabolic Critical Depth",
    "Global Vel Dist= 0 , 0 , 0",
    "Global Log Level= 0",
    "CheckData=True",
    "Encroach Param=-1 ,0,0, 0",
    "Computation Interval=1HOUR",
    "Output Interval=1HOUR",
    "Run HTab= 0",
    "Run UNet= 0",
    "Run PostProcess= 0",
    "UNET Theta= 1",
    "UNET ZTol= 0.02",
    "UNET ZSATol= 0.1",
    "UNET MxIter= 20",
    "UNET MaxInSteps= 20",
    "UNET DtIC= 0",
    "UNET DtMin= 0",
    "UNET MaxCRTS= 20",
    "UNET WFStab= 2",
    "UNET SFStab= 1",
    "UNET WFX= 1",
    "UNET SFX= 1",
    "UNET Convert EG Bridges=-1",
    "UNET Use Existing IB Tables=-1",
    "Instantaneous Interval=1HOUR",
    "DSS File=dss",
    "Write IC File= 0",
    "IC Time=",
    "Write Velocity= 0",
    "Write Detailed= 0",
};

void writeTemplate(const std::string& path, std::span<const std::string_view> lines) {
    CrLfTextFile file(path);
    for (std::string_view line : lines) file.writeLine(line);
    if (!file.close()) throw RasExportError(file.failure());
}

}  // namespace

std::string hecRasBasePath(std::string_view geometryPath) {
    const std::size_t nameStart = geometryPath.find_last_of("/\\") + 1;  // npos + 1 == 0
    const std::size_t extensionAt = geometryPath.rfind('.');
    if (extensionAt == std::string_view::npos || extensionAt <= nameStart) {
        throw RasExportError(fmt::format(
            "The geometry file name '{}' has no extension: the project, plan and flow files "
            "cannot be named after it",
            geometryPath));
    }
    return std::string(geometryPath.substr(0, extensionAt));
}

void CreateHECRASProjectFile(const std::string& path) { writeTemplate(path, kProjectLines); }

void CreateHECRASFlowFile(const std::string& path) { writeTemplate(path, kFlowLines); }

void CreateHECRASPlanFile(const std::string& path) { writeTemplate(path, kPlanLines); }

void writeHecRasProjectFiles(std::string_view geometryPath) {
    writeHecRasProjectFiles(geometryPath, [](const std::string& path) { return path; });
}

void writeHecRasProjectFiles(std::string_view geometryPath,
                             const std::function<std::string(const std::string&)>& placeOf) {
    const std::string base = hecRasBasePath(geometryPath);
    CreateHECRASProjectFile(placeOf(base + ".prj"));
    CreateHECRASFlowFile(placeOf(base + ".f01"));
    CreateHECRASPlanFile(placeOf(base + ".p01"));
}

}  // namespace ondu
