// Times the conversion of a channel-geometry document into a HEC-RAS geometry file against a
// plain copy of the same document's bytes, which is the least any conversion has to do.
//
// Usage: ras_geometry_bench [cross-sections]   (default 10000, 101 points each)

#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

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

struct Timing {
    double wall = INFINITY;  ///< seconds on the clock
    double cpu = INFINITY;   ///< seconds of processor time, less disturbed by other work
};

/// The best of several runs: the least disturbed by the other work on the machine.
Timing bestTiming(const std::function<void()>& run) {
    Timing best;
    for (int i = 0; i < kRuns; ++i) {
        const auto wallStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        run();
        best.cpu = std::min(best.cpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        best.wall = std::min(
            best.wall,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
    }
    return best;
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
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
        const Timing copying = bestTiming([&] { writeBytes(copy, readBytes(xml)); });
        const Timing converting = bestTiming(
            [&] { ondu::convertXmlToGeometryFile(xml.string(), geometry.string(), false); });
        fmt::print("cross-sections      {} of {} points\n", sections, kPointsPerSection);
        fmt::print("document            {:.1f} MB\n", fs::file_size(xml) / 1e6);
        fmt::print("geometry file       {:.1f} MB\n", fs::file_size(geometry) / 1e6);
        fmt::print("peak memory         {} MB\n", peakMegabytes());
        fmt::print("                    wall s   cpu s\n");
        fmt::print("copy of the bytes   {:6.3f}  {:6.3f}\n", copying.wall, copying.cpu);
        fmt::print("conversion          {:6.3f}  {:6.3f}\n", converting.wall, converting.cpu);
        fmt::print("ratio               {:6.2f}  {:6.2f}   (target: at most 4)\n",
                   converting.wall / copying.wall, converting.cpu / copying.cpu);
    } catch (const std::exception& error) {
        fmt::print(stderr, "{}\n", error.what());
        status = 1;
    }
    fs::remove_all(dir);
    return status;
}
