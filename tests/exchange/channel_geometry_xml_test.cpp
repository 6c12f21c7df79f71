#include "exchange/channel_geometry_xml.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <pugixml.hpp>
#include <sstream>

#include "framework/geometry/curve.h"
#include "framework/host/map_document.h"
#include "framework/host/sample_river.h"
#include "framework/number_text.h"
#include "support/cli_runner.h"
#include "support/dialog_test.h"
#include "support/temp_map.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;
using test::StoreFormat;

test::FeatureSpec reach(const std::string& wkt, const std::string& river, const std::string& code) {
    return {wkt, {river, code}};
}

test::LayerSpec reaches(std::vector<test::FeatureSpec> features, bool z = false) {
    return {.name = "Reach",
            .hasZ = z,
            .fields = {{"RiverName", FieldType::String}, {"ReachName", FieldType::String}},
            .features = std::move(features)};
}

/// A cross-section across x from y = 20 to y = -20, with a dip in the middle.
test::FeatureSpec section(double x, double station, const std::string& reachName,
                          FieldValue spacing = 10.0) {
    const std::string xs = std::to_string(x);
    return {"LINESTRING Z (" + xs + " 20 3," + xs + " 0 1.25," + xs + " -20 3)",
            {reachName, station, spacing}};
}

test::LayerSpec sections(std::vector<test::FeatureSpec> features) {
    return {.name = "CrossSections",
            .hasZ = true,
            .fields = {{"ReachName", FieldType::String},
                       {"StationNo", FieldType::Double},
                       {"DistanceDS", FieldType::Double}},
            .features = std::move(features)};
}

class XmlExportDialog : public test::DialogTest<frmRUDAvuZIR> {
protected:
    /// Runs the export over a fresh map; answers the document written, empty when none was.
    std::string exportOf(std::vector<test::LayerSpec> layers,
                         StoreFormat format = StoreFormat::GeoPackage,
                         std::vector<long long> selectedReaches = {}) {
        store = std::make_unique<test::TempMap>(layers, format);
        host = std::make_unique<test::InstalledHost>(store->openMap());
        for (long long id : selectedReaches) host->featureLayer("Reach")->selectionSet().add(id);
        auto& form = openDialog();
        form.type("txtPath", output);
        form.pressOk();
        return fs::exists(output) ? test::readFile(output) : std::string();
    }
    /// The junctions as "X,Y:U(river/reach)D(...)" texts.
    std::vector<std::string> junctions(const std::string& xml) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_string(xml.c_str()));
        std::vector<std::string> result;
        for (auto j : doc.child("ChannelGeometry").child("Junctions").children()) {
            std::string text =
                std::string(j.attribute("X").value()) + "," + j.attribute("Y").value() + ":";
            for (auto r : j.children())
                text += std::string(r.name()).substr(0, 1) + "(" + r.attribute("River").value() +
                        "/" + r.attribute("Reach").value() + ")";
            result.push_back(text);
        }
        return result;
    }

    std::string output = dir.file("network.xml");
    std::unique_ptr<test::TempMap> store;
    std::unique_ptr<test::InstalledHost> host;
};

TEST_F(XmlExportDialog, WritesTheWholeDocumentInItsFixedFormInBothStores) {
    for (StoreFormat format : {StoreFormat::GeoPackage, StoreFormat::Shapefile}) {
        const std::string xml =
            exportOf({reaches({reach("LINESTRING (0 0,100 0)", "Butte", "Upper"),
                               reach("LINESTRING (100 0,200 0.5)", "Butte", "Lower")}),
                      sections({section(50, 2.5, "Upper", 10.0), section(40.5, 1.0 / 3, "Upper")})},
                     format);
        EXPECT_EQ(xml,
                  "<?xml version=\"1.0\"?><ChannelGeometry><Header><Extent>"
                  "<NECornerXY X=\"200\" Y=\"0.5\"/><SWCornerXY X=\"0\" Y=\"0\"/></Extent></Header>"
                  "<Junctions><Junction X=\"100\" Y=\"0\"><UpstreamReach River=\"Butte\" "
                  "Reach=\"Upper\"/><DownstreamReach River=\"Butte\" Reach=\"Lower\"/></Junction>"
                  "</Junctions><Reaches><Reach><ReachID ID=\"Upper\"/><RiverName Name=\"Butte\"/>"
                  "<ReachCode Code=\"Upper\"/><ReachPoint X=\"0\" Y=\"0\" Z=\"\"/><ReachPoint "
                  "X=\"100\" Y=\"0\" Z=\"\"/><CrossSections><CrossSection><Parameters "
                  "Station=\"0.333333333333333\" NumberPoints=\"3\" ReachID=\"Upper\"/>"
                  "<BankStations LeftM=\"0\" RightM=\"40\"/><Spacing LeftSpacing=\"10\" "
                  "CenterSpacing=\"10\" RightSpacing=\"10\"/><CutLine><CutLinePoint X=\"40.5\" "
                  "Y=\"20\"/><CutLinePoint X=\"40.5\" Y=\"-20\"/></CutLine><CrossSectionPoint "
                  "CrossM=\"0\" X=\"40.5\" Y=\"20\" Z=\"3\"/><CrossSectionPoint CrossM=\"20\" "
                  "X=\"40.5\" Y=\"0\" Z=\"1.25\"/><CrossSectionPoint CrossM=\"40\" X=\"40.5\" "
                  "Y=\"-20\" Z=\"3\"/></CrossSection><CrossSection><Parameters Station=\"2.5\" "
                  "NumberPoints=\"3\" ReachID=\"Upper\"/><BankStations LeftM=\"0\" RightM=\"40\"/>"
                  "<Spacing LeftSpacing=\"10\" CenterSpacing=\"10\" RightSpacing=\"10\"/><CutLine>"
                  "<CutLinePoint X=\"50\" Y=\"20\"/><CutLinePoint X=\"50\" Y=\"-20\"/></CutLine>"
                  "<CrossSectionPoint CrossM=\"0\" X=\"50\" Y=\"20\" Z=\"3\"/><CrossSectionPoint "
                  "CrossM=\"20\" X=\"50\" Y=\"0\" Z=\"1.25\"/><CrossSectionPoint CrossM=\"40\" "
                  "X=\"50\" Y=\"-20\" Z=\"3\"/></CrossSection></CrossSections></Reach><Reach>"
                  "<ReachID ID=\"Lower\"/><RiverName Name=\"Butte\"/><ReachCode Code=\"Lower\"/>"
                  "<ReachPoint X=\"100\" Y=\"0\" Z=\"\"/><ReachPoint X=\"200\" Y=\"0.5\" Z=\"\"/>"
                  "<CrossSections/></Reach></Reaches></ChannelGeometry>");
        EXPECT_EQ(ui.messageLines(),
                  std::vector<std::string>{"[ONDU to XML] XML file created successfully!"});
        host.reset();
        ui.messages.clear();
        Forms::reset();
        fs::remove(output);
    }
}

TEST_F(XmlExportDialog, JunctionsAreEndsThatMeetExactly) {
    using V = std::vector<std::string>;
    struct Case {
        const char* name;
        std::vector<test::FeatureSpec> lines;
        V expected;
    };
    const Case cases[] = {
        {"one reach", {reach("LINESTRING (0 0,10 0)", "R", "a")}, V{}},
        {"end to start",
         {reach("LINESTRING (0 0,10 0)", "R", "a"), reach("LINESTRING (10 0,20 0)", "R", "b")},
         V{"10,0:U(R/a)D(R/b)"}},
        {"confluence",
         {reach("LINESTRING (0 5,10 0)", "T", "a"), reach("LINESTRING (10 0,20 0)", "R", "b"),
          reach("LINESTRING (0 -5,10 0)", "R", "c")},
         V{"10,0:U(T/a)D(R/b)U(R/c)"}},
        {"loop", {reach("LINESTRING (0 0,10 0,10 10,0 0)", "R", "a")}, V{"0,0:U(R/a)D(R/a)"}},
        {"0.001 apart",
         {reach("LINESTRING (0 0,10 0)", "R", "a"), reach("LINESTRING (10.001 0,20 0)", "R", "b")},
         V{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(junctions(exportOf({reaches(c.lines), sections({})})), c.expected);
        EXPECT_EQ(CreateJunctions(host->featureLayer("Reach")).points.size(), c.expected.size());
        host.reset();
        Forms::reset();
        fs::remove(output);
    }
}

TEST_F(XmlExportDialog, SectionsGoUnderEveryReachTheyCrossAndSelectionPicksReaches) {
    const auto layers = std::vector<test::LayerSpec>{
        reaches({reach("LINESTRING Z (0 0 5,100 0 5)", "R", "a"),
                 reach("LINESTRING Z (100 0 5,100 100 5)", "R", "b"),
                 reach("LINESTRING Z (100 100 5,200 100 5)", "R", "c")},
                true),
        sections({{"LINESTRING Z (80 20 1,120 -20 1)", {"a", 7.0, 0.0}}})};
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(exportOf(layers).c_str()));
    auto all = doc.child("ChannelGeometry").child("Reaches");
    std::vector<std::size_t> counts;
    for (auto r : all.children())
        counts.push_back(
            std::distance(r.child("CrossSections").begin(), r.child("CrossSections").end()));
    EXPECT_EQ(counts, (std::vector<std::size_t>{1, 1, 0}));
    EXPECT_STREQ(all.first_child().child("ReachPoint").attribute("Z").value(), "5");
    host.reset();
    Forms::reset();
    ASSERT_TRUE(doc.load_string(exportOf(layers, StoreFormat::GeoPackage, {3}).c_str()));
    auto selected = doc.child("ChannelGeometry").child("Reaches");
    EXPECT_EQ(std::distance(selected.begin(), selected.end()), 1);
    EXPECT_EQ(std::distance(doc.child("ChannelGeometry").child("Junctions").begin(),
                            doc.child("ChannelGeometry").child("Junctions").end()),
              2);
}

TEST_F(XmlExportDialog, ALongNetworkComesWholeAndInReachOrderAcrossTheDocumentsPieces) {
    // Five reaches of 60,000 vertices: the document is built in several pieces on two threads.
    constexpr int kVertices = 60'000;
    const std::string names = "abcde";
    std::vector<test::FeatureSpec> long_reaches;
    for (std::size_t r = 0; r < names.size(); ++r) {
        std::string wkt = "LINESTRING (";
        for (int v = 0; v < kVertices; ++v)
            wkt += (v ? "," : "") + std::to_string(v) + " " + std::to_string(10 * r);
        long_reaches.push_back(reach(wkt + ")", "R", names.substr(r, 1)));
    }
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(
        exportOf({reaches(long_reaches),
                  sections({{"LINESTRING Z (100.5 25 1,100.5 15 1)", {"c", 1.0, 0.0}}})})
            .c_str()));
    std::string order;
    for (auto r : doc.child("ChannelGeometry").child("Reaches").children()) {
        const std::string id = r.child("ReachID").attribute("ID").value();
        order += id;
        const auto points = r.children("ReachPoint");
        EXPECT_EQ(std::distance(points.begin(), points.end()), kVertices);
        const auto crossing = r.child("CrossSections").children();
        EXPECT_EQ(std::distance(crossing.begin(), crossing.end()), id == "c" ? 1 : 0);
    }
    EXPECT_EQ(order, names);
}

TEST_F(XmlExportDialog, AFailedExportLeavesNoFileAndNoChangedFile) {
    const auto layers = std::vector<test::LayerSpec>{
        reaches({reach("LINESTRING (0 0,100 0)", "R", "a")}),
        sections({section(50, 1, "a"), {"LINESTRING Z (60 20 1,60 -20 1)", {"a", FieldValue{}}}})};
    EXPECT_EQ(exportOf(layers), "");
    EXPECT_EQ(ui.messages.back().title, "Error in ONDU to XML");
    EXPECT_EQ(ui.messages.back().text, "94: Invalid use of Null (StationNo)");
    EXPECT_TRUE(Forms::anyLoaded());
    test::writeFile(output, "old");
    Forms::reset();
    host.reset();
    EXPECT_EQ(exportOf(layers), "old");
    EXPECT_EQ(fs::directory_iterator(dir.path()) == fs::directory_iterator(), false);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);  // no temporary file left beside it
}

TEST_F(XmlExportDialog, MoreOptionsShowsTheOptionalParametersAndWarningsComeCenterlineFirst) {
    store = std::make_unique<test::TempMap>(std::vector<test::LayerSpec>{{.name = "Flat"}});
    host = std::make_unique<test::InstalledHost>(store->openMap());
    auto& form = openDialog();
    EXPECT_FALSE(form.control("txtLOB").visible);
    form.setChecked("chkOptions", true);
    EXPECT_TRUE(form.control("txtLOB").visible);
    EXPECT_EQ(form.control("chkOptions").text, "Close");
    form.setChecked("chkOptions", false);
    EXPECT_EQ(form.control("chkOptions").text, "More Options");
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] No layer selected for cross-sections"});
    form.type("cmbCenterline", "");
    ui.messages.clear();
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Warning] No layer selected for centerline"});
}

TEST(XmlExportCommandLine, TheGeometryConverterReadsWhatTheExportWrites) {
    test::TempMap store({reaches({reach("LINESTRING (0 0,100 0)", "Butte", "Upper")}),
                         sections({section(50, 2.5, "Upper")})});
    test::TempDir dir;
    const std::string xml = dir.file("net.xml"), geometry = dir.file("net.g01");
    auto r = test::runCli(
        {"run", "clsRUDAvuZIR", "--map", store.storePath().string(), "--set", "txtPath=" + xml});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = test::runCli({"run", "clsXMLtoGeometryFile", "--set", "txtInput=" + xml, "--set",
                      "txtOutput=" + geometry});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string g = test::readFile(geometry);
    EXPECT_NE(g.find("River Reach=Butte"), std::string::npos) << g;
    EXPECT_NE(g.find("Type RM Length L Ch R = 1, 2.5, 10, 10, 10"), std::string::npos) << g;
}

// ---- the whole chain on the sample river
// ---------------------------------------------------------

/// The cross-section records of a geometry file by reach and station text: their station and
/// elevation texts and their bank stations.
struct SectionRecord {
    std::vector<std::string> stationElevation;
    std::string banks;
};
using Records = std::map<std::pair<std::string, std::string>, SectionRecord>;

Records sectionRecords(const std::string& geometry) {
    Records records;
    std::istringstream in(geometry);
    std::string line, reach, station;
    bool inPoints = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("River Reach=")) reach = line.substr(line.find(',') + 1);
        if (line.starts_with("Type RM Length L Ch R = 1, "))
            station = line.substr(27, line.find(',', 27) - 27);
        if (line.starts_with("#Mann")) inPoints = false;
        if (inPoints)
            for (std::size_t at = 0; at + 8 <= line.size(); at += 8)
                records[{reach, station}].stationElevation.push_back(line.substr(at, 8));
        if (line.starts_with("#Sta/Elev")) inPoints = true;
        if (line.starts_with("Bank Sta=")) records[{reach, station}].banks = line.substr(9);
    }
    return records;
}

std::string column(double value) { return R8(F3(value)); }

TEST(HecRasChain, EveryCrossSectionOfTheSampleRiverArrivesInTheGeometryFile) {
    test::TempDir dir;
    const std::string river = dir.file("river.gpkg");
    writeSampleRiver(river, SampleRiverOptions{});
    {
        // Names for two reaches of fifty segments, a trapezoid's values, an empty reach layer.
        GDALAllRegister();
        std::unique_ptr<GDALDataset> store(
            GDALDataset::Open(river.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_TRUE(store);
        for (const char* sql :
             {"ALTER TABLE CenterlineSegments ADD COLUMN RiverName TEXT",
              "ALTER TABLE CenterlineSegments ADD COLUMN ReachName TEXT",
              "ALTER TABLE CenterlineSegments ADD COLUMN BotElev REAL",
              "ALTER TABLE CenterlineSegments ADD COLUMN BotWidth REAL",
              "ALTER TABLE CenterlineSegments ADD COLUMN Slope REAL",
              "UPDATE CenterlineSegments SET RiverName = 'Sample', ReachName = CASE WHEN fid <= 50 "
              "THEN 'Upper' ELSE 'Lower' END, BotElev = BankElev - Depth, BotWidth = 0.6 * "
              "Width, Slope = 0.5"})
            store->ExecuteSQL(sql, nullptr, nullptr);
        OGRLayer* centerline = store->GetLayerByName("CenterLine");
        ASSERT_TRUE(store->CreateLayer("Reach", centerline->GetSpatialRef(), wkbLineStringM));
    }
    const std::vector<std::vector<std::string>> steps = {
        {"clsCreateHECReach", "cmbInput=CenterlineSegments", "cmbRiver=RiverName",
         "cmbReach=ReachName", "cmbOutput=Reach"},
        {"clsAssignMstoReaches", "cmbInput=Reach", "chkOrientation=1"},
        {"clsTrapezoidalCS", "cmbInput=CenterlineSegments", "cmbBottomElev=BotElev",
         "cmbBottomWidth=BotWidth", "cmbDepth=Depth", "cmbSideSlope=Slope"},
        {"clsAssignStnNotoCS", "cmbReach=Reach", "cmbField=ReachName"},
        {"clsAssignDnDs"},
        {"clsRUDAvuZIR", "cmbCenterline=Reach", "cmbCLineID=ReachName", "cmbRiver=RiverName",
         "cmbReachCode=ReachName", "txtPath=" + dir.file("channel.xml")},
    };
    for (const auto& step : steps) {
        std::vector<std::string> args = {"run", step[0], "--map", river};
        for (std::size_t i = 1; i < step.size(); ++i) args.insert(args.end(), {"--set", step[i]});
        auto r = test::runCli(args);
        ASSERT_EQ(r.exitCode, 0) << step[0] << ": " << r.err;
    }
    auto r =
        test::runCli({"run", "clsXMLtoGeometryFile", "--set", "txtInput=" + dir.file("channel.xml"),
                      "--set", "txtOutput=" + dir.file("channel.g01"), "--set", "chkAuxFiles=1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* file : {"channel.prj", "channel.p01", "channel.f01"})
        EXPECT_TRUE(fs::exists(dir.file(file))) << file;

    const Records records = sectionRecords(test::readFile(dir.file("channel.g01")));
    test::InstalledHost host(MapDocument::open(river));
    const auto sections = test::storedFeatures(host.featureLayer("CrossSections"));
    ASSERT_EQ(sections.size(), 100u);
    EXPECT_EQ(records.size(), sections.size());
    for (const auto& section : sections) {
        const std::string station = plain(*toDouble(section["StationNo"]));
        const auto found = records.find({toText(section["ReachName"]), station});
        ASSERT_NE(found, records.end()) << station;
        const auto& line = std::get<Polyline>(section.shape);
        std::vector<std::string> expected;
        double along = 0;
        const Path& path = line.paths.front();
        for (std::size_t v = 0; v < path.size(); ++v) {
            if (v > 0) along += std::hypot(path[v].x - path[v - 1].x, path[v].y - path[v - 1].y);
            expected.push_back(column(along));
            expected.push_back(column(path[v].z));
        }
        EXPECT_EQ(found->second.stationElevation, expected) << station;
        EXPECT_EQ(found->second.banks, "0.000, " + F3(length(line))) << station;
    }
}

}  // namespace
}  // namespace ondu
