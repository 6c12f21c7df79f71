#include "morphology/beta_cross_sections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>

#include "framework/geometry/curve.h"
#include "support/cli_runner.h"
#include "support/gpkg_checks.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

constexpr double kBank = 100, kBed = 90;

/// Rows at 0.1 … 0.9 whose ALPHA1 is ten times their LOCATION, so that an interpolated ALPHA1
/// reads as the position it was taken at.
std::vector<BetaParameterRow> linearRows(std::vector<double> locations = {}) {
    if (locations.empty())
        for (int i = 1; i <= 9; ++i) locations.push_back(i / 10.0);
    std::vector<BetaParameterRow> rows;
    for (double l : locations) rows.push_back({l, {10 * l, 2, 3, 4, 0.5}});
    return rows;
}

/// The work folder of the test, holding the parameter file unless told otherwise.
class WorkFolder {
public:
    explicit WorkFolder(bool withTable = true) {
        setenv("ONDU_WORK_DIR", dir.path().c_str(), 1);
        if (withTable) writeSampleBetaParameters(betaParameterPath());
    }
    ~WorkFolder() { unsetenv("ONDU_WORK_DIR"); }
    test::TempDir dir;
};

/// A straight thalweg along +X, 10 to the right of a centerline of 500-long segments of width
/// 100: every section runs from y = 50 to y = -50 and finds the thalweg at p = 0.6.
std::vector<test::LayerSpec> straightRiver(double length) {
    std::vector<test::FeatureSpec> segments;
    for (double x = 0; x < length; x += 500)
        segments.push_back({"LINESTRING (" + std::to_string(x) + " 0," +
                                std::to_string(std::min(x + 500, length)) + " 0)",
                            {100.0, kBank}});
    return {{.name = "CenterlineSegments",
             .fields = {{"Width", FieldType::Double}, {"BankElev", FieldType::Double}},
             .features = segments},
            {.name = "Thalweg",
             .hasZ = true,
             .fields = {},
             .features = {{"LINESTRING Z (0 -10 90," + std::to_string(length) + " -10 90)", {}}}},
            {.name = "CrossSections", .hasZ = true, .fields = {}, .features = {}}};
}

class BetaSections : public ::testing::Test {
protected:
    void TearDown() override { Forms::reset(); }

    /// Opens the dialog on the map, sets the interval, presses OK inside an edit session.
    void runDialog(std::vector<test::LayerSpec> layers, const std::string& interval = "1000",
                   const std::string& output = "CrossSections",
                   test::StoreFormat format = test::StoreFormat::GeoPackage) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers, format);
        before = test::fingerprint(store->storePath());
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmNewBetaFromTha>();
        form.load();
        form.type("txtInterval", interval);
        form.choose("cmbCrossSections", output);
        form.pressOk();
        host->app().editor().stopEditing(true);
    }
    std::vector<test::StoredFeature> sections() {
        return test::storedFeatures(host->featureLayer("CrossSections"));
    }

    bool unchanged() const { return test::fingerprint(store->storePath()) == before; }

    WorkFolder work;  ///< holds the stores too, so it goes last
    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;  ///< outlives the host that opened it
    std::unique_ptr<test::InstalledHost> host;
    std::string before;  ///< the store as written
};

TEST(BetaParameters, LookupAtTheEndsAndBetweenRows) {
    const BetaParameterTable table(linearRows());
    const struct {
        double p, alpha1;
    } cases[] = {{0.05, 1}, {0.1, 1}, {0.45, 4.5}, {0.6, 6}, {0.9, 9}, {0.95, 9}};
    for (const auto& c : cases) {
        BetaShape shape;
        GetBParameters(table, c.p, shape);
        EXPECT_NEAR(shape.alpha1, c.alpha1, 1e-12) << "p = " << c.p;
        EXPECT_EQ(shape.factor, 0.5);
    }
}

TEST(BetaParameters, EqualLocationsTakeTheFirstRowAbove) {
    test::RecordingUI ui;
    const BetaParameterTable table(linearRows({0.1, 0.2, 0.3, 0.5, 0.5, 0.6, 0.7, 0.8, 0.9}));
    BetaShape shape;
    GetBParameters(table, 0.45, shape);  // between 0.3 and the first 0.5
    EXPECT_NEAR(shape.alpha1, 3 + 0.75 * 2, 1e-12);
    GetBParameters(table, 0.55, shape);  // between the second 0.5 and 0.6
    EXPECT_NEAR(shape.alpha1, 5.5, 1e-12);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(BetaParameters, NoBracketBelowRowOneIsReportedAndKeepsTheShape) {
    test::RecordingUI ui;
    const BetaParameterTable table(linearRows({0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 0.9}));
    BetaShape shape{7, 7, 7, 7, 7};
    GetBParameters(table, 0.15, shape);
    EXPECT_EQ(shape.alpha1, 7);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error in fnGetBParameters");
}

TEST(BetaParameters, SampleRowsMirrorAboutTheMiddleWithTheDeepestBedAtTheirLocation) {
    const auto rows = sampleBetaParameterRows();
    ASSERT_EQ(rows.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        const auto& r = rows[i];
        const auto& m = rows[8 - i].shape;
        EXPECT_DOUBLE_EQ(r.location, (i + 1) / 10.0);
        EXPECT_EQ(r.shape.alpha1, m.beta1);
        EXPECT_EQ(r.shape.alpha2, m.beta2);
        EXPECT_EQ(r.shape.factor, m.factor);
        std::vector<double> x;
        for (int k = 0; k <= 100; ++k) x.push_back(k / 100.0);
        const auto y = BetaArray(r.shape, x);
        const auto deepest = std::max_element(y.begin(), y.end()) - y.begin();
        EXPECT_NEAR(deepest / 100.0, r.location, 0.02);
        EXPECT_NEAR(y[static_cast<std::size_t>(deepest)], 1, 0.01);
    }
}

TEST(BetaShapeMaths, GammaAndBetaAgainstKnownValues) {
    test::RecordingUI ui;
    EXPECT_NEAR(Gamma(5), 24, 1e-12);
    EXPECT_NEAR(Gamma(0.5), std::sqrt(std::numbers::pi), 1e-14);
    EXPECT_NEAR(Gamma(4.5), 3.5 * Gamma(3.5), 1e-12);  // Γ(x+1) = xΓ(x)
    EXPECT_EQ(Gamma(0), -99);
    EXPECT_EQ(Gamma(-2.5), -99);
    EXPECT_NEAR(CalculateBeta(2, 3), 1.0 / 12, 1e-15);
    EXPECT_NEAR(CalculateBeta(0.5, 0.5), std::numbers::pi, 1e-13);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Gamma(200), 0);  // beyond a double
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error in fnGamma");
}

TEST(BetaShapeMaths, SymmetricShapeIsTheClosedForm) {
    // α = β = 2: density 6u(1 − u) twice, scaled by f.
    std::vector<double> x;
    for (int k = 0; k <= 100; ++k) x.push_back(k / 100.0);
    const auto y = BetaArray({2, 2, 2, 2, 0.25}, x);
    for (int k = 0; k <= 100; ++k) {
        EXPECT_NEAR(y[k], 0.25 * 12 * x[k] * (1 - x[k]), 1e-12) << k;
        EXPECT_NEAR(y[k], y[100 - k], 1e-12);
    }
}

TEST(BetaShapeMaths, FailingPowerKeepsThePreviousTerm) {
    // α1 = 0.5 makes u^(α1−1) infinite at u = 0 and β1 = 0.5 at u = 1: the first term keeps 0 at
    // the start and its value at 0.99 at the end; the second term is 0 at both ends.
    const BetaShape s{0.5, 0.5, 2, 2, 1};
    const auto y = BetaArray(s, {0, 0.5, 0.99, 1});
    const double b1 = std::numbers::pi;  // B(0.5, 0.5)
    EXPECT_EQ(y[0], 0);
    EXPECT_NEAR(y[2], 1 / (std::sqrt(0.99 * 0.01) * b1) + 6 * 0.99 * 0.01, 1e-9);
    EXPECT_NEAR(y[3], 1 / (std::sqrt(0.99 * 0.01) * b1), 1e-9);
}

class BetaStations : public BetaSections,
                     public ::testing::WithParamInterface<std::tuple<double, test::StoreFormat>> {};

TEST_P(BetaStations, LastStationAtTheThalwegsEndAndMeasuresAlongIt) {
    const auto [length, format] = GetParam();
    runDialog(straightRiver(length), "1000", "CrossSections", format);
    ASSERT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Cross-sections from thalweg] Cross-sections created "
                                       "successfully!"});
    const auto stored = sections();
    const std::vector<double> stations = length == 2500 ? std::vector<double>{0, 1000, 2000, 2500}
                                                        : std::vector<double>{0, 1000, 2000, 3000};
    ASSERT_EQ(stored.size(), stations.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const auto vertices = allVertices(stored[i].shape);
        ASSERT_EQ(vertices.size(), 101u);
        // Left end first (looking along the segment), deepest at 60 of 100 from it: p = 0.6.
        EXPECT_NEAR(vertices.front().x, stations[i], 1e-9);
        EXPECT_NEAR(vertices.front().y, 50, 1e-9);
        EXPECT_NEAR(vertices.back().y, -50, 1e-9);
        EXPECT_NEAR(vertices.front().z, kBank, 1e-9);
        const auto deepest = std::min_element(vertices.begin(), vertices.end(),
                                              [](auto& a, auto& b) { return a.z < b.z; });
        EXPECT_NEAR(deepest->y, -10, 2.0);
        EXPECT_NEAR(*toDouble(stored[i]["ALPHA1"]), 3.4, 1e-6);  // the 0.6 row
        EXPECT_NEAR(*toDouble(stored[i]["Measure"]), stations[i], 1e-6);
    }
    EXPECT_EQ(ui.progress.message, "Sorting cross-sections...");
    EXPECT_FALSE(ui.progress.visible);
}

INSTANTIATE_TEST_SUITE_P(StoresAndLengths, BetaStations,
                         ::testing::Combine(::testing::Values(2500.0, 3000.0),
                                            ::testing::Values(test::StoreFormat::GeoPackage,
                                                              test::StoreFormat::Shapefile)));

TEST_F(BetaSections, OlderSectionGetsItsMeasureRewritten) {
    auto layers = straightRiver(2500);
    layers[2].fields = {{"Measure", FieldType::Double}};
    layers[2].features = {{"LINESTRING Z (1234 30 0,1234 -30 0)", {-1.0}}};
    runDialog(layers);
    const auto stored = sections();
    ASSERT_EQ(stored.size(), 5u);
    EXPECT_NEAR(*toDouble(stored[0]["Measure"]), 1234, 1e-6);
}

TEST_F(BetaSections, RefusalsLeaveTheMapAsItWas) {
    const struct {
        bool table;
        std::string output, message;
        bool stillOpen;
    } cases[] = {
        {true, "Thalweg",
         "[Create beta sections] Please select different layers for the thalweg and beta "
         "sections.",
         true},
        // A missing parameter file is a refusal too: the dialog stays open for another try.
        {false, "CrossSections", "", true},
    };
    for (const auto& c : cases) {
        if (!c.table) std::filesystem::remove(betaParameterPath());
        ui.messages.clear();
        runDialog(straightRiver(2500), "1000", c.output);
        const std::string expected =
            c.table ? c.message
                    : "[Beta Parameters File Error] Please copy BetaParameters.gpkg to '" +
                          work.dir.path() + "' and run the tool again";
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{expected});
        EXPECT_EQ(Forms::get<frmNewBetaFromTha>().isLoaded(), c.stillOpen);
        EXPECT_TRUE(unchanged());
        Forms::reset();
    }
}

TEST_F(BetaSections, MissingTableIsRefusedNamingTheFile) {
    writeTable(betaParameterPath(), "Parameters", {{"LOCATION", FieldType::Double}}, {{0.5}});
    runDialog(straightRiver(2500));
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Table Error] The parameter table does "
                                       "not exist at '" +
                                       betaParameterPath() + "'. Please add the table."});
    EXPECT_TRUE(Forms::get<frmNewBetaFromTha>().isLoaded());
    EXPECT_TRUE(unchanged());
}

TEST_F(BetaSections, NonPositiveIntervalIsRefused) {
    runDialog(straightRiver(2500), "0");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The cross-section interval must be a positive number");
    EXPECT_TRUE(sections().empty());
}

TEST(BetaSectionsCli, SampleTableThenSectionsThroughTheCommandLine) {
    WorkFolder work(false);
    const auto table = test::runCli({"beta-parameters"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(test::validatorFindings(betaParameterPath()), "");
    test::TempMap store(straightRiver(3000));
    const auto result = test::runCli({"run", "clsBetaFromTha", "--map", store.storePath().string(),
                                      "--set", "txtInterval=1500"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("[Cross-sections from thalweg] Cross-sections created successfully!"),
              std::string::npos);
    EXPECT_EQ(
        test::queryRows(store.storePath(),
                        "SELECT CAST(ROUND(Measure) AS INTEGER) FROM CrossSections ORDER BY fid"),
        "0\n1500\n3000\n");
    EXPECT_EQ(test::validatorFindings(store.storePath()), "");
}

}  // namespace
}  // namespace ondu
