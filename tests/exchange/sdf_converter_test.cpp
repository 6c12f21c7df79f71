#include "exchange/sdf_converter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_ui.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(ONDU_SOURCE_DIR) / "tests/exchange/data/sdf";
constexpr const char* kErrorTitle = "Error in ConvertToXMLFormat";

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t countNodes(const pugi::xml_document& doc, const std::string& xpath) {
    return doc.select_nodes(xpath.c_str()).size();
}

class SdfConversion : public ::testing::Test {
protected:
    void SetUp() override {
        // Parameterised test names hold "/", which must not open a subfolder.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        m_dir = fs::temp_directory_path() / ("ondu_sdf_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path file(const std::string& name) const { return m_dir / name; }

    /// Writes sdfText as an input file and converts it to out.xml.
    bool convertText(const std::string& sdfText) {
        writeBytes(file("in.sdf"), sdfText);
        return converter.ConvertToXMLFormat(file("in.sdf").string(), file("out.xml").string());
    }

    void expectOneError(const std::string& text) const {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].title, kErrorTitle);
    }

    test::RecordingUI ui;
    clsConvertRASOutputToXML converter;
    fs::path m_dir;
};

TEST(SdfTagNames, MakeTagNameFollowsTheProfileTagRules) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"PF 1", "PF_1"},
        {"100-yr flood", "W100_yr_fl"},
        {"18Feb1999 0400", "W18Feb1999"},
        {"Max WS #2", "Max_WS__2"},
        {"Q 10 -", "Q_10"},
        {"", ""},
    };
    for (const auto& [text, tag] : cases) {
        EXPECT_EQ(clsConvertRASOutputToXML::MakeTagName(text), tag) << text;
    }
    EXPECT_EQ(clsConvertRASOutputToXML::StripKeyChars("CROSS-SECTION LAYER #1"),
              "CROSSSECTIONLAYER1");
}

class SdfGolden : public SdfConversion, public ::testing::WithParamInterface<const char*> {};

TEST_P(SdfGolden, OutputMatchesTheGoldenFileByteForByte) {
    const std::string name = GetParam();
    ASSERT_TRUE(
        converter.AccessDLL((kGoldenDir / (name + ".sdf")).string(), file("out.xml").string()));
    EXPECT_TRUE(ui.messages.empty());
    const std::string output = readBytes(file("out.xml"));
    EXPECT_EQ(output, readBytes(kGoldenDir / (name + ".xml")));
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_buffer(output.data(), output.size())) << "not well-formed";
}

// header: profiles, projection block, other keys as elements, a path value holding ":".
// cross_sections: every keyed line, the sub-blocks, velocities carrying their profile id.
// block_edges: a cut line closed by END:, default and empty bank positions, a short elevation
// line, a blank line inside a cut line.
// bounds: profile limits with 2D and 3D polygon vertices, in a file without cross-sections.
// escaping: markup characters in values, header keys that are no XML names, UTF-8, Latin-1 and
// control bytes.
INSTANTIATE_TEST_SUITE_P(Sections, SdfGolden,
                         ::testing::Values("header", "cross_sections", "block_edges", "bounds",
                                           "escaping"),
                         [](const auto& test) { return std::string(test.param); });

/// The text with every CR LF line end replaced by `lineEnd`.
std::string withLineEnds(const std::string& crLfText, const std::string& lineEnd) {
    std::string text;
    for (std::size_t from = 0;;) {
        const std::size_t at = crLfText.find("\r\n", from);
        text += crLfText.substr(from, at - from);
        if (at == std::string::npos) return text;
        text += lineEnd;
        from = at + 2;
    }
}

TEST_F(SdfConversion, EveryLineEndGivesTheSameOutputAsCrLf) {
    const std::string crLfInput = readBytes(kGoldenDir / "cross_sections.sdf");
    ASSERT_NE(crLfInput.find("\r\n"), std::string::npos);
    // A lone CR is the line end of old Mac files; files edited on several systems mix them.
    std::string mixed = withLineEnds(crLfInput, "\n");
    for (std::size_t at = mixed.find('\n'), i = 0; at != std::string::npos;
         at = mixed.find('\n', at + 1), ++i) {
        if (i % 3 == 1) mixed[at] = '\r';
        if (i % 3 == 2) mixed.insert(at++, "\r");
    }
    for (const std::string& input :
         {withLineEnds(crLfInput, "\n"), withLineEnds(crLfInput, "\r"), mixed}) {
        converter.Reset();
        ASSERT_TRUE(convertText(input));
        EXPECT_EQ(readBytes(file("out.xml")), readBytes(kGoldenDir / "cross_sections.xml"));
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SdfConversion, CrLfSplitByTheReadChunkEndsOneLine) {
    // Line numbers in messages show whether the pair was taken for one line end or two.
    for (const std::size_t crAt : {sdf::kChunkBytes - 1, 2 * sdf::kChunkBytes - 1}) {
        std::string input = "BEGIN CROSS-SECTIONS:\r\nCROSS-SECTION:\r\nCUT LINE:\r\n";
        const std::size_t linesBefore = 3;
        input += "1, " + std::string(crAt - input.size() - 3, '7') + "\r\n";
        input += "1, 2\r\n3\r\n";
        ui.messages.clear();
        EXPECT_FALSE(convertText(input));
        expectOneError("Line " + std::to_string(linesBefore + 3) + " of the SDF file \"" +
                       file("in.sdf").string() +
                       "\": too few values for CutLinePoint (2 needed, 1 found): \"3\".");
    }
}

/// The escaped form of a byte that stands alone between ASCII letters, as the converter
/// documents it.
std::string escapedAlone(unsigned char byte) {
    switch (byte) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\r':
            return "&#13;";
        case '\t':
            return "\t";
        default:
            break;
    }
    if (byte < 0x20) return "&#xFFFD;";
    if (byte >= 0x7F) return "&#" + std::to_string(byte) + ";";
    return std::string(1, static_cast<char>(byte));
}

TEST_F(SdfConversion, EveryByteOfACoordinateIsKeptOrEscapedWhereverItStands) {
    // One line per byte, the byte at a position that moves along the line from byte to byte.
    std::string input = "BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\nCUT LINE:\n";
    std::vector<std::string> expected;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == '\n' || byte == '\r' || byte == ',' || byte == ':') continue;
        const std::string before(1 + byte % 19, 'a');
        input += std::string(byte % 11, ' ') + before + static_cast<char>(byte) + "z, 1\n";
        expected.push_back("<CutLinePoint X=\"" + before + escapedAlone(byte) +
                           "z\" Y=\"1\"/>\r\n");
    }
    ASSERT_TRUE(convertText(input + "END:\nEND CROSS-SECTIONS:\n"));
    const std::string output = readBytes(file("out.xml"));
    for (const std::string& line : expected) {
        EXPECT_NE(output.find(line), std::string::npos) << line;
    }
}

TEST_F(SdfConversion, LargeInputConvertsAsItsBlocksDoOneByOne) {
    // Blocks of an odd size straddle the read chunks at a different place each time; their lines
    // have deep indents of blanks and tabs, a value longer than most, and a profile id to escape.
    const std::string block =
        "  CROSS-SECTION:\r\n    STATION: 7\r\n    CUT LINE:\r\n"
        "\t \t          1960000.125 , 280000.5 \r\n    " +
        std::string(40, '9') +
        ".5, 2\r\n    PROFILE ID: PF <1>\r\n    VELOCITIES:\r\n"
        "      0.1, 2.5\r\n  END:\r\n";
    const std::string head = "BEGIN CROSS-SECTIONS:\r\n";
    const std::string tail = "END CROSS-SECTIONS:\r\n";
    ASSERT_TRUE(convertText(head + block + tail));
    const std::string single = readBytes(file("out.xml"));
    const std::size_t bodyBegin = single.find("<CrossSection>");
    const std::size_t bodyEnd = single.find("</CrossSections>");
    ASSERT_NE(bodyBegin, std::string::npos);
    ASSERT_NE(bodyEnd, std::string::npos);
    const std::string body = single.substr(bodyBegin, bodyEnd - bodyBegin);

    constexpr int kBlocks = 15000;  // about 3 MB, three read chunks
    std::string input = head;
    std::string expected = single.substr(0, bodyBegin);
    for (int i = 0; i < kBlocks; ++i) {
        input += block;
        expected += body;
    }
    ASSERT_TRUE(convertText(input + tail));
    // Compared as a whole, not with EXPECT_EQ, which would print megabytes on a mismatch.
    EXPECT_TRUE(readBytes(file("out.xml")) == expected + single.substr(bodyEnd));
}

TEST_F(SdfConversion, LineLongerThanTheReadChunkIsReadWhole) {
    std::string longLine = "1.5, 2.5";
    for (int i = 0; i < 700000; ++i) longLine += ", 9";
    ASSERT_TRUE(convertText("BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\nCUT LINE:\n" + longLine +
                            "\n3.5, 4.5\nEND:\nEND CROSS-SECTIONS:\n"));
    EXPECT_NE(
        readBytes(file("out.xml"))
            .find("<CutLinePoint X=\"1.5\" Y=\"2.5\"/>\r\n<CutLinePoint X=\"3.5\" Y=\"4.5\"/>\r\n"),
        std::string::npos);
}

TEST_F(SdfConversion, ProfileListGrowsAcrossConversionsUntilReset) {
    const std::string input = (kGoldenDir / "cross_sections.sdf").string();
    const std::string output = file("out.xml").string();
    ASSERT_TRUE(converter.ConvertToXMLFormat(input, output));
    ASSERT_TRUE(converter.ConvertToXMLFormat(input, output));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(output.c_str()));
    // The second run writes elevations for PF_1, PF_2, PF_1, PF_2; the line holds two values.
    const auto elevations = doc.select_nodes("//CrossSection[1]/WaterElevations/WaterElevation");
    ASSERT_EQ(elevations.size(), 4u);
    EXPECT_STREQ(elevations[2].node().attribute("ProfileID").value(), "PF_1");
    EXPECT_STREQ(elevations[2].node().attribute("Value").value(), "");
    EXPECT_EQ(countNodes(doc, "//Profiles/Profile"), 2u);

    converter.Reset();
    ASSERT_TRUE(converter.ConvertToXMLFormat(input, output));
    EXPECT_EQ(readBytes(output), readBytes(kGoldenDir / "cross_sections.xml"));
}

TEST_F(SdfConversion, HeaderClaimingMoreProfilesThanItNamesStillEnds) {
    ASSERT_TRUE(convertText(
        "BEGIN HEADER:\nNUMBER OF PROFILES: 3\nPROFILE NAMES:\nPF 1\nPF 2\nEND HEADER:\n"
        "BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\nSTATION: 10\nEND:\nEND CROSS-SECTIONS:\n"));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file("out.xml").c_str()));
    EXPECT_EQ(countNodes(doc, "/RASOFile/Header/Profiles/Profile"), 2u);
    EXPECT_EQ(countNodes(doc, "/RASOFile/Header/*"), 3u);  // count, profiles, projection
    EXPECT_EQ(countNodes(doc, "/RASOFile/CrossSections/CrossSection/Station"), 1u);
}

TEST_F(SdfConversion, InputWithoutAnySectionIsRefusedAndNoOutputIsCreated) {
    const std::string sdfText = readBytes(kGoldenDir / "header.sdf");
    std::string utf16 = "\xFF\xFE";
    for (char c : sdfText) utf16 += {c, '\0'};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"utf16", utf16},
        {"xml", readBytes(kGoldenDir / "header.xml")},
        {"empty", ""},
        {"plain text", "Water levels for the spring flood\r\nPF 1: 101.5\r\n"},
        {"misspelt section", "BEGIN HEADERS:\r\nUNITS: METRIC\r\nEND HEADERS:\r\n"},
    };
    for (const auto& [what, input] : cases) {
        ui.messages.clear();
        EXPECT_FALSE(convertText(input)) << what;
        expectOneError("No SDF section found in \"" + file("in.sdf").string() + "\".");
        EXPECT_FALSE(fs::exists(file("out.xml"))) << what;
    }
}

TEST_F(SdfConversion, FailedConversionLeavesTheOldOutputAndNoOtherFile) {
    const std::vector<std::string> failingInputs = {
        "",
        "BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\nCUT LINE:\n1, 2\n3\n",
        "BEGIN HEADER:\nUNITS: METRIC\n",
    };
    for (const std::string& input : failingInputs) {
        writeBytes(file("out.xml"), "earlier output");
        EXPECT_FALSE(convertText(input)) << input;
        EXPECT_EQ(readBytes(file("out.xml")), "earlier output") << input;
        EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2)
            << "a partial file is left beside the output for " << input;
    }
}

TEST_F(SdfConversion, ReplacedOutputKeepsItsPermissionsAndTheLinkToIt) {
    writeBytes(file("target.xml"), "earlier output");
    fs::permissions(file("target.xml"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(file("target.xml"), file("link.xml"));
    writeBytes(file("in.sdf"), readBytes(kGoldenDir / "header.sdf"));
    ASSERT_TRUE(converter.ConvertToXMLFormat(file("in.sdf").string(), file("link.xml").string()));
    EXPECT_TRUE(fs::is_symlink(file("link.xml")));
    EXPECT_EQ(readBytes(file("target.xml")), readBytes(kGoldenDir / "header.xml"));
    EXPECT_EQ(fs::status(file("target.xml")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SdfConversion, UnreadableInputIsReportedAndNoOutputIsCreated) {
    const std::string missing = file("missing.sdf").string();
    EXPECT_FALSE(converter.AccessDLL(missing, file("out.xml").string()));
    expectOneError("Cannot open the SDF file \"" + missing + "\": No such file or directory.");
    EXPECT_FALSE(fs::exists(file("out.xml")));
}

TEST_F(SdfConversion, UnwritableOutputIsReported) {
    const std::string input = (kGoldenDir / "header.sdf").string();
    const std::string badOutput = file("no such folder/out.xml").string();
    EXPECT_FALSE(converter.ConvertToXMLFormat(input, badOutput));
    expectOneError("Cannot create the XML file \"" + badOutput + "\": No such file or directory.");
}

TEST_F(SdfConversion, FullDiskIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    const std::string input = (kGoldenDir / "header.sdf").string();
    EXPECT_FALSE(converter.ConvertToXMLFormat(input, "/dev/full"));
    expectOneError("Cannot write the XML file \"/dev/full\": No space left on device.");
}

TEST_F(SdfConversion, OutputOverTheInputIsRefusedAndTheInputKept) {
    const std::string input = readBytes(kGoldenDir / "header.sdf");
    writeBytes(file("in.sdf"), input);
    EXPECT_FALSE(converter.ConvertToXMLFormat(file("in.sdf").string(), file("in.sdf").string()));
    expectOneError("The XML file \"" + file("in.sdf").string() +
                   "\" is the SDF file itself; choose another output file.");
    EXPECT_EQ(readBytes(file("in.sdf")), input);
}

TEST_F(SdfConversion, BadInputLinesAreReportedWithTheirLineNumber) {
    struct BadLine {
        std::string sdfText;
        int line;
        std::string detail;
    };
    const std::string crossSection = "BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\n";
    const std::vector<BadLine> cases = {
        {crossSection + "CUT LINE:\n1.0, 2.0\n3.0\n", 5,
         "too few values for CutLinePoint (2 needed, 1 found): \"3.0\"."},
        {crossSection + "WATER SURFACE EXTENTS:\n1, 2, 3\n", 4,
         "too few values for WSExtentPoint (4 needed, 3 found): \"1, 2, 3\"."},
        {crossSection + "PROFILE ID: PF 1\nVELOCITIES:\n0.5\n", 5,
         "too few values for Velocity (2 needed, 1 found): \"0.5\"."},
        {"BEGIN BOUNDS:\nPROFILE LIMITS:\nPROFILE ID: PF 1\nPOLYGON:\n7\n", 5,
         "too few values for Point (2 needed, 1 found): \"7\"."},
        {"BEGIN HEADER:\nNUMBER OF PROFILES: two\n", 2,
         "\"two\" is not a valid number of profiles."},
    };
    for (const BadLine& bad : cases) {
        ui.messages.clear();
        EXPECT_FALSE(convertText(bad.sdfText)) << bad.sdfText;
        expectOneError("Line " + std::to_string(bad.line) + " of the SDF file \"" +
                       file("in.sdf").string() + "\": " + bad.detail);
    }
}

TEST_F(SdfConversion, InputEndingInsideASectionIsReported) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"BEGIN HEADER:\nUNITS: METRIC\n", "2 before \"END HEADER:\" closes the header."},
        {"BEGIN CROSS-SECTIONS:\nCROSS-SECTION:\nSTATION: 1\n",
         "3 before \"END:\" closes a cross-section block."},
        {"BEGIN BOUNDS:\nPROFILE LIMITS:\nEND:\n", "3 before \"END BOUNDS:\" closes the bounds."},
    };
    for (const auto& [sdfText, message] : cases) {
        ui.messages.clear();
        EXPECT_FALSE(convertText(sdfText)) << sdfText;
        expectOneError("The SDF file \"" + file("in.sdf").string() + "\" ends at line " + message);
    }
}

/// Counts the lines of an SDF file that are exactly one keyword once trimmed.
std::size_t countKeywordLines(const std::string& text, const std::string& keyword) {
    std::istringstream lines(text);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto first = line.find_first_not_of(" \r");
        const auto last = line.find_last_not_of(" \r");
        if (first != std::string::npos && line.substr(first, last - first + 1) == keyword) ++count;
    }
    return count;
}

class SdfRealFiles : public SdfConversion, public ::testing::WithParamInterface<fs::path> {};

TEST_P(SdfRealFiles, ConvertToWellFormedXmlKeepingEveryBlock) {
    const fs::path input = GetParam();
    if (!fs::exists(input)) GTEST_SKIP() << "sample file is not present: " << input;
    ASSERT_TRUE(converter.AccessDLL(input.string(), file("out.xml").string()));
    EXPECT_TRUE(ui.messages.empty());

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(file("out.xml").c_str());
    ASSERT_TRUE(parsed) << parsed.description();
    const std::string sdf = readBytes(input);
    const std::size_t profiles = countNodes(doc, "/RASOFile/Header/Profiles/Profile");
    EXPECT_EQ(profiles, std::stoul(doc.select_node("//NUMBEROFPROFILES").node().text().get()));
    EXPECT_EQ(countNodes(doc, "/RASOFile/CrossSections/CrossSection"),
              countKeywordLines(sdf, "CROSS-SECTION:"));
    EXPECT_EQ(countNodes(doc, "//CrossSection[count(WaterElevations/WaterElevation) != " +
                                  std::to_string(profiles) + "]"),
              0u);
    EXPECT_EQ(countNodes(doc, "//CrossSection[not(CutLine/CutLinePoint)]"), 0u);
    EXPECT_EQ(countNodes(doc, "/RASOFile/Boundaries/ProfileLimits"),
              countKeywordLines(sdf, "PROFILE LIMITS:"));
    EXPECT_EQ(countNodes(doc, "//ProfileLimits/Polygons/Polygon"),
              countKeywordLines(sdf, "POLYGON:"));
    EXPECT_EQ(countNodes(doc, "//Polygon[count(Point) < 3]"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Samples, SdfRealFiles,
                         ::testing::Values(fs::path(ONDU_SAMPLES_DIR) / "BaldEagle.gis",
                                           fs::path(ONDU_SAMPLES_DIR) / "example.sdf",
                                           fs::path(ONDU_SOURCE_DIR) / "data/sample.sdf"),
                         [](const auto& test) { return test.param.stem().string(); });

}  // namespace
}  // namespace ondu
