#include "preprocessing/profile_from_flow_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "framework/geometry/curve.h"
#include "framework/host/map_document.h"
#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

/// A V-shaped section across the channel at X = x: from Y = y0 (Z 10) down to the bed at
/// Y = y0 + 10 (Z 0) and up to Y = y0 + 20 (Z 10); a level h meets it at y0 + 10 -+ h.
test::FeatureSpec vSection(double station, double x, double y0 = 0) {
    const auto pt = [&](double y, double z) {
        return std::to_string(x) + " " + std::to_string(y0 + y) + " " + std::to_string(z);
    };
    return {"LINESTRING Z (" + pt(0, 10) + "," + pt(10, 0) + "," + pt(20, 10) + ")", {station}};
}

test::LayerSpec sections(std::vector<test::FeatureSpec> features) {
    return {.name = "CrossSections",
            .hasZ = true,
            .fields = {{"StationNo", FieldType::Double}},
            .features = std::move(features)};
}

struct Row {
    double id;
    std::string profile;
    double wse;
};

test::LayerSpec flowTable(const std::vector<Row>& rows) {
    test::LayerSpec table{
        .name = "FTable",
        .shape = ShapeType::Null,
        .fields = {
            {"XS", FieldType::Double}, {"Profile", FieldType::String}, {"WSE", FieldType::Double}}};
    for (const Row& r : rows) table.features.push_back({"", {r.id, r.profile, r.wse}});
    return table;
}

const test::LayerSpec kProfileLines{.name = "ProfileLines", .hasZ = true};

/// Every row of every profile at each identifier, the rows given profile by profile, the
/// identifiers from the last to the first (the table's order must not matter).
std::vector<Row> rowsFor(const std::vector<double>& ids, const std::vector<double>& levels) {
    std::vector<Row> rows;
    for (std::size_t p = 0; p < levels.size(); ++p)
        for (auto id = ids.rbegin(); id != ids.rend(); ++id)
            rows.push_back({*id, "PF " + std::to_string(p + 1), levels[p]});
    return rows;
}

// ---- where a level meets a section --------------------------------------------------------------

TEST(QueryPt, MeetsTheVSectionOnEachSide) {
    const Polyline v(Path{{0, 0, 10}, {10, 0, 0}, {20, 0, 10}}, true);
    struct Case {
        double level;
        BankSide side;
        std::optional<double> x;
    };
    for (const Case& c :
         {Case{5, BankSide::Left, 5}, Case{5, BankSide::Right, 15},
          // an exact vertex level is found on either side, first vertex first
          Case{10, BankSide::Right, 0}, Case{0, BankSide::Left, 10}, Case{0, BankSide::Right, 10},
          Case{10.5, BankSide::Left, std::nullopt}, Case{-1, BankSide::Right, std::nullopt}}) {
        const auto p = QueryPt(v, c.level, c.side);
        ASSERT_EQ(p.has_value(), c.x.has_value()) << c.level;
        if (!p) continue;
        EXPECT_DOUBLE_EQ(p->x, *c.x) << c.level;
        EXPECT_DOUBLE_EQ(p->z, c.level);
    }
    EXPECT_EQ(GetLowestPt(v), 0);
}

TEST(QueryPt, ASegmentMetOnlyWithinTheToleranceKeepsThePointOnIt) {
    // The level lies 0.0005 above the segment's start: still "met", at the start, not before it.
    const Polyline line(Path{{0, 0, 4.9995}, {10, 0, 3}, {20, 0, 8}}, true);
    const auto p = QueryPt(line, 5, BankSide::Left);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->x, 0);
    // A flat segment within the tolerance gives its start, not a division by zero.
    const Polyline flat(Path{{0, 0, 5.0005}, {10, 0, 5.0005}}, true);
    const auto q = QueryPt(flat, 5, BankSide::Right);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->x, 0);
}

// ---- the dialog ---------------------------------------------------------------------------------

class ProfileDialog : public test::DialogTest<frmProfileFromFTable> {
protected:
    frmProfileFromFTable& openOn(const std::vector<test::LayerSpec>& layers) {
        store = std::make_unique<test::TempMap>(layers);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        return openDialog();
    }
    std::vector<test::StoredFeature> runOn(const std::vector<test::LayerSpec>& layers) {
        auto& form = openOn(layers);
        form.choose("cmbProfileID", "Profile");
        form.choose("cmbWSE", "WSE");
        form.choose("cmbProfile", "ProfileLines");
        form.pressOk();
        return test::storedFeatures(host->featureLayer("ProfileLines"));
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

/// The single path of a stored line.
const Path& pathOf(const test::StoredFeature& f) { return std::get<Polyline>(f.shape).paths.at(0); }

/// The Y and Z of every vertex of the line, which for straight runs of sections is all there is
/// to a profile line.
std::vector<std::pair<double, double>> yzOf(const test::StoredFeature& f) {
    std::vector<std::pair<double, double>> yz;
    for (const Point& p : pathOf(f)) yz.emplace_back(p.y, p.z);
    return yz;
}

TEST_F(ProfileDialog, ThreeProfilesGiveNineLinesFromTheHighestLeftEdgeToTheHighestRightEdge) {
    const auto lines =
        runOn({sections({vSection(300, 300), vSection(100, 100), vSection(200, 200)}),
               flowTable(rowsFor({100, 200, 300}, {4, 6, 2})), kProfileLines});
    ASSERT_EQ(lines.size(), 9u) << ui.messageLines()[0];
    // start, left 6/4/2, lowest, right 2/4/6, end: Y and Z of the vertex on each section.
    const std::vector<std::pair<double, double>> expected = {
        {0, 10}, {4, 6}, {6, 4}, {8, 2}, {10, 0}, {12, 2}, {14, 4}, {16, 6}, {20, 10}};
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const Path& path = pathOf(lines[k]);
        ASSERT_EQ(path.size(), 3u) << k;  // a straight run stays three vertices when smoothed
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ(path[i].x, 100.0 * (i + 1)) << k;  // ascending identifiers
            EXPECT_DOUBLE_EQ(path[i].y, expected[k].first) << k;
            EXPECT_DOUBLE_EQ(path[i].z, expected[k].second) << k;
        }
    }
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[] Profile lines created successfully!"});
    EXPECT_EQ(ui.progress.steps, 3);
    EXPECT_FALSE(Forms::anyLoaded());
}

TEST_F(ProfileDialog, OneProfileGivesFiveSmoothLinesThroughEverySection) {
    // Sections staggered across the valley: the lines bend, and smoothing adds vertices between
    // the sections while keeping each section's vertex.
    const auto lines =
        runOn({sections({vSection(100, 100, 0), vSection(200, 200, 30), vSection(300, 300, 0)}),
               flowTable({{200, "PF 1", 5}, {100, "PF 1", 5}, {300, "PF 1", 5}}), kProfileLines});
    ASSERT_EQ(lines.size(), 5u);
    const double across[] = {0, 5, 10, 15, 20};
    for (std::size_t k = 0; k < 5; ++k) {
        const Path& path = pathOf(lines[k]);
        EXPECT_GT(path.size(), 3u) << k;
        std::size_t found = 0;
        for (const Point& p : path) {
            const double x = 100.0 * (found + 1);
            const double y = across[k] + (found == 1 ? 30 : 0);
            if (found < 3 && std::abs(p.x - x) < 1e-9 && std::abs(p.y - y) < 1e-9) ++found;
        }
        EXPECT_EQ(found, 3u) << "line " << k << " misses a section vertex or their order";
        EXPECT_TRUE(std::get<Polyline>(lines[k].shape).zAware);
    }
}

TEST_F(ProfileDialog, AnIdentifierMatchesTheFirstSectionStrictlyWithinHalfAUnit) {
    // 1250.5 lies outside; of 1249.7 and 1250.4 the first stored is taken.
    const auto lines = runOn({sections({vSection(1250.5, 1), vSection(1249.7, 2),
                                        vSection(1250.4, 3), vSection(1300, 4)}),
                              flowTable({{1250, "PF 1", 5}, {1300, "PF 1", 5}}), kProfileLines});
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(pathOf(lines[0]).front().x, 2);
    EXPECT_EQ(pathOf(lines[0]).back().x, 4);
}

TEST_F(ProfileDialog, OpenOutcomesStopNamingTheIdentifierAndWriteNothing) {
    struct Case {
        std::vector<test::FeatureSpec> sections;
        std::vector<Row> rows;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{vSection(1250.5, 1), vSection(1300, 2)},
         {{1250, "PF 1", 5}, {1300, "PF 1", 5}},
         "No cross-section of CrossSections lies within 0.5 of the identifier 1250"},
        {{vSection(100, 1), vSection(200, 2)},
         {{100, "PF 1", 5}, {100, "PF 2", 6}, {200, "PF 1", 5}},
         "The cross-section 200 has fewer rows in FTable than there are profiles (2)"},
        {{vSection(100, 1), vSection(200, 2)},
         {{100, "PF 1", 5}, {200, "PF 1", 10.5}},
         "The water level 10.5 does not meet the left side of cross-section 200"},
        {{vSection(100, 1)},
         {{100, "PF 1", 5}},
         "The flow table FTable names fewer than two cross-sections: no line can join them"},
    };
    for (const Case& c : cases) {
        const auto lines = runOn({sections(c.sections), flowTable(c.rows), kProfileLines});
        EXPECT_TRUE(lines.empty()) << c.message;
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{"[Warning] " + c.message});
        EXPECT_TRUE(Forms::anyLoaded());
        host.reset();
        ui.messages.clear();
        Forms::reset();
    }
}

TEST_F(ProfileDialog, ListsOfferTablesAndTheirFieldsProposingRealFieldsNotTheKey) {
    auto& form =
        openOn({sections({vSection(100, 1)}),
                flowTable({}),
                kProfileLines,
                {.name = "Other", .shape = ShapeType::Null, .fields = {{"Q", FieldType::Double}}}});
    EXPECT_EQ(form.control("cmbFTable").items, (std::vector<std::string>{"FTable", "Other"}));
    EXPECT_EQ(form.control("cmbCrossIdentifier").items,
              (std::vector<std::string>{"fid", "XS", "Profile", "WSE"}));
    for (const char* list : {"cmbCrossIdentifier", "cmbProfileID", "cmbWSE"})
        EXPECT_EQ(form.control(list).text, "XS") << list;
    EXPECT_EQ(form.control("cmbStation").text, "StationNo");
    form.choose("cmbFTable", "Other");
    EXPECT_EQ(form.control("cmbWSE").text, "Q");
    // Both 3D line layers are offered for both roles; the first is preselected.
    EXPECT_EQ(form.control("cmbProfile").text, "CrossSections");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] The profile-lines layer 'CrossSections' is the "
                                       "cross-section layer 'CrossSections': choose another layer "
                                       "for the results"});
}

TEST_F(ProfileDialog, AMapWithoutTablesWarnsOnOpeningAndOnOk) {
    auto& form = openOn({sections({vSection(100, 1)}), kProfileLines});
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{"[Warning] No Table found in the map"});
    EXPECT_TRUE(form.control("cmbWSE").items.empty());
    ui.messages.clear();
    form.choose("cmbProfile", "ProfileLines");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{"[Warning] No Table found in the map"});
}

// ---- stores: Shapefile layers with a CSV table, through a map document ------------------------

TEST_F(ProfileDialog, ShapefileLayersWithACsvTableListedInAMapDocument) {
    test::TempMap shapes({sections({vSection(100, 100), vSection(200, 200)}), kProfileLines},
                         StoreFormat::Shapefile);
    std::ofstream(shapes.folder() / "flow.csv") << "XS,Profile,WSE\n200,PF 1,5\n100,PF 1,5\n";
    const auto doc = shapes.folder() / "map.json";
    std::ofstream(doc) << R"({"layers": [{"name": "CrossSections", "source": ")"
                       << shapes.sourceOf("CrossSections").string()
                       << R"("}, {"name": "ProfileLines", "source": ")"
                       << shapes.sourceOf("ProfileLines").string()
                       << R"("}], "tables": [{"name": "flow", "source": "flow.csv"}]})";
    host = std::make_unique<test::InstalledHost>(MapDocument::open(doc.string()));
    auto& form = openDialog();
    EXPECT_EQ(form.control("cmbFTable").text, "flow");
    EXPECT_EQ(form.control("cmbCrossIdentifier").text,
              "XS");  // CSV values are text that reads as numbers
    form.choose("cmbProfile", "ProfileLines");
    form.choose("cmbProfileID", "Profile");
    form.choose("cmbWSE", "WSE");
    form.pressOk();
    const auto lines = test::storedFeatures(host->featureLayer("ProfileLines"));
    ASSERT_EQ(lines.size(), 5u) << (ui.messages.empty() ? "" : ui.messageLines()[0]);
    EXPECT_EQ(yzOf(lines[1]), (std::vector<std::pair<double, double>>{{5, 5}, {5, 5}}));
}

TEST(ProfileCommandLine, RunsFromAGeoPackageTableThatLayersListsAsATable) {
    test::TempMap store({sections({vSection(100, 100), vSection(200, 200)}),
                         flowTable(rowsFor({100, 200}, {3, 7})), kProfileLines});
    const std::string map = store.storePath().string();
    const auto layers = test::runCli({"layers", "--map", map});
    EXPECT_NE(layers.out.find("FTable\ttable"), std::string::npos) << layers.out;
    const auto r = test::runCli({"run", "clsProfileFromFTable", "--map", map, "--set",
                                 "cmbProfile=ProfileLines", "--set", "cmbProfileID=Profile",
                                 "--set", "cmbWSE=WSE"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(store.openMap());
    EXPECT_EQ(test::storedFeatures(host.featureLayer("ProfileLines")).size(), 7u);
}

}  // namespace
}  // namespace ondu
