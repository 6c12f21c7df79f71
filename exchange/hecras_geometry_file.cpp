#include "exchange/hecras_geometry_file.h"

#include <fmt/format.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "framework/file_helpers.h"
#include "framework/number_text.h"

namespace ondu {

namespace {

// Every reading helper takes `place`, where in the document it reads ("the document",
// "junction 0", "reach \"Fall River,Upper\", station 2.5"), so that a message tells the user
// which part of the document to fix.

struct NumberPair {
    double first;
    double second;
};

struct Extent {
    double xmin, xmax, ymin, ymax;
};

struct RiverReach {
    std::string river;
    std::string reach;
};

struct JunctionRecord {
    NumberPair xy;
    std::vector<RiverReach> upstream;
    std::vector<RiverReach> downstream;
};

struct ReachRecord {
    std::string riverName;
    std::string reachCode;
    std::vector<NumberPair> points;
};

struct CrossSectionRecord {
    double station;
    long numberPoints;
    double leftSpacing, centerSpacing, rightSpacing;
    double leftM, rightM;
    std::vector<NumberPair> cutLine;
    std::vector<NumberPair> stationElevation;  ///< CrossM and Z of each point
};

/// How pairs of numbers sit in the column lines of the file.
struct PairColumns {
    std::size_t pairsPerLine;
    int decimals;
    std::size_t width;
};

constexpr PairColumns kCoordinateColumns{2, 6, 16};
constexpr PairColumns kStationElevationColumns{5, 3, 8};
constexpr std::size_t kCutLinePoints = 2;

bool isElement(pugi::xml_node node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

/// Visits every element named `name` below `root`, at any depth, in document order.
template <class Visit>
void forEachDescendant(pugi::xml_node root, const char* name, Visit&& visit) {
    pugi::xml_node node = root.first_child();
    while (node) {
        if (isElement(node, name)) visit(node);
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != root && !node.next_sibling()) node = node.parent();
        if (node == root) break;
        node = node.next_sibling();
    }
}

[[noreturn]] void throwMissingElement(const char* name, const std::string& place) {
    throw RasExportError(fmt::format("Missing element \"{}\" in {}", name, place));
}

pugi::xml_node requiredDescendant(pugi::xml_node root, const char* name, const std::string& place) {
    const pugi::xml_node found =
        root.find_node([name](pugi::xml_node node) { return isElement(node, name); });
    if (!found) throwMissingElement(name, place);
    return found;
}

pugi::xml_node requiredChild(pugi::xml_node parent, const char* name, const std::string& place) {
    const pugi::xml_node child = parent.child(name);
    if (!child) throwMissingElement(name, place);
    return child;
}

std::string_view requiredAttribute(pugi::xml_node element, const char* name,
                                   const std::string& place) {
    const pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute) {
        throw RasExportError(fmt::format("Missing attribute \"{}\" of element \"{}\" in {}", name,
                                         element.name(), place));
    }
    return attribute.value();
}

[[noreturn]] void throwBadAttribute(pugi::xml_node element, const char* name,
                                    const std::string& place, std::string_view problem) {
    throw RasExportError(fmt::format("Attribute \"{}\" of element \"{}\" in {} {}: \"{}\"", name,
                                     element.name(), place, problem,
                                     element.attribute(name).value()));
}

double numberAttribute(pugi::xml_node element, const char* name, const std::string& place) {
    const std::optional<double> number = parseNumber(requiredAttribute(element, name, place));
    if (!number) throwBadAttribute(element, name, place, "is not a number");
    return *number;
}

long countAttribute(pugi::xml_node element, const char* name, const std::string& place) {
    constexpr double kLargestCount = 1e9;
    const double number = numberAttribute(element, name, place);
    if (number < 0 || number > kLargestCount || number != std::floor(number)) {
        throwBadAttribute(element, name, place, "is not a count");
    }
    return static_cast<long>(number);
}

std::string textAttribute(pugi::xml_node element, const char* name, const std::string& place) {
    std::optional<std::string> text = toEightBitLine(requiredAttribute(element, name, place));
    if (!text) {
        throwBadAttribute(element, name, place, "cannot be written as one line of 8-bit text");
    }
    return std::move(*text);
}

NumberPair xyAttributes(pugi::xml_node element, const std::string& place) {
    return {numberAttribute(element, "X", place), numberAttribute(element, "Y", place)};
}

std::vector<NumberPair> xyOfDescendants(pugi::xml_node root, const char* name,
                                        const std::string& place) {
    std::vector<NumberPair> points;
    forEachDescendant(root, name,
                      [&](pugi::xml_node point) { points.push_back(xyAttributes(point, place)); });
    return points;
}

std::vector<RiverReach> riverReachesBelow(pugi::xml_node junction, const char* name,
                                          const std::string& place) {
    std::vector<RiverReach> reaches;
    forEachDescendant(junction, name, [&](pugi::xml_node reach) {
        reaches.push_back(
            {textAttribute(reach, "River", place), textAttribute(reach, "Reach", place)});
    });
    return reaches;
}

Extent readExtent(const pugi::xml_document& document) {
    const std::string place = "the document";
    const pugi::xml_node extent = requiredDescendant(document, "Extent", place);
    const NumberPair northEast = xyAttributes(requiredChild(extent, "NECornerXY", place), place);
    const NumberPair southWest = xyAttributes(requiredChild(extent, "SWCornerXY", place), place);
    return {southWest.first, northEast.first, southWest.second, northEast.second};
}

JunctionRecord readJunction(pugi::xml_node junction, const std::string& place) {
    return {xyAttributes(junction, place), riverReachesBelow(junction, "UpstreamReach", place),
            riverReachesBelow(junction, "DownstreamReach", place)};
}

/// Reads the reach and turns `place` from its position into its name.
ReachRecord readReach(pugi::xml_node reach, std::string& place) {
    const pugi::xml_node riverName = requiredChild(reach, "RiverName", place);
    const pugi::xml_node reachCode = requiredChild(reach, "ReachCode", place);
    ReachRecord record;
    record.riverName = textAttribute(riverName, "Name", place);
    record.reachCode = textAttribute(reachCode, "Code", place);
    // Messages keep the names as the document spells them, not in the file's 8-bit form.
    place = fmt::format("reach \"{},{}\"", riverName.attribute("Name").value(),
                        reachCode.attribute("Code").value());
    record.points = xyOfDescendants(reach, "ReachPoint", place);
    // The reach's text point is one of its points.
    if (record.points.empty()) throwMissingElement("ReachPoint", place);
    return record;
}

/// Reads the cross-section into `record` (reused, so that its lists keep their room) and turns
/// `place` from its position into its station.
void readCrossSection(pugi::xml_node crossSection, std::string& place, const std::string& reach,
                      CrossSectionRecord& record) {
    const pugi::xml_node parameters = requiredChild(crossSection, "Parameters", place);
    record.station = numberAttribute(parameters, "Station", place);
    place = fmt::format("{}, station {}", reach, plain(record.station));
    record.numberPoints = countAttribute(parameters, "NumberPoints", place);

    const pugi::xml_node banks = requiredChild(crossSection, "BankStations", place);
    record.leftM = numberAttribute(banks, "LeftM", place);
    record.rightM = numberAttribute(banks, "RightM", place);

    const pugi::xml_node spacing = requiredChild(crossSection, "Spacing", place);
    record.leftSpacing = numberAttribute(spacing, "LeftSpacing", place);
    record.centerSpacing = numberAttribute(spacing, "CenterSpacing", place);
    record.rightSpacing = numberAttribute(spacing, "RightSpacing", place);

    // The record announces a cut line of two points and as many station/elevation pairs as
    // NumberPoints; the model would misread every later line if the counts disagreed.
    record.cutLine =
        xyOfDescendants(requiredChild(crossSection, "CutLine", place), "CutLinePoint", place);
    if (record.cutLine.size() != kCutLinePoints) {
        throw RasExportError(
            fmt::format("The cut line in {} has {} \"CutLinePoint\" elements instead of {}", place,
                        record.cutLine.size(), kCutLinePoints));
    }

    record.stationElevation.clear();
    forEachDescendant(crossSection, "CrossSectionPoint", [&](pugi::xml_node point) {
        record.stationElevation.push_back(
            {numberAttribute(point, "CrossM", place), numberAttribute(point, "Z", place)});
    });
    if (record.stationElevation.size() != static_cast<std::size_t>(record.numberPoints)) {
        throw RasExportError(fmt::format(
            "NumberPoints {} in {} does not match its {} \"CrossSectionPoint\" elements",
            record.numberPoints, place, record.stationElevation.size()));
    }
}

/// `value` right-aligned in one column of `width` characters, see the file comment.
std::string columnField(double value, int decimals, std::size_t width, const std::string& place) {
    const std::optional<std::string> text = fixedWithin(value, decimals, width);
    if (!text) {
        throw RasExportError(fmt::format(
            "The value {} in {} is too wide for the {}-character columns of the geometry file",
            plain(value), place, width));
    }
    return rightAlign(*text, width);
}

/// Writes the pairs in columns, a line after every `pairsPerLine` pairs and after the last.
void writePairLines(CrLfTextFile& file, const std::vector<NumberPair>& pairs,
                    const PairColumns& columns, const std::string& place) {
    std::string line;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        line += columnField(pairs[i].first, columns.decimals, columns.width, place);
        line += columnField(pairs[i].second, columns.decimals, columns.width, place);
        if ((i + 1) % columns.pairsPerLine == 0 || i + 1 == pairs.size()) {
            file.writeLine(line);
            line.clear();
        }
    }
}

void writeHeader(CrLfTextFile& file, const Extent& extent) {
    file.writeLine("Geom Title=ONDU Derived Channel Geometry");
    file.writeLine("Program Version=3.11");
    file.writeLine(fmt::format("Viewing Rectangle={}, {}, {}, {}", plain(extent.xmin),
                               plain(extent.xmax), plain(extent.ymax), plain(extent.ymin)));
}

void writeJunction(CrLfTextFile& file, std::size_t index, const JunctionRecord& junction) {
    const std::string x = plain(junction.xy.first);
    const std::string y = plain(junction.xy.second);
    file.writeLine(fmt::format("Junct Name= {}", index));
    file.writeLine("Junct Desc=, 0 , 0 ,-1");
    file.writeLine(fmt::format("Junct X Y & Text X Y={},{},{},{}", x, y, x, y));
    for (const RiverReach& up : junction.upstream) {
        file.writeLine(fmt::format("Up River,Reach={},{}", R16(up.river), R16(up.reach)));
    }
    for (const RiverReach& down : junction.downstream) {
        file.writeLine(fmt::format("Dn River,Reach={},{}", R16(down.river), R16(down.reach)));
    }
    for (std::size_t i = 0; i < junction.upstream.size(); ++i) file.writeLine("Junc L&A=0,0");
}

void writeReachRecord(CrLfTextFile& file, const ReachRecord& reach, const std::string& place) {
    file.writeLine("");
    file.writeLine(fmt::format("River Reach={},{}", reach.riverName, reach.reachCode));
    file.writeLine(fmt::format("Reach XY= {}", reach.points.size()));
    writePairLines(file, reach.points, kCoordinateColumns, place);
    const NumberPair& textPoint = reach.points[reach.points.size() / 2];
    file.writeLine(
        fmt::format("Rch Text X Y={},{}", plain(textPoint.first), plain(textPoint.second)));
    file.writeLine("Reverse River Text = 0");
}

/// Three Manning's n segments of 0.015 starting at stations 0, RightM / 4 and RightM / 2.
std::string manningLine(double rightM, const std::string& place) {
    const std::string zero = R8("0");
    const std::string n = R8("0.015");
    const std::size_t width = kStationElevationColumns.width;
    const int decimals = kStationElevationColumns.decimals;
    return zero + n + zero + columnField(rightM / 4, decimals, width, place) + n + zero +
           columnField(rightM / 2, decimals, width, place) + n + zero;
}

void writeCrossSectionRecord(CrLfTextFile& file, const CrossSectionRecord& section,
                             std::string_view dateTime, const std::string& place) {
    const std::string station = plain(section.station);
    file.writeLine("");
    file.writeLine(fmt::format("Type RM Length L Ch R = 1, {}, {}, {}, {}", station,
                               plain(section.leftSpacing), plain(section.centerSpacing),
                               plain(section.rightSpacing)));
    file.writeLine("BEGIN DESCRIPTION:");
    file.writeLine("Cross-section=" + station);
    file.writeLine("END DESCRIPTION:");
    file.writeLine(fmt::format("XS GIS Cut Line={}", kCutLinePoints));
    writePairLines(file, section.cutLine, kCoordinateColumns, place);
    file.writeLine(fmt::format("Node Last Edited Time={}", dateTime));
    file.writeLine(fmt::format("#Sta/Elev= {}", section.numberPoints));
    writePairLines(file, section.stationElevation, kStationElevationColumns, place);
    file.writeLine("#Mann= 3, 0, 0");
    file.writeLine(manningLine(section.rightM, place));
    file.writeLine(fmt::format("Bank Sta={}, {}", F3(section.leftM), F3(section.rightM)));
    file.writeLine("Exp/Cntr=0.3,0.1");
}

void writeJunctions(CrLfTextFile& file, pugi::xml_node junctions) {
    std::size_t index = 0;
    forEachDescendant(junctions, "Junction", [&](pugi::xml_node junction) {
        const std::string place = fmt::format("junction {}", index);
        writeJunction(file, index, readJunction(junction, place));
        ++index;
    });
}

void writeReaches(CrLfTextFile& file, pugi::xml_node reaches, std::string_view dateTime) {
    std::size_t reachNumber = 0;
    CrossSectionRecord section;
    forEachDescendant(reaches, "Reach", [&](pugi::xml_node reach) {
        std::string reachPlace = fmt::format("reach number {}", ++reachNumber);
        const ReachRecord record = readReach(reach, reachPlace);
        writeReachRecord(file, record, reachPlace);
        const pugi::xml_node crossSections = requiredDescendant(reach, "CrossSections", reachPlace);
        std::size_t sectionNumber = 0;
        forEachDescendant(crossSections, "CrossSection", [&](pugi::xml_node crossSection) {
            std::string place =
                fmt::format("{}, cross-section number {}", reachPlace, ++sectionNumber);
            readCrossSection(crossSection, place, reachPlace, section);
            writeCrossSectionRecord(file, section, dateTime, place);
        });
    });
}

}  // namespace

pugi::xml_document loadChannelGeometry(const std::string& inputPath,
                                       const std::string& outputPath) {
    if (inputPath.empty()) throw RasInputRefused("Specify the input file", "Warning");
    if (outputPath.empty()) throw RasInputRefused("Specify the output file", "Warning");
    pugi::xml_document document;
    if (!document.load_file(inputPath.c_str())) {
        throw RasInputRefused("Cannot open '" + inputPath + "' file", "Error opening File");
    }
    return document;
}

void writeGeometryFile(const pugi::xml_document& channelGeometry, const std::string& outputPath,
                       std::string_view dateTime) {
    const Extent extent = readExtent(channelGeometry);
    CrLfTextFile file(outputPath);
    if (!file.isOpen()) throw RasExportError(file.failure());
    writeHeader(file, extent);
    writeJunctions(file, requiredDescendant(channelGeometry, "Junctions", "the document"));
    writeReaches(file, requiredDescendant(channelGeometry, "Reaches", "the document"), dateTime);
    if (!file.close()) throw RasExportError(file.failure());
}

void convertXmlToGeometryFile(const std::string& inputPath, const std::string& outputPath,
                              bool createHecRasFiles) {
    const pugi::xml_document channelGeometry = loadChannelGeometry(inputPath, outputPath);
    writeGeometryFile(channelGeometry, outputPath, GetDateTime());
    if (createHecRasFiles) writeHecRasProjectFiles(outputPath);
}

}  // namespace ondu
