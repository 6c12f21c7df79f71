#include "framework/host/sample_river.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/geometry/curve.h"
#include "framework/host/ogr_geometry.h"
#include "support/cli_runner.h"

namespace ondu {
namespace {

const SampleRiverOptions kSmallRiver{.length = 2000,
                                     .wavelength = 400,
                                     .amplitude = 60,
                                     .segmentLength = 25,
                                     .width = 10,
                                     .referencePointCount = 4,
                                     .vertexSpacing = 2};

std::vector<OGRFeatureUniquePtr> featuresOf(OGRLayer& layer) {
    std::vector<OGRFeatureUniquePtr> out;
    layer.ResetReading();
    while (OGRFeatureUniquePtr f{layer.GetNextFeature()}) out.push_back(std::move(f));
    return out;
}

/// "geometry type; feature count; field type; ..." of a layer, to compare a schema at a glance.
std::string schemaOf(OGRLayer& layer) {
    std::string text = std::string(OGRGeometryTypeToName(layer.GetGeomType())) + "; " +
                       std::to_string(layer.GetFeatureCount());
    const OGRFeatureDefn* defn = layer.GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i)
        text += std::string("; ") + defn->GetFieldDefn(i)->GetNameRef() + " " +
                OGRFieldDefn::GetFieldTypeName(defn->GetFieldDefn(i)->GetType());
    return text;
}

Polyline lineOf(const OGRFeature& f) { return std::get<Polyline>(fromOgr(f.GetGeometryRef())); }

class SampleRiverFile : public ::testing::Test {
protected:
    void SetUp() override {
        writeSampleRiver(path_, options_);
        gpkg_.reset(GDALDataset::Open(path_.c_str(), GDAL_OF_VECTOR));
        ASSERT_NE(gpkg_, nullptr);
        centerline_ = lineOf(*featuresOf(layer("CenterLine")).at(0));
    }
    OGRLayer& layer(const char* name) {
        OGRLayer* l = gpkg_->GetLayerByName(name);
        if (!l) throw std::runtime_error(std::string("no layer ") + name);
        return *l;
    }

    test::TempDir dir_;
    std::string path_ = dir_.file("river.gpkg");
    SampleRiverOptions options_ = kSmallRiver;
    GDALDatasetUniquePtr gpkg_;
    Polyline centerline_;
};

TEST_F(SampleRiverFile, LayersHaveTheShapesFieldsAndCountsTheToolsExpect) {
    const std::map<std::string, std::string> expected{
        {"CenterLine", "Measured Line String; 1"},
        {"CenterlineSegments",
         "Line String; 80; Measure Real; Width Real; BankElev Real; Depth Real; FromLine Integer; "
         "ToLine Integer"},
        {"ChannelBoundary", "Polygon; 1"},
        {"ReferencePoints", "Point; 4; Measure Real; BankElev Real; Depth Real"},
        {"Thalweg", "3D Line String; 0"},
        {"CrossSections", "3D Line String; 0"},
        {"GaugingStations", "Point; 3"},
        {"SurveyPoints", "Point; 20; S Real; N Real"},
        {"SurveyCrossSections", "3D Line String; 20; Measure Real"}};
    ASSERT_EQ(gpkg_->GetLayerCount(), static_cast<int>(expected.size()));
    for (const auto& [name, schema] : expected) {
        OGRLayer& l = layer(name.c_str());
        EXPECT_EQ(schemaOf(l), schema);
        EXPECT_STREQ(l.GetGeometryColumn(), "SHAPE");
        EXPECT_TRUE(l.GetSpatialRef() && l.GetSpatialRef()->IsProjected()) << name;
    }
}

TEST_F(SampleRiverFile, CenterlineMeasuresAreDistancesFromZeroToTheLength) {
    const Path& path = centerline_.paths.at(0);
    EXPECT_NEAR(length(centerline_), options_.length, 1e-6);
    EXPECT_EQ(path.front().m, 0);
    EXPECT_EQ(path.back().m, options_.length);
    double along = 0;
    for (std::size_t i = 1; i < path.size(); ++i) {
        along += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
        ASSERT_NEAR(path[i].m, along, 1e-6) << "vertex " << i;
    }
}

TEST_F(SampleRiverFile, SegmentsChainDownstreamAndCoverTheCenterline) {
    std::map<GIntBig, OGRFeatureUniquePtr> byFid;
    GIntBig head = 0;
    for (auto& f : featuresOf(layer("CenterlineSegments"))) {
        if (f->GetFieldAsInteger("FromLine") == -9999) {
            ASSERT_EQ(head, 0) << "a second chain head";
            head = f->GetFID();
        }
        byFid[f->GetFID()] = std::move(f);
    }
    Point expectedStart = fromPoint(centerline_);
    double along = 0;
    std::size_t visited = 0;
    for (GIntBig fid = head; fid != -9999; ++visited) {
        ASSERT_TRUE(byFid.count(fid) && visited < byFid.size()) << "broken chain at " << fid;
        const OGRFeature& segment = *byFid.at(fid);
        const Polyline line = lineOf(segment);
        EXPECT_EQ(fromPoint(line).x, expectedStart.x);
        EXPECT_EQ(fromPoint(line).y, expectedStart.y);
        EXPECT_NEAR(segment.GetFieldAsDouble("Measure"), along + length(line) / 2, 1e-6);
        along += length(line);
        expectedStart = toPoint(line);
        const GIntBig next = segment.GetFieldAsInteger("ToLine");
        if (next != -9999) EXPECT_EQ(byFid.at(next)->GetFieldAsInteger("FromLine"), fid);
        fid = next;
    }
    EXPECT_EQ(visited, byFid.size());
    EXPECT_NEAR(along, length(centerline_), 1e-6);
    EXPECT_EQ(expectedStart.x, toPoint(centerline_).x);
    EXPECT_EQ(expectedStart.y, toPoint(centerline_).y);
}

TEST_F(SampleRiverFile, BoundaryIsAValidChannelAroundTheCenterline) {
    const OGRFeatureUniquePtr boundary = std::move(featuresOf(layer("ChannelBoundary")).at(0));
    const OGRGeometry* polygon = boundary->GetGeometryRef();
    EXPECT_TRUE(polygon->IsValid());
    EXPECT_TRUE(polygon->Contains(toOgr(centerline_).get()));
    EXPECT_NEAR(polygon->toPolygon()->get_Area(), options_.width * options_.length,
                0.01 * options_.width * options_.length);
}

TEST_F(SampleRiverFile, BendsAlternateAndReachTheAmplitude) {
    const Path& path = centerline_.paths.at(0);
    int turns = 0;
    double previous = 0;
    for (std::size_t i = 1; i + 1 < path.size(); ++i) {
        const double turn = (path[i].x - path[i - 1].x) * (path[i + 1].y - path[i].y) -
                            (path[i].y - path[i - 1].y) * (path[i + 1].x - path[i].x);
        if (i == 1) EXPECT_GT(turn, 0) << "the first bend turns left";
        if (std::abs(turn) < 1e-9) continue;  // straight through an inflection
        if (turn * previous < 0) ++turns;
        previous = turn;
    }
    EXPECT_EQ(turns, static_cast<int>(2 * options_.length / options_.wavelength));
    const auto [low, high] = std::minmax_element(
        path.begin(), path.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
    EXPECT_NEAR((high->y - low->y) / 2, options_.amplitude, 0.005 * options_.amplitude);
}

TEST_F(SampleRiverFile, ReferencePointsLieOnTheCenterlineAtTheirMeasures) {
    for (const auto& f : featuresOf(layer("ReferencePoints"))) {
        const CurveLocation at =
            nearestLocation(centerline_, std::get<Point>(fromOgr(f->GetGeometryRef())));
        EXPECT_LT(at.distanceFrom, 1e-6);
        EXPECT_NEAR(at.distanceAlong, f->GetFieldAsDouble("Measure"), 1e-6);
    }
}

TEST_F(SampleRiverFile, StationsLieBesideTheBanksAndSectionsSpanTheChannel) {
    for (const auto& f : featuresOf(layer("GaugingStations"))) {
        const CurveLocation at =
            nearestLocation(centerline_, std::get<Point>(fromOgr(f->GetGeometryRef())));
        // Offset square to one chord; on the inside of a bend the next chord comes a little nearer.
        EXPECT_NEAR(at.distanceFrom, options_.width / 2 + 15, 0.1);
    }
    for (const auto& f : featuresOf(layer("SurveyCrossSections"))) {
        const Path section = allVertices(fromOgr(f->GetGeometryRef()));
        ASSERT_EQ(section.size(), 11u);
        EXPECT_NEAR(std::hypot(section.back().x - section.front().x,
                               section.back().y - section.front().y),
                    options_.width, 1e-6);
        // The middle vertex sits on the centerline at the section's measure, left bank first.
        const CurveLocation middle = nearestLocation(centerline_, section[5]);
        EXPECT_NEAR(middle.distanceAlong, f->GetFieldAsDouble("Measure"), 1e-6);
        EXPECT_FALSE(nearestLocation(centerline_, section.front()).rightSide);
        const auto lowest = std::min_element(section.begin(), section.end(),
                                             [](auto& a, auto& b) { return a.z < b.z; });
        // Vertices a tenth of the width apart reach the parabola's bottom within 1 % of the depth.
        EXPECT_NEAR(lowest->z,
                    options_.bankElevation - options_.slope * middle.distanceAlong - options_.depth,
                    0.01 * options_.depth);
    }
}

TEST(SampleRiverOptions, BadOptionsAreNamedAndLeaveTheFileGoodOnesReplaceIt) {
    const test::TempDir dir;
    const std::string path = dir.file("river.gpkg");
    test::writeFile(path, "not a GeoPackage");
    const std::vector<std::pair<const char*, std::function<void(SampleRiverOptions&)>>> cases{
        {"length", [](auto& o) { o.length = 0; }},
        {"length", [](auto& o) { o.length = kNaN; }},
        {"segmentLength", [](auto& o) { o.segmentLength = -25; }},
        {"width", [](auto& o) { o.width = 0; }},
        {"amplitude", [](auto& o) { o.amplitude = 0.25 * o.wavelength; }},
        {"width", [](auto& o) { o.width = 150; }},  // inner banks of the bends overlap
        {"epsg", [](auto& o) { o.epsg = 4326; }},
        {"surveyPointCount", [](auto& o) { o.surveyPointCount = -1; }},
        {"crossSectionSpacing", [](auto& o) { o.crossSectionSpacing = -100; }},
    };
    for (const auto& [option, change] : cases) {
        SampleRiverOptions o = kSmallRiver;
        change(o);
        try {
            writeSampleRiver(path, o);
            ADD_FAILURE() << option << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()).rfind(std::string(option) + " must be ", 0), 0u)
                << e.what();
        }
    }
    EXPECT_EQ(test::readFile(path), "not a GeoPackage");

    // A straight river is a valid river too.
    SampleRiverOptions straight = kSmallRiver;
    straight.amplitude = 0;
    writeSampleRiver(path, straight);
    const GDALDatasetUniquePtr gpkg(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
    ASSERT_NE(gpkg, nullptr);
    EXPECT_EQ(gpkg->GetLayerCount(), 9);
}

}  // namespace
}  // namespace ondu
