#include "preprocessing/split_line.h"

#include <cmath>

#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

/// More pieces than any line of a river is cut into; a bound keeps a mistyped step from
/// exhausting memory (a step of 0 would never end).
constexpr double kMaxPieces = 10'000'000;

const char* stepBox(bool asPercentage) { return asPercentage ? "percentage" : "distance"; }

void refuseBadStep(const SplitLineOptions& options) {
    if (std::isfinite(options.step) && options.step > 0) return;
    throw RunRefused(std::string("Enter a valid number for ") + stepBox(options.asPercentage) +
                     ": a step above 0");
}

/// The distances along a line of length `length` where it is cut.
std::vector<double> cutDistances(double length, const SplitLineOptions& options,
                                 const std::string& feature) {
    const double s = options.step;
    const double span = options.asPercentage ? 1 : length;
    if (span / s > kMaxPieces)
        throw HostError("A step of " + plain(s) + " cuts " + feature + " into more than " +
                            plain(kMaxPieces) + " pieces: enter a larger number for " +
                            stepBox(options.asPercentage),
                        error_number::kInvalidArgument);
    const long n = GetNumberofParts(span, s);
    std::vector<double> distances;
    for (long k = 1; k <= n; ++k)
        if ((static_cast<double>(k) + 0.5) * s < length)
            distances.push_back(static_cast<double>(k) * s * (options.asPercentage ? length : 1));
    return distances;
}

}  // namespace

long GetNumberofParts(double length, double step) {
    long n = 0;
    double q = 0;
    do {
        q = length / step;
        length -= step;
        ++n;
    } while (q > 2);
    return n;
}

void run(const SplitLineOptions& options, IDocument& map, IProgressBar& progress) {
    refuseBadStep(options);
    IFeatureLayer* input = maputil::RequireLayer(&map, options.input, "input");
    IFeatureLayer* output = maputil::RequireLayer(&map, options.output, "output");
    maputil::RefuseSameLayer(output, "output", input, "input");
    const long count = maputil::RequireFeaturesToProcess(input);
    const bool keepZ = maputil::HasZValues(input);
    IFeatureClass& target = maputil::featureClassOf(output);
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(input);
    while (auto feature = cursor->nextFeature()) {
        const std::string name =
            "feature " + std::to_string(feature->OID()) + " of " + input->name();
        const Polyline line = maputil::CheckedPolyline(*feature, input->name());
        const Polyline pieces = splitAtDistances(line, cutDistances(length(line), options, name));
        for (const Path& path : pieces.paths) {
            Polyline piece(path, line.zAware, line.mAware);
            if (!keepZ) vectorUtil::ClearZAware(piece);
            FeaturePtr stored = target.createFeature();
            stored->setShape(piece);
            stored->store();
        }
        stepOrStop(progress);
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmSplitLine::declaration() {
    const std::string layers = "Input/Ouput Layers", split = "Split";
    static const DialogDecl decl{
        "frmSplitLine",
        "Split line into segments",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "Input Layer",
             .frame = layers,
             .defaultValue = "CenterLine",
             .help = "line layer to split (its selected lines, else all)",
             .source = layersFor(channel::kCenterLine),
             .required = {"No layer selected for input"}},
            {.name = "cmbOutput",
             .kind = ControlKind::List,
             .label = "Output Layer",
             .frame = layers,
             .defaultValue = "CenterlineSegments",
             .help = "line layer receiving one feature per piece",
             .source = layersFor(channel::kCenterlineSegments)},
            {.name = "optDistance",
             .kind = ControlKind::OptionButton,
             .label = "As Distance",
             .frame = split,
             .defaultValue = "1",
             .help = "pieces of a fixed length"},
            {.name = "txtDistance",
             .kind = ControlKind::TextBox,
             .frame = split,
             .defaultValue = "1",
             .help = "piece length in map units",
             .type = ValueType::Number,
             .invalid = {"Enter a valid number for distance"},
             .enabledBy = "optDistance"},
            {.name = "optPercentage",
             .kind = ControlKind::OptionButton,
             .label = "As Percentage",
             .frame = split,
             .defaultValue = "0",
             .help = "pieces of a fixed fraction of each line's length"},
            {.name = "txtPercentage",
             .kind = ControlKind::TextBox,
             .frame = split,
             .help = "piece length as a fraction of the line's length (0.1 = a tenth)",
             .type = ValueType::Number,
             .invalid = {"Enter a valid number for percentage"},
             .enabledBy = "optPercentage"},
            okButton("split the lines"),
            cancelButton("close without splitting"),
        }};
    return decl;
}

SplitLineOptions frmSplitLine::options() const {
    const bool asPercentage = checked("optPercentage");
    return {.input = text("cmbInput"),
            .output = text("cmbOutput"),
            .asPercentage = asPercentage,
            .step = number(asPercentage ? "txtPercentage" : "txtDistance").value_or(kNaN)};
}

void frmSplitLine::onOk() {
    const bool done = trapped(ErrorStyle::Routine, "Split line to segments", [this] {
        run(options(), currentDocument(), userInterface().statusProgress());
    });
    if (!done) return;
    MsgBox("Splitting completed successfully!", MsgButtons::OK, "Split line to segments");
    unload();
}

}  // namespace ondu
