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

#include "support/cli_runner.h"

namespace ondu {
namespace {

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
