#include "preprocessing/split_line.h"

#include <gtest/gtest.h>

#include "framework/geometry/curve.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::StoreFormat;

test::LayerSpec centerLine(std::vector<std::string> wkts, bool z = false) {
    test::LayerSpec layer{.name = "CenterLine", .hasZ = z};
    for (auto& wkt : wkts) layer.features.push_back({wkt, {}});
    return layer;
}

test::LayerSpec segmentsLayer(bool z = false) { return {.name = "CenterlineSegments", .hasZ = z}; }

class SplitLineDialog : public test::DialogTest<frmSplitLine> {
protected:
    void openMap(std::vector<test::LayerSpec> layers,
                 StoreFormat format = StoreFormat::GeoPackage) {
        Forms::reset();
        host.reset();
        store = std::make_unique<test::TempMap>(layers, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
    }

    /// Loads the dialog, applies the values in order and presses OK.
    void runWith(const std::vector<std::pair<std::string, std::string>>& values) {
        frmSplitLine& form = openDialog();
        for (const auto& [name, value] : values) form.apply(name, value);
        form.pressOk();
    }

    std::vector<Polyline> pieces() {
        std::vector<Polyline> lines;
        auto cursor = host->featureLayer("CenterlineSegments")->featureClass()->search(nullptr);
        while (auto f = cursor->nextFeature()) lines.push_back(std::get<Polyline>(f->shape()));
        return lines;
    }

    std::vector<double> pieceLengths() {
        std::vector<double> lengths;
        for (const Polyline& piece : pieces()) lengths.push_back(length(piece));
        return lengths;
    }

    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

void expectLengths(const std::vector<double>& actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9);
}

TEST(GetNumberofParts, CountsStepsUntilAtMostTwoAreLeft) {
    struct Case {
        double length, step;
        long parts;
    };
    for (const Case& c : {Case{1000, 100, 9}, Case{1060, 100, 10}, Case{120, 100, 1},
                          Case{1, 0.25, 3}, Case{1, 0.3, 3}, Case{50, 100, 1}}) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(GetNumberofParts(c.length, c.step), c.parts);
    }
}

TEST_F(SplitLineDialog, PieceLengthsFollowTheHalfStepRuleInBothModes) {
    struct Case {
        const char* edge;
        double lineLength;
        std::vector<std::pair<std::string, std::string>> values;
        std::vector<double> lengths;
    };
    const std::vector<double> tenOf100(10, 100);
    const Case cases[] = {
        {"exact multiple", 1000, {{"txtDistance", "100"}}, tenOf100},
        {"short remainder joins the last piece",
         1040,
         {{"txtDistance", "100"}},
         {100, 100, 100, 100, 100, 100, 100, 100, 100, 140}},
        {"long remainder is a piece of its own",
         1060,
         {{"txtDistance", "100"}},
         {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 60}},
        {"a line of at most 1.5 steps stays whole", 120, {{"txtDistance", "100"}}, {120}},
        {"quarters",
         1000,
         {{"optPercentage", "1"}, {"txtPercentage", "0.25"}},
         {250, 250, 250, 250}},
        {"the last fraction takes what is left",
         1000,
         {{"optPercentage", "1"}, {"txtPercentage", "0.3"}},
         {300, 300, 300, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        openMap({centerLine({"LINESTRING (0 0," + std::to_string(c.lineLength) + " 0)"}),
                 segmentsLayer()});
        runWith(c.values);
        expectLengths(pieceLengths(), c.lengths);
        EXPECT_EQ(ui.messageLines().back(),
                  "[Split line to segments] Splitting completed successfully!");
        EXPECT_FALSE(Forms::anyLoaded());
    }
}

TEST_F(SplitLineDialog, PiecesOfEveryLineInInputOrderOnBothStores) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        SCOPED_TRACE(format == StoreFormat::Shapefile ? "Shapefile" : "GeoPackage");
        openMap(
            {centerLine({"LINESTRING (0 0,300 0)", "LINESTRING (0 10,0 210)"}), segmentsLayer()},
            format);
        runWith({{"txtDistance", "100"}});
        const auto lines = pieces();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(fromPoint(lines[0]).x, 0);
        EXPECT_EQ(toPoint(lines[2]).x, 300);
        EXPECT_EQ(fromPoint(lines[3]).y, 10);
        EXPECT_EQ(toPoint(lines[4]).y, 210);
    }
}

TEST_F(SplitLineDialog, ZIsKeptOnlyWhenBothLayersDeclareIt) {
    struct Case {
        bool inputZ, outputZ;
        double firstZ;  ///< NaN: the piece carries no Z
    };
    for (const Case& c : {Case{true, true, 5}, Case{true, false, kNaN}, Case{false, true, 0}}) {
        SCOPED_TRACE(std::to_string(c.inputZ) + std::to_string(c.outputZ));
        const std::string wkt =
            c.inputZ ? "LINESTRING Z (0 0 5,300 0 8)" : "LINESTRING (0 0,300 0)";
        openMap({centerLine({wkt}, c.inputZ), segmentsLayer(c.outputZ)});
        runWith({{"txtDistance", "100"}});
        const auto lines = pieces();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1].zAware, c.outputZ);
        if (std::isnan(c.firstZ))
            EXPECT_FALSE(lines[0].paths[0][0].zAware);
        else
            EXPECT_DOUBLE_EQ(lines[0].paths[0][0].z, c.firstZ);
    }
    EXPECT_NEAR(pieces()[1].paths[0][0].z, 0, 1e-12);
}

TEST_F(SplitLineDialog, StepsThatWouldNeverEndAreRefusedAndNothingIsWritten) {
    // A step of 0 or below, or no number at all, would loop for ever.
    struct Case {
        std::vector<std::pair<std::string, std::string>> values;
        std::string message;
    };
    const Case cases[] = {
        {{{"txtDistance", "0"}}, "[Warning] Enter a valid number for distance: a step above 0"},
        {{{"txtDistance", "-5"}}, "[Warning] Enter a valid number for distance: a step above 0"},
        {{{"txtDistance", "abc"}}, "[Warning] Enter a valid number for distance"},
        {{{"optPercentage", "1"}}, "[Warning] Enter a valid number for percentage"},
        {{{"optPercentage", "1"}, {"txtPercentage", "0"}},
         "[Warning] Enter a valid number for percentage: a step above 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        openMap({centerLine({"LINESTRING (0 0,300 0)"}), segmentsLayer()});
        ui.messages.clear();
        runWith(c.values);
        EXPECT_EQ(ui.messageLines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(pieces().empty());
        EXPECT_TRUE(Forms::anyLoaded());
    }
}

TEST_F(SplitLineDialog, AStepTooSmallForMemoryStopsTheRunNamingTheLine) {
    openMap({centerLine({"LINESTRING (0 0,300 0)"}), segmentsLayer()});
    runWith({{"txtDistance", "0.00001"}});
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{
                  "[Error in Split line to segments] 5: A step of 0.00001 cuts feature 1 of "
                  "CenterLine into more than 10000000 pieces: enter a larger number for distance"});
    EXPECT_TRUE(pieces().empty());
}

TEST_F(SplitLineDialog, OptionsEnableTheirBoxAndRefusalsKeepTheDialogOpen) {
    openMap({centerLine({"LINESTRING (0 0,300 0)"}), segmentsLayer()});
    frmSplitLine& form = openDialog();
    EXPECT_EQ(form.control("cmbInput").text, "CenterLine");
    EXPECT_EQ(form.control("cmbOutput").text, "CenterlineSegments");
    EXPECT_EQ(form.control("txtDistance").text, "1");
    EXPECT_TRUE(form.control("txtDistance").enabled);
    EXPECT_FALSE(form.control("txtPercentage").enabled);
    form.selectOption("optPercentage");
    EXPECT_FALSE(form.control("txtDistance").enabled);
    EXPECT_TRUE(form.control("txtPercentage").enabled);
    form.apply("cmbOutput", "CenterLine");
    form.selectOption("optDistance");
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(),
              "[Warning] The output layer 'CenterLine' is the input layer 'CenterLine': choose "
              "another layer for the results");
    form.control("cmbInput").text.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines().back(), "[Warning] No layer selected for input");
    EXPECT_TRUE(form.isLoaded());
}

TEST(SplitLineCommandLine, SplitsTheSelectedLineAndRefusesAZeroStep) {
    test::TempMap store(
        {centerLine({"LINESTRING (0 0,1040 0)", "LINESTRING (0 10,300 10)"}), segmentsLayer()});
    const std::string map = store.storePath().string();
    const std::string before = test::fingerprint(store.storePath());
    auto refused = test::runCli({"run", "clsSplitLine", "--map", map, "--set", "txtDistance=0"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "[Warning] Enter a valid number for distance: a step above 0\n");
    EXPECT_EQ(test::fingerprint(store.storePath()), before);
    auto r = test::runCli({"run", "clsSplitLine", "--map", map, "--select", "CenterLine=1", "--set",
                           "txtDistance=100"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[Split line to segments] Splitting completed successfully!\n");
    auto layers = test::runCli({"layers", "--map", map});
    EXPECT_NE(layers.out.find("CenterlineSegments\tfeature\tpolyline\t-\t10\t0"), std::string::npos)
        << layers.out;
}

}  // namespace
}  // namespace ondu
