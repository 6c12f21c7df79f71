#include "preprocessing/assign_measures.h"

#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

test::LayerSpec centerline(std::vector<std::string> wkts) {
    test::LayerSpec layer{.name = "Centerline", .hasM = true};
    for (auto& wkt : wkts) layer.features.push_back({std::move(wkt), {}});
    return layer;
}

/// A chain of a 100-unit and a 50-unit line, the second listed first.
const std::vector<std::string> kChain = {"LINESTRING M (100 0 0,150 0 0)",
                                         "LINESTRING M (0 0 0,40 0 0,100 0 0)"};

/// First and last measure of every line, in identifier order.
std::vector<std::pair<double, double>> endMeasures(IFeatureLayer* layer) {
    std::vector<std::pair<double, double>> ends;
    for (const auto& f : test::storedFeatures(layer)) {
        const auto vertices = allVertices(f.shape);
        ends.emplace_back(vertices.front().m, vertices.back().m);
    }
    return ends;
}

class AssignMeasuresDialog : public test::DialogTest<frmAssignMstoReaches> {
protected:
    frmAssignMstoReaches& open(std::vector<std::string> wkts,
                               StoreFormat format = StoreFormat::GeoPackage) {
        store = std::make_unique<test::TempMap>(std::vector{centerline(std::move(wkts))}, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        return openDialog();
    }
    IFeatureLayer* layer() { return host->featureLayer("Centerline"); }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(AssignMeasuresDialog, SingleLinesByDirectionAndScaleInBothStores) {
    struct Case {
        bool relative, reverse;
        std::pair<double, double> ends;
    };
    const Case cases[] = {{false, false, {0, 250}},
                          {false, true, {250, 0}},
                          {true, false, {0, 100}},
                          {true, true, {100, 0}}};
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.relative << c.reverse << (int)format);
            auto& form = open({"LINESTRING M (0 0 0,150 0 0,150 100 0)"}, format);
            form.setChecked("chkRelative", c.relative);
            form.setChecked("chkOrientation", c.reverse);
            form.pressOk();
            EXPECT_EQ(endMeasures(layer()), (std::vector{c.ends}));
            EXPECT_EQ(ui.messageLines().back(),
                      "[Assign Ms to Reaches] Measures assigned successfully!");
            EXPECT_FALSE(Forms::anyLoaded());
            host.reset();
            Forms::reset();
        }
    }
}

TEST_F(AssignMeasuresDialog, MultipleModeRunsOneMeasureRunAlongTheSelectedChain) {
    using Ends = std::vector<std::pair<double, double>>;
    struct Case {
        bool reverse;
        Ends ends;  // in identifier order: the 50-unit line, then the 100-unit line
    };
    const Case cases[] = {{false, {{1100, 1150}, {1000, 1100}}},
                          {true, {{1050, 1000}, {1150, 1050}}}};
    for (const Case& c : cases) {
        auto& form = open(kChain);
        layer()->selectionSet().add(1);
        layer()->selectionSet().add(2);
        form.setChecked("chkMultiple", true);
        form.setChecked("chkOrientation", c.reverse);
        form.type("txtStart", "1000");
        form.pressOk();
        EXPECT_EQ(endMeasures(layer()), c.ends);
        // Interior measures follow the line itself: 40 of 100 units.
        const auto inner = allVertices(test::storedFeatures(layer())[1].shape)[1].m;
        EXPECT_DOUBLE_EQ(inner, c.reverse ? 1150 - 40 : 1040);
        host.reset();
        Forms::reset();
    }
}

TEST_F(AssignMeasuresDialog, MultipleModeWithoutSelectionWarnsAndChangesNothing) {
    auto& form = open(kChain);
    const std::string before = test::fingerprint(store->storePath());
    form.setChecked("chkMultiple", true);
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[AssignMs Warning] Multiple features option works only "
                                       "with selected feature. Try again after selecting "
                                       "features."});
    EXPECT_TRUE(form.isLoaded());
    EXPECT_EQ(test::fingerprint(store->storePath()), before);
}

TEST_F(AssignMeasuresDialog, ARedStartIsRefusedInBothModes) {
    auto& form = open(kChain);
    form.setChecked("chkMultiple", true);
    form.type("txtStart", "abc");
    EXPECT_EQ(form.control("txtStart").foreColor, kRed);
    form.setChecked("chkMultiple", false);
    EXPECT_FALSE(form.control("txtStart").enabled);
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] Enter a valid number for 'Start'"});
    EXPECT_TRUE(form.isLoaded());
}

TEST_F(AssignMeasuresDialog, AFailedChainIsNotReportedAsSuccess) {
    // Two selected lines that do not meet: the chain cannot be walked.
    auto& form = open({"LINESTRING M (0 0 0,10 0 0)", "LINESTRING M (50 0 0,60 0 0)"});
    layer()->selectionSet().add(1);
    layer()->selectionSet().add(2);
    form.setChecked("chkMultiple", true);
    form.pressOk();
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().title, "Error in subAssignMstoMultipleFeatures");
    for (const auto& line : ui.messageLines())
        EXPECT_EQ(line.find("successfully"), std::string::npos) << line;
    EXPECT_TRUE(form.isLoaded());
}

TEST(AssignMeasuresCommandLine, SelectedChainFromTheCommandLine) {
    test::TempMap store({centerline(kChain)});
    const std::string map = store.storePath().string();
    auto r = test::runCli({"run", "clsAssignMstoReaches", "--map", map, "--set", "chkMultiple=1",
                           "--set", "txtStart=1000", "--select", "Centerline=1,2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    test::InstalledHost host(store.openMap());
    EXPECT_EQ(endMeasures(host.featureLayer("Centerline")),
              (std::vector<std::pair<double, double>>{{1100, 1150}, {1000, 1100}}));
}

}  // namespace
}  // namespace ondu
