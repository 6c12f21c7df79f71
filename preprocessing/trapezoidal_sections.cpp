#include "preprocessing/trapezoidal_sections.h"

#include <array>
#include <cmath>
#include <optional>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"

namespace ondu {

namespace {

/// Sections go into any line layer; only those with Z keep the bed's elevations.
constexpr channel::LayerRole kSectionLayer{"CrossSections", channel::ShapeKind::Polyline};

/// The four values of one centerline feature, read through the chosen fields.
struct Trapezoid {
    double bottomElevation, bottomWidth, depth, sideSlope;
};

/// Why the feature's values make no section, or nothing when they make one.
std::optional<std::string> flawOf(const IFeature& feature, const std::array<int, 4>& fields,
                                  const ITable& table, Trapezoid& values) {
    std::array<double*, 4> targets = {&values.bottomElevation, &values.bottomWidth, &values.depth,
                                      &values.sideSlope};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto number = toDouble(feature.value(fields[i]));
        if (!number || !std::isfinite(*number))
            return table.field(fields[i]).name + " holds no number";
        *targets[i] = *number;
    }
    if (values.sideSlope == 0) return std::string("the side slope is 0");
    const double bank = values.depth / values.sideSlope + values.bottomWidth / 2;
    if (!std::isfinite(bank) || !std::isfinite(values.bottomElevation + values.depth))
        return std::string("its values give coordinates that are no finite numbers");
    return std::nullopt;
}

Polyline sectionOf(const IFeature& feature, const std::string& layerName, const Trapezoid& t) {
    const Polyline centerline = maputil::CheckedPolyline(feature, layerName);
    try {
        return CreateTrapezoidalCrossSection(centerline, t.bottomWidth, t.bottomElevation, t.depth,
                                             t.sideSlope);
    } catch (const std::invalid_argument& e) {
        // A centerline of zero length has no direction to lay the section across.
        throw HostError(std::string(e.what()) + " (feature " + std::to_string(feature.OID()) +
                            " of " + layerName + ")",
                        error_number::kInvalidArgument);
    }
}

void skip(const IFeature& feature, const std::string& layerName, const std::string& flaw) {
    MsgBox("No cross-section for feature " + std::to_string(feature.OID()) + " of " + layerName +
               ": " + flaw,
           MsgButtons::OK, "Trapezoidal cross-sections");
}

}  // namespace

Polyline CreateTrapezoidalCrossSection(const Polyline& centerline, double bottomWidth,
                                       double bottomElevation, double depth, double sideSlope,
                                       double position, bool asRatio) {
    const double bank = depth / sideSlope + bottomWidth / 2;
    const double top = bottomElevation + depth;
    const std::array<std::pair<double, double>, 4> offsetsAndZ = {
        {{-bank, top},
         {-bottomWidth / 2, bottomElevation},
         {bottomWidth / 2, bottomElevation},
         {bank, top}}};
    Path vertices;
    for (const auto& [offset, z] : offsetsAndZ) {
        Point p = queryPoint(centerline, position, asRatio, offset);
        p.z = z;
        p.zAware = true;
        vertices.push_back(p);
    }
    return Polyline(std::move(vertices), true, false);
}

TrapezoidalSectionsResult run(const TrapezoidalSectionsOptions& options, IDocument& map,
                              IProgressBar& progress) {
    IFeatureLayer* input = maputil::RequireLayer(&map, options.centerline, "centerline");
    IFeatureLayer* output = maputil::RequireLayer(&map, options.crossSections, "cross-sections");
    maputil::RefuseSameLayer(output, "cross-sections", input, "centerline");
    const long count = maputil::RequireFeaturesToProcess(input);
    IFeatureClass& centerlines = maputil::featureClassOf(input);
    IFeatureClass& sections = maputil::featureClassOf(output);
    const std::array<int, 4> fields = {
        maputil::RequireField(centerlines, options.bottomElevationField),
        maputil::RequireField(centerlines, options.bottomWidthField),
        maputil::RequireField(centerlines, options.depthField),
        maputil::RequireField(centerlines, options.sideSlopeField)};

    TrapezoidalSectionsResult result;
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(input);
    while (auto feature = cursor->nextFeature()) {
        Trapezoid t{};
        if (auto flaw = flawOf(*feature, fields, centerlines, t)) {
            skip(*feature, input->name(), *flaw);
            ++result.skipped;
        } else {
            FeaturePtr stored = sections.createFeature();
            stored->setShape(sectionOf(*feature, input->name(), t));
            stored->store();
            ++result.built;
        }
        stepOrStop(progress);
    }
    progress.hide();
    return result;
}

// ---- dialog ----------------------------------------------------------------------------------

namespace {

ControlDecl fieldList(const char* name, const char* label, const char* proposed, const char* help) {
    return {.name = name,
            .kind = ControlKind::List,
            .label = label,
            .frame = "Input Data",
            .defaultValue = proposed,
            .help = help,
            .source = fieldsOf("cmbInput"),
            .required = {std::string("No field selected for ") + label}};
}

}  // namespace

const DialogDecl& frmTrapezoidalCS::declaration() {
    static const DialogDecl decl{
        "frmTrapezoidalCS",
        "Create Trapezoilda Cross-sections",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Input Data",
             .defaultValue = "Centerline",
             .help = "line layer with the trapezoid's attributes",
             .source = layersFor(channel::kCenterline),
             .required = {"No layer selected for centerline"}},
            fieldList("cmbBottomElev", "Bottom Elevation", "BotElev", "elevation of the bed"),
            fieldList("cmbBottomWidth", "Bottom Width", "BotWidth", "width of the bed"),
            fieldList("cmbDepth", "Depth", "Depth", "depth from bed to bank top"),
            fieldList("cmbSideSlope", "Slope", "Slope", "side slope, rise over run"),
            {.name = "cmbOutput",
             .kind = ControlKind::List,
             .label = "Cross-sections Layer",
             .frame = "Output",
             .defaultValue = "CrossSections",
             .help = "line layer receiving the sections",
             .source = layersFor(kSectionLayer),
             .required = {"No layer selected for cross-sections"}},
            okButton("create the sections"),
            cancelButton("close without creating"),
        }};
    return decl;
}

TrapezoidalSectionsOptions frmTrapezoidalCS::options() const {
    return {.centerline = text("cmbInput"),
            .bottomElevationField = text("cmbBottomElev"),
            .bottomWidthField = text("cmbBottomWidth"),
            .depthField = text("cmbDepth"),
            .sideSlopeField = text("cmbSideSlope"),
            .crossSections = text("cmbOutput")};
}

void frmTrapezoidalCS::onOk() {
    runThenUnload(ErrorStyle::Routine, "CreateTrapezoidalCrossSection", [&] {
        const auto result = run(options(), currentDocument(), userInterface().statusProgress());
        std::string text = "Trapezoidal cross-sections created successfully!\n" +
                           std::to_string(result.built) + " cross-sections built";
        if (result.skipped > 0) text += ", " + std::to_string(result.skipped) + " skipped";
        MsgBox(text + ".", MsgButtons::OK, "Process complete");
    });
}

}  // namespace ondu
