// Measures the SDF-to-XML conversion of a large generated SDF file against a plain copy of the
// same bytes, and shows that peak memory does not grow with the file size.
//
// The reference is the copy a user would write: std::ifstream into std::ofstream in 64 KiB
// chunks. Target: the conversion reads its input at least half as fast as the reference copies
// it. Both run from a warm page cache (the input is read once before any timing), best of three
// rounds; wall-clock and processor times are both shown, as processor time stays meaningful on
// a machine busy with other work.
//
// The XML written is about twice the input, so the conversion must also write about twice the
// bytes the copy writes. For that context the reference also copies a file of the XML's size,
// and the least any conversion must do, read the SDF and write as many bytes as the XML, is
// timed too, with the buffer sizes the converter itself reads and writes with (stdio in chunks
// of sdf::kChunkBytes): it bounds the ratio that a conversion of no cost at all would reach.
//
// The same steps are timed once more on disk: the input evicted from the page cache before
// each step and the output synced to the disk within it, which is what converting a file that
// the model has just written costs a user.
//
// Usage: sdf_to_xml_bench [size in MB, default 200]

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_ui.h"
#include "exchange/sdf_converter.h"
#include "framework/ui.h"

namespace {

namespace fs = std::filesystem;

constexpr int kProfiles = 3;
constexpr int kRounds = 3;
constexpr std::size_t kGeneratorFlushBytes = std::size_t{1} << 20;
constexpr std::size_t kCopyChunkBytes = std::size_t{64} << 10;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openFile(const fs::path& path, const char* mode) {
    FilePtr file(std::fopen(path.c_str(), mode));
    if (!file) throw std::runtime_error("cannot open " + path.string());
    return file;
}

/// Peak resident memory of this process in kB (VmHWM).
long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
}

/// One cross-section block the way the model exports it: cut line, banks, elevations, surface
/// extents and one velocity distribution per profile.
void appendCrossSection(fmt::memory_buffer& out, long index) {
    const double x0 = 1960000.0 + static_cast<double>(index % 50000) * 3.25;
    const double y0 = 280000.0 + static_cast<double>(index % 7919) * 1.75;
    auto it = std::back_inserter(out);
    fmt::format_to(it,
                   "\r\n  CROSS-SECTION:\r\n    STREAM ID:Bench Creek     \r\n"
                   "    REACH ID:Reach {}         \r\n    STATION:{:.1f}\r\n    CUT LINE:\r\n",
                   index / 1000, 500000.0 - static_cast<double>(index) * 0.5);
    for (int i = 0; i < 24; ++i) {
        fmt::format_to(it, "      {:.2f} , {:.2f} \r\n", x0 + i * 12.5, y0 - i * 9.75);
    }
    fmt::format_to(it, "    BANK POSITIONS:0.{:05d},0.{:05d}\r\n    WATER ELEVATION:",
                   30000 + index % 997, 70000 + index % 991);
    for (int p = 0; p < kProfiles; ++p) {
        fmt::format_to(it, "{}{:.4f}", p == 0 ? "" : ",", 650.0 + p * 1.5 + (index % 113) * 0.01);
    }
    fmt::format_to(it, "\r\n    WATER SURFACE EXTENTS:\r\n");
    for (int p = 0; p < kProfiles; ++p) {
        fmt::format_to(it, "      {:.2f},   {:.2f},   {:.2f},   {:.2f}\r\n", x0 + 40 - p,
                       y0 - 30 + p, x0 + 220 + p, y0 - 170 - p);
    }
    for (int p = 0; p < kProfiles; ++p) {
        fmt::format_to(it, "    PROFILE ID:PF {}\r\n    VELOCITIES:\r\n", p + 1);
        for (int i = 0; i <= 10; ++i) {
            fmt::format_to(it, "      {:.2f}, {:.3f}\r\n", i * 0.1, 0.2 + (i % 6) * 0.41 + p * 0.1);
        }
    }
    fmt::format_to(it, "  END:\r\n");
}

void appendProfileLimits(fmt::memory_buffer& out, int profile) {
    auto it = std::back_inserter(out);
    fmt::format_to(it, "\r\n  PROFILE LIMITS:\r\n    PROFILE ID:PF {}\r\n    POLYGON:\r\n",
                   profile + 1);
    for (int i = 0; i < 1000; ++i) {
        fmt::format_to(it, "      {:.2f} , {:.2f} \r\n", 1960000.0 + i * 7.5, 280000.0 + i * 3.5);
    }
    fmt::format_to(it, "  END:\r\n");
}

/// Writes an SDF file of at least the given size; returns the number of cross-sections.
long generateSdf(const fs::path& path, std::size_t bytes) {
    FilePtr file = openFile(path, "wb");
    fmt::memory_buffer out;
    const auto flush = [&] {
        if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
            throw std::runtime_error("cannot write " + path.string());
        }
        out.clear();
    };
    fmt::format_to(std::back_inserter(out),
                   "BEGIN HEADER:\r\n  UNITS: METRIC\r\n  DTM TYPE: TIN\r\n"
                   "  NUMBER OF PROFILES:  {}\r\n  PROFILE NAMES:\r\n    PF 1\r\n    PF 2\r\n"
                   "    PF 3\r\nEND HEADER:\r\n\r\nBEGIN CROSS-SECTIONS:\r\n",
                   kProfiles);
    std::size_t written = 0;
    long sections = 0;
    while (written < bytes) {
        appendCrossSection(out, sections++);
        if (out.size() >= kGeneratorFlushBytes) {
            written += out.size();
            flush();
        }
    }
    fmt::format_to(std::back_inserter(out), "\r\nEND CROSS-SECTIONS:\r\n\r\nBEGIN BOUNDS:\r\n");
    for (int p = 0; p < kProfiles; ++p) appendProfileLimits(out, p);
    fmt::format_to(std::back_inserter(out), "END BOUNDS:\r\n");
    flush();
    return sections;
}

/// The reference: the copy a user would write, through the standard streams in 64 KiB chunks.
void copyFile(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    if (!in || !out) throw std::runtime_error("cannot copy " + from.string());
    std::vector<char> buffer(kCopyChunkBytes);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        out.write(buffer.data(), in.gcount());
    }
    if (!out.flush()) throw std::runtime_error("cannot write " + to.string());
}

/// What any conversion must do at least: read the SDF and write as many bytes as the XML
/// holds, both through stdio in the converter's own chunks (sdf::kChunkBytes), each output
/// chunk written as soon as the input read so far makes it due.
void readWritingOutputSize(const fs::path& from, std::uintmax_t outputBytes, const fs::path& to) {
    FilePtr in = openFile(from, "rb");
    FilePtr out = openFile(to, "wb");
    const std::uintmax_t inputBytes = fs::file_size(from);
    std::vector<char> chunk(ondu::sdf::kChunkBytes);
    std::uintmax_t read = 0, written = 0;
    const auto writeUpTo = [&](std::uintmax_t due) {
        while (written < due) {
            const auto bytes =
                static_cast<std::size_t>(std::min<std::uintmax_t>(chunk.size(), due - written));
            if (std::fwrite(chunk.data(), 1, bytes, out.get()) != bytes)
                throw std::runtime_error("cannot write " + to.string());
            written += bytes;
        }
    };
    while (const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), in.get())) {
        read += got;
        writeUpTo(outputBytes * read / inputBytes);
    }
    writeUpTo(outputBytes);
    if (std::fflush(out.get()) != 0) throw std::runtime_error("cannot write " + to.string());
}

void convert(const fs::path& sdf, const fs::path& xml) {
    ondu::clsConvertRASOutputToXML converter;
    if (!converter.ConvertToXMLFormat(sdf.string(), xml.string())) {
        throw std::runtime_error("the conversion failed");
    }
}

/// Drops a file's pages from the page cache, so that the next read comes from the disk.
void evictFromPageCache(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + path.string());
    ::fdatasync(fd);  // dirty pages are not dropped
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void syncToDisk(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) throw std::runtime_error("cannot sync " + path.string());
    ::close(fd);
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// Best wall-clock and processor time over the rounds.
struct Timing {
    double wallSeconds = 1e300;
    double processorSeconds = 1e300;

    /// Times work that writes output; on disk, input is read from the disk and output synced.
    template <typename Work>
    void measure(const fs::path& output, Work work, const fs::path* onDiskInput = nullptr) {
        fs::remove(output);
        if (onDiskInput) evictFromPageCache(*onDiskInput);
        const auto wallStart = std::chrono::steady_clock::now();
        const double processorStart = ::processorSeconds();
        work();
        if (onDiskInput) syncToDisk(output);
        processorSeconds = std::min(processorSeconds, ::processorSeconds() - processorStart);
        wallSeconds = std::min(
            wallSeconds,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
        fs::remove(output);
    }
};

void printRate(std::string_view step, double megabytes, const Timing& timing) {
    fmt::print("{:<38} {:8.1f} MB/s ({:.3f} s wall), {:8.1f} MB/s ({:.3f} s processor)\n", step,
               megabytes / timing.wallSeconds, timing.wallSeconds,
               megabytes / timing.processorSeconds, timing.processorSeconds);
}

void printRatio(const Timing& conversion, const Timing& reference) {
    fmt::print(
        "ratio conversion / reference copy: {:.2f} wall, {:.2f} processor (target: at least "
        "0.50)\n",
        reference.wallSeconds / conversion.wallSeconds,
        reference.processorSeconds / conversion.processorSeconds);
}

/// A scratch folder removed with everything in it, whatever way the run ends.
struct ScratchFolder {
    fs::path path = fs::temp_directory_path() / ("ondu_sdf_bench_" + std::to_string(::getpid()));
    ScratchFolder() { fs::create_directories(path); }
    ~ScratchFolder() { fs::remove_all(path); }
};

double parseMegabytes(int argc, char** argv) {
    double megabytes = 200;
    if (argc > 1) {
        const std::string_view text = argv[1];
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), megabytes);
        if (error != std::errc{} || end != text.data() + text.size() || megabytes <= 0) {
            throw std::runtime_error("the size must be a positive number of MB");
        }
    }
    return megabytes;
}

}  // namespace

int main(int argc, char** argv) try {
    ondu::bench::ConsoleUI ui;
    const double megabytes = parseMegabytes(argc, argv);
    const ScratchFolder folder;
    const fs::path sdf = folder.path / "bench.sdf";
    const fs::path xml = folder.path / "bench.xml";
    const fs::path sdfCopy = folder.path / "copy.sdf";
    const fs::path xmlCopy = folder.path / "copy.xml";
    const fs::path output = folder.path / "output.xml";

    const long sections = generateSdf(sdf, static_cast<std::size_t>(megabytes * 1e6));
    // Untimed first rounds bring the input into the page cache; the XML, kept, is the file of
    // the output's size for the reference to copy.
    copyFile(sdf, sdfCopy);
    const long peakBefore = peakMemoryKb();
    convert(sdf, xml);
    copyFile(xml, xmlCopy);
    const double inputMb = static_cast<double>(fs::file_size(sdf)) / 1e6;
    const double outputMb = static_cast<double>(fs::file_size(xml)) / 1e6;

    Timing sdfReference, xmlReference, ioFloor, conversion;
    for (int round = 0; round < kRounds; ++round) {
        sdfReference.measure(sdfCopy, [&] { copyFile(sdf, sdfCopy); });
        xmlReference.measure(xmlCopy, [&] { copyFile(xml, xmlCopy); });
        ioFloor.measure(output, [&] { readWritingOutputSize(sdf, fs::file_size(xml), output); });
        conversion.measure(output, [&] { convert(sdf, output); });
    }
    Timing sdfReferenceOnDisk, ioFloorOnDisk, conversionOnDisk;
    for (int round = 0; round < kRounds; ++round) {
        sdfReferenceOnDisk.measure(
            sdfCopy, [&] { copyFile(sdf, sdfCopy); }, &sdf);
        ioFloorOnDisk.measure(
            output, [&] { readWritingOutputSize(sdf, fs::file_size(xml), output); }, &sdf);
        conversionOnDisk.measure(
            output, [&] { convert(sdf, output); }, &sdf);
    }
    const long peakAfter = peakMemoryKb();

    fmt::print(
        "input: {:.1f} MB SDF, {} cross-sections, in {}; XML written: {:.1f} MB ({:.2f} x)\n",
        inputMb, sections, folder.path.string(), outputMb, outputMb / inputMb);
    fmt::print(
        "reference: std::ifstream to std::ofstream copy in 64 KiB chunks; warm page cache, "
        "best of {} rounds\n\n",
        kRounds);
    fmt::print("input bytes per second (the target):\n");
    printRate("  reference copy of the SDF", inputMb, sdfReference);
    printRate("  conversion", inputMb, conversion);
    printRatio(conversion, sdfReference);
    fmt::print(
        "\noutput bytes per second (context: the conversion writes {:.2f} x what it reads):\n",
        outputMb / inputMb);
    printRate("  reference copy of an XML-sized file", outputMb, xmlReference);
    printRate("  reading the SDF, writing as much", outputMb, ioFloor);
    printRate("  conversion", outputMb, conversion);
    fmt::print(
        "ratio ceiling, were converting to cost nothing beyond that reading and writing: "
        "{:.2f} wall\n",
        sdfReference.wallSeconds / ioFloor.wallSeconds);
    fmt::print(
        "\non disk (input read from the disk, output synced to it), input bytes per second:\n");
    printRate("  reference copy of the SDF", inputMb, sdfReferenceOnDisk);
    printRate("  reading the SDF, writing as much", inputMb, ioFloorOnDisk);
    printRate("  conversion", inputMb, conversionOnDisk);
    printRatio(conversionOnDisk, sdfReferenceOnDisk);
    fmt::print("ratio ceiling, were converting to cost nothing: {:.2f} wall\n",
               sdfReferenceOnDisk.wallSeconds / ioFloorOnDisk.wallSeconds);
    fmt::print("\npeak memory (VmHWM): {} kB before the conversions, {} kB after\n", peakBefore,
               peakAfter);
    return 0;
} catch (const std::exception& e) {
    fmt::print(stderr, "sdf_to_xml_bench: {}\n", e.what());
    return 2;
}
