#include "preprocessing/station_numbers.h"

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/topology.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BoxPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using Box = bg::model::box<BoxPoint>;

/// One reach as read: its line and identifier value.
struct ReachLine {
    Polyline line;
    FieldValue id;
};

/// A segment of a reach: which reach, and where in its line it starts.
struct SegmentRef {
    std::size_t reach;
    std::size_t path;
    std::size_t vertex;
};

Box boxOf(const Point& a, const Point& b) {
    return {{std::min(a.x, b.x), std::min(a.y, b.y)}, {std::max(a.x, b.x), std::max(a.y, b.y)}};
}

Box boxOf(const Polyline& line) {
    Box box = bg::make_inverse<Box>();
    for (const Path& path : line.paths)
        for (const Point& p : path) bg::expand(box, BoxPoint(p.x, p.y));
    return box;
}

Polyline lineOf(const IFeature& feature, const std::string& layerName) {
    Geometry shape = maputil::CheckedShape(feature, layerName);
    if (auto* line = std::get_if<Polyline>(&shape)) return std::move(*line);
    throw HostError("Type mismatch: feature " + std::to_string(feature.OID()) + " of " + layerName +
                        " is not a line",
                    error_number::kTypeMismatch);
}

/// The reaches of the whole layer (any selection ignored), in identifier order, with an R-tree
/// over the boxes of their segments.
class ReachIndex {
public:
    ReachIndex(IFeatureLayer* layer, int idField) {
        std::vector<std::pair<Box, std::size_t>> boxes;
        auto cursor = maputil::featureClassOf(layer).search(nullptr);
        while (auto feature = cursor->nextFeature()) {
            ReachLine reach{lineOf(*feature, layer->name()), feature->value(idField)};
            for (std::size_t p = 0; p < reach.line.paths.size(); ++p) {
                const Path& path = reach.line.paths[p];
                for (std::size_t v = 0; v + 1 < path.size(); ++v) {
                    boxes.emplace_back(boxOf(path[v], path[v + 1]), segments_.size());
                    segments_.push_back({reaches_.size(), p, v});
                }
            }
            reaches_.push_back(std::move(reach));
        }
        tree_ = Tree(boxes.begin(), boxes.end());  // packed: built in n log n
    }

    /// The first reach (in identifier order) that the line meets, with the measure at the first
    /// meeting point along the line; nothing when it meets none.
    std::optional<std::pair<const ReachLine*, double>> crossing(const Polyline& section) const {
        // Segment numbers grow along each reach, so sorted they keep its order.
        std::map<std::size_t, std::vector<std::size_t>> near;  // by reach: first found first
        for (auto it = tree_.qbegin(bgi::intersects(boxOf(section))); it != tree_.qend(); ++it)
            near[segments_[it->second].reach].push_back(it->second);
        // A piece holds every segment of its reach near the section, so the section meets the
        // piece where it meets the reach, and the measure there is the reach's.
        for (auto& [reach, ids] : near) {
            std::sort(ids.begin(), ids.end());
            const Polyline piece = pieceOf(reaches_[reach].line, ids);
            const Multipoint meeting = intersectPoints(section, piece);
            if (meeting.points.empty()) continue;
            return std::pair{&reaches_[reach],
                             vectorUtil::GetMAtPoint(meeting.points.front(), piece)};
        }
        return std::nullopt;
    }

private:
    Polyline pieceOf(const Polyline& line, const std::vector<std::size_t>& ids) const {
        Polyline piece;
        piece.zAware = line.zAware;
        piece.mAware = line.mAware;
        for (std::size_t id : ids) {
            const Path& path = line.paths[segments_[id].path];
            piece.paths.push_back({path[segments_[id].vertex], path[segments_[id].vertex + 1]});
        }
        return piece;
    }

    using Tree = bgi::rtree<std::pair<Box, std::size_t>, bgi::rstar<16>>;
    std::vector<ReachLine> reaches_;
    std::vector<SegmentRef> segments_;
    Tree tree_;
};

void addFieldWhenMissing(IFeatureLayer* layer, const std::string& name, FieldType type) {
    if (maputil::featureClassOf(layer).findField(name) < 0) maputil::AddField(layer, name, type);
}

}  // namespace

void run(const StationNumbersOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* sections = maputil::RequireLayer(&map, options.crossSections, "cross-section");
    IFeatureLayer* reaches = maputil::RequireLayer(&map, options.reach, "reach");
    maputil::RefuseSameLayer(sections, "cross-section", reaches, "reach");
    const long count = maputil::RequireFeaturesToProcess(sections);
    IFeatureClass& reachClass = maputil::featureClassOf(reaches);
    const int reachId = maputil::RequireField(reachClass, options.reachField);

    addFieldWhenMissing(sections, options.reachField, reachClass.field(reachId).type);
    addFieldWhenMissing(sections, std::string(channel::kStationNo.name), channel::kStationNo.type);
    IFeatureClass& sectionClass = maputil::featureClassOf(sections);
    const int idOut = maputil::RequireField(sectionClass, options.reachField);
    const int stationOut =
        maputil::RequireField(sectionClass, std::string(channel::kStationNo.name));

    const ReachIndex index(reaches, reachId);
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(sections);
    while (auto section = cursor->nextFeature()) {
        const auto found = index.crossing(lineOf(*section, sections->name()));
        if (!found)
            throw HostError("Cross-section " + std::to_string(section->OID()) + " of " +
                                sections->name() + " crosses no reach of " + reaches->name(),
                            error_number::kObjectNotSet);
        section->setValue(stationOut, found->second);
        section->setValue(idOut, found->first->id);
        section->store();
        progress.stepIt();
        if (progress.cancelled()) throw RunCancelled();
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmAssignStnNotoCS::declaration() {
    static const DialogDecl decl{"frmAssignStnNotoCS",
                                 "Assign Station Numbers to CrossSections",
                                 {
                                     {.name = "cmbCrossSection",
                                      .kind = ControlKind::List,
                                      .label = "Cross-section Layer",
                                      .frame = "Cross-sections",
                                      .defaultValue = "CrossSections",
                                      .help = "3D line layer of cross-sections",
                                      .source = layersFor(channel::kCrossSections),
                                      .required = {"No layer selected for cross-sections"}},
                                     {.name = "cmbReach",
                                      .kind = ControlKind::List,
                                      .label = "Reach Layer",
                                      .frame = "Reaches",
                                      .defaultValue = "Reach",
                                      .help = "measured line layer of reaches",
                                      .source = layersFor(channel::kReach),
                                      .required = {"No layer selected for reach"}},
                                     {.name = "cmbField",
                                      .kind = ControlKind::List,
                                      .label = "Reach Identifier",
                                      .frame = "Reaches",
                                      .defaultValue = "ReachName",
                                      .help = "reach field copied to the cross-sections",
                                      .source = fieldsOf("cmbReach"),
                                      .reproposed = std::string(channel::kHydroCode),
                                      .required = {"No field selected for reach identifier"}},
                                     {.name = "cmdOK",
                                      .kind = ControlKind::Button,
                                      .label = "OK",
                                      .help = "assign the stations",
                                      .role = ButtonRole::Ok},
                                     {.name = "cmdCancel",
                                      .kind = ControlKind::Button,
                                      .label = "Cancel",
                                      .help = "close without assigning",
                                      .role = ButtonRole::Cancel},
                                 }};
    return decl;
}

StationNumbersOptions frmAssignStnNotoCS::options() const {
    return {.crossSections = text("cmbCrossSection"),
            .reach = text("cmbReach"),
            .reachField = text("cmbField")};
}

void frmAssignStnNotoCS::onOk() {
    const bool done = trapped(ErrorStyle::Routine, "assiging station numbers (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Station numbers assigned successfully!", MsgButtons::OK, "Assign station numbers");
    });
    if (done) unload();
}

}  // namespace ondu
