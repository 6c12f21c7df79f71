#include "support/gpkg_validator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ondu::test {

namespace fs = std::filesystem;

namespace {

/// One interpreter for all the files of a folder: its start-up costs more than a check.
constexpr const char* kValidatorScript = R"(
import sys
from osgeo_utils.samples import validate_gpkg
failed = False
for path in sys.argv[1:]:
    try:
        validate_gpkg.check(path)
    except Exception as error:
        print(path + ': ' + str(error))
        failed = True
sys.exit(1 if failed else 0)
)";

std::string quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

void expectValidGeoPackages(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file() && it->path().extension() == ".gpkg")
            files.push_back(it->path().string());
    if (files.empty()) return;
    // The system interpreter: GDAL's bindings are installed for it.
    std::string command = "/usr/bin/python3 -c " + quoted(kValidatorScript);
    for (const auto& f : files) command += " " + quoted(f);
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << "cannot run the GeoPackage validator";
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << "GeoPackage validator: " << output;
}

}  // namespace ondu::test
