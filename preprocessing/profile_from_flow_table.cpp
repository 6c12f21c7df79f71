#include "preprocessing/profile_from_flow_table.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/smoothing.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"

namespace ondu {

namespace {

constexpr double kStationTolerance = 0.5;

// ---- the flow table ---------------------------------------------------------------------------

/// The rows of the table by cross-section identifier (ascending), each with its water levels in
/// table order, as many as there are profiles at most.
struct FlowTable {
    std::size_t profiles = 0;
    std::map<double, std::vector<double>> levels;
};

FlowTable readFlowTable(ITable& table, const ProfileFromFlowTableOptions& options) {
    const int idField = maputil::RequireField(table, options.crossSectionIdField);
    const int wseField = maputil::RequireField(table, options.wseField);
    std::vector<FieldValue> profiles;
    maputil::GetUniqueValues(&table, options.profileIdField, profiles);
    FlowTable flow;
    flow.profiles = profiles.size();
    auto cursor = table.search(nullptr);
    while (auto row = cursor->nextFeature()) {
        if (isNull(row->value(idField))) continue;
        std::vector<double>& levels = flow.levels[maputil::RequireNumber(*row, idField, table)];
        if (levels.size() < flow.profiles)
            levels.push_back(maputil::RequireNumber(*row, wseField, table));
    }
    return flow;
}

// ---- the cross-sections -----------------------------------------------------------------------

/// The stations of the cross-section layer (every feature, any selection ignored) sorted, each
/// with the identifier of its feature.
struct StationIndex {
    std::vector<std::pair<double, long long>> stations;

    /// The feature with the smallest identifier whose station lies strictly within half a unit
    /// of `id`; nothing when none does.
    std::optional<long long> nearest(double id) const {
        auto first = std::upper_bound(stations.begin(), stations.end(),
                                      std::pair{id - kStationTolerance, kMaxId});
        auto last =
            std::lower_bound(first, stations.end(), std::pair{id + kStationTolerance, kMinId});
        if (first == last) return std::nullopt;
        return std::min_element(first, last,
                                [](const auto& a, const auto& b) { return a.second < b.second; })
            ->second;
    }

    static constexpr long long kMaxId = std::numeric_limits<long long>::max();
    static constexpr long long kMinId = std::numeric_limits<long long>::min();
};

StationIndex readStations(IFeatureClass& sections, int stationField) {
    StationIndex index;
    auto cursor = sections.search(nullptr);
    while (auto feature = cursor->nextFeature())
        if (!isNull(feature->value(stationField)))
            index.stations.emplace_back(maputil::RequireNumber(*feature, stationField, sections),
                                        feature->OID());
    std::sort(index.stations.begin(), index.stations.end());
    return index;
}

// ---- the profile lines -------------------------------------------------------------------------

/// The vertex of every profile line at one cross-section: start point, left edges from the
/// highest level down, lowest point, right edges from the lowest level up, end point.
std::vector<Point> verticesAcross(const Polyline& line, std::vector<double> levels,
                                  const std::string& id) {
    std::sort(levels.begin(), levels.end(), std::greater<>());
    const auto meet = [&](double h, BankSide side) {
        if (auto p = QueryPt(line, h, side)) return *p;
        throw RunRefused("The water level " + plain(h) + " does not meet the " +
                         (side == BankSide::Left ? "left" : "right") + " side of cross-section " +
                         id);
    };
    std::vector<Point> vertices{fromPoint(line)};
    for (double h : levels) vertices.push_back(meet(h, BankSide::Left));
    vertices.push_back(meet(GetLowestPt(line), BankSide::Left));
    for (auto h = levels.rbegin(); h != levels.rend(); ++h)
        vertices.push_back(meet(*h, BankSide::Right));
    vertices.push_back(toPoint(line));
    return vertices;
}

}  // namespace

std::optional<Point> QueryPt(const Polyline& line, double h, BankSide side) {
    return meetLevel(line, h, side == BankSide::Right);
}

void run(const ProfileFromFlowTableOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* sections = maputil::RequireLayer(&map, options.crossSections, "cross-section");
    IFeatureLayer* profiles = maputil::RequireLayer(&map, options.profileLines, "profile-lines");
    maputil::RefuseSameLayer(profiles, "profile-lines", sections, "cross-section");
    ITable& table = maputil::RequireTable(&map, options.table);
    IFeatureClass& sectionClass = maputil::featureClassOf(sections);
    const int stationField = maputil::RequireField(sectionClass, options.stationField);

    const FlowTable flow = readFlowTable(table, options);
    if (flow.levels.size() < 2)
        throw RunRefused("The flow table " + table.name() +
                         " names fewer than two cross-sections: no line can join them");
    const StationIndex stations = readStations(sectionClass, stationField);

    // Every vertex is found before anything is stored, so that a refusal writes nothing.
    const std::size_t lineCount = 2 * flow.profiles + 3;
    std::vector<Path> lines(lineCount);
    progress.show("Processing...", 0, static_cast<long>(flow.levels.size()), 1);
    for (const auto& [id, levels] : flow.levels) {
        const std::string idText = plain(id);
        const auto oid = stations.nearest(id);
        if (!oid)
            throw RunRefused("No cross-section of " + sections->name() + " lies within " +
                             plain(kStationTolerance) + " of the identifier " + idText);
        if (levels.size() < flow.profiles)
            throw RunRefused("The cross-section " + idText + " has fewer rows in " + table.name() +
                             " than there are profiles (" + std::to_string(flow.profiles) + ")");
        const FeaturePtr section = sectionClass.getFeature(*oid);
        const Polyline line = maputil::CheckedPolyline(*section, sections->name());
        const std::vector<Point> vertices = verticesAcross(line, levels, idText);
        for (std::size_t k = 0; k < lineCount; ++k) lines[k].push_back(vertices[k]);
        stepOrStop(progress);
    }
    IFeatureClass& profileClass = maputil::featureClassOf(profiles);
    for (Path& vertices : lines) {
        FeaturePtr feature = profileClass.createFeature();
        feature->setShape(smooth(Polyline(std::move(vertices), true), 0));
        feature->store();
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

namespace {

ControlDecl list(const char* name, const char* label, const char* frame, ListSource source,
                 const char* help, Warning required = {}) {
    return {.name = name,
            .kind = ControlKind::List,
            .label = label,
            .frame = frame,
            .help = help,
            .source = std::move(source),
            .required = std::move(required)};
}

}  // namespace

const DialogDecl& frmProfileFromFTable::declaration() {
    static const DialogDecl decl{
        "frmProfileFromFTable",
        "Create ProfileLines using FTable",
        {
            list("cmbCrossSection", "Cross-section Layer", "Input",
                 layersFor(channel::kCrossSections), "3D line layer of cross-sections",
                 {"No layer selected for cross-sections"}),
            list("cmbStation", "Station Number", "Input", fieldsOf("cmbCrossSection"),
                 "station of each cross-section, matched to the table's identifiers"),
            list("cmbFTable", "Flow Table", "Input", {.kind = ListSource::Kind::Tables},
                 "table of water-surface elevations, one row per cross-section and profile"),
            list("cmbCrossIdentifier", "CrossSection ID", "Input", fieldsOf("cmbFTable"),
                 "the cross-section a row belongs to (its station)"),
            list("cmbProfileID", "Profile ID", "Input", fieldsOf("cmbFTable"),
                 "the profile a row belongs to"),
            list("cmbWSE", "WSE", "Input", fieldsOf("cmbFTable"), "water-surface elevation"),
            list("cmbProfile", "Profile Line", "Output", layersFor(channel::kProfileLines),
                 "3D line layer receiving the profile lines",
                 {"No layer selected for profile-lines"}),
            okButton("create the profile lines"),
            cancelButton("close without creating lines"),
        }};
    return decl;
}

ProfileFromFlowTableOptions frmProfileFromFTable::options() const {
    return {.crossSections = text("cmbCrossSection"),
            .stationField = text("cmbStation"),
            .table = text("cmbFTable"),
            .crossSectionIdField = text("cmbCrossIdentifier"),
            .profileIdField = text("cmbProfileID"),
            .wseField = text("cmbWSE"),
            .profileLines = text("cmbProfile")};
}

void frmProfileFromFTable::onOk() {
    runThenUnload(ErrorStyle::Routine, "ProfileFromFTable", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        currentDocument().focusMap().refresh();
        MsgBox("Profile lines created successfully!");
    });
}

}  // namespace ondu
