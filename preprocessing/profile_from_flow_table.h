#pragma once
// ProfileLines Using FTable: longitudinal lines along the channel drawn from computed water
// levels. For every profile of a flow table (one row per cross-section and profile, as HEC-RAS
// reports them) one line joins the points where that water surface meets the left side of each
// cross-section and one the points on its right side; one more line runs through the lowest
// point of every cross-section, and one each through their start and end points.

#include <optional>
#include <string>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// Which side of a cross-section a water level is met on: the left side descends into the
/// channel, the right side climbs out of it.
enum class BankSide { Left, Right };

/// Where the line, walked segment by segment from its start, first meets the level `h`: a
/// vertex at exactly that level (on either side), else on a segment that descends through it
/// (left) or climbs through it (right), both within 0.001 of elevation. The point lies at the
/// fraction (a - h) / (a - b) of the segment's length, kept within the segment; Z is
/// interpolated. Nothing when the line never meets the level on that side.
std::optional<Point> QueryPt(const Polyline& line, double h, BankSide side);

/// What one run of the tool works on: layers, table and fields by name.
struct ProfileFromFlowTableOptions {
    std::string crossSections;
    std::string stationField;
    std::string table;
    std::string crossSectionIdField;
    std::string profileIdField;
    std::string wseField;
    std::string profileLines;
};

/// Adds 2P + 3 smoothed 3D lines to the profile-lines layer, P being the number of distinct
/// profile identifiers of the table: the start points of the cross-sections, the left water
/// edges from the highest to the lowest profile, the lowest points, the right water edges from
/// the lowest to the highest profile, the end points. Each line has one vertex per distinct
/// cross-section identifier of the table, in ascending order; the cross-section of identifier
/// id is the first of the layer (any selection ignored) whose station s has id - 0.5 < s <
/// id + 0.5, its levels the first P rows of that identifier in table order. Everything is
/// worked out before the first line is stored: a table naming fewer than two cross-sections, an
/// identifier without a cross-section or with fewer than P rows, and a level that the section
/// does not meet on its side are refused (RunRefused) naming the identifier, with nothing
/// written. A missing table is refused with "No Table found in the map", an output layer that
/// is the cross-section layer likewise.
void run(const ProfileFromFlowTableOptions& options, IDocument& map, IProgressBar& progress);

class frmProfileFromFTable : public Dialog {
public:
    frmProfileFromFTable() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ProfileFromFlowTableOptions options() const;

protected:
    void onOk() override;
};

class clsProfileFromFTable : public ToolCommand<frmProfileFromFTable> {
public:
    clsProfileFromFTable() : ToolCommand(catalogued("clsProfileFromFTable")) {}
};

}  // namespace ondu
