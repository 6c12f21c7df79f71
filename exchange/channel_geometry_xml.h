#pragma once
// Cross-Sections to XML: writes the channel network of the map (reach lines, the junctions
// between them, the cross-sections crossing each reach with their 3D points) as one
// ChannelGeometry document, the input of the HEC-RAS geometry writer.

#include <string>
#include <vector>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// The points where two or more ends of the centerline layer's lines (all of them, selection or
/// not) have exactly equal X and Y, each once, in the order of their first end: the start of the
/// first line, its end, the start of the second, ... Found by hashing, in linear time.
Multipoint CreateJunctions(IFeatureLayer* centerline);

/// What one run of the tool works on: layers and fields by name, and the file to write.
struct ChannelGeometryXmlOptions {
    std::string crossSections = "CrossSections";
    std::string centerline = "Reach";
    std::string reachIdField = "ReachName";
    std::string riverField = "RiverName";
    std::string reachCodeField = "ReachName";
    std::string stationField = "StationNo";
    std::string crossSectionReachIdField = "ReachName";
    std::string spacingField = "DistanceDS";
    std::string output;
};

/// Writes the document: the extent of the centerline layer, its junctions, then for every reach
/// of the processing set (in cursor order) its points and the cross-sections of the whole layer
/// that meet it, by ascending station (equal stations in identifier order). Numbers are written
/// in their shortest text of at most 15 significant digits, field values as their text; UTF-8,
/// no indentation. The document goes to a temporary file beside the output, renamed into place
/// once complete: a failed run leaves no file and no changed file. Refuses (RunRefused) an empty
/// processing set; a cross-section without a station stops the run with a HostError naming it.
void run(const ChannelGeometryXmlOptions& options, IDocument& map, IProgressBar& progress);

class frmRUDAvuZIR : public Dialog {
public:
    frmRUDAvuZIR() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ChannelGeometryXmlOptions options() const;

protected:
    void onLoad() override;
    void onClick(Control& control) override;
    void onOk() override;
};

class clsRUDAvuZIR : public ToolCommand<frmRUDAvuZIR> {
public:
    clsRUDAvuZIR() : ToolCommand(catalogued("clsRUDAvuZIR")) {}
};

}  // namespace ondu
