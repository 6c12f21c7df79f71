#include "exchange/xml_to_geometry_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_runner.h"
#include "support/dialog_test.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

const std::string kChannelXml =
    std::string(ONDU_SOURCE_DIR) + "/tests/exchange/data/hecras/single_reach.xml";

class XmlToGeometryDialog : public test::DialogTest<frmXMLtoGeometryFile> {};

TEST_F(XmlToGeometryDialog, ChecksItsInputsInOrderAndStaysOpen) {
    auto& form = openDialog();
    form.pressOk();
    form.type("txtInput", dir.file("missing.xml"));
    form.pressOk();
    form.type("txtOutput", dir.file("geom.g01"));
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              (std::vector<std::string>{
                  "[Warning] Specify the input file", "[Warning] Specify the output file",
                  "[Error opening File] Cannot open '" + dir.file("missing.xml") + "' file"}));
    EXPECT_TRUE(form.isLoaded());
    EXPECT_FALSE(form.control("chkAuxFiles").checked);
}

TEST_F(XmlToGeometryDialog, WritesTheGeometryAndSiblingFilesThenUnloads) {
    auto& form = openDialog();
    form.type("txtInput", kChannelXml);
    form.type("txtOutput", dir.file("run.g01"));
    form.setChecked("chkAuxFiles", true);
    form.pressOk();
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{
                  "[XML to HEC-RAS Geometry File] HEC-RAS files created successfully"});
    EXPECT_FALSE(Forms::anyLoaded());
    for (const char* name : {"run.g01", "run.prj", "run.p01", "run.f01"})
        EXPECT_TRUE(fs::exists(dir.file(name))) << name;
}

TEST_F(XmlToGeometryDialog, ConversionErrorIsShownUnderErrorOccurred) {
    test::writeFile(dir.file("broken.xml"), "<ChannelGeometry><Reaches/></ChannelGeometry>");
    auto& form = openDialog();
    form.type("txtInput", dir.file("broken.xml"));
    form.type("txtOutput", dir.file("run.g01"));
    form.pressOk();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error Occurred");
    EXPECT_TRUE(form.isLoaded());
}

TEST_F(XmlToGeometryDialog, BrowseButtonsUseTheXmlAndGeometryFilters) {
    auto& form = openDialog();
    ui.files = {std::string("/data/in.xml"), std::string("/data/out.g01")};
    form.click("cmdOpen");
    form.click("cmdSave");
    EXPECT_EQ(ui.fileChoices[0].filter, "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|");
    EXPECT_EQ(ui.fileChoices[1].filter, "All Files (*.*)|*.*|Geometry Files (*.g01)|*.g01|");
    EXPECT_EQ(form.control("txtInput").text, "/data/in.xml");
    EXPECT_EQ(form.control("txtOutput").text, "/data/out.g01");
}

TEST(XmlToGeometryCommandLine, WritesTheFourFiles) {
    test::TempDir dir;
    auto r = test::runCli({"run", "clsXMLtoGeometryFile", "--set", "txtInput=" + kChannelXml,
                           "--set", "txtOutput=" + dir.file("geom.g01"), "--set", "chkAuxFiles=1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[XML to HEC-RAS Geometry File] HEC-RAS files created successfully\n");
    for (const char* name : {"geom.g01", "geom.prj", "geom.p01", "geom.f01"})
        EXPECT_TRUE(fs::exists(dir.file(name)));
}

}  // namespace
}  // namespace ondu
