#include "exchange/hecras_geometry_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <future>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "framework/file_commit.h"
#include "framework/file_helpers.h"
#include "framework/number_text.h"
#include "framework/xml_memory.h"

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

/// Visits every element named `name` below `root`, at any depth, in document order. pugixml's
/// own traversal walks its nodes in about half the time that stepping from node to node through
/// its public calls takes, which counts for documents of a million points.
template <class Visit>
void forEachDescendant(pugi::xml_node root, const char* name, Visit&& visit) {
    class Walker : public pugi::xml_tree_walker {
    public:
        Walker(const char* name, Visit& visit) : name_(name), visit_(visit) {}
        bool for_each(pugi::xml_node& node) override {
            if (isElement(node, name_)) visit_(node);
            return true;
        }

    private:
        const char* name_;
        Visit& visit_;
    };
    Walker walker(name, visit);
    root.traverse(walker);
}

/// Visits the elements named `name` below `root` that are not below another such element, in
/// document order.
template <class Visit>
void forEachOutermost(pugi::xml_node root, const char* name, Visit&& visit) {
    pugi::xml_node node = root.first_child();
    while (node) {
        pugi::xml_node next;
        if (isElement(node, name)) {
            visit(node);
        } else {
            next = node.first_child();
        }
        for (; !next && node != root; node = node.parent()) next = node.next_sibling();
        node = next;
    }
}

/// The elements of a reach that its records are read from, and those of the reaches inside it,
/// in document order, found in one walk of the reach. Records take elements at any depth below
/// others; looking for them name by name would walk every point of the reach four times over,
/// looking for reaches, for the reach's points, for its cross-sections and for each
/// cross-section's own points.
class ReachElements {
public:
    enum class Kind : unsigned char {
        Reach,  ///< the reach indexed, at kReach, or one inside it
        ReachPoint,
        CrossSections,
        CrossSection,
        CrossSectionPoint,
    };
    static constexpr std::size_t kReach = 0;

    /// Indexes `reach` and the elements below it, keeping the room of the reach indexed before.
    void index(pugi::xml_node reach) {
        entries_.assign(1, {reach, Kind::Reach, 0});
        open_.assign(1, {kReach, -1});
        Indexer indexer(*this);
        reach.traverse(indexer);
        closeFrom(-1);
    }

    pugi::xml_node node(std::size_t at) const { return entries_[at].node; }

    /// Visits the positions of the elements of `kind` below the one at `at`, in document order.
    template <class Visit>
    void forEachBelow(std::size_t at, Kind kind, Visit&& visit) const {
        for (std::size_t below = at + 1; below < entries_[at].end; ++below) {
            if (entries_[below].kind == kind) visit(below);
        }
    }

    /// The position of the first element of `kind` below the one at `at`.
    std::optional<std::size_t> firstBelow(std::size_t at, Kind kind) const {
        for (std::size_t below = at + 1; below < entries_[at].end; ++below) {
            if (entries_[below].kind == kind) return below;
        }
        return std::nullopt;
    }

private:
    struct Entry {
        pugi::xml_node node;
        Kind kind;
        std::size_t end;  ///< one past the last entry below this one
    };
    struct OpenEntry {
        std::size_t at;
        int depth;
    };

    class Indexer : public pugi::xml_tree_walker {
    public:
        explicit Indexer(ReachElements& elements) : elements_(elements) {}
        bool for_each(pugi::xml_node& node) override {
            const int nodeDepth = depth();
            elements_.closeFrom(nodeDepth);
            if (const std::optional<Kind> kind = indexedKind(node)) {
                elements_.open(node, *kind, nodeDepth);
            }
            return true;
        }

    private:
        ReachElements& elements_;
    };

    static std::optional<Kind> indexedKind(pugi::xml_node node) {
        // Points first: they are nearly all of a reach's elements.
        static constexpr std::pair<const char*, Kind> kIndexed[] = {
            {"CrossSectionPoint", Kind::CrossSectionPoint},
            {"CrossSection", Kind::CrossSection},
            {"CrossSections", Kind::CrossSections},
            {"ReachPoint", Kind::ReachPoint},
            {"Reach", Kind::Reach},
        };
        if (node.type() != pugi::node_element) return std::nullopt;
        for (const auto& [name, kind] : kIndexed) {
            if (std::strcmp(node.name(), name) == 0) return kind;
        }
        return std::nullopt;
    }

    void open(pugi::xml_node node, Kind kind, int depth) {
        open_.push_back({entries_.size(), depth});
        entries_.push_back({node, kind, 0});
    }

    /// Ends the open entries at `depth` or deeper: the walk has left them.
    void closeFrom(int depth) {
        while (!open_.empty() && open_.back().depth >= depth) {
            entries_[open_.back().at].end = entries_.size();
            open_.pop_back();
        }
    }

    std::vector<Entry> entries_;
    std::vector<OpenEntry> open_;  ///< entries whose elements the walk is still below
};

using ElementKind = ReachElements::Kind;

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

/// Reads the reach at `at` in `elements` and turns `place` from its position into its name.
ReachRecord readReach(const ReachElements& elements, std::size_t at, std::string& place) {
    const pugi::xml_node reach = elements.node(at);
    const pugi::xml_node riverName = requiredChild(reach, "RiverName", place);
    const pugi::xml_node reachCode = requiredChild(reach, "ReachCode", place);
    ReachRecord record;
    record.riverName = textAttribute(riverName, "Name", place);
    record.reachCode = textAttribute(reachCode, "Code", place);
    // Messages keep the names as the document spells them, not in the file's 8-bit form.
    place = fmt::format("reach \"{},{}\"", riverName.attribute("Name").value(),
                        reachCode.attribute("Code").value());
    // "River Reach=" separates the two names by a comma: one inside a name cannot be told apart.
    if (record.riverName.find(',') != std::string::npos ||
        record.reachCode.find(',') != std::string::npos)
        throw RasExportError(fmt::format(
            "The river or reach name of {} contains a comma, which the geometry file cannot "
            "separate from the other name",
            place));
    elements.forEachBelow(at, ElementKind::ReachPoint, [&](std::size_t pointAt) {
        record.points.push_back(xyAttributes(elements.node(pointAt), place));
    });
    // The reach's text point is one of its points.
    if (record.points.empty()) throwMissingElement("ReachPoint", place);
    return record;
}

/// Reads the cross-section at `at` in `elements` into `record` (reused, so that its lists keep
/// their room) and turns `place` from its position into its station.
void readCrossSection(const ReachElements& elements, std::size_t at, std::string& place,
                      const std::string& reach, CrossSectionRecord& record) {
    const pugi::xml_node crossSection = elements.node(at);
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
    elements.forEachBelow(at, ElementKind::CrossSectionPoint, [&](std::size_t pointAt) {
        const pugi::xml_node point = elements.node(pointAt);
        record.stationElevation.push_back(
            {numberAttribute(point, "CrossM", place), numberAttribute(point, "Z", place)});
    });
    if (record.stationElevation.size() != static_cast<std::size_t>(record.numberPoints)) {
        throw RasExportError(fmt::format(
            "NumberPoints {} in {} does not match its {} \"CrossSectionPoint\" elements",
            record.numberPoints, place, record.stationElevation.size()));
    }
    // The model needs a section with a width to compute anything across it.
    if (record.stationElevation.size() < 2)
        throw RasExportError(
            fmt::format("The cross-section in {} has fewer than two points", place));
    const auto [lowest, highest] = std::minmax_element(
        record.stationElevation.begin(), record.stationElevation.end(),
        [](const NumberPair& a, const NumberPair& b) { return a.first < b.first; });
    if (lowest->first == highest->first)
        throw RasExportError(fmt::format("The cross-section in {} has zero length", place));
}

/// Appends `value` right-aligned in one column, see the file comment.
void appendColumnField(std::string& line, double value, const PairColumns& columns,
                       const std::string& place) {
    const std::size_t start = line.size();
    line.resize(start + columns.width);
    if (!writeFixedField(std::span(line).subspan(start), value, columns.decimals)) {
        throw RasExportError(fmt::format(
            "The value {} in {} is too wide for the {}-character columns of the geometry file",
            plain(value), place, columns.width));
    }
}

/// The text of a bank station: F3, unless that is too wide for the station column; then the text
/// the column gives the section point standing at the bank (the first whose station equals it
/// to within a millionth), so that the bank never lies beyond the station the model reads.
std::string bankStationText(double bank, const std::vector<NumberPair>& stationElevation) {
    const PairColumns& columns = kStationElevationColumns;
    std::string text = F3(bank);
    if (text.size() <= columns.width) return text;
    double value = bank;
    for (const NumberPair& point : stationElevation)
        if (std::abs(point.first - bank) <= 1e-6) {
            value = point.first;
            break;
        }
    if (auto fitted = fixedWithin(value, columns.decimals, columns.width)) return *fitted;
    return text;
}

/// Writes the pairs in columns, a line after every `pairsPerLine` pairs and after the last.
template <class Lines>
void writePairLines(Lines& lines, const std::vector<NumberPair>& pairs, const PairColumns& columns,
                    const std::string& place) {
    std::string line;
    line.reserve(columns.pairsPerLine * 2 * columns.width);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        appendColumnField(line, pairs[i].first, columns, place);
        appendColumnField(line, pairs[i].second, columns, place);
        if ((i + 1) % columns.pairsPerLine == 0 || i + 1 == pairs.size()) {
            lines.writeLine(line);
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
    const std::string nThenZero = R8("0.015") + R8("0");
    std::string line = R8("0") + nThenZero;
    appendColumnField(line, rightM / 4, kStationElevationColumns, place);
    line += nThenZero;
    appendColumnField(line, rightM / 2, kStationElevationColumns, place);
    return line + nThenZero;
}

void writeCrossSectionRecord(CrLfLines& lines, const CrossSectionRecord& section,
                             std::string_view dateTime, const std::string& place) {
    const std::string station = plain(section.station);
    lines.writeLine("");
    lines.writeLine(fmt::format("Type RM Length L Ch R = 1, {}, {}, {}, {}", station,
                                plain(section.leftSpacing), plain(section.centerSpacing),
                                plain(section.rightSpacing)));
    lines.writeLine("BEGIN DESCRIPTION:");
    lines.writeLine("Cross-section=" + station);
    lines.writeLine("END DESCRIPTION:");
    lines.writeLine(fmt::format("XS GIS Cut Line={}", kCutLinePoints));
    writePairLines(lines, section.cutLine, kCoordinateColumns, place);
    lines.writeLine(fmt::format("Node Last Edited Time={}", dateTime));
    lines.writeLine(fmt::format("#Sta/Elev= {}", section.numberPoints));
    writePairLines(lines, section.stationElevation, kStationElevationColumns, place);
    lines.writeLine("#Mann= 3, 0, 0");
    lines.writeLine(manningLine(section.rightM, place));
    lines.writeLine(fmt::format("Bank Sta={}, {}",
                                bankStationText(section.leftM, section.stationElevation),
                                bankStationText(section.rightM, section.stationElevation)));
    lines.writeLine("Exp/Cntr=0.3,0.1");
}

void writeJunctions(CrLfTextFile& file, pugi::xml_node junctions) {
    std::size_t index = 0;
    forEachDescendant(junctions, "Junction", [&](pugi::xml_node junction) {
        const std::string place = fmt::format("junction {}", index);
        writeJunction(file, index, readJunction(junction, place));
        ++index;
    });
}

/// Consecutive cross-section records made in memory, and the fault that stopped them if one
/// did. Reused from batch to batch, so that its room is there already.
struct RecordBatch {
    CrLfLines lines;  ///< the records before the fault, and as much of its record as was made
    std::exception_ptr fault;
    CrossSectionRecord section;
};

/// Makes into `batch` the records of the cross-sections at `sections` in `elements`, numbered in
/// their reach from `firstNumber` on.
void makeCrossSectionRecords(RecordBatch& batch, const ReachElements& elements,
                             std::span<const std::size_t> sections, std::size_t firstNumber,
                             const std::string& reachPlace, std::string_view dateTime) {
    batch.lines.clear();
    batch.fault = nullptr;
    try {
        for (std::size_t i = 0; i < sections.size(); ++i) {
            std::string place =
                fmt::format("{}, cross-section number {}", reachPlace, firstNumber + i);
            readCrossSection(elements, sections[i], place, reachPlace, batch.section);
            writeCrossSectionRecord(batch.lines, batch.section, dateTime, place);
        }
    } catch (...) {
        batch.fault = std::current_exception();
    }
}

/// Writes what the batch made, then throws its fault: the file ends as if its records had been
/// written one by one.
void writeBatch(CrLfTextFile& file, const RecordBatch& batch) {
    file.writeLines(batch.lines);
    if (batch.fault) std::rethrow_exception(batch.fault);
}

/// Writes the records of a reach's cross-sections, in order. Reading and formatting them is most
/// of the conversion's own work and each stands alone, so a second thread makes every other
/// batch; where no thread can be started, that batch is made when it is to be written.
class CrossSectionWriter {
public:
    CrossSectionWriter(CrLfTextFile& file, std::string_view dateTime)
        : file_(file), dateTime_(dateTime) {}

    /// Writes the records of the cross-sections at `sections` in `elements`, the reach's
    /// cross-sections in document order.
    void write(const ReachElements& elements, std::span<const std::size_t> sections,
               const std::string& reachPlace) {
        const auto make = [&](RecordBatch& batch, std::size_t first) {
            makeCrossSectionRecords(batch, elements, batchAt(sections, first), first + 1,
                                    reachPlace, dateTime_);
        };
        for (std::size_t first = 0; first < sections.size(); first += 2 * kBatch) {
            // The second thread starts only where a second batch is left for it.
            const bool twoBatches = first + kBatch < sections.size();
            std::future<void> later;
            if (twoBatches) later = std::async([&, first] { make(behind_, first + kBatch); });
            make(ahead_, first);
            if (twoBatches) later.wait();
            writeBatch(file_, ahead_);
            if (twoBatches) writeBatch(file_, behind_);
        }
    }

private:
    /// Cross-sections a batch holds: enough that starting a thread is a small part of making
    /// them, few enough that their text stays small.
    static constexpr std::size_t kBatch = 256;

    static std::span<const std::size_t> batchAt(std::span<const std::size_t> sections,
                                                std::size_t first) {
        return sections.subspan(first, std::min(kBatch, sections.size() - first));
    }

    CrLfTextFile& file_;
    std::string_view dateTime_;
    RecordBatch ahead_;
    RecordBatch behind_;
};

/// Writes the reach records and their cross-section records, numbering the reaches on from
/// those written before.
class ReachWriter {
public:
    ReachWriter(CrLfTextFile& file, std::string_view dateTime)
        : file_(file), crossSectionWriter_(file, dateTime) {}

    /// Writes `reach` and the reaches inside it.
    void write(pugi::xml_node reach) {
        elements_.index(reach);
        writeIndexed(ReachElements::kReach);
        elements_.forEachBelow(ReachElements::kReach, ElementKind::Reach,
                               [&](std::size_t at) { writeIndexed(at); });
    }

private:
    void writeIndexed(std::size_t at) {
        std::string place = fmt::format("reach number {}", ++reachNumber_);
        const ReachRecord record = readReach(elements_, at, place);
        writeReachRecord(file_, record, place);
        const std::optional<std::size_t> crossSections =
            elements_.firstBelow(at, ElementKind::CrossSections);
        if (!crossSections) throwMissingElement("CrossSections", place);
        sections_.clear();
        elements_.forEachBelow(*crossSections, ElementKind::CrossSection,
                               [&](std::size_t sectionAt) { sections_.push_back(sectionAt); });
        crossSectionWriter_.write(elements_, sections_, place);
    }

    CrLfTextFile& file_;
    CrossSectionWriter crossSectionWriter_;
    ReachElements elements_;
    std::vector<std::size_t> sections_;
    std::size_t reachNumber_ = 0;
};

void writeReaches(CrLfTextFile& file, pugi::xml_node reaches, std::string_view dateTime) {
    ReachWriter writer(file, dateTime);
    forEachOutermost(reaches, "Reach", [&](pugi::xml_node reach) { writer.write(reach); });
}

}  // namespace

pugi::xml_document loadChannelGeometry(const std::string& inputPath,
                                       const std::string& outputPath) {
    if (inputPath.empty()) throw RasInputRefused("Specify the input file", "Warning");
    if (outputPath.empty()) throw RasInputRefused("Specify the output file", "Warning");
    useHugePagesForXmlDocuments();
    pugi::xml_document document;
    const std::optional<FileBytes> bytes =
        readWholeFile(inputPath, pugi::get_memory_allocation_function(),
                      pugi::get_memory_deallocation_function());
    // The document takes the block over.
    if (!bytes ||
        !document.load_buffer_inplace_own(bytes->data, bytes->size, kChannelGeometryParseOptions)) {
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
    refuseOutputOverInput(inputPath, outputPath);
    if (createHecRasFiles) {
        const std::string base = hecRasBasePath(outputPath);
        for (const char* extension : {".prj", ".f01", ".p01"})
            refuseOutputOverInput(inputPath, base + extension);
    }
    PendingFiles files;
    writeGeometryFile(channelGeometry, files.add(outputPath), GetDateTime());
    if (createHecRasFiles)
        writeHecRasProjectFiles(outputPath,
                                [&files](const std::string& path) { return files.add(path); });
    files.commit();
}

}  // namespace ondu
