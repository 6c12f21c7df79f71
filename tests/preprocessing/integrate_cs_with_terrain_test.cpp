#include "preprocessing/integrate_cs_with_terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "framework/file_helpers.h"
#include "framework/geometry/curve.h"
#include "framework/host/sample_river.h"
#include "framework/map_helpers.h"
#include "framework/surface_helpers.h"
#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;
using test::StoreFormat;

/// The valley of a straight river along +X from (0, 0): a floor falling 0.000625 per unit X,
/// 99.5 at X = 0, flat within 180 of the axis y = 0.
SampleRiverOptions valleyRiver() {
    return {
        .length = 400, .amplitude = 0, .width = 80, .slope = 0.0005, .originX = 0, .originY = 0};
}
double valley(double x, double y) { return sampleValleyElevation(valleyRiver(), x, y); }

/// A 40-unit section across the river at x, from y = -20 to 20, its bed 3 below the floor.
test::FeatureSpec section(double x, FieldValue measure) {
    const std::string xs = std::to_string(x);
    const double bank = valley(x, 20), bed = bank - 3;
    return {"LINESTRING Z (" + xs + " -20 " + std::to_string(bank) + "," + xs + " 0 " +
                std::to_string(bed) + "," + xs + " 20 " + std::to_string(bank) + ")",
            {measure}};
}

test::LayerSpec sections(std::vector<Field> extraFields = {}) {
    std::vector<Field> fields = {{"Measure", FieldType::Double}};
    fields.insert(fields.end(), extraFields.begin(), extraFields.end());
    // Stored out of measure order: the run must sort them.
    return {.name = "CrossSections",
            .hasZ = true,
            .fields = fields,
            .features = {section(300, 300.0), section(100, 100.0), section(200, 200.0)}};
}

/// A surface whose elevation is y, without data beyond y = `edge`.
class Ramp : public ISurface {
public:
    explicit Ramp(double edge = 1e9) : edge_(edge) {}
    double elevation(double, double y) const override { return y > edge_ ? kNaN : y; }

private:
    double edge_;
};

TEST(GetExtendedLine, ReachesFactorTimesTheLengthStraightOnAndDrapes) {
    struct Case {
        const char* name;
        double factor;
        bool atStart;
        Point first, last;
        std::size_t vertices;
    };
    const Polyline line({{0, 0, 5}, {0, 10, 5}}, true, false);
    const Case cases[] = {
        {"end, factor 2", 2, false, {0, 10, 5}, {0, 20, 20}, 5},
        {"end, factor 3", 3, false, {0, 10, 5}, {0, 30, 30}, 9},
        {"start, factor 2", 2, true, {0, -10, -10}, {0, 0, 5}, 5},
        {"end, factor 1", 1, false, {0, 10, 5}, {0, 10, 5}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Polyline e = GetExtendedLine(line, Ramp(), c.atStart, c.factor, 2.5);
        ASSERT_EQ(e.paths.size(), 1u);
        const Path& p = e.paths.front();
        EXPECT_EQ(p.size(), c.vertices);
        for (const auto& [got, want] : {std::pair{p.front(), c.first}, {p.back(), c.last}}) {
            EXPECT_NEAR(got.x, want.x, 1e-12);
            EXPECT_NEAR(got.y, want.y, 1e-12);
            EXPECT_NEAR(got.z, want.z, 1e-12);
        }
    }
}

TEST(GetExtendedLine, RefusesAShortFactorAndAnExtensionOffTheSurface) {
    const Polyline line({{0, 0, 5}, {0, 10, 5}}, true, false);
    EXPECT_THROW(GetExtendedLine(line, Ramp(), false, 0.5, 1), std::invalid_argument);
    EXPECT_THROW(GetExtendedLine(line, Ramp(15), false, 2, 1), HostError);
}

TEST(TerrainHelpers, FailuresShowTheirMessages) {
    test::RecordingUI ui;
    test::TempDir dir;
    EXPECT_FALSE(surfaceUtil::KillRaster(dir.path(), "nothing"));
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_FALSE(FolderExists(dir.file("missing")));
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Kill: 1] The following error occurred: no raster "
                                       "nothing in " +
                                       dir.path() + "."});
}

class IntegrateDialog : public test::DialogTest<frmIntegrateCSwithTerrain> {
protected:
    /// A store of the sections and the valley written beside it as a raster and a TIN.
    void makeMap(StoreFormat format = StoreFormat::GeoPackage,
                 const std::vector<test::LayerSpec>& layers = {sections()}) {
        host.reset();
        store = std::make_unique<test::TempMap>(layers, format);
        terrainFolder = store->folder() / "terrain";
        fs::create_directories(terrainFolder);
        writeSampleValley((terrainFolder / "valley.tif").string(),
                          (terrainFolder / "valley-tin.gpkg").string(), valleyRiver(), 5);
        openHost();
    }
    void openHost() {
        auto map = store->openMap();
        map->addSurfaceLayer("Terrain", LayerKind::Raster, (terrainFolder / "valley.tif").string());
        map->addSurfaceLayer("TerrainTIN", LayerKind::Tin,
                             (terrainFolder / "valley-tin.gpkg").string());
        host = std::make_unique<test::InstalledHost>(std::move(map));
    }

    IntegrateCSwithTerrainOptions options(bool extend = false, bool newTerrain = false) {
        return {.surface = "Terrain", .extend = extend, .newTerrain = newTerrain};
    }
    IntegrateCSwithTerrainResult runWith(const IntegrateCSwithTerrainOptions& o) {
        return run(o, host->app().document(), userInterface().statusProgress());
    }
    IFeatureLayer* copyLayer() {
        host.reset();
        auto map = MapDocument::open(store->sourceOf("CrossSections_new").string());
        copyMap = std::make_unique<test::InstalledHost>(std::move(map));
        return copyMap->featureLayer("CrossSections_new");
    }
    std::set<std::string> terrainFiles() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(terrainFolder))
            names.insert(e.path().filename().string());
        for (const auto& e : fs::directory_iterator(store->folder()))
            names.insert(e.path().filename().string());
        return names;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host, copyMap;
    fs::path terrainFolder;
};

TEST_F(IntegrateDialog, ProcessesSectionsInMeasureOrderWhateverTheirStorage) {
    makeMap();
    for (bool descending : {false, true}) {
        SCOPED_TRACE(descending);
        auto o = options();
        o.measuresDescending = descending;
        o.createNew = false;
        const auto result = runWith(o);
        const std::vector<double> expected =
            descending ? std::vector<double>{300, 200, 100} : std::vector<double>{100, 200, 300};
        for (const auto& line : result.profileLines) {
            ASSERT_EQ(line.paths.front().size(), 3u);
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_DOUBLE_EQ(line.paths.front()[i].x, expected[i]);
        }
    }
}

TEST_F(IntegrateDialog, DivisionsGiveOneProfileLineMoreJoiningStartAndEndPoints) {
    makeMap();
    for (bool extend : {false, true}) {
        SCOPED_TRACE(extend);
        auto o = options(extend);
        o.createNew = false;
        const auto result = runWith(o);
        ASSERT_EQ(result.profileLines.size(), 26u);
        const double reach = extend ? 60 : 20;
        for (const Point& p : result.profileLines.front().paths.front())
            EXPECT_NEAR(p.y, -reach, 1e-9);
        for (const Point& p : result.profileLines.back().paths.front())
            EXPECT_NEAR(p.y, reach, 1e-9);
        // The outline: L(0) forwards, L(25) backwards, closed.
        const Path& ring = result.outline.rings.front();
        ASSERT_EQ(ring.size(), 7u);
        EXPECT_DOUBLE_EQ(ring[3].x, 300);
        EXPECT_DOUBLE_EQ(ring[3].y, reach);
        EXPECT_DOUBLE_EQ(ring[5].x, 100);
        EXPECT_DOUBLE_EQ(ring.back().y, ring.front().y);
        host.reset();
        openHost();
    }
}

TEST_F(IntegrateDialog, FactorTwoMakesThreePartsThreeTimesAsLongOnTheTerrain) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(static_cast<int>(format));
        makeMap(format);
        auto& form = openDialog();
        form.apply("chkExtend", "1");
        form.pressOk();
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[Integration] Process completed successfully!"});
        const auto stored = test::storedFeatures(copyLayer());
        ASSERT_EQ(stored.size(), 3u);
        for (const auto& f : stored) {
            const auto& line = std::get<Polyline>(f.shape);
            // The three parts meet end to end: a line class stores them as one line.
            EXPECT_EQ(line.paths.size(), 1u);
            EXPECT_NEAR(length(line), 120, 1e-9);
            EXPECT_EQ(f["NewFeat"], FieldValue{1LL});
            // The outer parts lie on the terrain; the joints keep the section's Z.
            for (const Point& p : allVertices(line))
                if (std::abs(p.y) > 20 + 1e-9) EXPECT_NEAR(p.z, valley(p.x, p.y), 1e-4);
        }
        ui.messages.clear();
        copyMap.reset();
        Forms::reset();
    }
}

TEST_F(IntegrateDialog, FactorOneGivesZeroLengthExtensions) {
    makeMap();
    auto o = options(true);
    o.factor = 1;
    o.createNew = false;
    runWith(o);
    for (const auto& f : test::storedFeatures(host->featureLayer("CrossSections"))) {
        const auto& line = std::get<Polyline>(f.shape);
        EXPECT_EQ(line.vertexCount(), 5u);  // each end doubled
        EXPECT_EQ(length(line), 40);
    }
}

TEST_F(IntegrateDialog, RasterAndTinTerrainsGiveTheSameExtensions) {
    makeMap();
    auto o = options(true);
    const auto onRaster = runWith(o);
    o.surface = "TerrainTIN";
    const auto onTin = runWith(o);
    // Both are linear between samples of one function that is linear where the extensions run.
    ASSERT_EQ(onRaster.profileLines.size(), onTin.profileLines.size());
    for (std::size_t k = 0; k < onTin.profileLines.size(); ++k)
        for (std::size_t i = 0; i < 3; ++i) {
            const Point& a = onRaster.profileLines[k].paths[0][i];
            const Point& b = onTin.profileLines[k].paths[0][i];
            EXPECT_NEAR(a.y, b.y, 1e-9);
            EXPECT_NEAR(a.z, b.z, 0.01);
        }
}

TEST_F(IntegrateDialog, WritesNoTerrainWithoutNewTerrain) {
    makeMap();
    const auto before = terrainFiles();
    const auto result = runWith(options(true));
    EXPECT_TRUE(result.terrains.empty());
    auto after = terrainFiles();
    EXPECT_EQ(after, before);
}

TEST_F(IntegrateDialog, CreateNewReplacesItsOlderCopyOnlySelectedGetNewFeat) {
    makeMap();
    runWith(options(true));
    host.reset();
    openHost();
    host->featureLayer("CrossSections")->selectionSet().add(2);
    runWith(options());
    const auto stored = test::storedFeatures(copyLayer());
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0]["NewFeat"], FieldValue{});
    EXPECT_EQ(stored[1]["NewFeat"], FieldValue{1LL});
    EXPECT_NEAR(length(std::get<Polyline>(stored[0].shape)), 40, 1e-9);  // the old copy is gone
}

TEST_F(IntegrateDialog, CreateNewFromAClassWithNewFeatReusesTheField) {
    makeMap(StoreFormat::GeoPackage, {sections({{"NewFeat", FieldType::Integer}})});
    runWith(options(true));
    const auto stored = test::storedFeatures(copyLayer());
    ASSERT_EQ(stored.size(), 3u);
    for (const auto& f : stored) EXPECT_EQ(f["NewFeat"], FieldValue{1LL});
}

TEST_F(IntegrateDialog, ReplaceModeWritesNewFeatOnlyWhereTheClassHasIt) {
    for (bool withField : {false, true}) {
        SCOPED_TRACE(withField);
        makeMap(StoreFormat::GeoPackage,
                {sections(withField ? std::vector<Field>{{"NewFeat", FieldType::Integer}}
                                    : std::vector<Field>{})});
        auto& form = openDialog();
        form.apply("chkExtend", "1");
        form.apply("optReplace", "1");
        form.pressOk();
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[Integration] Process completed successfully!"});
        for (const auto& f : test::storedFeatures(host->featureLayer("CrossSections"))) {
            EXPECT_NEAR(length(std::get<Polyline>(f.shape)), 120, 1e-9);
            if (withField) EXPECT_EQ(f["NewFeat"], FieldValue{1LL});
        }
        EXPECT_FALSE(maputil::FeatureClassExists(
            maputil::featureClassOf(host->featureLayer("CrossSections")), "CrossSections_new"));
        ui.messages.clear();
        Forms::reset();
    }
}

TEST_F(IntegrateDialog, MergedTakesTheSectionSurfaceInsideTheOutlineAndTheTerrainOutside) {
    makeMap();
    const auto result = runWith(options(true, true));
    ASSERT_EQ(result.terrains.size(), 3u);
    auto merged = surfaceUtil::OpenRasterDataset(terrainFolder.string(), "merged");
    auto terrain = surfaceUtil::OpenRasterDataset(terrainFolder.string(), "valley");
    auto rast = surfaceUtil::OpenRasterDataset(terrainFolder.string(), "rast");
    ASSERT_TRUE(merged && terrain && rast);
    EXPECT_EQ(merged->columns(), terrain->columns());
    EXPECT_EQ(merged->origin().x, terrain->origin().x);
    EXPECT_EQ(rast->cellWidth(), 30);
    const TinPtr sectionsTin = openTin(result.terrains[0]);
    const auto cells = merged->band(0).readBlock(0, 0, merged->columns(), merged->rows());
    const auto ground = terrain->band(0).readBlock(0, 0, merged->columns(), merged->rows());
    long inside = 0;
    for (int r = 0; r < merged->rows(); ++r)
        for (int c = 0; c < merged->columns(); ++c) {
            const double x = merged->origin().x + (c + 0.5) * 5;
            const double y = merged->origin().y + (merged->rows() - r - 0.5) * 5;
            const double v = cells[static_cast<std::size_t>(r) * merged->columns() + c];
            // Well inside the outline: the section surface at the centre of the "rast" cell.
            if (x > 130 && x < 270 && std::abs(y) < 40) {
                ++inside;
                const double rx = 100 + std::round((x - 100) / 30) * 30;
                const double ry = std::round(y / 30) * 30;
                EXPECT_NEAR(v, sectionsTin->elevation(rx, ry), 1e-4) << x << " " << y;
            } else if (x < 40 || x > 360 || std::abs(y) > 100) {
                EXPECT_EQ(v, ground[static_cast<std::size_t>(r) * merged->columns() + c]);
            }
        }
    EXPECT_GT(inside, 300);
}

TEST_F(IntegrateDialog, MergedTinHoldsTheSectionElevationsAlongTheProfileLines) {
    makeMap();
    auto o = options(true, true);
    o.surface = "TerrainTIN";
    const auto result = runWith(o);
    ASSERT_EQ(result.terrains.size(), 1u);
    EXPECT_EQ(fs::path(result.terrains[0]).filename(), "MergedTIN.gpkg");
    const TinPtr merged = openTin(result.terrains[0]);
    for (const auto& line : result.profileLines) {
        const Path& p = line.paths.front();
        for (std::size_t i = 0; i + 1 < p.size(); ++i) {
            const double x = (p[i].x + p[i + 1].x) / 2, y = (p[i].y + p[i + 1].y) / 2;
            EXPECT_NEAR(merged->elevation(x, y), (p[i].z + p[i + 1].z) / 2, 1e-6);
        }
    }
    EXPECT_FALSE(fs::exists(store->folder() / "NewTIN.gpkg"));
}

TEST_F(IntegrateDialog, ForeignOutputsAreLeftAloneAndStopTheRun) {
    struct Case {
        const char* name;
        std::vector<test::LayerSpec> layers;
        bool foreignRast;
        std::string message;
    };
    const Case cases[] = {
        {"a text file named rast",
         {sections()},
         true,
         "rast.tif\" exists and is not an output of this tool: it is left as it is. Move it "
         "away and run the tool again."},
        {"a class _new that is not ours",
         {sections(), {.name = "CrossSections_new", .hasZ = true}},
         false,
         "[Warning] The class \"CrossSections_new\" exists and is not an output of this tool: "
         "it is left as it is. Rename it and run the tool again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeMap(StoreFormat::GeoPackage, c.layers);
        if (c.foreignRast) test::writeFile((terrainFolder / "rast.tif").string(), "x");
        const auto before = test::fingerprint(store->storePath());
        const auto files = terrainFiles();
        auto& form = openDialog();
        form.apply("chkNewTerrain", "1");
        form.pressOk();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messageLines()[0].find(c.message), std::string::npos) << ui.messageLines()[0];
        EXPECT_TRUE(form.isLoaded());
        host.reset();
        EXPECT_EQ(test::fingerprint(store->storePath()), before);
        EXPECT_EQ(terrainFiles(), files);
        ui.messages.clear();
        Forms::reset();
    }
}

TEST_F(IntegrateDialog, AFailureNamesStepAndSectionAndChangesNothing) {
    makeMap();
    const auto before = test::fingerprint(store->storePath());
    auto& form = openDialog();
    form.apply("chkExtend", "1");
    form.apply("cmbMeasure", "Measure");  // the first field listed is the identifier
    form.apply("txtFactor", "100");       // reaches 3980 from the river, past the terrain
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[] Extending, cross-section 2: the extension runs off "
                                       "the terrain surface"});
    EXPECT_TRUE(form.isLoaded());
    host.reset();
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

TEST_F(IntegrateDialog, WarnsInOrderAndStaysOpen) {
    struct Case {
        const char* control;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"txtFactor", "two", "[Warning] Enter a valid number for extension factor"},
        {"txtNoProfileLines", "2.5", "[Warning] Enter a valid number for divisions"},
        {"txtNoProfileLines", "0", "[Warning] The number of divisions must be at least 1."},
        {"txtFactor", "0.5", "[Warning] The extension factor must be a number of at least 1."},
    };
    makeMap();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto& form = openDialog();
        form.apply("chkExtend", "1");
        form.apply(c.control, c.value);
        form.pressOk();
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(form.isLoaded());
        ui.messages.clear();
        Forms::reset();
    }
    host.reset();
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    openDialog().pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] No layer selected for cross-sections"});
}

TEST_F(IntegrateDialog, RunsFromTheCommandLine) {
    makeMap();
    host.reset();
    const std::string mapPath = (store->folder() / "map.json").string();
    test::writeFile(mapPath, R"({"layers": [
        {"name": "CrossSections", "source": "store.gpkg", "table": "CrossSections"},
        {"name": "Terrain", "kind": "raster", "source": "terrain/valley.tif"}]})");
    const auto result =
        test::runCli({"run", "clsIntegrateCSwithTerrain", "--map", mapPath, "--set", "chkExtend=1",
                      "--set", "chkNewTerrain=1", "--set", "txtNoProfileLines=10"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "[Integration] Process completed successfully!\n");
    EXPECT_TRUE(fs::exists(terrainFolder / "merged.tif"));
    EXPECT_TRUE(fs::exists(store->folder() / "NewTIN.gpkg"));

    // A failed run stops with its message, exit status 1, and leaves the store as it was (the
    // measure list proposes the first real field, Measure, so feature 2 of measure 100 comes
    // first).
    const auto before = test::fingerprint(store->storePath());
    const auto failed = test::runCli({"run", "clsIntegrateCSwithTerrain", "--map", mapPath, "--set",
                                      "chkExtend=1", "--set", "txtFactor=100"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err,
              "[] Extending, cross-section 2: the extension runs off the terrain "
              "surface\n");
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

}  // namespace
}  // namespace ondu
