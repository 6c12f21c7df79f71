#include "exchange/xml_to_geometry_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <pugixml.hpp>
#include <random>
#include <sstream>

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

/// The single-reach document with its cross-section repeated: a conversion that takes a while.
std::string longDocument(int sections) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(kChannelXml.c_str()));
    pugi::xml_node list = document.select_node("//CrossSections").node();
    const pugi::xml_node model = list.first_child();
    for (int station = 1; station <= sections; ++station)
        list.append_copy(model).child("Parameters").attribute("Station").set_value(station);
    list.remove_child(model);
    std::ostringstream text;
    document.save(text);
    return text.str();
}

/// The file without its time stamps, which differ from run to run.
std::string withoutTimes(const std::string& text) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line))
        if (!line.starts_with("Node Last Edited Time=")) kept += line + "\n";
    return kept;
}

TEST(XmlToGeometryKill, AKilledRunLeavesEveryFileAsBeforeOrAsAfter) {
    test::TempDir dir;
    test::writeFile(dir.file("long.xml"), longDocument(20000));
    const std::vector<std::string> args = {ONDU_CLI_PATH,
                                           "run",
                                           "clsXMLtoGeometryFile",
                                           "--set",
                                           "txtInput=" + dir.file("long.xml"),
                                           "--set",
                                           "txtOutput=" + dir.file("out.g01"),
                                           "--set",
                                           "chkAuxFiles=1"};
    auto complete = test::runCli({args.begin() + 1, args.end()});
    ASSERT_EQ(complete.exitCode, 0) << complete.err;
    const std::string after = withoutTimes(test::readFile(dir.file("out.g01")));
    const std::string project = test::readFile(dir.file("out.prj"));
    std::mt19937 random(20261207);
    for (int attempt = 0; attempt < 12; ++attempt) {
        test::writeFile(dir.file("out.g01"), "before");
        fs::remove(dir.file("out.prj"));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDERR_FILENO);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
        ::usleep(std::uniform_int_distribution<int>(0, 400000)(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string geometry = test::readFile(dir.file("out.g01"));
        EXPECT_TRUE(geometry == "before" || withoutTimes(geometry) == after)
            << "attempt " << attempt << ": a partial geometry file";
        EXPECT_TRUE(!fs::exists(dir.file("out.prj")) ||
                    test::readFile(dir.file("out.prj")) == project)
            << "attempt " << attempt << ": a partial project file";
    }
}

}  // namespace
}  // namespace ondu
