#pragma once
// What the fuzz harnesses share: a scratch folder of their own, whole-file reading and writing,
// and the stop that makes libFuzzer keep the input that broke a property.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ondu::fuzz {

/// A folder for this process's files, in $ONDU_WORK_DIR or else the system's temporary folder,
/// removed when the process ends normally (libFuzzer's time limit ends it that way).
const std::filesystem::path& scratchFolder();

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

/// Reports a broken property and aborts, so that libFuzzer saves the input as a crash.
[[noreturn]] void fail(std::string_view what);

/// `fail(what)` unless `holds`.
inline void check(bool holds, std::string_view what) {
    if (!holds) fail(what);
}

}  // namespace ondu::fuzz
