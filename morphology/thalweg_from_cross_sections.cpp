#include "morphology/thalweg_from_cross_sections.h"

#include <cmath>
#include <stdexcept>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/smoothing.h"
#include "framework/geometry/topology.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

const channel::SharedField kTDist{"TDist", FieldType::Double};
constexpr long kDivisionByZero = 11;

std::string featureName(const IFeature& feature, const std::string& layerName) {
    return "feature " + std::to_string(feature.OID()) + " of " + layerName;
}

Polygon firstPolygon(IFeatureLayer* layer) {
    auto first = maputil::featureClassOf(layer).search(nullptr)->nextFeature();
    if (!first)
        throw HostError("No boundary polygon in " + layer->name(), error_number::kObjectNotSet);
    Geometry shape = maputil::CheckedShape(*first, layer->name());
    if (auto* polygon = std::get_if<Polygon>(&shape)) return *polygon;
    throw HostError("The " + featureName(*first, layer->name()) + " is not a polygon",
                    error_number::kTypeMismatch);
}

}  // namespace

Point GetDeepestPoint(const Polyline& crossSection) {
    const Point* deepest = nullptr;
    for (const Path& path : crossSection.paths)
        for (const Point& v : path)
            if (!deepest || v.z <= deepest->z) deepest = &v;
    if (!deepest) throw std::invalid_argument("the cross-section has no vertex");
    if (std::isnan(deepest->z)) throw std::invalid_argument("the cross-section has no elevation");
    return *deepest;
}

long run(const ThalwegFromCrossSectionsOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* sections = maputil::RequireLayer(&map, options.crossSections, "cross-section");
    IFeatureLayer* boundary = maputil::RequireLayer(&map, options.boundary, "boundary");
    IFeatureLayer* thalweg = maputil::RequireLayer(&map, options.thalweg, "thalweg");
    maputil::RefuseSameLayer(thalweg, "thalweg", sections, "cross-section");
    const long count = maputil::RequireFeaturesToProcess(sections);
    // One deepest point makes no line.
    if (count < 2)
        throw RunRefused("A thalweg needs at least two cross-sections; " + sections->name() +
                         " has one to process");
    IFeatureClass& cls = maputil::featureClassOf(sections);
    const int measure = cls.findField(options.measureField);
    if (measure < 0)
        throw HostError("Item not found in this collection (field " + options.measureField +
                            " of " + sections->name() + ")",
                        error_number::kItemNotFound);
    const Polygon channel = firstPolygon(boundary);
    if (cls.findField(std::string(kTDist.name)) == -1)
        maputil::AddField(sections, std::string(kTDist.name), kTDist.type);
    const int tDist = cls.findField(std::string(kTDist.name));

    progress.show("Processing...", 0, count, 1);
    Path points;
    auto cursor = maputil::GetFeatureCursor(sections);
    while (auto section = cursor->nextFeature()) {
        const std::string which = featureName(*section, sections->name());
        const Polyline line = maputil::CheckedPolyline(*section, sections->name());
        Point deepest;
        try {
            deepest = GetDeepestPoint(line);
        } catch (const std::invalid_argument& e) {
            throw HostError(std::string(e.what()) + " (" + which + ")",
                            error_number::kInvalidArgument);
        }
        const double len = length(line);
        if (len == 0) throw HostError("Division by zero (" + which + ")", kDivisionByZero);
        section->setValue(tDist, vectorUtil::GetPointDistance(deepest, fromPoint(line)) / len);
        section->store();
        const auto m = toDouble(section->value(measure));
        if (!m)
            throw HostError("Invalid use of Null (" + options.measureField + " of " + which + ")",
                            error_number::kInvalidUseOfNull);
        deepest.m = *m;
        deepest.mAware = true;
        deepest.zAware = true;
        points.push_back(deepest);
        stepOrStop(progress);
    }
    vectorUtil::SortVerticesByM(points);
    Polyline line(std::move(points), true, true);
    if (options.smooth) line = smooth(line, 0);
    vectorUtil::SetZAware(line);
    FeaturePtr feature = maputil::featureClassOf(thalweg).createFeature();
    feature->setShape(line);
    feature->store();
    progress.hide();
    return static_cast<long>(intersectPoints(line, channel).points.size());
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmThalweg_CS::declaration() {
    static const DialogDecl decl{
        "frmThalweg_CS",
        "Thalweg from Cross-sections",
        {
            {.name = "cmbLayer",
             .kind = ControlKind::List,
             .label = "3D Cross-section",
             .frame = "Input",
             .defaultValue = "CrossSections",
             .help = "3D line layer of cross-sections",
             .source = layersFor(channel::kCrossSections),
             .required = {"No layer selected for cross-sections"}},
            {.name = "cmbField",
             .kind = ControlKind::List,
             .label = "Measure Field",
             .frame = "Input",
             .defaultValue = "Measure",
             .help = "field whose value becomes the M of the section's deepest point",
             .source = fieldsOf("cmbLayer")},
            {.name = "cmbBoundary",
             .kind = ControlKind::List,
             .label = "Boundary Polygon",
             .frame = "Input",
             .defaultValue = "ChannelBoundary",
             .help = "polygon layer of the channel boundary",
             .source = layersFor(channel::kChannelBoundary)},
            {.name = "cmbThalweg",
             .kind = ControlKind::List,
             .label = "Thalweg Layer",
             .frame = "Output",
             .defaultValue = "Thalweg",
             .help = "3D line layer that receives the thalweg",
             .source = layersFor(channel::kThalweg),
             .required = {"No layer selected for thalweg"}},
            {.name = "chkSmooth",
             .kind = ControlKind::CheckBox,
             .label = "Smooth Thalweg",
             .frame = "Output",
             .defaultValue = "1",
             .help = "smooth the thalweg through its points"},
            okButton("create the thalweg"),
            cancelButton("close without creating"),
        }};
    return decl;
}

ThalwegFromCrossSectionsOptions frmThalweg_CS::options() const {
    return {.crossSections = text("cmbLayer"),
            .measureField = text("cmbField"),
            .boundary = text("cmbBoundary"),
            .thalweg = text("cmbThalweg"),
            .smooth = checked("chkSmooth")};
}

void frmThalweg_CS::onOk() {
    // The boundary is asked for after the thalweg layer.
    if (text("cmbBoundary").empty()) {
        MsgBox("No layer selected for boundary", MsgButtons::OK, "Warning");
        return;
    }
    long crossings = 0;
    if (!trapped(ErrorStyle::Routine, caption(), [&] {
            crossings = run(options(), currentDocument(), userInterface().statusProgress());
        }))
        return;
    if (crossings <= 2)
        MsgBox("Thalweg was created successfully.");
    else
        MsgBox(
            "Thalweg was created succuessfully. However, it goes outside the channel boundary "
            "at some points. Please edit the thalweg manually.");
    g_pMxDoc = nullptr;
    unload();
}

}  // namespace ondu
