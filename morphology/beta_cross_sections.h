#pragma once
// Create Beta Sections: synthesises 3D cross-sections where no survey exists. Stations are set
// along the thalweg at a fixed interval; at each a section is drawn across the centerline segment
// it meets, as wide as the channel, with 101 vertices whose bed follows a weighted sum of two
// beta densities. Their parameters come from the parameter table, interpolated on where the
// thalweg lies across the section. Every section of the layer then gets its distance along the
// thalweg as `Measure`.

#include <string>
#include <variant>
#include <vector>

#include "framework/commands.h"
#include "framework/dialog.h"
#include "framework/geometry/geometry.h"
#include "framework/host_operations.h"
#include "framework/ui.h"

namespace ondu {

/// The bed shape of one cross-section: two beta densities (α, β each) and the scale of their sum.
struct BetaShape {
    double alpha1 = 0;
    double beta1 = 0;
    double alpha2 = 0;
    double beta2 = 0;
    double factor = 0;
};

/// One row of the parameter table: the relative thalweg position across the section (0 the left
/// end, 1 the right end) for which its shape holds.
struct BetaParameterRow {
    double location = 0;
    BetaShape shape;
};

/// The parameter table "Para" as one run reads it, once: rows by object id 1 … 9.
class BetaParameterTable {
public:
    /// Rows given object ids 1, 2, ... in order.
    explicit BetaParameterTable(const std::vector<BetaParameterRow>& rows);
    /// Reads rows 1 … 9 of the table (fields LOCATION, ALPHA1, BETA1, ALPHA2, BETA2, FACTOR). A
    /// row that is missing or holds an empty value is kept as the failure it gave, raised when the
    /// row is asked for.
    static BetaParameterTable read(ITable& table);

    /// The row of that object id; throws HostError when there is none or it could not be read.
    const BetaParameterRow& row(int oid) const;

private:
    BetaParameterTable() = default;
    std::vector<std::variant<BetaParameterRow, HostError>> rows_;
};

/// Where the parameter table lives: "BetaParameters.gpkg" in the work folder.
std::string betaParameterPath();

/// The nine rows of the sample parameter table. The values are illustrative, not calibrated:
/// LOCATION rises from 0.1 to 0.9, both densities peak at LOCATION (so the deepest bed lies
/// there), the shapes are symmetric at 0.5 and mirrored about it, and FACTOR scales the peak of
/// the sum to about 1 (the thalweg level).
std::vector<BetaParameterRow> sampleBetaParameterRows();

/// Writes the sample rows as the attribute table "Para" of a new GeoPackage at `path`.
void writeSampleBetaParameters(const std::string& path);

/// Γ(x) for x > 0 (as exp(ln Γ(x))), -99 otherwise. A value too large for a double is reported
/// ("Error in fnGamma") and gives 0.
double Gamma(double x);

/// B(a, b) = Γ(a)·Γ(b)/Γ(a+b). A zero denominator shows "den is zero" and then a+b; the division
/// fails, is reported ("Error in fnCalculateBeta") and gives 0.
double CalculateBeta(double a, double b);

/// The relative depths y (0 bank level, 1 thalweg level) at the positions x (fractions of the
/// section's length, each rounded to four decimals): f·(u^(α1−1)(1−u)^(β1−1)/B(α1, β1) +
/// u^(α2−1)(1−u)^(β2−1)/B(α2, β2)). A term that is not a finite number (0 to a negative power at
/// either end) keeps its value from the previous position, 0 before the first; so does 1/B.
std::vector<double> BetaArray(const BetaShape& shape, const std::vector<double>& x);

/// The shape for a relative thalweg position p: row 1 up to 0.1, row 9 from 0.9, else linear
/// between the first row whose LOCATION exceeds p and the row before it. When no row brackets p
/// the shape stays as it was; a failure (a row that cannot be read) is reported ("Error in
/// fnGetBParameters") and leaves it unchanged too.
void GetBParameters(const BetaParameterTable& table, double p, BetaShape& shape);

/// The straight line across the curve at the point of it nearest to `point`, from `halfLength`
/// to its left to `halfLength` to its right.
Polyline CreateNormal(const Polyline& curve, const Point& point, double halfLength);

/// Stores one cross-section in the layer: 101 vertices along the section line from its left end,
/// Z = bankElev − (bankElev − thalwegElev)·y, and the shape's five parameters. A failure is
/// reported ("Error in subCreateBetas") and stores nothing.
void CreateBetas(IFeatureLayer* crossSections, const Polyline& section, const BetaShape& shape,
                 double sectionLength, double bankElev, double thalwegElev);

/// Writes `Measure` on every cross-section of the layer's processing set that crosses the
/// thalweg: the distance along the thalweg at the first crossing more than 5 map units from the
/// section's start (else the last one). Sections that do not cross keep theirs. Progress
/// "Sorting cross-sections..."; a failure is reported ("Error in subSortCrossSections") and ends
/// the routine.
void SortCrossSections(const Polyline& thalweg, IFeatureLayer* crossSections,
                       IProgressBar& progress);

/// What one run works on: layers by name and the distance between stations.
struct BetaFromThalwegOptions {
    std::string centerline = "CenterlineSegments";
    std::string thalweg = "Thalweg";
    std::string crossSections = "CrossSections";
    double interval = 1000;
};

/// Builds the beta cross-sections along the thalweg (its layer's first feature to process) and
/// writes the measures. Refuses (RunRefused, nothing written) a cross-sections layer that is the
/// thalweg or centerline layer, an empty thalweg layer, an interval that is not a positive number
/// or gives more than ten million stations, a missing parameter file ("Beta Parameters File
/// Error") or table ("Table Error"), and fields that cannot be added ("Error in checking fields:
/// ..."). Other failures throw HostError; what was stored stays.
void run(const BetaFromThalwegOptions& options, IDocument& map, IProgressBar& progress);

class frmNewBetaFromTha : public Dialog {
public:
    frmNewBetaFromTha() : Dialog(declaration()) {}
    static const DialogDecl& declaration();
    BetaFromThalwegOptions options() const;

protected:
    void onOk() override;
};

class clsBetaFromTha : public ToolCommand<frmNewBetaFromTha> {
public:
    clsBetaFromTha() : ToolCommand(catalogued("clsBetaFromTha")) {}
};

}  // namespace ondu
