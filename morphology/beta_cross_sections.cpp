#include "morphology/beta_cross_sections.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/file_helpers.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/line_index.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

constexpr const char* kParameterFile = "BetaParameters.gpkg";
constexpr const char* kParameterTable = "Para";
constexpr int kRowCount = 9;
constexpr int kVertexCount = 101;
/// Crossings this close to a section's start are passed over when its measure is taken.
constexpr double kStartClearance = 5.0;
/// More stations than this would take hours and fill the disk: such an interval is refused.
constexpr double kMaxStations = 1e7;

constexpr long kOverflow = 6;
constexpr long kDivisionByZero = 11;

// The fields every cross-section carries, in the order the shape's values are written.
const char* const kShapeFields[] = {"ALPHA1", "BETA1", "ALPHA2", "BETA2", "FACTOR"};
constexpr const char* kMeasureField = "Measure";

double valueOf(const BetaShape& s, int i) {
    const double values[] = {s.alpha1, s.beta1, s.alpha2, s.beta2, s.factor};
    return values[i];
}

BetaShape shapeOf(const double (&v)[5]) { return {v[0], v[1], v[2], v[3], v[4]}; }

BetaParameterRow readRow(ITable& table, long long oid) {
    FeaturePtr row = table.getFeature(oid);
    if (!row)
        throw HostError(
            "No row with object id " + std::to_string(oid) + " in table " + table.name(),
            error_number::kItemNotFound);
    const auto number = [&](const std::string& field) {
        return maputil::RequireNumber(*row, maputil::RequireField(table, field), table);
    };
    double values[5];
    for (int i = 0; i < 5; ++i) values[i] = number(kShapeFields[i]);
    return {number("LOCATION"), shapeOf(values)};
}

/// A parameter between two rows at p; rows of equal LOCATION count the lower one at twice the
/// upper's LOCATION, so that they never divide by zero.
BetaShape interpolated(const BetaParameterRow& lower, const BetaParameterRow& upper, double p) {
    double lowerAt = lower.location;
    if (lowerAt == upper.location) lowerAt = 2 * upper.location;
    if (lowerAt == upper.location) throw HostError("Division by zero", kDivisionByZero);
    double values[5];
    for (int i = 0; i < 5; ++i) {
        const double a = valueOf(lower.shape, i), b = valueOf(upper.shape, i);
        values[i] = a - (lowerAt - p) * (a - b) / (lowerAt - upper.location);
    }
    return shapeOf(values);
}

/// Keeps `target` when `value` is not a finite number: the statement that computed it failed.
void assignIfFinite(double& target, double value) {
    if (std::isfinite(value)) target = value;
}

/// The beta density term u^(α−1)·(1−u)^(β−1)·(1/B).
double densityTerm(double u, double alpha, double beta, double inverseB) {
    return std::pow(u, alpha - 1) * std::pow(1 - u, beta - 1) * inverseB;
}

/// The straight line across the curve at `along`, from `halfLength` to its left to `halfLength`
/// to its right.
Polyline normalAt(const CurveWalker& curve, double along, double halfLength) {
    return Polyline(Path{curve.pointAt(along, -halfLength), curve.pointAt(along, halfLength)},
                    curve.line().zAware, curve.line().mAware);
}

std::string missingFileText() {
    return std::string("Please copy ") + kParameterFile + " to '" + workFolder() +
           "' and run the tool again";
}

/// The table of the run, read once; RunRefused when it is not there.
BetaParameterTable readParameterTable() {
    const std::string path = betaParameterPath();
    if (!FileExists(path)) throw RunRefused(missingFileText(), "Beta Parameters File Error");
    try {
        return BetaParameterTable::read(*openTable(path, kParameterTable));
    } catch (const HostError&) {
        throw RunRefused(
            "The parameter table does not exist at '" + path + "'. Please add the table.",
            "Table Error");
    }
}

void addMissingFields(IFeatureLayer* crossSections) {
    try {
        IFeatureClass& cls = maputil::featureClassOf(crossSections);
        std::vector<std::string> names(std::begin(kShapeFields), std::end(kShapeFields));
        names.emplace_back(kMeasureField);
        for (const auto& name : names)
            if (cls.findField(name) == -1)
                maputil::AddField(crossSections, name, FieldType::Double);
    } catch (const std::exception& e) {
        throw RunRefused("Error in checking fields: " + describe(e).description, "");
    }
}

/// The measure of the thalweg where the section crosses it, or nothing when it does not.
std::optional<double> measureWhereCrossing(const Polyline& section,
                                           const vectorUtil::SegmentIndex& thalweg) {
    const auto meetings = thalweg.meetings(section, 1);
    if (meetings.empty()) return std::nullopt;
    const std::vector<Point>& crossings = meetings.front().points;
    const Point start = fromPoint(section);
    const Point* chosen = &crossings.back();
    for (const Point& p : crossings) {
        if (vectorUtil::GetPointDistance(p, start) > kStartClearance) {
            chosen = &p;
            break;
        }
    }
    return vectorUtil::GetMAtPoint(*chosen, meetings.front().piece);
}

/// The stations of one run along the thalweg, each giving at most one cross-section.
class BetaRun {
public:
    BetaRun(const BetaFromThalwegOptions& options, IDocument& map)
        : thalwegLayer_(maputil::RequireLayer(&map, options.thalweg, "thalweg")),
          centerlineLayer_(maputil::RequireLayer(&map, options.centerline, "centerline")),
          sections_(maputil::RequireLayer(&map, options.crossSections, "cross-sections")),
          centerline_(maputil::featureClassOf(centerlineLayer_)),
          interval_(options.interval) {
        maputil::RefuseSameLayer(sections_, "cross-sections", thalwegLayer_, "thalweg");
        maputil::RefuseSameLayer(sections_, "cross-sections", centerlineLayer_, "centerline");
        if (!(interval_ > 0) || !std::isfinite(interval_))
            throw RunRefused("The cross-section interval must be a positive number");
        maputil::RequireFeaturesToProcess(thalwegLayer_);
        thalweg_.emplace(firstThalweg());
        if (thalweg_->length() / interval_ > kMaxStations)
            throw RunRefused("The cross-section interval " + plain(interval_) +
                             " gives more than ten million cross-sections");
        table_.emplace(readParameterTable());
        width_ = maputil::RequireField(centerline_, channel::kWidth.name.data());
        bankElev_ = maputil::RequireField(centerline_, channel::kBankElev.name.data());
        readSegments();
        addMissingFields(sections_);
    }

    const Polyline& thalweg() const { return thalweg_->line(); }
    IFeatureLayer* sections() const { return sections_; }

    /// Every station from the thalweg's start at the interval; the last at its end.
    void walk(IProgressBar& progress) {
        const double length = thalweg_->length();
        progress.show("Processing...", 0, static_cast<long>(std::nearbyint(length / interval_)) + 1,
                      1);
        double searchHalfWidth = interval_;
        for (long long k = 0;; ++k) {
            const double d = static_cast<double>(k) * interval_;
            const bool last = !(d < length);
            const Point station = last ? toPoint(thalweg()) : thalweg_->pointAt(d);
            sectionAt(station, searchHalfWidth);
            stepOrStop(progress);
            if (last) break;
        }
        progress.hide();
    }

private:
    Polyline firstThalweg() {
        auto cursor = maputil::GetFeatureCursor(thalwegLayer_);
        auto first = cursor->nextFeature();
        Polyline line = maputil::CheckedPolyline(*first, thalwegLayer_->name());
        // Sections take their deepest level from the thalweg: without Z they would have none.
        if (!line.zAware)
            throw HostError("The thalweg (feature " + std::to_string(first->OID()) + " of " +
                                thalwegLayer_->name() + ") carries no elevations (Z)",
                            error_number::kInvalidUseOfNull);
        thalwegIndex_ = std::make_unique<LineIndex>(std::vector<Polyline>{line});
        return line;
    }

    /// The whole centerline layer, in object id order: a search finds the lowest id first.
    void readSegments() {
        std::vector<Polyline> lines;
        auto cursor = centerline_.search(nullptr);
        while (auto segment = cursor->nextFeature()) {
            lines.push_back(maputil::CheckedPolyline(*segment, centerlineLayer_->name()));
            segments_.push_back(std::move(segment));
        }
        segmentIndex_ = std::make_unique<vectorUtil::SegmentIndex>(std::move(lines));
    }

    /// One station: the search normal finds the segment, whose width sets the section and the
    /// next search. `searchHalfWidth` carries from station to station.
    void sectionAt(const Point& station, double& searchHalfWidth) {
        const auto near = thalwegIndex_->nearest(station);
        const Polyline search = normalAt(*thalweg_, near->location.distanceAlong, searchHalfWidth);
        const auto met = segmentIndex_->firstMet(search);
        if (!met) return;
        const IFeature& segment = *segments_[*met];
        const Polyline& c = segmentIndex_->line(*met);
        const CurveLocation across = nearestLocation(c, station);
        const double w = maputil::RequireNumber(segment, width_, centerline_);
        searchHalfWidth = w;
        const Polyline section = CreateNormal(c, station, w / 2);
        const double ls = length(section);
        const double offset =
            across.rightSide ? ls / 2 + across.distanceFrom : ls / 2 - across.distanceFrom;
        if (ls == 0) return;
        const double bankElev = maputil::RequireNumber(segment, bankElev_, centerline_);
        GetBParameters(*table_, offset / ls, shape_);
        CreateBetas(sections_, section, shape_, ls, bankElev, station.z);
    }

    IFeatureLayer* thalwegLayer_;
    IFeatureLayer* centerlineLayer_;
    IFeatureLayer* sections_;
    IFeatureClass& centerline_;
    double interval_;
    std::optional<CurveWalker> thalweg_;
    std::unique_ptr<LineIndex> thalwegIndex_;
    std::optional<BetaParameterTable> table_;
    int width_ = -1, bankElev_ = -1;
    std::vector<FeaturePtr> segments_;
    std::unique_ptr<vectorUtil::SegmentIndex> segmentIndex_;
    BetaShape shape_;  ///< a position no row brackets keeps the previous section's shape
};

}  // namespace

// ---- parameter table -------------------------------------------------------------------------

BetaParameterTable::BetaParameterTable(const std::vector<BetaParameterRow>& rows)
    : rows_(rows.begin(), rows.end()) {}

BetaParameterTable BetaParameterTable::read(ITable& table) {
    BetaParameterTable result;
    for (long long oid = 1; oid <= kRowCount; ++oid) {
        try {
            result.rows_.emplace_back(readRow(table, oid));
        } catch (const std::exception& e) {
            const auto [number, description] = describe(e);
            result.rows_.emplace_back(HostError(description, number));
        }
    }
    return result;
}

const BetaParameterRow& BetaParameterTable::row(int oid) const {
    if (oid < 1 || oid > static_cast<int>(rows_.size()))
        throw HostError(
            "No row with object id " + std::to_string(oid) + " in table " + kParameterTable,
            error_number::kItemNotFound);
    const auto& entry = rows_[static_cast<std::size_t>(oid - 1)];
    if (const auto* failure = std::get_if<HostError>(&entry)) throw *failure;
    return std::get<BetaParameterRow>(entry);
}

std::string betaParameterPath() {
    return (std::filesystem::path(workFolder()) / kParameterFile).string();
}

std::vector<BetaParameterRow> sampleBetaParameterRows() {
    std::vector<BetaParameterRow> rows;
    const auto rounded = [](double v) { return std::round(v * 1e4) / 1e4; };
    for (int i = 1; i <= kRowCount; ++i) {
        // Both densities have their mode at the location; the first is the narrower. Built from
        // whole numbers so that rows i and 10 − i mirror each other exactly.
        const double location = i / 10.0;
        const double alpha1 = (10 + 4 * i) / 10.0, beta1 = (10 + 4 * (10 - i)) / 10.0;
        const double alpha2 = (10 + 2 * i) / 10.0, beta2 = (10 + 2 * (10 - i)) / 10.0;
        const auto density = [&](double a, double b) {
            return std::exp((a - 1) * std::log(location) + (b - 1) * std::log(1 - location) +
                            std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b));
        };
        const double factor = rounded(1 / (density(alpha1, beta1) + density(alpha2, beta2)));
        rows.push_back({location, {alpha1, beta1, alpha2, beta2, factor}});
    }
    return rows;
}

void writeSampleBetaParameters(const std::string& path) {
    std::vector<Field> fields{{"LOCATION", FieldType::Double}};
    for (const char* name : kShapeFields) fields.push_back({name, FieldType::Double});
    std::vector<std::vector<FieldValue>> rows;
    for (const auto& r : sampleBetaParameterRows())
        rows.push_back({r.location, r.shape.alpha1, r.shape.beta1, r.shape.alpha2, r.shape.beta2,
                        r.shape.factor});
    writeTable(path, kParameterTable, fields, rows);
}

// ---- the bed shape ---------------------------------------------------------------------------

double Gamma(double x) {
    if (!(x > 0)) return -99;
    const double g = std::exp(std::lgamma(x));
    if (std::isfinite(g)) return g;
    reportError("fnGamma", HostError("Overflow", kOverflow));
    return 0;
}

double CalculateBeta(double a, double b) {
    const double numerator = Gamma(a) * Gamma(b);
    const double den = Gamma(a + b);
    if (den == 0) {
        MsgBox("den is zero");
        MsgBox(plain(a + b));
        reportError("fnCalculateBeta", HostError("Division by zero", kDivisionByZero));
        return 0;
    }
    return numerator / den;
}

std::vector<double> BetaArray(const BetaShape& s, const std::vector<double>& x) {
    double inverseB1 = 0, inverseB2 = 0;
    assignIfFinite(inverseB1, 1 / CalculateBeta(s.alpha1, s.beta1));
    assignIfFinite(inverseB2, 1 / CalculateBeta(s.alpha2, s.beta2));
    std::vector<double> y(x.size(), 0.0);
    double term1 = 0, term2 = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double u = std::round(x[i] * 1e4) / 1e4;
        assignIfFinite(term1, densityTerm(u, s.alpha1, s.beta1, inverseB1));
        assignIfFinite(term2, densityTerm(u, s.alpha2, s.beta2, inverseB2));
        assignIfFinite(y[i], s.factor * (term1 + term2));
    }
    return y;
}

void GetBParameters(const BetaParameterTable& table, double p, BetaShape& shape) {
    try {
        if (p <= 0.1) {
            shape = table.row(1).shape;
        } else if (p >= 0.9) {
            shape = table.row(kRowCount).shape;
        } else if (p > 0.1 && p < 0.9) {
            for (int i = 1; i <= kRowCount; ++i) {
                const BetaParameterRow& upper = table.row(i);
                if (upper.location > p) {
                    shape = interpolated(table.row(i - 1), upper, p);
                    return;
                }
            }
        }
    } catch (const std::exception& e) {
        reportError("fnGetBParameters", e);
    }
}

// ---- sections --------------------------------------------------------------------------------

Polyline CreateNormal(const Polyline& curve, const Point& point, double halfLength) {
    return normalAt(CurveWalker(curve), nearestLocation(curve, point).distanceAlong, halfLength);
}

void CreateBetas(IFeatureLayer* crossSections, const Polyline& section, const BetaShape& shape,
                 double sectionLength, double bankElev, double thalwegElev) {
    try {
        std::vector<double> x(kVertexCount, 0.0);
        x[1] = 0.01;
        for (int i = 2; i < kVertexCount; ++i) x[i] = x[i - 1] + 0.01;
        const std::vector<double> y = BetaArray(shape, x);
        const CurveWalker along(section);
        Path vertices;
        vertices.reserve(kVertexCount);
        for (int i = 0; i < kVertexCount; ++i) {
            Point p = along.pointAt(x[i] * sectionLength);
            p.z = bankElev - (bankElev - thalwegElev) * y[i];
            p.zAware = true;
            vertices.push_back(p);
        }
        IFeatureClass& cls = maputil::featureClassOf(crossSections);
        FeaturePtr feature = cls.createFeature();
        feature->setShape(Polyline(std::move(vertices), true));
        for (int i = 0; i < 5; ++i)
            feature->setValue(maputil::RequireField(cls, kShapeFields[i]), valueOf(shape, i));
        feature->store();
    } catch (const std::exception& e) {
        reportError("subCreateBetas", e);
    }
}

void SortCrossSections(const Polyline& thalweg, IFeatureLayer* crossSections,
                       IProgressBar& progress) {
    try {
        IFeatureClass& cls = maputil::featureClassOf(crossSections);
        progress.show("Sorting cross-sections...", 0, cls.featureCount(nullptr), 1);
        Polyline measured = thalweg;
        maputil::SetLineMs(measured, 0, length(thalweg));
        const vectorUtil::SegmentIndex index({measured});
        const int measure = maputil::RequireField(cls, kMeasureField);
        auto cursor = maputil::GetFeatureCursor(crossSections);
        while (auto section = cursor->nextFeature()) {
            const Polyline line = maputil::CheckedPolyline(*section, crossSections->name());
            if (auto m = measureWhereCrossing(line, index)) {
                section->setValue(measure, *m);
                section->store();
            }
            stepOrStop(progress);
        }
        progress.hide();
    } catch (const RunCancelled&) {
        throw;
    } catch (const std::exception& e) {
        progress.hide();
        reportError("subSortCrossSections", e);
    }
}

void run(const BetaFromThalwegOptions& options, IDocument& map, IProgressBar& progress) {
    BetaRun stations(options, map);
    stations.walk(progress);
    SortCrossSections(stations.thalweg(), stations.sections(), progress);
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmNewBetaFromTha::declaration() {
    static const DialogDecl decl{
        "frmNewBetaFromTha",
        "Create CrossSections ",
        {
            {.name = "cmbCenterline",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Input",
             .defaultValue = "CenterlineSegments",
             .help = "line layer of centerline segments with Width and BankElev",
             .source = layersFor(channel::kCenterlineSegments)},
            {.name = "cmbThalweg",
             .kind = ControlKind::List,
             .label = "Thalweg Layer",
             .frame = "Input",
             .defaultValue = "Thalweg",
             .help = "3D line layer whose first feature is the thalweg",
             .source = layersFor(channel::kThalweg)},
            {.name = "txtInterval",
             .kind = ControlKind::TextBox,
             .label = "Cross-section Interval",
             .frame = "Input",
             .defaultValue = "1000",
             .help = "distance between cross-sections along the thalweg, map units",
             .type = ValueType::Number,
             .invalid = {"Enter a valid number for the cross-section interval"}},
            {.name = "cmbCrossSections",
             .kind = ControlKind::List,
             .label = "Cross-sections Layer",
             .frame = "Ouput",
             .defaultValue = "CrossSections",
             .help = "3D line layer that receives the cross-sections",
             .source = layersFor(channel::kCrossSections)},
            okButton("create the cross-sections"),
            cancelButton("close without creating"),
        }};
    return decl;
}

BetaFromThalwegOptions frmNewBetaFromTha::options() const {
    return {.centerline = text("cmbCenterline"),
            .thalweg = text("cmbThalweg"),
            .crossSections = text("cmbCrossSections"),
            .interval = number("txtInterval").value_or(kNaN)};
}

void frmNewBetaFromTha::onOk() {
    if (text("cmbCrossSections") == text("cmbThalweg")) {
        MsgBox(
            std::string("Please select different layers for the") + " thalweg and beta sections.",
            MsgButtons::OK, "Create beta sections");
        return;
    }
    runThenUnload(ErrorStyle::Routine, "Create beta sections", [&] {
        // Without the parameter file the run is refused, saying where to put it; the dialog
        // stays open for another try once it is there.
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Cross-sections created successfully!", MsgButtons::OK,
               "Cross-sections from thalweg");
        g_pMxDoc = nullptr;
    });
}

}  // namespace ondu
