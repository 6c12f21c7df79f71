#include "framework/file_helpers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "framework/host_operations.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"

namespace ondu {
namespace {

namespace fs = std::filesystem;

TEST(GetFolderFromPath, GivesTheFolderHoldingTheDataset) {
    struct Case {
        const char* path;
        const char* folder;
    };
    test::RecordingUI ui;
    for (const Case& c : {
             Case{R"(C:\data\geo.mdb\CrossSections)", R"(C:\data)"},
             Case{R"(C:\data\geo.mdb)", R"(C:\data)"}, Case{R"(C:\data\cs.shp)", R"(C:\data)"},
             Case{"/data/river.gpkg", "/data"}, Case{"/data/river.gpkg/CrossSections", "/data"},
             Case{"/data/RIVER.GPKG/CrossSections", "/data"}, Case{"work/data.fgb", "work"},
             Case{"/data/bathymetry.gdb/Reaches", "/data"},
             Case{"/data/v1.gpkg.d/river.gpkg/CrossSections", "/data/v1.gpkg.d"},
             Case{R"(C:\data\sub/river.gpkg)", R"(C:\data)"},  // "\" is looked for first
         })
        EXPECT_EQ(GetFolderFromPath(c.path), c.folder) << c.path;
    EXPECT_TRUE(ui.messages.empty());
}

TEST(GetFolderFromPath, ADatasetWithoutFolderAsksToCheckThePath) {
    test::RecordingUI ui;
    for (const char* path : {"geo.mdb", "river.gpkg", "river.gpkg/CrossSections"}) {
        ui.messages.clear();
        EXPECT_EQ(GetFolderFromPath(path), "") << path;
        ASSERT_EQ(ui.messages.size(), 1u) << path;
        EXPECT_EQ(ui.messages[0].text, "Please check your path");
    }
}

TEST(GetFolderFromPath, PathsNamingNoDatasetFileFail) {
    test::RecordingUI ui;
    for (const char* path : {R"(C:\data\notes.txt)", "/data/gpkg", "/data/x.gpkgs/a", "cs.shp"}) {
        try {
            GetFolderFromPath(path);
            ADD_FAILURE() << path;
        } catch (const HostError& e) {
            EXPECT_EQ(e.number(), 5) << path;
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(FileExists, FilesOnlyAndFailuresReportedByTheHabitatTest) {
    test::RecordingUI ui;
    test::TempDir dir;
    test::writeFile(dir.file("Para.csv"), "x");
    EXPECT_TRUE(FileExists(dir.file("Para.csv")));
    EXPECT_FALSE(FileExists(dir.file("none.csv")));
    EXPECT_FALSE(FileExists(dir.path()));  // a folder is not a file
    EXPECT_TRUE(HabTableExists(dir.file("Para.csv")));
    EXPECT_TRUE(ui.messages.empty());

    const std::string unreadable = dir.path() + "/" + std::string(300, 'a') + "/Para.csv";
    EXPECT_THROW(FileExists(unreadable), fs::filesystem_error);  // a name too long to search
    EXPECT_FALSE(HabTableExists(unreadable));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "HabTableExists: 1");
    EXPECT_EQ(ui.messages[0].text.rfind("The following error occurred: ", 0), 0u);
}

TEST(WorkFolder, TheSettingWinsAndTheFolderIsCreated) {
    test::TempDir dir;
    const char* earlier = std::getenv("ONDU_WORK_DIR");
    const std::string kept = earlier ? earlier : "";
    ::setenv("ONDU_WORK_DIR", dir.file("work/scratch").c_str(), 1);
    EXPECT_EQ(workFolder(), dir.file("work/scratch"));
    EXPECT_TRUE(fs::is_directory(dir.file("work/scratch")));
    ::setenv("ONDU_WORK_DIR", "", 1);
    EXPECT_EQ(workFolder(), fs::temp_directory_path().string());
    if (earlier)
        ::setenv("ONDU_WORK_DIR", kept.c_str(), 1);
    else
        ::unsetenv("ONDU_WORK_DIR");
}



/// Bytes of every value, so that a misplaced half or chunk shows.
std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
    return bytes;
}

std::optional<std::string> readBack(const std::string& path) {
    const std::optional<FileBytes> bytes = readWholeFile(path, std::malloc, std::free);
    if (!bytes) return std::nullopt;
    std::string text(bytes->data, bytes->size);
    std::free(bytes->data);
    return text;
}

TEST(ReadWholeFile, RegularFilesOfEverySizeComeBackByteForByte) {
    test::TempDir folder;
    // Empty, small, and large enough to be read by two threads (from 8 MB), of odd length.
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{70001}, (std::size_t{9} << 20) + 3}) {
        SCOPED_TRACE(size);
        const std::string path = folder.file("data.bin");
        const std::string bytes = patterned(size);
        std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_EQ(readBack(path), bytes);
    }
}

TEST(ReadWholeFile, PipeOfUnknownSizeIsReadToItsEnd) {
    test::TempDir folder;
    const std::string path = folder.file("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const std::string bytes = patterned((std::size_t{1} << 20) + 12345);  // beyond several chunks
    std::thread writer([&] { std::ofstream(path, std::ios::binary) << bytes; });
    const std::optional<std::string> read = readBack(path);
    writer.join();
    EXPECT_EQ(read, bytes);
}

TEST(ReadWholeFile, MissingFileOrFolderGivesNothing) {
    test::TempDir folder;
    EXPECT_EQ(readBack(folder.file("absent.xml")), std::nullopt);
    EXPECT_EQ(readBack(folder.path()), std::nullopt);
}

}  // namespace
}  // namespace ondu
