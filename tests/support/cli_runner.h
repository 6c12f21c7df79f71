#pragma once
// Runs the command-line host as a child process and captures what it prints.

#include <string>
#include <vector>

namespace ondu::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs `ondu` with the arguments (each passed as one word); standard input is empty.
CliResult runCli(const std::vector<std::string>& args);

/// A fresh, empty folder in the work folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace ondu::test
