#include "morphology/thalweg_from_cross_sections.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/host/sample_river.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

const char* kInside = "[] Thalweg was created successfully.";
const char* kOutside =
    "[] Thalweg was created succuessfully. However, it goes outside the channel boundary at some "
    "points. Please edit the thalweg manually.";

/// A straight section across x = `x`, from y = -10 to y = 10, lowest at vertex `lowest` of 5.
std::string section(double x, int lowest) {
    std::string wkt = "LINESTRING Z (";
    for (int k = 0; k < 5; ++k)
        wkt += (k ? "," : "") + std::to_string(x) + " " + std::to_string(-10 + 5 * k) + " " +
               (k == lowest ? "90" : "95");
    return wkt + ")";
}

test::LayerSpec sections(std::vector<std::pair<std::string, double>> shapesAndMeasures) {
    test::LayerSpec layer{
        .name = "CrossSections", .hasZ = true, .fields = {{"Measure", FieldType::Double}}};
    for (auto& [wkt, m] : shapesAndMeasures) layer.features.push_back({wkt, {m}});
    return layer;
}

test::LayerSpec boundary(
    const std::string& wkt = "POLYGON ((-5 -20,100 -20,100 20,-5 20,-5 -20))") {
    return {.name = "ChannelBoundary", .shape = ShapeType::Polygon, .features = {{wkt, {}}}};
}

test::LayerSpec thalwegLayer() { return {.name = "Thalweg", .hasZ = true, .hasM = true}; }

class ThalwegCsDialog : public ::testing::TestWithParam<StoreFormat> {
protected:
    void TearDown() override { Forms::reset(); }

    frmThalweg_CS& open(const std::vector<test::LayerSpec>& layers) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers, GetParam());
        host = std::make_unique<test::InstalledHost>(store->openMap());
        host->app().editor().startEditing();
        auto& form = Forms::get<frmThalweg_CS>();
        form.load();
        return form;
    }
    /// Presses OK, saves, and answers the stored thalweg's vertices (none when none stored).
    Path ok(frmThalweg_CS& form) {
        form.pressOk();
        host->app().editor().stopEditing(true);
        Path vertices;
        auto cursor = host->featureLayer("Thalweg")->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) vertices = allVertices(f->shape());
        return vertices;
    }
    Path straight(std::vector<std::pair<std::string, double>> list) {
        auto& form = open({sections(std::move(list)), boundary(), thalwegLayer()});
        form.setChecked("chkSmooth", false);
        return ok(form);
    }
    double tDist(int k) {
        const long long oid = GetParam() == StoreFormat::Shapefile ? k - 1 : k;
        return *toDouble(test::storedValue(host->featureLayer("CrossSections"), oid, "TDist"));
    }

    test::RecordingUI ui;
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_P(ThalwegCsDialog, TDistIsWhereTheLowestVertexLiesAcross) {
    straight({{section(0, 0), 1}, {section(10, 4), 2}, {section(20, 2), 3}, {section(30, 1), 4}});
    EXPECT_DOUBLE_EQ(tDist(1), 0);
    EXPECT_DOUBLE_EQ(tDist(2), 1);
    EXPECT_DOUBLE_EQ(tDist(3), 0.5);
    EXPECT_DOUBLE_EQ(tDist(4), 0.25);
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{kInside});
}

TEST_P(ThalwegCsDialog, VerticesRunByMeasureWhateverTheReadingOrder) {
    Path thalweg = straight(
        {{section(30, 2), 40}, {section(0, 2), 10}, {section(20, 2), 30}, {section(10, 2), 20}});
    ASSERT_EQ(thalweg.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(thalweg[i].x, 10.0 * static_cast<double>(i));
        EXPECT_DOUBLE_EQ(thalweg[i].m, 10.0 * static_cast<double>(i + 1));
        EXPECT_DOUBLE_EQ(thalweg[i].z, 90);
    }
}

TEST_P(ThalwegCsDialog, EqualMeasuresComeInTheReverseOfTheirReadingOrder) {
    Path thalweg = straight({{section(0, 2), 5},
                             {section(10, 2), 7},
                             {section(20, 2), 7},
                             {section(30, 2), 7},
                             {section(40, 2), 9}});
    std::vector<double> xs;
    for (const Point& p : thalweg) xs.push_back(p.x);
    EXPECT_EQ(xs, (std::vector<double>{0, 30, 20, 10, 40}));
}

TEST_P(ThalwegCsDialog, SmoothedThalwegKeepsItsPointsAndEnds) {
    auto& form = open({sections({{section(0, 1), 1}, {section(10, 3), 2}, {section(20, 1), 3}}),
                       boundary(), thalwegLayer()});
    Path thalweg = ok(form);
    ASSERT_GT(thalweg.size(), 3u);
    EXPECT_DOUBLE_EQ(thalweg.front().y, -5);
    EXPECT_DOUBLE_EQ(thalweg.back().x, 20);
    EXPECT_TRUE(std::any_of(thalweg.begin(), thalweg.end(),
                            [](const Point& p) { return p.x == 10 && p.y == 5; }));
}

TEST_P(ThalwegCsDialog, ThalwegLeavingTheBoundaryIsToldToBeEdited) {
    // The boundary is cut back to x < 15: the thalweg leaves it, crossing its outline once...
    auto& form = open({sections({{section(0, 2), 1}, {section(30, 2), 2}}),
                       boundary("POLYGON ((-5 -20,15 -20,15 20,-5 20,-5 -20))"), thalwegLayer()});
    form.setChecked("chkSmooth", false);
    ok(form);
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{kInside});
    // ... and with a notch into the channel it crosses three times.
    ui.messages.clear();
    Forms::reset();
    auto& again = open({sections({{section(0, 2), 1}, {section(30, 2), 2}}),
                        boundary("POLYGON ((-5 -20,25 -20,25 20,20 20,20 -5,10 -5,10 20,-5 20,-5 "
                                 "-20))"),
                        thalwegLayer()});
    again.setChecked("chkSmooth", false);
    ok(again);
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{kOutside});
}

TEST_P(ThalwegCsDialog, MissingChoicesWarnCrossSectionsThalwegBoundaryInThatOrder) {
    struct Case {
        std::vector<const char*> cleared;
        const char* message;
    };
    const Case cases[] = {
        {{"cmbLayer", "cmbThalweg", "cmbBoundary"},
         "[Warning] No layer selected for cross-sections"},
        {{"cmbThalweg", "cmbBoundary"}, "[Warning] No layer selected for thalweg"},
        {{"cmbBoundary"}, "[Warning] No layer selected for boundary"},
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        auto& form =
            open({sections({{section(0, 2), 1}, {section(10, 2), 2}}), boundary(), thalwegLayer()});
        for (const char* control : c.cleared) form.type(control, "");
        EXPECT_TRUE(ok(form).empty());
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(form.isLoaded());
        Forms::reset();
    }
}

TEST_P(ThalwegCsDialog, SectionWithoutMeasureStopsTheRunNamingItAndStoresNothing) {
    test::LayerSpec layer = sections({{section(0, 2), 1}, {section(20, 2), 2}});
    layer.features.push_back({section(10, 2), {}});
    auto& form = open({layer, boundary(), thalwegLayer()});
    EXPECT_TRUE(ok(form).empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error in Thalweg from Cross-sections");
    EXPECT_NE(ui.messages[0].text.find("94: Invalid use of Null (Measure of feature"),
              std::string::npos)
        << ui.messages[0].text;
    EXPECT_TRUE(form.isLoaded());
}

TEST_P(ThalwegCsDialog, OneSectionMakesNoLineAndIsRefused) {
    auto& form =
        open({sections({{section(0, 2), 1}, {section(10, 2), 2}}), boundary(), thalwegLayer()});
    host->featureLayer("CrossSections")
        ->selectionSet()
        .add(GetParam() == StoreFormat::Shapefile ? 0 : 1);
    const std::string before = test::fingerprint(store->storePath());
    EXPECT_TRUE(ok(form).empty());
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] A thalweg needs at least two cross-sections; "
                                       "CrossSections has one to process"});
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

INSTANTIATE_TEST_SUITE_P(Stores, ThalwegCsDialog,
                         ::testing::Values(StoreFormat::GeoPackage, StoreFormat::Shapefile));

TEST(DeepestPoint, LastOfEqualMinimaAndUnsetElevationsRefused) {
    Polyline line(Path{Point(0, 0, 5), Point(1, 0, 2), Point(2, 0, 2), Point(3, 0, 4)}, true);
    EXPECT_DOUBLE_EQ(GetDeepestPoint(line).x, 2);
    EXPECT_THROW(GetDeepestPoint(Polyline(Path{Point(0, 0), Point(1, 0)})), std::invalid_argument);
    EXPECT_THROW(GetDeepestPoint(Polyline()), std::invalid_argument);
}

TEST(ThalwegCsCommandLine, SurveyedSectionsOfTheSampleRiverGiveAThalwegInsideTheChannel) {
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
    writeSampleRiver(river, SampleRiverOptions{});
    auto r = test::runCli(
        {"run", "clsThalweg_CS", "--map", river, "--set", "cmbLayer=SurveyCrossSections"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[] Thalweg was created successfully.\n");
    auto layers = test::runCli({"layers", "--map", river});
    EXPECT_NE(layers.out.find("Thalweg\tfeature\tpolyline\tZ\t1\t0"), std::string::npos)
        << layers.out;
}

}  // namespace
}  // namespace ondu
