#include "morphology/thalweg_from_points.h"

#include <cmath>
#include <memory>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/file_helpers.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/topology.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/surface_helpers.h"
#include "framework/ui.h"

namespace ondu {

namespace {

const char* const kMessageTitle = "Create Thalweg";
const char* const kNormalsStep = "Locate Thalweg Create Normals";
const char* const kLineStep = "Locate Thalweg CreateLinefromPts";

/// Pi as the bend check has always converted with; bends are judged against that conversion.
constexpr double kPiAsTyped = 3.142;
/// How far each normal reaches to either side of the drawn line, and its sampling step.
constexpr double kNormalReach = 150;
constexpr double kSampleStep = 2;
/// Longest segment of a densified drawn line; also the length per segment a drawn line is
/// expected to have.
constexpr double kDensifyLength = 100;
constexpr double kDefaultWidth = 100;

/// The tool-wide continue flag: cleared when the warning is shown, set again by Ignore.
bool g_continue = true;

struct Segment {
    Point from;
    Point to;
};

/// The segments of every path in order, as one sequence.
std::vector<Segment> segmentsOf(const Polyline& line) {
    std::vector<Segment> segments;
    for (const Path& path : line.paths)
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            segments.push_back({path[i], path[i + 1]});
    return segments;
}

double directionDegrees(const Segment& s) {
    return std::atan2(s.to.y - s.from.y, s.to.x - s.from.x) * 180 / kPiAsTyped;
}

/// Runs one step of the run; any failure but a cancel is reported under the step's title.
template <class Step>
auto inStep(const char* title, Step step) {
    try {
        return step();
    } catch (const RunCancelled&) {
        throw;
    } catch (const std::exception& e) {
        const auto [number, description] = describe(e);
        throw HostError("The following error occurred: " + description + ".", number, title);
    }
}

/// The feature whose line is traced: the single selected one, else the first of the layer;
/// nullptr when the layer holds none.
FeaturePtr drawnFeature(IFeatureLayer* layer) {
    IFeatureClass& cls = maputil::featureClassOf(layer);
    const long count = cls.featureCount(nullptr);
    if (count == 0) return nullptr;
    if (count > 1)
        MsgBox(
            "The Thalweg layer has more than one feature. The program will work only with the "
            "first feature or the selected feature",
            MsgButtons::OK, kMessageTitle);
    const auto& selected = layer->selectionSet().ids();
    if (selected.size() == 1)
        if (FeaturePtr feature = cls.getFeature(selected.front())) return feature;
    return cls.search(nullptr)->nextFeature();
}

/// The line with a vertex inserted where it crosses the outline of the boundary layer's first
/// polygon, when it crosses it exactly twice; otherwise the line as it is.
Polyline splitAtBoundary(const Polyline& line, IFeatureLayer* boundary) {
    FeaturePtr first = maputil::featureClassOf(boundary).search(nullptr)->nextFeature();
    if (!first) return line;
    const Multipoint crossings =
        intersectPoints(line, maputil::CheckedShape(*first, boundary->name()));
    if (crossings.points.size() != 2) return line;
    Polyline split = line;
    for (const Point& crossing : crossings.points)
        split = insertVertexAtDistance(split, nearestLocation(line, crossing).distanceAlong);
    return split;
}

/// The bed surface: the chosen raster, or one interpolated from the points into the work folder.
std::shared_ptr<ISurface> bedSurface(const ThalwegFromPointsOptions& options, IDocument& map,
                                     IFeatureLayer* boundary) {
    if (options.source == BedSource::Raster) {
        IRasterLayer* layer = maputil::SelectRasterLayer(&map, options.raster);
        if (!layer)
            throw HostError("No raster layer '" + options.raster + "' in the map",
                            error_number::kObjectNotSet);
        return surfaceUtil::GetSurfaceFromLayer(layer);
    }
    IFeatureLayer* points = maputil::RequireLayer(&map, options.pointLayer, "point");
    auto interpolated = surfaceUtil::SubInterpolate(options.zField, options.cellSize, points,
                                                    boundary, workFolder());
    if (!interpolated)
        throw HostError("No bed surface could be interpolated from " + options.pointLayer,
                        error_number::kObjectNotSet);
    return surfaceUtil::GetSurfaceFromLayer(interpolated.get());
}

/// The deepest bed on the normal through the segment's midpoint, sampled from its left end to
/// its right end; nothing where the normal finds no bed or the segment has no direction.
std::optional<Point> deepestAcross(const Segment& s, const ISurface& bed) {
    const double dx = s.to.x - s.from.x, dy = s.to.y - s.from.y;
    const double len = std::hypot(dx, dy);
    if (len == 0) return std::nullopt;
    const double midX = (s.from.x + s.to.x) / 2, midY = (s.from.y + s.to.y) / 2;
    const double rightX = dy / len * kNormalReach, rightY = -dx / len * kNormalReach;
    const Polyline cross(
        Path{Point(midX - rightX, midY - rightY), Point(midX + rightX, midY + rightY)});
    return DeepestSample(bed.profile(cross, kSampleStep));
}

/// The deepest point on the normal of every segment but the last, each flashed as it is found.
Path deepestPoints(const Polyline& line, const ISurface& bed, IProgressBar& progress) {
    const std::vector<Segment> segments = segmentsOf(line);
    const std::size_t normals = segments.empty() ? 0 : segments.size() - 1;
    progress.show("Processing...", 0, static_cast<long>(normals), 1);
    Path points;
    for (std::size_t i = 0; i < normals; ++i) {
        if (auto deepest = deepestAcross(segments[i], bed)) {
            FlashGeometry(*deepest);
            points.push_back(*deepest);
        }
        stepOrStop(progress);
    }
    progress.hide();
    return points;
}

/// The channel width the user enters. Text that is not a number fails; a width below 1 is
/// replaced by 100 after saying so.
double askChannelWidth() {
    const auto answer =
        userInterface().inputBox("Please enter the channel width", kMessageTitle, "");
    const auto width = answer ? parseNumber(*answer) : std::nullopt;
    if (!width)
        throw HostError("Type mismatch (channel width '" + answer.value_or("") + "')",
                        error_number::kTypeMismatch);
    if (*width < 1) {
        MsgBox("You did not enter a valid number, the program will run with width = 100.",
               MsgButtons::OK, kMessageTitle);
        return kDefaultWidth;
    }
    return *width;
}

/// The deepest points joined and extended by `width` beyond either end along the end tangents,
/// the extensions at the Z of the nearest deepest point; Z-aware, measured from 0 to its length.
Polyline thalwegLine(const Path& deepest, double width) {
    if (deepest.size() < 2)
        throw HostError("A thalweg needs at least two deepest points; " +
                            std::to_string(deepest.size()) + " found on the bed surface",
                        error_number::kInvalidArgument);
    const Polyline joined(deepest, true);
    Point start = queryPoint(joined, -width, false, 0, CurveExtension::Tangent);
    Point end = queryPoint(joined, length(joined) + width, false, 0, CurveExtension::Tangent);
    Path path{Point(start.x, start.y, deepest.front().z)};
    for (const Point& p : deepest) path.push_back(Point(p.x, p.y, p.z));
    path.push_back(Point(end.x, end.y, deepest.back().z));
    Polyline line(std::move(path), true);
    maputil::SetLineMs(line, 0, length(line));
    return line;
}

}  // namespace

std::string SharpBendWarnings(const Polyline& line) {
    const std::vector<Segment> segments = segmentsOf(line);
    std::string text;
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        const double bend =
            90 - directionDegrees(segments[i]) + 90 + directionDegrees(segments[i + 1]);
        const double a = *parseNumber(fixed(bend, 2));
        if (a < 135 || a > 225)
            text += "\nThe angle between the segments " + std::to_string(i) + " and " +
                    std::to_string(i + 1) + " is " + plain(a) + ".\n";
    }
    return text;
}

bool NeedsDensify(std::size_t segments, double lineLength) {
    const double c = static_cast<double>(segments);
    const double m = surfaceUtil::roundHalfEven(lineLength / kDensifyLength);
    if (c == m) return false;
    if (c == 25) return true;
    return c > 25 ? c < m - 5 : c < m - 2;
}

std::optional<Point> DeepestSample(const Polyline& profile) {
    if (profile.vertexCount() < 2) return std::nullopt;
    const Point* lowest = nullptr;
    for (const Path& path : profile.paths)
        for (const Point& p : path)
            if (!lowest || p.z <= lowest->z) lowest = &p;
    return *lowest;
}

void FlashGeometry(const Geometry& geometry) {
    constexpr RgbColor kBlue{0, 0, 255};
    constexpr RgbColor kGreen{0, 128, 0};
    const ShapeType type = shapeTypeOf(geometry);
    if (type == ShapeType::Null) return;
    userInterface().flashGeometry(geometry, type == ShapeType::Polygon ? kGreen : kBlue, 1);
}

ThalwegOutcome run(const ThalwegFromPointsOptions& options, IDocument& map,
                   IProgressBar& progress) {
    IFeatureLayer* thalweg = maputil::RequireLayer(&map, options.thalweg, "thalweg");
    IFeatureLayer* boundary = maputil::RequireLayer(&map, options.boundary, "boundary");
    FeaturePtr drawn = drawnFeature(thalweg);
    if (!drawn) {
        MsgBox("Please draw an arbitrary line first!", MsgButtons::OK, kMessageTitle);
        return ThalwegOutcome::NoLine;
    }
    const Geometry before = maputil::CheckedPolyline(*drawn, thalweg->name());
    const Polyline& line = std::get<Polyline>(before);
    if (const std::string warnings = SharpBendWarnings(line);
        !warnings.empty() && !frmWarning::goesOn(warnings))
        return ThalwegOutcome::Withdrawn;
    const std::shared_ptr<ISurface> bed = bedSurface(options, map, boundary);
    const bool densifies = NeedsDensify(segmentsOf(line).size(), length(line));
    const Polyline split = splitAtBoundary(line, boundary);
    const Path deepest = inStep(kNormalsStep, [&] {
        return deepestPoints(densifies ? densify(split, kDensifyLength) : split, *bed, progress);
    });
    const Polyline located =
        inStep(kLineStep, [&] { return thalwegLine(deepest, askChannelWidth()); });
    FlashGeometry(before);
    drawn->setShape(located);
    drawn->store();
    FlashGeometry(located);
    return ThalwegOutcome::Located;
}

// ---- dialogs ---------------------------------------------------------------------------------

const DialogDecl& frmThalweg::declaration() {
    static const DialogDecl decl{
        "frmThalweg",
        "Locate Thalweg",
        {
            {.name = "cmbRaster",
             .kind = ControlKind::List,
             .label = "Select Raster Layer",
             .help = "raster of the river bathymetry (raster mode: the opening question answered "
                     "yes, --answer yes)",
             .required = {"Please select a raster layer", "Locate thalweg"}},
            {.name = "cboPointLayer",
             .kind = ControlKind::List,
             .label = "Select Point layer",
             .help = "surveyed bed points (point mode: the opening question answered no, "
                     "--answer no, or a map without rasters)",
             .source = layersFor(channel::kInputPoints),
             .required = {"Please select the point layer!", kMessageTitle}},
            {.name = "cboField",
             .kind = ControlKind::List,
             .label = "Select Field",
             .help = "bed elevation (z) of the points, interpolated in cells of 2",
             .source = fieldsOf("cboPointLayer", FieldFilter::Numeric),
             .required = {"Please select the field that contains 'z' values!", kMessageTitle}},
            {.name = "cboPolygonLayer",
             .kind = ControlKind::List,
             .label = "Select Boundary",
             .defaultValue = "ChannelBoundary",
             .help = "channel boundary: the area interpolated, and its first polygon's outline "
                     "adds a vertex where the line crosses it twice",
             .source = layersFor(channel::kChannelBoundary),
             .required = {"Please select the boundary for the channel!", kMessageTitle}},
            {.name = "cboPolylineLayer",
             .kind = ControlKind::List,
             .label = "Select Thalweg Layer",
             .defaultValue = "Thalweg",
             .help = "3D line layer holding the drawn line (the selected one, else the first), "
                     "which becomes the thalweg; the channel width is asked next (--answer WIDTH)",
             .source = layersFor(channel::kThalweg),
             .required = {"Please select centerline layer!", kMessageTitle}},
            okButton("locate the thalweg; sharp bends open frmWarning"),
            cancelButton("close without changes"),
        }};
    return decl;
}

ThalwegFromPointsOptions frmThalweg::options() const {
    return {.source = control("cboPointLayer").enabled ? BedSource::Points : BedSource::Raster,
            .raster = text("cmbRaster"),
            .pointLayer = text("cboPointLayer"),
            .zField = text("cboField"),
            .boundary = text("cboPolygonLayer"),
            .thalweg = text("cboPolylineLayer")};
}

void frmThalweg::onLoad() {
    trapped(ErrorStyle::Routine, "loading the form",
            [this] { maputil::FillRasterComboBox(&currentDocument(), control("cmbRaster")); });
    // Without a raster in the map the bed can only come from points.
    const bool rasterMode =
        !control("cmbRaster").items.empty() &&
        MsgBox(
            "The map document already has a raster grid(s). If one of these grids represent "
            "river bathymetry, please click YES  to continue without adding any other data or "
            "click NO to add other data.",
            MsgButtons::YesNo, "Locate Thalweg") == MsgAnswer::Yes;
    for (const char* name : rasterMode ? std::vector<const char*>{"cboPointLayer", "cboField"}
                                       : std::vector<const char*>{"cmbRaster"})
        control(name).enabled = false;
}

void frmThalweg::onOk() {
    IDocument* map = nullptr;
    ThalwegOutcome outcome = ThalwegOutcome::Located;
    if (!trapped(ErrorStyle::Plain, caption(), [&] {
            map = &currentDocument();
            outcome = run(options(), *map, userInterface().statusProgress());
        }))
        return;
    if (outcome == ThalwegOutcome::Located) {
        MsgBox("Thalweg is located successfully!", MsgButtons::OK, "Locate thalweg");
        map->focusMap().refresh();
    }
    g_pMxDoc = nullptr;
    unload();
}

const DialogDecl& frmWarning::declaration() {
    static const DialogDecl decl{
        "frmWarning",
        "Warning",
        {
            {.name = "lblWarning",
             .kind = ControlKind::Label,
             .label = " If the angle between any two adjacent segments  of a polyline is too "
                      "sharp, It may create an improper centerline. It is recommended to keep "
                      "your input line  as smooth as possible. Following segments looks "
                      "problematic."},
            {.name = "txtWarning",
             .kind = ControlKind::TextBox,
             .help = "the sharp bends found (filled by the tool)"},
            {.name = "lblClick",
             .kind = ControlKind::Label,
             .label = "Click OK to correct the input centerline or click ignore to continue"},
            okButton("stop without changes to correct the drawn line (pressed on the command "
                     "line unless frmWarning.cmdIgnore is set)"),
            {.name = "cmdIgnore",
             .kind = ControlKind::Button,
             .label = "Ignore",
             .help = "go on with the line as drawn: --set frmWarning.cmdIgnore=1"},
        }};
    return decl;
}

bool frmWarning::goesOn(const std::string& warningText) {
    g_continue = false;
    frmWarning& form = Forms::get<frmWarning>();
    form.load();
    form.text("txtWarning") = warningText;
    form.show(true);
    // A modal dialog has closed when show returns; one a host left open is closed here.
    form.unload();
    return g_continue;
}

void frmWarning::onOk() {
    g_continue = false;
    unload();
}

void frmWarning::onClick(Control& control) {
    if (control.name() != "cmdIgnore") return;
    g_continue = true;
    unload();
}

}  // namespace ondu
