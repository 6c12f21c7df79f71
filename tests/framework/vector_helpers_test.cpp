#include "framework/vector_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "framework/channel_model.h"
#include "framework/geometry/geometry_expect.h"
#include "framework/host/ogr_geometry.h"
#include "framework/number_text.h"
#include "support/recording_ui.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

using test::LayerSpec;
using test::StoreFormat;
using test::TempMap;

const std::string kFromLineTwice =
    "Error. Check the attribute table for Lines, and fix features with multiple 'FromLine = "
    "-9999' values";
const std::string kToLineTwice =
    "Error. Check the attribute table for Lines, and fix features with multiple 'ToLine = -9999' "
    "values";

LayerSpec linesLayer(const std::vector<std::string>& wkts, bool hasZ = false) {
    LayerSpec layer{.name = "Lines", .hasZ = hasZ};
    for (const std::string& wkt : wkts) layer.features.push_back({wkt, {}});
    return layer;
}

long long linkOf(IFeatureLayer* layer, long long oid, const std::string& field) {
    return std::get<long long>(test::storedValue(layer, oid, field));
}

/// Identifiers in array order; -1 for an entry left empty.
std::vector<long long> oidsOf(const std::vector<FeaturePtr>& features) {
    std::vector<long long> oids;
    for (const FeaturePtr& f : features) oids.push_back(f ? f->OID() : -1);
    return oids;
}

class ChainOrder : public ::testing::Test {
protected:
    /// Orders the lines (a GeoPackage unless told) and answers the identifiers in chain order.
    std::vector<long long> order(const std::vector<std::string>& wkts,
                                 StoreFormat format = StoreFormat::GeoPackage) {
        open(linesLayer(wkts), format);
        std::vector<FeaturePtr> features;
        vectorUtil::OrderFromTo(layer_, features);
        return oidsOf(features);
    }
    void open(const LayerSpec& layer, StoreFormat format = StoreFormat::GeoPackage) {
        host_.reset();
        store_ = std::make_unique<TempMap>(std::vector<LayerSpec>{layer}, format);
        host_ = std::make_unique<test::InstalledHost>(store_->openMap());
        layer_ = host_->featureLayer("Lines");
        host_->app().editor().startEditing();  // as the hosts run a tool; far faster to write
    }
    std::vector<long long> links(const std::string& field, long long firstOid, std::size_t n) {
        std::vector<long long> values;
        for (std::size_t i = 0; i < n; ++i) values.push_back(linkOf(layer_, firstOid + i, field));
        return values;
    }
    void expectMessages(const std::vector<std::string>& lines) const {
        EXPECT_EQ(ui_.messageLines(), lines);
    }

    test::RecordingUI ui_;
    std::unique_ptr<TempMap> store_;
    std::unique_ptr<test::InstalledHost> host_;
    IFeatureLayer* layer_ = nullptr;
};

using V = std::vector<long long>;
const std::vector<std::string> kDrawnEndToStart{"LINESTRING (20 0,30 0)", "LINESTRING (10 0,20 0)",
                                                "LINESTRING (0 0,10 0)"};

TEST_F(ChainOrder, ChainDrawnEndToStartIsLinkedAndOrdered) {
    EXPECT_EQ(order(kDrawnEndToStart), (V{3, 2, 1}));
    EXPECT_EQ(links("FromLine", 1, 3), (V{2, 3, -9999}));
    EXPECT_EQ(links("ToLine", 1, 3), (V{-9999, 1, 2}));
    const IFeatureClass& cls = *layer_->featureClass();
    EXPECT_EQ(cls.field(cls.findField("FromLine")).type, FieldType::Integer);
    expectMessages({});
}

TEST_F(ChainOrder, ShapefileGivesTheSameOrderAsGeoPackage) {
    // Shapefile identifiers start at 0, GeoPackage ones at 1.
    EXPECT_EQ(order(kDrawnEndToStart, StoreFormat::Shapefile), (V{2, 1, 0}));
    EXPECT_EQ(links("FromLine", 0, 3), (V{1, 2, -9999}));
    EXPECT_EQ(links("ToLine", 0, 3), (V{-9999, 0, 1}));
}

TEST_F(ChainOrder, BrokenChainsNameTheDuplicatedEnd) {
    EXPECT_EQ(order({"LINESTRING (0 0,1 0)", "LINESTRING (1 0,2 0)", "LINESTRING (5 5,6 5)",
                     "LINESTRING (6 5,7 5)"}),
              (V{1, 2, -1, -1}));
    expectMessages({"[Error in sorting features] " + kFromLineTwice});

    ui_.messages.clear();  // a fork: one first line, two last ones
    EXPECT_EQ(order({"LINESTRING (0 0,1 0)", "LINESTRING (1 0,2 0)", "LINESTRING (1 0,1 1)"}),
              (V{1, 2, -1}));
    expectMessages({"[Error in sorting features] " + kToLineTwice});
}

TEST_F(ChainOrder, ClosedRingEndsWithoutMessage) {
    EXPECT_EQ(order({"LINESTRING (0 0,1 0)", "LINESTRING (1 0,1 1)", "LINESTRING (1 1,0 0)"}),
              (V{-1, -1, -1}));
    expectMessages({});
}

TEST_F(ChainOrder, EndsLinkWhenEqualAtThreeDecimals) {
    EXPECT_EQ(order({"LINESTRING (0 0,1.0004 0)", "LINESTRING (0.9996 0,2 0)"}), (V{1, 2}));
    EXPECT_EQ(order({"LINESTRING (0 0,1.0005 -0.0004)", "LINESTRING (1.001 0.0004,2 0)"}),
              (V{1, 2}));  // halves away from zero; no negative zero
    expectMessages({});
    EXPECT_EQ(order({"LINESTRING (0 0,1.0004 0)", "LINESTRING (1.0006 0,2 0)"}), (V{1, -1}));
    expectMessages({"[Error in sorting features] " + kFromLineTwice});
}

TEST_F(ChainOrder, LayerOfPointsIsReported) {
    open({.name = "Lines", .shape = ShapeType::Point, .features = {{"POINT (1 2)", {}}}});
    std::vector<FeaturePtr> features;
    vectorUtil::OrderFromTo(layer_, features);
    EXPECT_TRUE(features.empty());
    expectMessages({"[Error in OrderFromTo] 13: Type mismatch: feature 1 is not a line"});
}

TEST_F(ChainOrder, MergeJoinsTheChainInOrder) {
    open(linesLayer({"LINESTRING Z (10 0 2,20 0 3)", "LINESTRING Z (0 0 1,10 0 2)"}, true));
    const Polyline merged = vectorUtil::MergeLinesInOrder(layer_);
    EXPECT_EQ(toWkt(merged), "LINESTRING Z (0 0 1,10 0 2,10 0 2,20 0 3)");
    EXPECT_TRUE(vectorUtil::MergeLinesInOrder(layer_).zAware);  // linked already: same again

    order({"LINESTRING (0 0,1 0)", "LINESTRING (1 0,0 0)"});
    try {
        vectorUtil::MergeLinesInOrder(layer_);
        FAIL() << "a ring cannot be merged";
    } catch (const HostError& e) {
        EXPECT_EQ(e.number(), 91);
    }
}

// ---- the fast ordering against the pairwise loop it replaces -------------------------------

struct Line {
    long long oid;
    Point start, end;
};

struct Reference {
    std::vector<long long> fromLine, toLine, order;
    std::vector<std::string> messages;
};

/// The pairwise loop, written out: every line against every line, last write wins.
Reference pairwiseReference(const std::vector<Line>& lines) {
    const std::size_t n = lines.size();
    Reference r{std::vector<long long>(n), std::vector<long long>(n), {}, {}};
    for (std::size_t k = 0; k < n; ++k) {
        bool upstream = false, downstream = false;
        for (std::size_t j = 0; j < n; ++j)
            if (channel::linksTo(lines[j].end, lines[k].start))
                r.toLine[j] = lines[k].oid, upstream = true;
        for (std::size_t j = 0; j < n; ++j)
            if (channel::linksTo(lines[k].end, lines[j].start))
                r.fromLine[j] = lines[k].oid, downstream = true;
        if (!upstream) r.fromLine[k] = channel::kNoLink;
        if (!downstream) r.toLine[k] = channel::kNoLink;
    }
    long long previous = channel::kNoLink;
    while (r.order.size() < n) {
        auto next = std::find(r.fromLine.begin(), r.fromLine.end(), previous);
        if (next == r.fromLine.end()) break;
        previous = lines[static_cast<std::size_t>(next - r.fromLine.begin())].oid;
        r.order.push_back(previous);
    }
    if (r.order.size() < n) {
        // The duplicate count runs over the whole class, but lines outside the set hold no links.
        const auto ends = [&](const std::vector<long long>& values) {
            return std::count(values.begin(), values.end(), channel::kNoLink);
        };
        if (ends(r.fromLine) > 1)
            r.messages.push_back("[Error in sorting features] " + kFromLineTwice);
        else if (ends(r.toLine) > 1)
            r.messages.push_back("[Error in sorting features] " + kToLineTwice);
        r.order.resize(n, -1);
    }
    return r;
}

std::string wktOf(const Point& a, const Point& b) {
    return "LINESTRING (" + plain(a.x) + " " + plain(a.y) + "," + plain(b.x) + " " + plain(b.y) +
           ")";
}

/// A river of 40 segments with ends that differ below the third decimal and, one in `oneIn` per
/// segment, a line between two random nodes and a repeated line; stored in shuffled order.
std::vector<Line> randomNetwork(std::mt19937& random, int oneIn) {
    std::uniform_int_distribution<int> step(-1, 1), pick(0, 39), coin(1, oneIn);
    std::uniform_real_distribution<double> jitter(-0.0004, 0.0004);
    std::vector<Point> nodes{{0, 0}};
    for (int i = 0; i < 40; ++i)
        nodes.push_back({nodes.back().x + 1 + step(random) * 0.25, nodes.back().y + step(random)});
    const auto near = [&](const Point& p) {
        return Point(p.x + jitter(random), p.y + jitter(random));
    };
    std::vector<Line> lines;
    for (int i = 0; i < 40; ++i) {
        lines.push_back({0, near(nodes[i]), near(nodes[i + 1])});
        if (coin(random) == 1)
            lines.push_back({0, near(nodes[pick(random)]), near(nodes[pick(random)])});
        if (coin(random) == 1)
            lines.push_back(lines[static_cast<std::size_t>(pick(random)) % lines.size()]);
    }
    std::shuffle(lines.begin(), lines.end(), random);
    for (std::size_t i = 0; i < lines.size(); ++i) lines[i].oid = static_cast<long long>(i + 1);
    return lines;
}

TEST_F(ChainOrder, MatchesThePairwiseLoopOnRandomNetworks) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        // From a clean river to a tangle; the clean ones are walked to their end.
        const std::vector<Line> lines = randomNetwork(random, seed <= 2 ? 1000 : 20 / seed + 2);
        std::vector<std::string> wkts;
        for (const Line& line : lines) wkts.push_back(wktOf(line.start, line.end));
        // Some order a selection, in its own order: all the lines, or most of them.
        std::vector<Line> processed = lines;
        if (seed % 2 == 0) std::shuffle(processed.begin(), processed.end(), random);
        if (seed % 4 == 0) processed.resize(processed.size() * 3 / 4);
        open(linesLayer(wkts));
        if (seed % 2 == 0)
            for (const Line& line : processed) layer_->selectionSet().add(line.oid);
        ui_.messages.clear();
        std::vector<FeaturePtr> features;
        vectorUtil::OrderFromTo(layer_, features);

        const Reference expected = pairwiseReference(processed);
        for (std::size_t i = 0; i < processed.size(); ++i) {
            EXPECT_EQ(linkOf(layer_, processed[i].oid, "FromLine"), expected.fromLine[i]);
            EXPECT_EQ(linkOf(layer_, processed[i].oid, "ToLine"), expected.toLine[i]);
        }
        EXPECT_EQ(oidsOf(features), expected.order);
        expectMessages(expected.messages);
    }
}

// ---- measures, meeting points, outlines, Z flags ----------------------------------------------

TEST(MeasureAtPoint, NearestLocationRoundedToFourDecimals) {
    test::RecordingUI ui;
    const Polyline measured(Path{{0, 0, kNaN, 0}, {3, 0, kNaN, 1}}, false, true);
    EXPECT_DOUBLE_EQ(vectorUtil::GetMAtPoint(Point(1, 5), measured), 0.3333);
    EXPECT_DOUBLE_EQ(vectorUtil::GetMAtPoint(Point(9, -2), measured), 1);  // beyond the end
    EXPECT_EQ(vectorUtil::GetMAtPoint(Point(1, 0), Polyline(Path{{0, 0}, {3, 0}})), 0);
    EXPECT_TRUE(ui.messages.empty());

    const Polyline unset(Path{{0, 0, kNaN, kNaN}, {3, 0, kNaN, kNaN}}, false, true);
    EXPECT_EQ(vectorUtil::GetMAtPoint(Point(1, 0), unset), 9999);
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{"[Error] No MS assigned"});
}

/// GetMAtPoint through an index of the one line, for comparison with the walk along it.
double indexedMAtPoint(const Point& point, const Polyline& line) {
    return vectorUtil::GetMAtPoint(point, LineIndex(std::vector<Polyline>{line}));
}

TEST(MeasureAtPoint, IndexedAnswersAndMessagesAsTheWalk) {
    test::RecordingUI ui;
    const Polyline measured(Path{{0, 0, kNaN, 0}, {3, 0, kNaN, 1}}, false, true);
    const Polyline unset(Path{{0, 0, kNaN, kNaN}, {3, 0, kNaN, kNaN}}, false, true);
    const Polyline unmeasured(Path{{0, 0}, {3, 0}});
    Polyline noVertex;
    noVertex.mAware = true;
    const std::vector<std::pair<Point, Polyline>> cases{
        {Point(1, 5), measured}, {Point(9, -2), measured}, {Point(1, 0), unmeasured},
        {Point(1, 0), unset},    {Point(1, 0), noVertex},  {Point(), measured}};
    for (const auto& [point, line] : cases) {
        ui.messages.clear();
        const double walked = vectorUtil::GetMAtPoint(point, line);
        const auto walkedMessages = ui.messageLines();
        ui.messages.clear();
        EXPECT_EQ(indexedMAtPoint(point, line), walked);
        EXPECT_EQ(ui.messageLines(), walkedMessages);
    }
    EXPECT_THROW(vectorUtil::GetMAtPoint(Point(0, 0), LineIndex({measured, measured})),
                 std::invalid_argument);
}

TEST(MeasureAtPoint, IndexedAgreesWithTheWalkOnRandomLines) {
    test::RecordingUI ui;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> step(-5, 5), where(-20, 220);
    for (int trial = 0; trial < 20; ++trial) {
        // A wandering measured line with repeated vertices and measures that fall and rise.
        Path path;
        double x = 0, y = 0, m = 0;
        for (int v = 0; v < 200; ++v) {
            if (v % 17 != 0) x += std::abs(step(random)), y += step(random);
            m += step(random);
            path.push_back({x, y, kNaN, m});
        }
        const Polyline line(path, false, true);
        const LineIndex index(std::vector<Polyline>{line});
        for (int i = 0; i < 300; ++i) {
            Point p(where(random), where(random) - 100);
            if (i % 2) p = Point(std::round(p.x), std::round(p.y));  // ties on a grid
            EXPECT_EQ(vectorUtil::GetMAtPoint(p, index), vectorUtil::GetMAtPoint(p, line))
                << p.x << " " << p.y;
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(IntersectPoint, FirstMeetingPointOrNothing) {
    test::RecordingUI ui;
    const Geometry a = fromWkt("LINESTRING (0 0,10 0)");
    const auto crossing = vectorUtil::GetIntersectPoint(a, fromWkt("LINESTRING (4 -1,4 1)"));
    ASSERT_TRUE(crossing.has_value());
    EXPECT_DOUBLE_EQ(crossing->x, 4);
    EXPECT_DOUBLE_EQ(crossing->y, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(vectorUtil::GetIntersectPoint(a, fromWkt("LINESTRING (0 1,10 1)")).has_value());
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[obid] Error in finding intersecting point"});
}

TEST(Outlines, PolygonRingsBecomeOneClosedPath) {
    test::RecordingUI ui;
    const auto outline = vectorUtil::fnConvertPolytonToPolyline(
        fromWkt("POLYGON ((0 0,8 0,8 8,0 0),(4 1,6 1,6 3,4 1))"));
    ASSERT_TRUE(outline.has_value());
    EXPECT_EQ(toWkt(*outline), "LINESTRING (0 0,8 0,8 8,0 0,4 1,6 1,6 3,4 1)");
    EXPECT_TRUE(vectorUtil::fnConvertPolytonToPolyline(Polygon())->isEmpty());
    EXPECT_FALSE(vectorUtil::fnConvertPolytonToPolyline(fromWkt("POINT (1 1)")).has_value());

    EXPECT_EQ(toWkt(*vectorUtil::PathToPolyline(Path{{0, 0}, {1, 1}})), "LINESTRING (0 0,1 1)");
    EXPECT_FALSE(vectorUtil::PathToPolyline(Path{{0, 0}}).has_value());
    EXPECT_FALSE(vectorUtil::PathToPolyline(Polyline()).has_value());
    EXPECT_EQ(ui.messageLines(),
              (std::vector<std::string>{"[ Error in fnConvertPolytonToPolyline] 13: Type mismatch",
                                        "[error!] Path has no segments",
                                        "[error!] Path has no segments"}));
}

TEST(ZAwareness, FlagsChangeValuesStay) {
    Polyline line = std::get<Polyline>(fromWkt("LINESTRING ZM (0 0 5 1,1 0 6 2)"));
    EXPECT_EQ(&vectorUtil::ClearZAware(line), &line);
    EXPECT_FALSE(line.zAware);
    EXPECT_EQ(toWkt(vectorUtil::MakeZAwarePolyline(line)), "LINESTRING ZM (0 0 5 1,1 0 6 2)");
}

// ---- sorting ------------------------------------------------------------------------------

TEST(VariantOrder, NumbersAsNumbersTextsAsTextsNullNever) {
    using vectorUtil::GreaterThan;
    EXPECT_TRUE(GreaterThan(10LL, 9LL));
    EXPECT_TRUE(GreaterThan(2.5, 2LL));
    EXPECT_FALSE(GreaterThan("10", "9"));
    EXPECT_TRUE(GreaterThan("1", 1e9));  // any text lies above any number
    EXPECT_FALSE(GreaterThan(FieldValue(), 1LL));
    EXPECT_FALSE(GreaterThan(1LL, FieldValue()));
}

TEST(ShellSort, AgreesWithStdSortOnEverySize) {
    std::mt19937 random(7);
    for (std::size_t n = 0; n < 60; ++n) {
        std::vector<double> numbers(n);
        for (double& x : numbers) x = std::uniform_int_distribution<int>(-20, 20)(random) / 4.0;
        std::vector<FieldValue> values(numbers.begin(), numbers.end());
        std::vector<double> expected = numbers;
        std::sort(expected.begin(), expected.end());
        vectorUtil::ShellSortDouble(numbers);
        EXPECT_EQ(numbers, expected);
        vectorUtil::ShellSort(values);
        EXPECT_EQ(values, std::vector<FieldValue>(expected.begin(), expected.end()));
    }
    std::vector<FieldValue> mixed{"b", 3LL, "a", 1.5};
    vectorUtil::ShellSort(mixed);
    EXPECT_EQ(mixed, (std::vector<FieldValue>{1.5, 3LL, "a", "b"}));
    std::vector<FieldValue> one{"only"};
    vectorUtil::ShellSort(one);
    EXPECT_EQ(one, std::vector<FieldValue>{"only"});
}

TEST(ConvertToDoubleArray, NumbersAndNumericTextsOnly) {
    std::vector<double> doubles{99};
    vectorUtil::ConvertToDoubleArray({2LL, 2.5, " 1e3"}, doubles);
    EXPECT_EQ(doubles, (std::vector<double>{2, 2.5, 1000}));
    for (const auto& [value, number] :
         {std::pair{FieldValue("abc"), 13L}, std::pair{FieldValue(), 94L}}) {
        try {
            vectorUtil::ConvertToDoubleArray({value}, doubles);
            ADD_FAILURE() << "converted " << toText(value);
        } catch (const HostError& e) {
            EXPECT_EQ(e.number(), number);
        }
    }
}

}  // namespace
}  // namespace ondu

namespace ondu {
namespace {

/// The exchange sort the measure order is defined by: every later point with an M at most the
/// earlier one's changes places with it.
Path exchangeSorted(Path points) {
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t j = i + 1; j < points.size(); ++j)
            if (points[j].m <= points[i].m) std::swap(points[i], points[j]);
    return points;
}

TEST(SortVerticesByM, GivesTheExchangeSortsOrderEqualMeasuresReversed) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 500; ++trial) {
        Path points;
        const int n = static_cast<int>(random() % 12);
        for (int k = 0; k < n; ++k) {
            Point p(k, 0);
            p.m = static_cast<double>(random() % 4);
            points.push_back(p);
        }
        Path sorted = points;
        vectorUtil::SortVerticesByM(sorted);
        const Path expected = exchangeSorted(points);
        ASSERT_EQ(sorted.size(), expected.size());
        for (std::size_t k = 0; k < sorted.size(); ++k) EXPECT_EQ(sorted[k].x, expected[k].x);
    }
}

std::vector<std::size_t> linesOf(const std::vector<vectorUtil::LineMeeting>& meetings) {
    std::vector<std::size_t> lines;
    for (const auto& meeting : meetings) lines.push_back(meeting.line);
    return lines;
}

TEST(SegmentIndex, FirstMetAndLinesMetAreTheLinesMeetingsFinds) {
    const vectorUtil::SegmentIndex index(
        {test::line("LINESTRING (0 0,10 0)"), test::line("LINESTRING (5 -5,5 5)"),
         test::line("LINESTRING (20 0,30 0)"), test::line("LINESTRING (0 10,10 10)")});
    using Lines = std::vector<std::size_t>;
    const struct {
        const char* query;
        Lines met;
    } cases[] = {
        {"LINESTRING (2 -1,2 1)", {0}},      // crosses line 0 only
        {"LINESTRING (4 1,6 1)", {1}},       // crosses line 1 only
        {"LINESTRING (10 0,20 0)", {0, 2}},  // touches the ends of lines 0 and 2
        {"LINESTRING (4 -1,6 1)", {0, 1}},   // crosses 0 and 1 at one point
        {"LINESTRING (11 1,19 9)", {}},      // boxes overlap, lines do not meet
        {"LINESTRING (25 0,28 0)", {2}},     // lies along line 2
        {"LINESTRING (5 12,5 8,7 8,7 -1)",
         {0, 3}},  // the second meeting comes from a later segment
    };
    for (const auto& c : cases) {
        const Polyline query = test::line(c.query);
        const auto first = c.met.empty() ? std::nullopt : std::optional(c.met.front());
        EXPECT_EQ(index.firstMet(query), first) << c.query;
        EXPECT_EQ(index.linesMet(query), c.met) << c.query;
        EXPECT_EQ(linesOf(index.meetings(query)), c.met) << c.query;
    }
}

TEST(SegmentIndex, ALongQueryAmongManySegmentsFindsTheSameLines) {
    // 40 short horizontal lines stacked 1 apart: a query whose box holds all of them.
    std::vector<Polyline> stack;
    for (int i = 0; i < 40; ++i)
        stack.push_back(
            test::line("LINESTRING (0 " + std::to_string(i) + ",10 " + std::to_string(i) + ")"));
    const vectorUtil::SegmentIndex index(stack);
    for (const char* query : {"LINESTRING (-1 -1,11 40)", "LINESTRING (-1 -1,-1 40,5 40,5 38.5)"}) {
        const Polyline line = test::line(query);
        EXPECT_EQ(index.linesMet(line), linesOf(index.meetings(line))) << query;
        EXPECT_EQ(index.firstMet(line), index.linesMet(line).front()) << query;
    }
}

}  // namespace
}  // namespace ondu
