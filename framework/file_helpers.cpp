#include "framework/file_helpers.h"

#include <fmt/format.h>

#if __has_include(<unistd.h>)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define ONDU_POSIX_FILES 1
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <utility>

#include "framework/error_report.h"
#include "framework/host_operations.h"
#include "framework/ui.h"

namespace ondu {

namespace {

constexpr std::array<const char*, 12> kMonthAbbreviations = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

/// Characters of Windows-1252 outside Latin-1, by their byte in 0x80..0x9F.
constexpr std::array<std::pair<char32_t, unsigned char>, 27> kWindows1252Extras = {{
    {U'\u20AC', 0x80}, {U'\u201A', 0x82}, {U'\u0192', 0x83}, {U'\u201E', 0x84}, {U'\u2026', 0x85},
    {U'\u2020', 0x86}, {U'\u2021', 0x87}, {U'\u02C6', 0x88}, {U'\u2030', 0x89}, {U'\u0160', 0x8A},
    {U'\u2039', 0x8B}, {U'\u0152', 0x8C}, {U'\u017D', 0x8E}, {U'\u2018', 0x91}, {U'\u2019', 0x92},
    {U'\u201C', 0x93}, {U'\u201D', 0x94}, {U'\u2022', 0x95}, {U'\u2013', 0x96}, {U'\u2014', 0x97},
    {U'\u02DC', 0x98}, {U'\u2122', 0x99}, {U'\u0161', 0x9A}, {U'\u203A', 0x9B}, {U'\u0153', 0x9C},
    {U'\u017E', 0x9E}, {U'\u0178', 0x9F},
}};

constexpr std::size_t kFlushSize = 1 << 20;

/// Name endings of the datasets that are one file (or one folder) holding tables.
constexpr std::array<std::string_view, 13> kFileDatasetEndings = {
    ".mdb", ".gdb", ".gpkg", ".sqlite", ".fgb", ".geojson", ".gml",
    ".kml", ".csv", ".tif",  ".tiff",   ".img", ".shp"};

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool endsWithAt(std::string_view text, std::size_t end, std::string_view ending) {
    if (end < ending.size()) return false;
    for (std::size_t i = 0; i < ending.size(); ++i) {
        const char c = text[end - ending.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != ending[i]) return false;
    }
    return true;
}

/// Where the last path component naming a file dataset ends, and its ending; nothing when no
/// component does.
std::optional<std::pair<std::size_t, std::string_view>> lastDatasetComponent(
    std::string_view path) {
    std::optional<std::pair<std::size_t, std::string_view>> found;
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && !isSeparator(path[end])) continue;
        for (std::string_view ending : kFileDatasetEndings)
            if (endsWithAt(path, end, ending)) found = {end, ending};
    }
    return found;
}

/// Decodes the UTF-8 character at `at`, advancing `at`; nothing for a malformed sequence.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) return lead;
    const int continuations = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (continuations < 0 || lead > 0xF4 || at + continuations > text.size()) return std::nullopt;
    char32_t code = lead & (0x3F >> continuations);
    for (int i = 0; i < continuations; ++i) {
        const auto next = static_cast<unsigned char>(text[at++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    return code;
}

std::optional<unsigned char> windows1252Byte(char32_t code) {
    if (code < 0x20 || code == 0x7F) return std::nullopt;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
    for (const auto& [extra, byte] : kWindows1252Extras) {
        if (extra == code) return byte;
    }
    return std::nullopt;
}

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

/// The rest of an open file through stdio, in a block that doubles as it fills: for any
/// platform, and for files whose size is not known before they are read (pipes, terminals).
std::optional<FileBytes> readThroughStdio(FilePtr file, void* (*allocate)(std::size_t),
                                          void (*deallocate)(void*)) {
    if (!file) return std::nullopt;
    std::size_t capacity = std::size_t{64} << 10;
    std::size_t size = 0;
    auto* block = static_cast<char*>(allocate(capacity));
    while (block != nullptr) {
        size += std::fread(block + size, 1, capacity - size, file.get());
        if (size < capacity) break;
        auto* larger = static_cast<char*>(allocate(2 * capacity));
        if (larger != nullptr) std::memcpy(larger, block, size);
        deallocate(block);
        block = larger;
        capacity *= 2;
    }
    if (block == nullptr) return std::nullopt;
    if (std::ferror(file.get())) {
        deallocate(block);
        return std::nullopt;
    }
    return FileBytes{block, size};
}

#ifdef ONDU_POSIX_FILES

/// Asks the system to back the whole huge pages inside `block` with huge pages; only a hint, so
/// a system that declines just pays the usual page faults.
void adviseHugePages(char* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t start = (address + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (address + size) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

/// Reads the `size` bytes at `offset` of the open file `descriptor` into `block`.
bool readRange(int descriptor, char* block, std::size_t offset, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = pread(descriptor, block + done, size - done, offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

/// Reads the first `size` bytes of the open file `descriptor` into `block`. Most of reading a
/// large file into fresh memory is the system mapping that memory as it is first written, which
/// two cores do in half the time, so a second thread reads the second half.
bool readFully(int descriptor, char* block, std::size_t size) {
    constexpr std::size_t kSplitFrom = std::size_t{8} << 20;
    if (size < kSplitFrom) return readRange(descriptor, block, 0, size);
    const std::size_t half = size / 2;
    std::future<bool> secondHalf =
        std::async([=] { return readRange(descriptor, block + half, half, size - half); });
    const bool firstHalf = readRange(descriptor, block, 0, half);
    return secondHalf.get() && firstHalf;
}

/// A regular file read by its size, see readWholeFile; nothing when reading fails.
std::optional<FileBytes> readRegularFile(int descriptor, std::size_t size,
                                         void* (*allocate)(std::size_t),
                                         void (*deallocate)(void*)) {
    auto* block = static_cast<char*>(allocate(std::max<std::size_t>(size, 1)));
    if (block == nullptr) return std::nullopt;
    adviseHugePages(block, size);
    if (!readFully(descriptor, block, size)) {
        deallocate(block);
        return std::nullopt;
    }
    return FileBytes{block, size};
}

/// The size of a file whose size is known before it is read (a regular file).
std::optional<std::size_t> regularFileSize(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<std::size_t>(status.st_size);
}

#endif

}  // namespace

std::optional<FileBytes> readWholeFile(const std::string& path, void* (*allocate)(std::size_t),
                                       void (*deallocate)(void*)) {
#ifdef ONDU_POSIX_FILES
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    if (const std::optional<std::size_t> size = regularFileSize(descriptor)) {
        std::optional<FileBytes> bytes = readRegularFile(descriptor, *size, allocate, deallocate);
        close(descriptor);
        return bytes;
    }
    // Reopening a pipe would wait for a second writer: stdio reads on from this descriptor.
    FilePtr file(fdopen(descriptor, "rb"), std::fclose);
    if (!file) close(descriptor);
    return readThroughStdio(std::move(file), allocate, deallocate);
#else
    return readThroughStdio(FilePtr(std::fopen(path.c_str(), "rb"), std::fclose), allocate,
                            deallocate);
#endif
}

std::string workFolder() {
    namespace fs = std::filesystem;
    const char* configured = std::getenv("ONDU_WORK_DIR");
    const fs::path folder =
        configured && *configured ? fs::path(configured) : fs::temp_directory_path();
    fs::create_directories(folder);
    return folder.string();
}

std::string GetFolderFromPath(const std::string& path) {
    const auto dataset = lastDatasetComponent(path);
    if (!dataset) throw HostError("Invalid procedure call or argument", 5);
    const std::string upToDataset = path.substr(0, dataset->first);
    std::size_t separator = upToDataset.rfind('\\');
    if (separator == std::string::npos) separator = upToDataset.rfind('/');
    if (separator != std::string::npos) return upToDataset.substr(0, separator);
    if (dataset->second == ".shp") throw HostError("Invalid procedure call or argument", 5);
    MsgBox("Please check your path");
    return {};
}

bool FileExists(const std::string& path) { return std::filesystem::is_regular_file(path); }

bool HabTableExists(const std::string& path) {
    try {
        return FileExists(path);
    } catch (const std::exception& e) {
        reportFileError("HabTableExists", e);
        return false;
    }
}

bool FolderExists(const std::string& path) {
    try {
        return std::filesystem::is_directory(path);
    } catch (const std::exception& e) {
        reportFileError("FolderExists", e);
        return false;
    }
}

std::string GetDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return GetDateTime(local);
}

std::string GetDateTime(const std::tm& localTime) {
    const int hour12 = localTime.tm_hour % 12 == 0 ? 12 : localTime.tm_hour % 12;
    return fmt::format("{}/{}/{} {}:{:02}:{:02} {}", kMonthAbbreviations.at(localTime.tm_mon),
                       localTime.tm_mday, localTime.tm_year + 1900, hour12, localTime.tm_min,
                       localTime.tm_sec, localTime.tm_hour < 12 ? "AM" : "PM");
}

std::optional<std::string> toEightBitLine(std::string_view utf8) {
    std::string line;
    line.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> code = nextCodePoint(utf8, at);
        const std::optional<unsigned char> byte = code ? windows1252Byte(*code) : std::nullopt;
        if (!byte) return std::nullopt;
        line += static_cast<char>(*byte);
    }
    return line;
}

CrLfTextFile::CrLfTextFile(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        fail("Cannot create file", errno);
        return;
    }
    pending_.reserve(kFlushSize + 4096);
}

CrLfTextFile::~CrLfTextFile() { close(); }

void CrLfTextFile::writeLine(std::string_view line) {
    if (file_ == nullptr) return;
    pending_ += line;
    pending_ += "\r\n";
    flushWhenFull();
}

void CrLfTextFile::writeLines(const CrLfLines& lines) {
    if (file_ == nullptr) return;
    pending_ += lines.text();
    flushWhenFull();
}

bool CrLfTextFile::close() {
    if (file_ == nullptr) return false;
    flush();
    if (std::fclose(std::exchange(file_, nullptr)) != 0 && failure_.empty()) {
        fail("Cannot write file", errno);
    }
    return failure_.empty();
}

void CrLfTextFile::flushWhenFull() {
    if (pending_.size() >= kFlushSize) flush();
}

void CrLfTextFile::flush() {
    if (!pending_.empty() && failure_.empty() &&
        std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size()) {
        fail("Cannot write file", errno);
    }
    pending_.clear();
}

void CrLfTextFile::fail(const char* what, int error) {
    failure_ = fmt::format("{} '{}': {}", what, path_, std::strerror(error));
}

}  // namespace ondu
