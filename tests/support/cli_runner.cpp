#include "support/cli_runner.h"

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "framework/file_helpers.h"
#include "support/gpkg_validator.h"

namespace ondu::test {

namespace fs = std::filesystem;

namespace {
std::string shellQuote(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
}  // namespace

CliResult runCli(const std::vector<std::string>& args) {
    TempDir capture;
    std::string command = shellQuote(ONDU_CLI_PATH);
    for (const auto& a : args) command += " " + shellQuote(a);
    command += " </dev/null >" + capture.file("out") + " 2>" + capture.file("err");
    int status = std::system(command.c_str());
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(capture.file("out"));
    result.err = readFile(capture.file("err"));
    return result;
}

TempDir::TempDir() {
    std::string pattern = (fs::path(workFolder()) / "ondu-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    expectValidGeoPackages(path_);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

}  // namespace ondu::test
