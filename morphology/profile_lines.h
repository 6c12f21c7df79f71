#pragma once
// Create Profile Lines: longitudinal profile lines through matching points of 3D cross-sections.
// Every cross-section gives the same number of points across the channel (its ends, its lowest
// point and pairs of points at levels on either side); profile line k runs through point k of
// every cross-section, in the order of the cross-sections' measures. The levels divide either the
// depth (depth based) or the section's area (flow based) into equal parts.

#include <string>
#include <vector>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"

namespace ondu {

/// The host's number for a measure asked of a line that carries none.
inline constexpr long kNotMAware = -2135939504;

/// The point where the line reaches elevation `z`, searched segment by segment from its start:
/// a vertex at exactly `z` is returned itself whichever way its segment runs; otherwise the first
/// segment that runs down through `z` (up through it when `up`), within 0.001, holds the point,
/// interpolated along it. A segment accepted by the tolerance without straddling `z` gives its
/// nearer end (its start when it is level). When no segment qualifies: the start point going
/// down, the end point going up. Z-aware.
Point QueryPt(const Polyline& line, double z, bool up);

/// The highest elevation the whole section holds water to: the lower of its end elevations.
double GetHighestPt(const Polyline& line);

/// The section drawn in plan with its depths exaggerated tenfold: each vertex placed at the
/// fraction (planar distance from the start point) / (section length) along the section and moved
/// across it by 10 x (its elevation - the start's), the ring closed back to the start. Deeper
/// points lie to the left of the section's direction, higher ones to the right.
Polygon BuildSectionPolygon(const Polyline& section);

/// Twice the signed area of a closed ring's part at or below the line y = level (positive for a
/// counter-clockwise ring), prepared once for the many levels a flow-based search asks about.
/// Between two consecutive vertex levels the ring's width along y = level is linear in the
/// level, so the area is quadratic there: one sweep over the vertex levels sorts out the pieces,
/// and each level is then answered by a binary search over them.
class AreaBelowLevel {
public:
    /// `ring` is closed (its last vertex repeats its first); only X and Y are read.
    explicit AreaBelowLevel(Path ring);

    const Path& ring() const { return ring_; }

    /// The area from the pieces: 0 at or below the lowest vertex, all of it at or above the top.
    double operator()(double level) const;

    /// The same area as the shoelace sum of the ring clipped to y <= level: one pass over the ring.
    double clipped(double level) const;

    /// A bound on how far operator() and clipped() may lie apart at `level` through rounding.
    double tolerance(double level) const;

    /// Whether more than `fraction` of the ring's area lies at or below `level`, judged by
    /// clipped(level) / clipped(top) exactly as that division compares; the pieces answer
    /// whenever rounding cannot tip the comparison, so clipped() is needed only on a knife edge.
    bool holdsMoreThan(double level, double fraction) const;

private:
    /// Where the level lies in [level, next piece's level): area(level + t) = area + t (2 width
    /// + slope t), width being the ring's signed width at `level` and slope its growth per unit.
    struct Piece {
        double level, area, width, slope;
    };
    Path ring_;
    std::vector<Piece> pieces_;
    double xMax_ = 0, yMax_ = 0;  ///< the largest |X| and |Y| of the ring
};

/// The measure of the line at the location nearest the point (the first one met along the line
/// where two vertices share that distance). Throws HostError "Not M Aware" (kNotMAware, context
/// "GetMsAtPoint") for a line without measures.
double GetMsAtPoint(const Polyline& line, const Point& point);

/// Orders the points by measure as an exchange sort would: each point swaps with any later one
/// whose measure is at most its own, so points of equal measure end in reverse order.
void SortPointCollection(Path& points);

/// The 2n+1 points of a cross-section for depth-based profile lines (slots 0..2n): the start,
/// the crossings of n-1 equal depth steps going down, the lowest point, the same levels going up,
/// the end. Throws HostError "Subscript out of range" (9) for n < 1, "Out of memory" (7) for n
/// above a million.
Path depthSlots(const Polyline& section, long long n);

/// The area fractions 1/N, 2/N, ... (N-1)/N, added up step by step. Throws HostError as
/// depthSlots does for N < 1 and N above a million.
std::vector<double> flowFractions(long long n);

/// The 2N+1 points of a cross-section for flow-based profile lines, ordered across the section:
/// its ends, its lowest point and, for each fraction, the two points where the section polygon
/// (BuildSectionPolygon) is cut by the lowest level, searched from 0.2 above the lowest point in
/// steps of 0.005 and carried on from one fraction to the next, whose part below holds more than
/// that fraction of the area. Throws HostError (91) when the section gives no level to search
/// (its start point is its lowest point) or a level that does not cross it twice.
Path flowSlots(const Polyline& section, const std::vector<double>& fractions);

/// What one run of the tool works on: layers and field by name, the method and its number.
struct ProfileLinesOptions {
    enum class Method { Depth, Flow };
    std::string crossSections = "CrossSections";
    std::string measureField = "Measure";
    std::string profileLines = "ProfileLines";
    Method method = Method::Depth;
    long long number = 10;  ///< n equal depth steps, or N flow regions
};

/// Reads the cross-sections of the processing set in measure order (each measure stands for the
/// first feature of the whole layer holding it), adds `ProfileID` (Long) to the profile-line
/// class when it lacks it and stores 2n+1 smoothed Z-aware profile lines; depth-based ones carry
/// their slot number in `ProfileID`. The flow-based method first tells the number of
/// cross-sections ("Number of cross-sections"). Refuses (RunRefused, nothing written) an empty
/// processing set. Any failure of a method throws HostError whose context names the method
/// ("dubCreateProfilesByDepth", "subCreateProfilesByFlow").
void run(const ProfileLinesOptions& options, IDocument& map, IProgressBar& progress);

class frmProfileLines : public Dialog {
public:
    frmProfileLines() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    ProfileLinesOptions options() const;

protected:
    void onOk() override;
};

class clsProfileLines : public ToolCommand<frmProfileLines> {
public:
    clsProfileLines() : ToolCommand(catalogued("clsProfileLines")) {}
};

}  // namespace ondu
