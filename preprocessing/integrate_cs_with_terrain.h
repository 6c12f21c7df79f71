#pragma once
// Integrate CrossSections with Terrain: ties surveyed 3D cross-sections into a terrain surface
// (a raster or a TIN). Every cross-section may be lengthened at both ends by profiles draped on
// the terrain; every one is divided into the same number of equal parts, and corresponding
// division points of successive sections (in measure order) are joined into lengthwise profile
// lines, whose outer two outline the covered area. On request a new terrain is built in which
// the channel shape of the sections replaces the terrain:
// - a TIN terrain gets an edited copy "MergedTIN" beside it, the profile lines added as hard
//   lines;
// - a raster terrain gets a TIN "NewTIN" of the profile lines (clipped to the outline) in the
//   folder of the cross-sections' dataset, its rasterization "rast" (cells of 30 map units,
//   32-bit float, over the extent of the cross-sections) beside the terrain raster, and "merged",
//   also beside it.
//
// "merged" lies on the terrain raster's grid (same origin, cell size, extent and no-data value,
// 32-bit float). Each of its cells takes the value of the "rast" cell that holds the cell's
// centre where that "rast" cell has data; everywhere else (outside the outline, off "rast") it
// keeps the terrain's value. So the section surface wins wherever it exists.
//
// A run either completes or changes nothing it was not asked to: every check is made before
// anything is written, a failure stops the run with a message naming the step and the
// cross-section, and "rast", "merged", "NewTIN", "MergedTIN" and the "_new" class are replaced
// only when they are outputs of this tool (a raster, a TIN, a class with a NewFeat field).

#include <string>
#include <vector>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// The straight continuation of `line` beyond its end (beyond its start when `atStart`), draped
/// on the surface: it starts at the line's end vertex (Z included) and reaches the point at
/// factor x length along the line, continued straight on along the end segment, so each
/// extension is (factor - 1) x length long (none for a factor of 1: two copies of the end
/// vertex). Between its ends its vertices lie at most `step` apart and carry the surface's
/// elevations. With `atStart` the result runs towards the line's start, ready to precede it.
/// Throws HostError when the extension leaves the surface, std::invalid_argument for a factor
/// below 1 or a step that is not positive.
Polyline GetExtendedLine(const Polyline& line, const ISurface& surface, bool atStart, double factor,
                         double step);

/// What one run of the tool works on.
struct IntegrateCSwithTerrainOptions {
    std::string crossSections = "CrossSections";
    std::string measureField = "Measure";
    std::string surface;  ///< a raster or TIN layer; needed only to extend or build a terrain
    bool extend = false;
    double factor = 2;
    bool measuresDescending = false;  ///< measures run from downstream to upstream
    long divisions = 25;
    bool newTerrain = false;
    bool createNew = true;  ///< false: the input features receive the new shapes
};

/// What a run left behind.
struct IntegrateCSwithTerrainResult {
    bool completed = false;  ///< false when it stopped with "Please open the database ..."
    long sections = 0;
    std::string sectionClass;            ///< the class that received the new shapes
    std::vector<std::string> terrains;   ///< paths of the TINs and rasters written
    std::vector<Polyline> profileLines;  ///< L(0..D), each through the sections in processing order
    Polygon outline;                     ///< L(0), then L(D) backwards; empty for one section
};

/// Processes the cross-sections of the processing set in measure order and writes the outputs
/// the options ask for (see above). Refuses (RunRefused) an empty processing set, fewer than one
/// division, a factor below 1 when extending, fewer than two sections when a terrain is asked
/// for, and outputs that exist but are not this tool's; any failure throws HostError naming the
/// step and the cross-section, and the run stops.
IntegrateCSwithTerrainResult run(const IntegrateCSwithTerrainOptions& options, IDocument& map,
                                 IProgressBar& progress);

class frmIntegrateCSwithTerrain : public Dialog {
public:
    frmIntegrateCSwithTerrain() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    IntegrateCSwithTerrainOptions options() const;

protected:
    void onOk() override;
};

class clsIntegrateCSwithTerrain : public ToolCommand<frmIntegrateCSwithTerrain> {
public:
    clsIntegrateCSwithTerrain() : ToolCommand(catalogued("clsIntegrateCSwithTerrain")) {}
};

}  // namespace ondu
