#include "exchange/export_sdf_to_xml.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_runner.h"
#include "support/dialog_test.h"

namespace ondu {
namespace {

const std::string kSmallSdf =
    "BEGIN HEADER:\r\nNUMBER OF PROFILES: 1\r\nPROFILE NAMES:\r\nPF 1\r\nEND HEADER:\r\n"
    "BEGIN CROSS-SECTIONS:\r\nCROSS-SECTION:\r\nSTREAM ID: Creek\r\nREACH ID: Upper\r\nSTATION: "
    "100\r\n"
    "CUT LINE:\r\n1.0, 2.0\r\n3.0, 4.0\r\nEND:\r\nEND CROSS-SECTIONS:\r\n";

class ExportSdfDialog : public test::DialogTest<frmExportSDFtoXML> {};

TEST_F(ExportSdfDialog, MissingPathsWarnInOrderAndKeepTheDialogOpen) {
    auto& form = openDialog();
    form.pressOk();
    form.type("txtInput", dir.file("in.sdf"));
    form.pressOk();
    EXPECT_EQ(ui.messageLines(), (std::vector<std::string>{"[Warning] Select a file for input",
                                                           "[Warning] Specify the output file"}));
    EXPECT_TRUE(form.isLoaded());
}

TEST_F(ExportSdfDialog, ConvertsThenUnloadsAndAnnouncesSuccess) {
    test::writeFile(dir.file("in.sdf"), kSmallSdf);
    auto& form = openDialog();
    form.type("txtInput", dir.file("in.sdf"));
    form.type("txtOutput", dir.file("out.xml"));
    form.pressOk();
    EXPECT_FALSE(Forms::anyLoaded());
    EXPECT_EQ(ui.messageLines(), std::vector<std::string>{
                                     "[RAS SDF export to XML] SDF file is exported successfully!"});
    EXPECT_NE(test::readFile(dir.file("out.xml")).find("<CutLinePoint X=\"3.0\" Y=\"4.0\"/>\r\n"),
              std::string::npos);
}

TEST_F(ExportSdfDialog, FailedConversionKeepsTheDialogOpenWithoutSuccessMessage) {
    auto& form = openDialog();
    form.type("txtInput", dir.file("missing.sdf"));
    form.type("txtOutput", dir.file("out.xml"));
    form.pressOk();
    EXPECT_TRUE(form.isLoaded());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("missing.sdf"), std::string::npos);
    EXPECT_NE(ui.messages[0].title, "RAS SDF export to XML");
}

TEST_F(ExportSdfDialog, InputWithoutSdfSectionIsNoSuccess) {
    test::writeFile(dir.file("in.sdf"), "");
    auto& form = openDialog();
    form.type("txtInput", dir.file("in.sdf"));
    form.type("txtOutput", dir.file("out.xml"));
    form.pressOk();
    EXPECT_TRUE(form.isLoaded());
    EXPECT_EQ(ui.messageLines(),
              std::vector<std::string>{"[Error in ConvertToXMLFormat] No SDF section found in \"" +
                                       dir.file("in.sdf") + "\"."});
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.xml")));
}

TEST_F(ExportSdfDialog, BrowseButtonsUseTheirFiltersAndFillTheBoxes) {
    auto& form = openDialog();
    ui.files = {std::string("/data/run.sdf"), std::nullopt};
    form.click("cmdOpen");
    form.click("cmdSave");  // cancelled: the box keeps its text
    ASSERT_EQ(ui.fileChoices.size(), 2u);
    EXPECT_EQ(ui.fileChoices[0].filter, "All Files (*.*)|*.*|SDF Files (*.sdf)|*.sdf|");
    EXPECT_EQ(ui.fileChoices[0].filterIndex, 2);
    EXPECT_TRUE(ui.fileChoices[0].mustExist);
    EXPECT_EQ(ui.fileChoices[1].filter, "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|");
    EXPECT_TRUE(ui.fileChoices[1].save);
    EXPECT_TRUE(ui.fileChoices[1].overwritePrompt);
    EXPECT_EQ(form.control("txtInput").text, "/data/run.sdf");
    EXPECT_EQ(form.control("txtOutput").text, "");
}

TEST_F(ExportSdfDialog, CancelUnloadsWithoutWriting) {
    auto& form = openDialog();
    form.type("txtInput", dir.file("in.sdf"));
    form.type("txtOutput", dir.file("out.xml"));
    form.pressCancel();
    EXPECT_FALSE(Forms::anyLoaded());
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.xml")));
    EXPECT_TRUE(ui.messages.empty());
}

// ---- through the command-line host -----------------------------------------------------------

TEST(ExportSdfCommandLine, ConvertsAndExitsWithZero) {
    test::TempDir dir;
    test::writeFile(dir.file("in.sdf"), kSmallSdf);
    auto r = test::runCli({"run", "clsExportSDFtoXML", "--set", "txtInput=" + dir.file("in.sdf"),
                           "--set", "txtOutput=" + dir.file("out.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "[RAS SDF export to XML] SDF file is exported successfully!\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.xml")));
}

TEST(ExportSdfCommandLine, WarningLeavesTheDialogOpenAndExitsWithOne) {
    auto r = test::runCli({"run", "RUDAvuZIR.clsExportSDFtoXML", "--set", "txtInput=in.sdf"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "[Warning] Specify the output file\n");
}

TEST(ExportSdfCommandLine, UnknownControlsAndBadValuesAreUsageErrors) {
    auto unknown = test::runCli({"run", "clsExportSDFtoXML", "--set", "txtNope=1"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown control txtNope"), std::string::npos);
    auto wrongForm = test::runCli({"run", "clsExportSDFtoXML", "--set", "frmOther.txtInput=a"});
    EXPECT_EQ(wrongForm.exitCode, 2);
    EXPECT_NE(wrongForm.err.find("unknown form frmOther"), std::string::npos);
    auto badValue =
        test::runCli({"run", "clsExportSDFtoXML", "--set", "frmExportSDFtoXML.cmdOK=maybe"});
    EXPECT_EQ(badValue.exitCode, 2);
    EXPECT_NE(badValue.err.find("frmExportSDFtoXML.cmdOK: 'maybe'"), std::string::npos);
    auto noCommand = test::runCli({"run", "clsNoSuchTool"});
    EXPECT_EQ(noCommand.exitCode, 2);
    EXPECT_NE(noCommand.err.find("unknown command clsNoSuchTool"), std::string::npos);
}

}  // namespace
}  // namespace ondu
