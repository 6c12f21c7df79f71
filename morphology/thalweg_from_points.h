#pragma once
// Locate Thalweg From Points: traces the thalweg of a channel on a bed surface (a bathymetry
// raster of the map, or one interpolated from surveyed bed points inside the channel boundary)
// along a line the user has drawn: normals cast across the channel from every segment of the
// line find the deepest bed, and the line through those points, extended at both ends by the
// channel width, becomes the drawn feature's new shape.

#include <optional>
#include <string>
#include <vector>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// Where the bed surface comes from, fixed when the dialog opens.
enum class BedSource { Raster, Points };

/// What one run of the tool works on.
struct ThalwegFromPointsOptions {
    BedSource source = BedSource::Raster;
    std::string raster;      ///< raster layer (raster mode)
    std::string pointLayer;  ///< surveyed bed points (point mode)
    std::string zField;      ///< their bed elevation field (point mode)
    double cellSize = 2.0;   ///< cell size of the raster interpolated from the points
    std::string boundary = "ChannelBoundary";
    std::string thalweg = "Thalweg";  ///< line layer holding the drawn line
};

/// How a run ended without failing.
enum class ThalwegOutcome {
    Located,    ///< the drawn feature holds the thalweg
    NoLine,     ///< the thalweg layer holds no line ("Please draw an arbitrary line first!")
    Withdrawn,  ///< sharp bends were shown and the user chose to correct the line
};

/// The sharp-bend check of a drawn line: the bend angle between every two consecutive segments
/// (180 for a straight run, directions converted from radians with 3.142 for pi and the angle
/// rounded to two decimals) outside 135 to 225 is flagged. Answers the warning text, empty when
/// no bend is flagged.
std::string SharpBendWarnings(const Polyline& line);

/// Whether a drawn line of `segments` segments and length `lineLength` is densified to segments
/// of at most 100 before the normals are cast.
bool NeedsDensify(std::size_t segments, double lineLength);

/// The lowest vertex of a profile sampled along a cross line; of equally low ones, the farthest
/// along. Nothing for a profile of fewer than two vertices.
std::optional<Point> DeepestSample(const Polyline& profile);

/// `FlashGeometry`: the geometry flashed once on the map display, points and lines in blue,
/// polygons in green.
void FlashGeometry(const Geometry& geometry);

/// Locates the thalweg along the drawn feature of the thalweg layer (the single selected one,
/// else the first) and stores it, Z- and M-aware, as the feature's new shape. Asks through the
/// host: the sharp-bend warning (frmWarning) and the channel width (an input box). A line
/// crossing the first boundary polygon's outline exactly twice gets a vertex at each crossing
/// first. The feature is stored once, at the end: a failed run leaves it as it was. A failure
/// while casting the normals or building the line throws HostError titled (context) "Locate
/// Thalweg Create Normals" or "Locate Thalweg CreateLinefromPts" whose text reads "The
/// following error occurred: <description>."; a missing layer, raster or bed surface throws
/// HostError naming it.
ThalwegOutcome run(const ThalwegFromPointsOptions& options, IDocument& map, IProgressBar& progress);

class frmThalweg : public Dialog {
public:
    frmThalweg() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ThalwegFromPointsOptions options() const;

protected:
    /// Fills the raster list and, when it lists any, asks which mode to work in.
    void onLoad() override;
    void onOk() override;
};

/// The warning about sharp bends of the drawn line: OK ends the run to correct the line, Ignore
/// goes on with it.
class frmWarning : public Dialog {
public:
    frmWarning() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    /// Shows the warning text modally; true when the user chose to go on (Ignore).
    static bool goesOn(const std::string& warningText);

protected:
    void onOk() override;
    void onClick(Control& control) override;
};

class clsThalweg : public ToolCommand<frmThalweg> {
public:
    clsThalweg() : ToolCommand(catalogued("clsThalweg")) {}
    std::vector<DialogEntry> dialogs() const override {
        return {dialogEntry<frmThalweg>(), dialogEntry<frmWarning>()};
    }
};

}  // namespace ondu
