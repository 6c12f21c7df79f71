#include "framework/file_commit.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "framework/error.h"

namespace ondu {

namespace fs = std::filesystem;

PendingFiles::~PendingFiles() {
    for (const auto& [temporary, final] : files_) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

std::string PendingFiles::add(const std::string& finalPath) {
    const fs::path place(finalPath);
    // The extension stays last: drivers and validators go by it.
    const std::string name = "." + place.stem().string() + ".ondu-" + std::to_string(::getpid()) +
                             "-" + std::to_string(files_.size()) + place.extension().string();
    std::string temporary = (place.parent_path() / name).string();
    files_.emplace_back(temporary, finalPath);
    return temporary;
}

void PendingFiles::commit() {
    while (!files_.empty()) {
        const auto [temporary, final] = files_.front();
        std::error_code error;
        fs::rename(temporary, final, error);
        if (error) throw HostError("Cannot create file '" + final + "': " + error.message());
        files_.erase(files_.begin());
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return fs::equivalent(a, b, ignored);
}

void refuseOutputOverInput(const std::string& input, const std::string& output) {
    if (sameFile(input, output))
        throw RunRefused("The output file '" + output + "' is the input file '" + input +
                         "'; choose another output file.");
}

}  // namespace ondu
