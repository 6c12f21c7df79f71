// Times the conversion of a channel-geometry document into a HEC-RAS geometry file against a
// plain copy of the same document's bytes, which is the least any conversion has to do.
//
// Usage: ras_geometry_bench [cross-sections]   (default 10000, 101 points each)

#include <fmt/format.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "exchange/hecras_geometry_file.h"
#include "framework/number_text.h"

namespace {

namespace fs = std::filesystem;
using ondu::plain;

constexpr int kPointsPerSection = 101;
constexpr int kSectionsPerReach = 1000;
constexpr int kRuns = 3;

/// Appends one cross-section of a reach running north, values with the many digits that
/// computed coordinates carry.
void appendCrossSection(std::string& xml, int section) {
    const double station = section * 25.125;
    const double y = 4100000.0 + station;
    const double width = 80.0 + std::fmod(section * 0.37, 20.0);
    xml += fmt::format(
        "<CrossSection><Parameters Station=\"{}\" NumberPoints=\"{}\" ReachID=\"1\"/>"
        "<BankStations LeftM=\"0\" RightM=\"{}\"/>"
        "<Spacing LeftSpacing=\"25.125\" CenterSpacing=\"25.125\" RightSpacing=\"25.125\"/>"
        "<CutLine><CutLinePoint X=\"{}\" Y=\"{}\"/><CutLinePoint X=\"{}\" Y=\"{}\"/></CutLine>",
        plain(station), kPointsPerSection, plain(width), plain(500000.0 - width / 2), plain(y),
        plain(500000.0 + width / 2), plain(y));
    for (int i = 0; i < kPointsPerSection; ++i) {
        const double along = width * i / (kPointsPerSection - 1);
        const double bed = 120.0 + 4.0 * std::pow(2.0 * along / width - 1.0, 2) - station / 1e4;
        xml += fmt::format("<CrossSectionPoint CrossM=\"{}\" X=\"{}\" Y=\"{}\" Z=\"{}\"/>",
                           plain(along), plain(500000.0 - width / 2 + along), plain(y), plain(bed));
    }
    xml += "</CrossSection>";
}

std::string channelGeometryXml(int sections) {
    std::string xml =
        "<?xml version=\"1.0\"?><ChannelGeometry><Header><Extent>"
        "<NECornerXY X=\"500100\" Y=\"4400000\"/><SWCornerXY X=\"499900\" Y=\"4100000\"/>"
        "</Extent></Header><Junctions/><Reaches>";
    for (int first = 0; first < sections; first += kSectionsPerReach) {
        const int reach = first / kSectionsPerReach;
        xml += fmt::format(
            "<Reach><ReachID ID=\"{0}\"/><RiverName Name=\"Bench\"/><ReachCode Code=\"R{0}\"/>",
            reach);
        for (int i = 0; i <= 10; ++i) {
            xml += fmt::format("<ReachPoint X=\"500000\" Y=\"{}\" Z=\"\"/>",
                               plain(4100000.0 + first * 25.125 + i * 2512.5));
        }
        xml += "<CrossSections>";
        for (int s = first; s < std::min(sections, first + kSectionsPerReach); ++s) {
            appendCrossSection(xml, s);
        }
        xml += "</CrossSections></Reach>";
    }
    return xml + "</Reaches></ChannelGeometry>";
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        throw std::runtime_error("cannot write " + path.string());
    }
    std::fclose(file);
}

std::string readBytes(const fs::path& path) {
    std::string bytes(fs::file_size(path), '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::fclose(file);
    return bytes;
}

/// What one run took.
struct RunMeasure {
    double wall;  ///< seconds on the clock
    double cpu;   ///< seconds of processor time, less disturbed by other work
    long peakMegabytes;
};

/// Starts the process's peak memory afresh, so that it tells the run's own.
void resetPeakMemory() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    if (!(clearRefs << "5" << std::flush)) {
        throw std::runtime_error("cannot reset the peak memory through /proc/self/clear_refs");
    }
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

/// The child's side of `measureInChild`: runs and sends the measure down `channel`; false when
/// the run failed.
bool measureHere(const std::function<void()>& run, int channel) {
    try {
        resetPeakMemory();
        const auto wallStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        run();
        const RunMeasure measure{
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count(),
            double(std::clock() - cpuStart) / CLOCKS_PER_SEC, peakMegabytes()};
        return write(channel, &measure, sizeof measure) == sizeof measure;
    } catch (const std::exception& error) {
        fmt::print(stderr, "{}\n", error.what());
        return false;
    }
}

/// Runs `run` once in a child process of its own and measures it there. A user's run starts
/// with memory the system has yet to map, and mapping it is a good part of the work; in one
/// process every run after the first would find memory that the runs before it freed still
/// mapped, and look faster than any user's run.
RunMeasure measureInChild(const std::function<void()>& run) {
    int channel[2];
    if (pipe(channel) != 0) throw std::runtime_error("cannot open a pipe to a measured run");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("cannot start a measured run");
    if (child == 0) {
        close(channel[0]);
        _exit(measureHere(run, channel[1]) ? 0 : 1);
    }
    close(channel[1]);
    RunMeasure measure{};
    const bool received = read(channel[0], &measure, sizeof measure) == sizeof measure;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("a measured run failed");
    }
    return measure;
}

/// The best of several runs: the least disturbed by the other work on the machine.
struct Timing {
    double wall = INFINITY;
    double cpu = INFINITY;
    long peakMegabytes = 0;  ///< the largest of any run

    void add(const RunMeasure& measure) {
        wall = std::min(wall, measure.wall);
        cpu = std::min(cpu, measure.cpu);
        peakMegabytes = std::max(peakMegabytes, measure.peakMegabytes);
    }
};

struct Comparison {
    Timing copying;
    Timing loading;
    Timing converting;
};

/// The sides take turns, so that all meet the same load from other work on the machine. Every
/// run writes a new file, as a user's run does, rather than first dropping the pages of the
/// file the run before wrote.
Comparison compare(const fs::path& xml, const fs::path& copy, const fs::path& geometry) {
    readBytes(xml);  // the document in the page cache for every side
    Comparison comparison;
    for (int i = 0; i < kRuns; ++i) {
        fs::remove(copy);
        comparison.copying.add(measureInChild([&] { writeBytes(copy, readBytes(xml)); }));
        comparison.loading.add(
            measureInChild([&] { ondu::loadChannelGeometry(xml.string(), geometry.string()); }));
        fs::remove(geometry);
        comparison.converting.add(measureInChild(
            [&] { ondu::convertXmlToGeometryFile(xml.string(), geometry.string(), false); }));
    }
    return comparison;
}

/// The one-minute load average against the cores: timings mean little on a machine that other
/// work keeps busy.
void printMachineLoad() {
    double load = 0;
    if (getloadavg(&load, 1) == 1) {
        fmt::print("machine load        {:.2f} on {} cores\n", load,
                   std::thread::hardware_concurrency());
    }
}

void printComparison(const Comparison& comparison) {
    const Timing& copying = comparison.copying;
    const Timing& converting = comparison.converting;
    printMachineLoad();
    fmt::print("peak memory         {} MB while converting\n", converting.peakMegabytes);
    fmt::print("best of {} runs      wall s   cpu s\n", kRuns);
    fmt::print("copy of the bytes   {:6.3f}  {:6.3f}\n", copying.wall, copying.cpu);
    fmt::print("conversion          {:6.3f}  {:6.3f}\n", converting.wall, converting.cpu);
    fmt::print("  document load     {:6.3f}  {:6.3f}   (pugixml DOM, part of the conversion)\n",
               comparison.loading.wall, comparison.loading.cpu);
    fmt::print("ratio               {:6.2f}  {:6.2f}   (target: at most 4)\n",
               converting.wall / copying.wall, converting.cpu / copying.cpu);
}

}  // namespace

int main(int argc, char** argv) {
    const int sections = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const fs::path dir = fs::temp_directory_path() / fmt::format("ondu_ras_bench_{}", getpid());
    fs::create_directories(dir);
    const fs::path xml = dir / "channel.xml";
    const fs::path copy = dir / "copy.xml";
    const fs::path geometry = dir / "channel.g01";
    int status = 0;
    try {
        writeBytes(xml, channelGeometryXml(sections));
        const Comparison comparison = compare(xml, copy, geometry);
        fmt::print("cross-sections      {} of {} points\n", sections, kPointsPerSection);
        fmt::print("document            {:.1f} MB\n", fs::file_size(xml) / 1e6);
        fmt::print("geometry file       {:.1f} MB\n", fs::file_size(geometry) / 1e6);
        printComparison(comparison);
    } catch (const std::exception& error) {
        fmt::print(stderr, "{}\n", error.what());
        status = 1;
    }
    fs::remove_all(dir);
    return status;
}
