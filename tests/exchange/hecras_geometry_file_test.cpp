#include "exchange/hecras_geometry_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "framework/file_helpers.h"
#include "support/cli_runner.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(ONDU_SOURCE_DIR) / "tests/exchange/data/hecras";
const std::string kDateLine = "Node Last Edited Time=";

/// The CR LF lines of a written file, the last-edited times replaced by a fixed mark once they
/// have been checked to be dates.
std::vector<std::string> maskedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare line feed in: " << line;
        if (line.starts_with(kDateLine)) {
            static const std::regex date(
                R"([A-Z][a-z]{2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2} [AP]M)");
            EXPECT_TRUE(std::regex_match(line.substr(kDateLine.size()), date)) << line;
            line = kDateLine + "<date>";
        }
        lines.push_back(std::move(line));
    }
    EXPECT_EQ(start, text.size()) << "the last line lacks its CR LF";
    return lines;
}

/// Checks that the `count` pairs announced by `header` fill the lines after it in columns of
/// `width`, `perLine` pairs a line; returns the line after them.
std::size_t expectPairLines(const std::vector<std::string>& lines, std::size_t header,
                            std::size_t count, std::size_t perLine, std::size_t width) {
    std::size_t at = header + 1;
    for (std::size_t left = count; left > 0; left -= std::min(left, perLine), ++at) {
        EXPECT_EQ(lines.at(at).size(), 2 * width * std::min(left, perLine)) << lines.at(at);
    }
    return at;
}

class GeometryFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(document_.load_file((kData / "confluence.xml").c_str())); }

    std::string output(const std::string& name = "geom.g01") const {
        return (dir_ / name).string();
    }

    /// Converts `document_`, expecting a RasExportError, and returns its text.
    std::string exportError(const std::string& path = {}) const {
        try {
            writeGeometryFile(document_, path.empty() ? output() : path, "Dec/7/2024 2:59:03 PM");
        } catch (const RasExportError& error) {
            return error.what();
        }
        ADD_FAILURE() << "no error";
        return {};
    }

    test::TempDir scratch_;
    const fs::path dir_ = scratch_.path();
    pugi::xml_document document_;  ///< the confluence document, to be broken by a test
};

class GoldenGeometryFile : public GeometryFileTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(GoldenGeometryFile, MatchesLineForLine) {
    const std::string name = GetParam();
    convertXmlToGeometryFile((kData / (name + ".xml")).string(), output(), false);
    EXPECT_EQ(maskedLines(test::readFile(output())),
              maskedLines(test::readFile(kData / (name + ".g01"))));
    EXPECT_FALSE(fs::exists(dir_ / "geom.prj"));
}

INSTANTIATE_TEST_SUITE_P(Documents, GoldenGeometryFile,
                         ::testing::Values("confluence", "single_reach"));

// The golden files were checked by hand; these checks keep a regenerated golden honest.
TEST_F(GeometryFileTest, RecordsHoldWhatTheyAnnounceInTheirColumns) {
    convertXmlToGeometryFile((kData / "confluence.xml").string(), output(), true);
    const std::vector<std::string> lines = maskedLines(test::readFile(output()));
    std::size_t reaches = 0, sections = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("Reach XY= ")) {
            const std::size_t next =
                expectPairLines(lines, i, std::stoul(lines[i].substr(10)), 2, 16);
            EXPECT_TRUE(lines.at(next).starts_with("Rch Text X Y=")) << lines.at(next);
            ++reaches;
        } else if (lines[i].starts_with("#Sta/Elev= ")) {
            expectPairLines(lines, i, std::stoul(lines[i].substr(11)), 5, 8);
            ++sections;
        }
    }
    EXPECT_EQ(reaches, 3u);
    EXPECT_EQ(sections, 3u);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("Up River,Reach=           Butte,       Tributary"));
    EXPECT_TRUE(has("Rch Text X Y=1010.125,2010.75"));  // point 1 of 3
    EXPECT_TRUE(has("Rch Text X Y=1050.75,2150.125"));  // point 2 of 4
    // Elevations wider than their field lose decimals, never their columns.
    EXPECT_TRUE(
        has("   0.00010234.57  62.50010230.00 125.00010230.00 187.50010231.25 250.00210234.50"));
    const auto manning = std::find(lines.begin(), lines.end(), "#Mann= 3, 0, 0") + 1;
    EXPECT_EQ(*manning, "       0   0.015       0  25.000   0.015       0  50.000   0.015       0");
    EXPECT_EQ(*(manning + 1), "Bank Sta=0.000, 100.000");
    EXPECT_EQ(lines.back(), "Reverse River Text = 0");  // the last reach has no cross-sections
    for (const char* sibling : {"geom.prj", "geom.f01", "geom.p01"}) {
        EXPECT_TRUE(fs::exists(dir_ / sibling)) << sibling;
    }
}

TEST_F(GeometryFileTest, DialogChecksRefuseInOrder) {
    const auto refusal = [](const std::string& input, const std::string& output) {
        try {
            loadChannelGeometry(input, output);
        } catch (const RasInputRefused& refused) {
            return "[" + refused.title() + "] " + refused.what();
        }
        return std::string("accepted");
    };
    const std::string malformed = output("malformed.xml");
    std::ofstream(malformed) << "<ChannelGeometry><Header></ChannelGeometry>";
    const std::string missing = output("missing.xml");

    EXPECT_EQ(refusal("", ""), "[Warning] Specify the input file");
    EXPECT_EQ(refusal(missing, ""), "[Warning] Specify the output file");
    EXPECT_EQ(refusal(missing, output()),
              "[Error opening File] Cannot open '" + missing + "' file");
    EXPECT_EQ(refusal(malformed, output()),
              "[Error opening File] Cannot open '" + malformed + "' file");
    EXPECT_FALSE(fs::exists(output()));
}

/// A document made faulty by removing the elements at `xpath`, or, given `attribute`, by
/// removing that attribute of them or, given `value` too, by setting it.
struct BrokenDocument {
    const char* name;
    const char* xpath;
    const char* attribute;
    const char* value;
    const char* message;
};

void breakDocument(pugi::xml_document& document, const BrokenDocument& fault) {
    for (const pugi::xpath_node& found : document.select_nodes(fault.xpath)) {
        pugi::xml_node node = found.node();
        if (fault.attribute == nullptr) {
            node.parent().remove_child(node);
        } else if (fault.value == nullptr) {
            node.remove_attribute(fault.attribute);
        } else {
            node.attribute(fault.attribute).set_value(fault.value);
        }
    }
}

class BrokenGeometryDocument : public GeometryFileTest,
                               public ::testing::WithParamInterface<BrokenDocument> {};

TEST_P(BrokenGeometryDocument, StopsWithAMessageNamingThePlace) {
    breakDocument(document_, GetParam());
    EXPECT_EQ(exportError(), GetParam().message);
    // Only the extent is read before the file is created.
    EXPECT_EQ(fs::exists(output()), GetParam().xpath != std::string("//Extent"));
}

const BrokenDocument kBrokenDocuments[] = {
    {"NoExtent", "//Extent", nullptr, nullptr, "Missing element \"Extent\" in the document"},
    {"JunctionWithoutX", "//Junction", "X", nullptr,
     "Missing attribute \"X\" of element \"Junction\" in junction 0"},
    {"NameWithLineBreak", "//UpstreamReach[1]", "River", "Butte\nCreek",
     "Attribute \"River\" of element \"UpstreamReach\" in junction 0 cannot be written as one "
     "line of 8-bit text: \"Butte\nCreek\""},
    {"ReachWithoutRiverName", "//Reach[2]/RiverName", nullptr, nullptr,
     "Missing element \"RiverName\" in reach number 2"},
    {"ReachWithoutPoints", "//Reach[3]/ReachPoint", nullptr, nullptr,
     "Missing element \"ReachPoint\" in reach \"Fall,Lower\""},
    {"StationNotANumber", "//Parameters", "Station", "1,5",
     "Attribute \"Station\" of element \"Parameters\" in reach \"Butte,Tributary\", "
     "cross-section number 1 is not a number: \"1,5\""},
    {"NoRightM", "//Reach[2]//CrossSection[2]/BankStations", "RightM", nullptr,
     "Missing attribute \"RightM\" of element \"BankStations\" in reach \"Fall,Upper\", "
     "station 330.125"},
    {"FractionalPointCount", "//Parameters", "NumberPoints", "6.5",
     "Attribute \"NumberPoints\" of element \"Parameters\" in reach \"Butte,Tributary\", "
     "station 152.75 is not a count: \"6.5\""},
    {"PointCountDisagrees", "//Parameters", "NumberPoints", "6",
     "NumberPoints 6 in reach \"Butte,Tributary\", station 152.75 does not match its 7 "
     "\"CrossSectionPoint\" elements"},
    {"OneCutLinePoint", "//CutLinePoint[2]", nullptr, nullptr,
     "The cut line in reach \"Butte,Tributary\", station 152.75 has 1 \"CutLinePoint\" "
     "elements instead of 2"},
    {"ElevationTooWide", "//CrossSectionPoint[1]", "Z", "-12345678.9",
     "The value -12345678.9 in reach \"Butte,Tributary\", station 152.75 is too wide for the "
     "8-character columns of the geometry file"},
    {"CommaInRiverName", "//Reach[1]/RiverName", "Name", "Big, River",
     "The river or reach name of reach \"Big, River,Tributary\" contains a comma, which the "
     "geometry file cannot separate from the other name"},
    {"ZeroLengthSection", "//Reach[1]//CrossSection[1]/CrossSectionPoint", "CrossM", "0",
     "The cross-section in reach \"Butte,Tributary\", station 152.75 has zero length"},
};

INSTANTIATE_TEST_SUITE_P(Faults, BrokenGeometryDocument, ::testing::ValuesIn(kBrokenDocuments),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GeometryFileTest, AFaultPartWayKeepsTheRecordsWrittenBefore) {
    breakDocument(document_, {"", "//Reach[2]//CrossSection[2]/Spacing", "CenterSpacing"});
    exportError();
    const std::vector<std::string> written = maskedLines(test::readFile(output()));
    const std::vector<std::string> golden = maskedLines(test::readFile(kData / "confluence.g01"));
    ASSERT_LT(written.size(), golden.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), golden.begin()));
    EXPECT_EQ(written.back(), "Exp/Cntr=0.3,0.1");  // the complete first record of reach 2
    EXPECT_EQ(std::count(written.begin(), written.end(), "Exp/Cntr=0.3,0.1"), 2);
}

TEST_F(GeometryFileTest, ASectionOfOnePointIsRefusedByReachAndStation) {
    pugi::xml_node section = document_.select_node("//CrossSection[1]").node();
    section.child("Parameters").attribute("NumberPoints").set_value("1");
    while (section.last_child() != section.find_child([](pugi::xml_node n) {
        return std::string(n.name()) == "CrossSectionPoint";
    }))
        section.remove_child(section.last_child());
    EXPECT_EQ(exportError(),
              "The cross-section in reach \"Butte,Tributary\", station 152.75 has fewer than two "
              "points");
}

TEST_F(GeometryFileTest, BankStationsMatchTheStationTextAShortenedColumnGives) {
    // The right bank at the last point, 10234.565: F3 needs nine characters, the column eight.
    pugi::xml_node section = document_.select_node("//CrossSection[1]").node();
    section.child("BankStations").attribute("RightM").set_value("10234.565");
    section.last_child().attribute("CrossM").set_value("10234.565");
    writeGeometryFile(document_, output(), "Dec/7/2024 2:59:03 PM");
    const std::string text = test::readFile(output());
    const std::size_t bank = text.find("Bank Sta=");
    const std::string bankLine = text.substr(bank, text.find('\r', bank) - bank);
    const std::string right = bankLine.substr(bankLine.find(", ") + 2);
    EXPECT_EQ(right.size(), 8u) << bankLine;
    const std::string stations =
        text.substr(text.find("#Sta/Elev="), bank - text.find("#Sta/Elev="));
    EXPECT_NE(stations.find(right), std::string::npos) << right << " not among\n" << stations;
}

/// The single-reach document with its cross-section repeated `count` times at stations 1, 2, ...:
/// more records than one thread makes in one go.
pugi::xml_document longReach(int count) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file((kData / "single_reach.xml").c_str()));
    pugi::xml_node sections = document.select_node("//CrossSections").node();
    const pugi::xml_node model = sections.first_child();
    for (int station = 1; station <= count; ++station) {
        sections.append_copy(model).child("Parameters").attribute("Station").set_value(station);
    }
    sections.remove_child(model);
    return document;
}

/// The lines of the single-reach file before its cross-section record, and those of the record,
/// which is that of station 2.5.
struct SingleReachLines {
    std::vector<std::string> reach;
    std::vector<std::string> crossSection;
};

const SingleReachLines& singleReachLines() {
    static const SingleReachLines lines = [] {
        const std::vector<std::string> golden =
            maskedLines(test::readFile(kData / "single_reach.g01"));
        const auto record = std::find(golden.begin(), golden.end(), "Reverse River Text = 0") + 1;
        return SingleReachLines{{golden.begin(), record}, {record, golden.end()}};
    }();
    return lines;
}

/// The cross-section record of the single-reach file at `station`, to the line `last`.
std::vector<std::string> crossSectionLines(int station,
                                           const std::string& last = "Exp/Cntr=0.3,0.1") {
    std::vector<std::string> lines;
    for (std::string line : singleReachLines().crossSection) {
        if (line.starts_with("Type RM") || line.starts_with("Cross-section=")) {
            line.replace(line.find("2.5"), 3, std::to_string(station));
        }
        lines.push_back(line);
        if (line == last) break;
    }
    return lines;
}

/// The lines `longReach` must give up to the record of `count`.
std::vector<std::string> longReachLines(int count) {
    std::vector<std::string> lines = singleReachLines().reach;
    for (int station = 1; station <= count; ++station) {
        const std::vector<std::string> record = crossSectionLines(station);
        lines.insert(lines.end(), record.begin(), record.end());
    }
    return lines;
}

TEST_F(GeometryFileTest, LongReachesKeepEveryRecordInOrder) {
    writeGeometryFile(longReach(1500), output(), "Dec/7/2024 2:59:03 PM");
    EXPECT_EQ(maskedLines(test::readFile(output())), longReachLines(1500));
}

TEST_F(GeometryFileTest, LargeDocumentsLoadWhole) {
    // Megabytes are read in two halves: here the extent lies in the first, the reach in the second.
    std::string xml = test::readFile(kData / "single_reach.xml");
    xml.insert(xml.find("</Header>"), "<Notes Text=\"" + std::string(9 << 20, 'x') + "\"/>");
    std::ofstream(output("large.xml")) << xml;
    convertXmlToGeometryFile(output("large.xml"), output(), false);
    EXPECT_EQ(maskedLines(test::readFile(output())),
              maskedLines(test::readFile(kData / "single_reach.g01")));
}

/// Cross-sections of `longReach(1500)` to break, the first first.
struct LongReachFaults {
    std::vector<int> stations;
    /// An elevation too wide for its column, met with part of the record written, rather than
    /// a missing element, met before any of it.
    bool midRecord;
};

class FaultsInALongReach : public GeometryFileTest,
                           public ::testing::WithParamInterface<LongReachFaults> {};

// Wherever the faults fall among the records that the threads make, the first stops the file
// where it would stop a file written record by record.
TEST_P(FaultsInALongReach, TheFirstStopsTheFileAfterWhatWasWrittenBeforeIt) {
    const auto& [stations, midRecord] = GetParam();
    pugi::xml_document document = longReach(1500);
    for (const int station : stations) {
        const std::string section = "//CrossSection[" + std::to_string(station) + "]";
        if (midRecord) {
            const std::string point = section + "/CrossSectionPoint[2]";
            breakDocument(document, {"", point.c_str(), "Z", "-12345678.9"});
        } else {
            breakDocument(document, {"", (section + "/Parameters").c_str()});
        }
    }
    const std::string first = std::to_string(stations.front());
    const std::string expectedError =
        midRecord ? "The value -12345678.9 in reach \"Butte,Tributary\", station " + first +
                        " is too wide for the 8-character columns of the geometry file"
                  : "Missing element \"Parameters\" in reach \"Butte,Tributary\", "
                    "cross-section number " +
                        first;
    try {
        writeGeometryFile(document, output(), "Dec/7/2024 2:59:03 PM");
        ADD_FAILURE() << "no error";
    } catch (const RasExportError& error) {
        EXPECT_EQ(error.what(), expectedError);
    }
    std::vector<std::string> expected = longReachLines(stations.front() - 1);
    if (midRecord) {
        const std::vector<std::string> part = crossSectionLines(stations.front(), "#Sta/Elev= 3");
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(maskedLines(test::readFile(output())), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Stations, FaultsInALongReach,
    ::testing::Values(LongReachFaults{{1}, false}, LongReachFaults{{100, 300}, false},
                      LongReachFaults{{300, 520}, true}, LongReachFaults{{700, 701, 1400}, false},
                      LongReachFaults{{1300, 1400}, true}, LongReachFaults{{1500}, true}),
    [](const auto& info) {
        return "From" + std::to_string(info.param.stations.front()) +
               (info.param.midRecord ? "MidRecord" : "");
    });

TEST_F(GeometryFileTest, ReachesInsideAReachFollowItAndShareItsPoints) {
    const std::string input = output("nested.xml");
    std::ofstream(input) << R"(<ChannelGeometry><Header><Extent>
        <NECornerXY X="9" Y="9"/><SWCornerXY X="0" Y="0"/></Extent></Header><Junctions/>
        <Reaches><Group>
          <Reach><RiverName Name="Outer"/><ReachCode Code="A"/>
            <ReachPoint X="0" Y="0"/><ReachPoint X="1" Y="0"/><CrossSections/>
            <Reach><RiverName Name="Inner"/><ReachCode Code="B"/>
              <ReachPoint X="5" Y="5"/><CrossSections/></Reach>
          </Reach></Group>
          <Reach><RiverName Name="Last"/><ReachCode Code="C"/>
            <ReachPoint X="9" Y="9"/><CrossSections/></Reach>
        </Reaches></ChannelGeometry>)";
    convertXmlToGeometryFile(input, output(), false);
    std::vector<std::string> reachLines;
    for (const std::string& line : maskedLines(test::readFile(output()))) {
        if (line.starts_with("River Reach=") || line.starts_with("Reach XY=")) {
            reachLines.push_back(line);
        }
    }
    EXPECT_EQ(reachLines,
              (std::vector<std::string>{"River Reach=Outer,A", "Reach XY= 3", "River Reach=Inner,B",
                                        "Reach XY= 1", "River Reach=Last,C", "Reach XY= 1"}));
}

TEST_F(GeometryFileTest, NamesAreReadWithTheirEntitiesAndBlanksAsXmlHasThem) {
    const auto convertWith = [&](const std::string& riverName, const std::string& reachCode) {
        std::string xml = test::readFile(kData / "single_reach.xml");
        xml = std::regex_replace(xml, std::regex("Name=\"Butte\""), "Name=\"" + riverName + "\"");
        xml =
            std::regex_replace(xml, std::regex("Code=\"Tributary\""), "Code=\"" + reachCode + "\"");
        std::ofstream(output("names.xml")) << xml;
        convertXmlToGeometryFile(output("names.xml"), output(), false);
        return maskedLines(test::readFile(output())).at(4);
    };
    // Blanks, tabs and line breaks typed inside a value are blanks to an XML reader.
    EXPECT_EQ(convertWith("Fall &amp; &quot;Rise&quot;", "Up\tper\nmost"),
              "River Reach=Fall & \"Rise\",Up per most");
    // A line break written as a character reference stays one, and no line of the file holds it.
    EXPECT_THROW(convertWith("Fall", "Up&#10;per"), RasExportError);
}

TEST_F(GeometryFileTest, InputsThatHoldNoDocumentAreRefused) {
    const std::string empty = output("empty.xml");
    std::ofstream{empty};
    for (const std::string& input : {empty, dir_.string()}) {
        try {
            loadChannelGeometry(input, output());
            ADD_FAILURE() << "accepted " << input;
        } catch (const RasInputRefused& refused) {
            EXPECT_EQ(refused.what(), "Cannot open '" + input + "' file");
        }
    }
}

TEST_F(GeometryFileTest, SiblingsThatCannotBeNamedStopTheRunBeforeAnyFileIsWritten) {
    const std::string geometry = output("geom");
    EXPECT_THROW(convertXmlToGeometryFile((kData / "single_reach.xml").string(), geometry, true),
                 RasExportError);
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(GeometryFileTest, AFileThatCannotBeCreatedIsNamed) {
    const std::string path = output("no-such-folder/geom.g01");
    EXPECT_EQ(exportError(path), "Cannot create file '" + path + "': No such file or directory");
}

TEST_F(GeometryFileTest, NamesAreWrittenAsEightBitText) {
    breakDocument(document_, {"", "//UpstreamReach[1]", "River", "Rivi\xC3\xA8re \xE2\x80\x99"});
    writeGeometryFile(document_, output(), "Dec/7/2024 2:59:03 PM");
    EXPECT_EQ(maskedLines(test::readFile(output()))[6],
              "Up River,Reach=       Rivi\xE8re \x92,       Tributary");

    breakDocument(document_, {"", "//UpstreamReach[1]", "River", "\xE6\xB2\xB3"});
    EXPECT_EQ(exportError(),
              "Attribute \"River\" of element \"UpstreamReach\" in junction 0 cannot be written as "
              "one line of 8-bit text: \"\xE6\xB2\xB3\"");
}

TEST(DateTimeText, IsEnglishWithATwelveHourClock) {
    const auto at = [](int month, int day, int hour, int minute, int second) {
        return GetDateTime(std::tm{.tm_sec = second,
                                   .tm_min = minute,
                                   .tm_hour = hour,
                                   .tm_mday = day,
                                   .tm_mon = month - 1,
                                   .tm_year = 124});
    };
    EXPECT_EQ(at(12, 7, 14, 59, 3), "Dec/7/2024 2:59:03 PM");
    EXPECT_EQ(at(7, 18, 0, 5, 0), "Jul/18/2024 12:05:00 AM");
    EXPECT_EQ(at(1, 1, 12, 0, 59), "Jan/1/2024 12:00:59 PM");
}

}  // namespace
}  // namespace ondu
