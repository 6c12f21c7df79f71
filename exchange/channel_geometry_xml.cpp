#include "exchange/channel_geometry_xml.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/file_commit.h"
#include "framework/geometry/curve.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {
// ---- junctions --------------------------------------------------------------------------------

/// A line end compared exactly (negative zero equals zero, as the numbers do).
struct EndKey {
    double x, y;
    bool operator==(const EndKey&) const = default;
};

struct EndKeyHash {
    std::size_t operator()(const EndKey& k) const {
        return std::hash<std::uint64_t>()(std::bit_cast<std::uint64_t>(k.x)) * 1000003u ^
               std::hash<std::uint64_t>()(std::bit_cast<std::uint64_t>(k.y));
    }
};

EndKey keyOf(const Point& p) { return {p.x + 0.0, p.y + 0.0}; }

struct LineEnds {
    Point start, end;
};

/// The junctions in the order of their first end (see CreateJunctions). A pair of ends (i, j)
/// with i < j is first met at the point's first occurrence i, so ordering by first occurrence
/// among the points met twice or more gives what comparing every pair would.
std::vector<EndKey> junctionsOf(const std::vector<LineEnds>& lines) {
    std::vector<EndKey> order;
    std::unordered_map<EndKey, int, EndKeyHash> seen;
    for (const LineEnds& line : lines)
        for (const Point& p : {line.start, line.end}) {
            const EndKey key = keyOf(p);
            if (seen[key]++ == 0) order.push_back(key);
        }
    std::erase_if(order, [&](const EndKey& key) { return seen[key] < 2; });
    return order;
}

// ---- the document, written as it is built ------------------------------------------------------

/// XML elements and attributes as text, without indentation, built in one buffer that is reused
/// once written out (see XmlFile): numbers are written in place, no piece builds a string.
class XmlText {
public:
    /// A buffer of `room` characters to begin with; it grows as needed.
    explicit XmlText(std::size_t room = 1 << 20)
        : buffer_(room), next_(buffer_.data()), end_(buffer_.data() + buffer_.size()) {}
    XmlText(const XmlText&) = delete;
    XmlText& operator=(const XmlText&) = delete;

    XmlText& open(std::string_view name) {
        endStartTag();
        put('<');
        put(name);
        open_.push_back(name);
        startTagOpen_ = true;
        return *this;
    }
    XmlText& attr(std::string_view name, std::string_view value) {
        attrStart(name);
        escape(value);
        put('"');
        return *this;
    }
    /// A number needs no escaping: written straight into the buffer.
    XmlText& attr(std::string_view name, double value) {
        attrStart(name);
        makeRoom(kLongestPlainText + 1);
        next_ = writePlain(next_, value);
        *next_++ = '"';
        return *this;
    }
    using NumberAttr = std::pair<std::string_view, double>;
    /// An element of numbers and no children, `<name a="1" b="2"/>`, ending with the attribute
    /// `emptyLast` of empty text when it is named. One room check for the whole element: vertex
    /// elements make most of a document.
    void numberLeaf(std::string_view name, std::span<const NumberAttr> numbers,
                    std::string_view emptyLast) {
        endStartTag();
        std::size_t room = name.size() + emptyLast.size() + 8;
        for (const auto& number : numbers) room += number.first.size() + kLongestPlainText + 4;
        makeRoom(room);
        *next_++ = '<';
        next_ = std::copy(name.begin(), name.end(), next_);
        for (const auto& [attrName, value] : numbers) {
            next_ = attrOpening(attrName);
            next_ = writePlain(next_, value);
            *next_++ = '"';
        }
        if (!emptyLast.empty()) {
            next_ = attrOpening(emptyLast);
            *next_++ = '"';
        }
        *next_++ = '/';
        *next_++ = '>';
    }
    /// Ends the start tag of the element opened last: what follows, written elsewhere, goes in
    /// it. Its closing tag is then a whole one even when nothing was written here.
    void beginContent() { endStartTag(); }
    void close() {
        if (startTagOpen_) {
            put("/>");
            startTagOpen_ = false;
        } else {
            put("</");
            put(open_.back());
            put('>');
        }
        open_.pop_back();
    }
    /// An element without children.
    void leaf(std::string_view name,
              std::initializer_list<std::pair<std::string_view, std::string_view>> attrs) {
        open(name);
        for (const auto& [attrName, value] : attrs) attr(attrName, value);
        close();
    }

    std::string_view text() const {
        return {buffer_.data(), static_cast<std::size_t>(next_ - buffer_.data())};
    }
    /// Forgets the text written, keeping the elements open and the room the buffer has grown to.
    void clear() { next_ = buffer_.data(); }

private:
    void makeRoom(std::size_t size) {
        if (static_cast<std::size_t>(end_ - next_) < size) grow(size);
    }
    void grow(std::size_t size) {
        const auto used = static_cast<std::size_t>(next_ - buffer_.data());
        buffer_.resize(std::max(2 * buffer_.size(), used + size));
        next_ = buffer_.data() + used;
        end_ = buffer_.data() + buffer_.size();
    }
    void put(std::string_view text) {
        makeRoom(text.size());
        next_ = std::copy(text.begin(), text.end(), next_);
    }
    void put(char c) {
        makeRoom(1);
        *next_++ = c;
    }
    /// ` name="` at the end of the text, which has room for it.
    char* attrOpening(std::string_view name) {
        *next_++ = ' ';
        next_ = std::copy(name.begin(), name.end(), next_);
        *next_++ = '=';
        *next_++ = '"';
        return next_;
    }
    void attrStart(std::string_view name) {
        makeRoom(name.size() + 3);
        attrOpening(name);
    }
    void endStartTag() {
        if (!startTagOpen_) return;
        put('>');
        startTagOpen_ = false;
    }
    void escape(std::string_view value) {
        const auto plainEnd = std::find_if(value.begin(), value.end(), [](char c) {
            return c == '&' || c == '<' || c == '>' || c == '"' ||
                   static_cast<unsigned char>(c) < 0x20;
        });
        put(std::string_view(value.begin(), plainEnd));
        for (char c : value.substr(static_cast<std::size_t>(plainEnd - value.begin()))) {
            switch (c) {
                case '&':
                    put("&amp;");
                    break;
                case '<':
                    put("&lt;");
                    break;
                case '>':
                    put("&gt;");
                    break;
                case '"':
                    put("&quot;");
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20)
                        put("&#" + std::to_string(static_cast<int>(c)) + ';');
                    else
                        put(c);
            }
        }
    }

    std::vector<char> buffer_;
    char* next_;
    char* end_;
    std::vector<std::string_view> open_;
    bool startTagOpen_ = false;
};

/// The file the document goes to. A document object model of 100,000 cross-sections of 50
/// points would take gigabytes; the file is written under a temporary name anyway, so nothing is
/// gained by building it whole in memory first: it is written piece by piece.
class XmlFile {
public:
    explicit XmlFile(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (!file_) throw HostError("Cannot write the file " + path, error_number::kGeneric);
        write("<?xml version=\"1.0\"?>");
    }
    ~XmlFile() {
        if (file_) std::fclose(file_);
    }
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;

    /// Writes the piece's text and clears it.
    void write(XmlText& piece) {
        write(piece.text());
        piece.clear();
    }
    /// Closes the file; throws when the system could not write it all.
    void finish() {
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!closed) fail();
    }

private:
    void write(std::string_view text) {
        if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail();
    }
    [[noreturn]] void fail() const {
        throw HostError("Cannot write the file " + path_, error_number::kGeneric);
    }

    std::string path_;
    std::FILE* file_;
};

// ---- what the layers hold ----------------------------------------------------------------------

/// The centerline layer read once, whole: extent, line ends and names for the junctions.
struct Network {
    double minX = std::numeric_limits<double>::infinity(), minY = minX;
    double maxX = -minX, maxY = -minX;
    std::vector<LineEnds> ends;
    std::vector<std::pair<std::string, std::string>> names;  ///< river, reach code
};

struct ReachFields {
    int id, river, code;
};

Network readNetwork(IFeatureLayer* layer, const ReachFields& fields) {
    Network network;
    auto cursor = maputil::featureClassOf(layer).search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const Polyline line = maputil::CheckedPolyline(*feature, layer->name());
        for (const Path& path : line.paths)
            for (const Point& p : path) {
                network.minX = std::min(network.minX, p.x);
                network.minY = std::min(network.minY, p.y);
                network.maxX = std::max(network.maxX, p.x);
                network.maxY = std::max(network.maxY, p.y);
            }
        network.ends.push_back({fromPoint(line), toPoint(line)});
        network.names.emplace_back(toText(feature->value(fields.river)),
                                   toText(feature->value(fields.code)));
    }
    return network;
}

struct SectionFields {
    int station, reachId, spacing;
};

/// The cross-section layer read once, whole.
struct Sections {
    std::vector<Polyline> lines;
    std::vector<double> stations;
    std::vector<std::string> stationTexts, reachIds, spacings;
};

Sections readSections(IFeatureLayer* layer, const SectionFields& fields) {
    Sections sections;
    IFeatureClass& cls = maputil::featureClassOf(layer);
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        sections.lines.push_back(maputil::CheckedPolyline(*feature, layer->name()));
        sections.stations.push_back(maputil::RequireNumber(*feature, fields.station, cls));
        sections.stationTexts.push_back(toText(feature->value(fields.station)));
        sections.reachIds.push_back(toText(feature->value(fields.reachId)));
        sections.spacings.push_back(toText(feature->value(fields.spacing)));
    }
    return sections;
}

/// The reaches of the processing set in cursor order, with their texts.
struct Reaches {
    std::vector<Polyline> lines;
    std::vector<std::array<std::string, 3>> texts;  ///< id, river, code
};

Reaches readReaches(IFeatureLayer* layer, const ReachFields& fields) {
    Reaches reaches;
    auto cursor = maputil::GetFeatureCursor(layer);
    while (auto reach = cursor->nextFeature()) {
        reaches.lines.push_back(maputil::CheckedPolyline(*reach, layer->name()));
        reaches.texts.push_back({toText(reach->value(fields.id)),
                                 toText(reach->value(fields.river)),
                                 toText(reach->value(fields.code))});
    }
    return reaches;
}

/// Per reach, the cross-sections that meet it, by ascending station (equal stations in layer
/// order). The reaches are indexed, being far fewer segments than the sections, and every
/// section asks which reaches it meets.
std::vector<std::vector<std::size_t>> crossingsOf(const Reaches& reaches,
                                                  const Sections& sections) {
    const vectorUtil::SegmentIndex index(reaches.lines);
    std::vector<std::vector<std::size_t>> crossing(reaches.lines.size());
    for (std::size_t s = 0; s < sections.lines.size(); ++s)
        for (const std::size_t reach : index.linesMet(sections.lines[s]))
            crossing[reach].push_back(s);
    for (auto& list : crossing)
        std::stable_sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
            return sections.stations[a] < sections.stations[b];
        });
    return crossing;
}

/// A vertex element: its measure along the section where it has one, X, Y, then Z, which is
/// empty text on a line without Z.
void vertexLeaf(XmlText& out, std::string_view name, std::optional<double> crossM, const Point& p,
                bool zAware) {
    std::array<XmlText::NumberAttr, 4> numbers;
    std::size_t count = 0;
    if (crossM) numbers[count++] = {"CrossM", *crossM};
    numbers[count++] = {"X", p.x};
    numbers[count++] = {"Y", p.y};
    if (zAware) numbers[count++] = {"Z", p.z};
    out.numberLeaf(name, std::span(numbers.data(), count), zAware ? "" : "Z");
}

void writeJunctions(XmlText& out, const Network& network) {
    const std::vector<EndKey> junctions = junctionsOf(network.ends);
    std::unordered_map<EndKey, std::size_t, EndKeyHash> position;
    for (std::size_t i = 0; i < junctions.size(); ++i) position.emplace(junctions[i], i);
    // Per junction, the reaches in reading order: one that ends there flows in (upstream),
    // then one that starts there flows out.
    std::vector<std::vector<std::pair<std::size_t, bool>>> reaches(junctions.size());
    for (std::size_t k = 0; k < network.ends.size(); ++k) {
        if (auto it = position.find(keyOf(network.ends[k].end)); it != position.end())
            reaches[it->second].emplace_back(k, true);
        if (auto it = position.find(keyOf(network.ends[k].start)); it != position.end())
            reaches[it->second].emplace_back(k, false);
    }
    out.open("Junctions");
    for (std::size_t i = 0; i < junctions.size(); ++i) {
        out.open("Junction").attr("X", junctions[i].x).attr("Y", junctions[i].y);
        for (const auto& [k, upstream] : reaches[i])
            out.leaf(upstream ? "UpstreamReach" : "DownstreamReach",
                     {{"River", network.names[k].first}, {"Reach", network.names[k].second}});
        out.close();
    }
    out.close();
}

void writeSection(XmlText& out, const Sections& sections, std::size_t s,
                  std::vector<double>& along) {
    const Polyline& line = sections.lines[s];
    // Distances run on from one path to the next; the gap between paths adds nothing. The last
    // is the section's length.
    along.clear();
    for (const Path& path : line.paths)
        for (std::size_t v = 0; v < path.size(); ++v)
            along.push_back(v == 0 ? (along.empty() ? 0 : along.back())
                                   : along.back() + std::hypot(path[v].x - path[v - 1].x,
                                                               path[v].y - path[v - 1].y));
    out.open("CrossSection");
    out.open("Parameters")
        .attr("Station", sections.stationTexts[s])
        .attr("NumberPoints", static_cast<double>(along.size()))
        .attr("ReachID", sections.reachIds[s])
        .close();
    out.open("BankStations").attr("LeftM", "0").attr("RightM", along.back()).close();
    const std::string& spacing = sections.spacings[s];
    out.leaf("Spacing",
             {{"LeftSpacing", spacing}, {"CenterSpacing", spacing}, {"RightSpacing", spacing}});
    out.open("CutLine");
    for (const Point& p : {fromPoint(line), toPoint(line)})
        out.open("CutLinePoint").attr("X", p.x).attr("Y", p.y).close();
    out.close();
    std::size_t k = 0;
    for (const Path& path : line.paths)
        for (const Point& p : path) vertexLeaf(out, "CrossSectionPoint", along[k++], p, line.zAware);
    out.close();
}

void writeReach(XmlText& out, const Reaches& reaches, std::size_t r, const Sections& sections,
                const std::vector<std::size_t>& crossing) {
    const Polyline& line = reaches.lines[r];
    const auto& [id, river, code] = reaches.texts[r];
    out.open("Reach");
    out.leaf("ReachID", {{"ID", id}});
    out.leaf("RiverName", {{"Name", river}});
    out.leaf("ReachCode", {{"Code", code}});
    for (const Path& path : line.paths)
        for (const Point& p : path) vertexLeaf(out, "ReachPoint", std::nullopt, p, line.zAware);
    out.open("CrossSections");
    std::vector<double> along;
    for (std::size_t s : crossing) writeSection(out, sections, s, along);
    out.close();
    out.close();
}

/// The vertices of a piece of the document, and the room their text takes: a vertex element
/// rarely has more than 128 characters.
constexpr std::size_t kVerticesPerPiece = 100'000;
constexpr std::size_t kPieceRoom = kVerticesPerPiece * 128;

/// Where the pieces of reaches begin, and the end: consecutive reaches of about
/// kVerticesPerPiece vertices each.
std::vector<std::size_t> pieceBounds(const Reaches& reaches, const Sections& sections,
                                     const std::vector<std::vector<std::size_t>>& crossing) {
    std::vector<std::size_t> bounds{0};
    std::size_t vertices = 0;
    for (std::size_t r = 0; r < reaches.lines.size(); ++r) {
        vertices += reaches.lines[r].vertexCount();
        for (std::size_t s : crossing[r]) vertices += sections.lines[s].vertexCount();
        if (vertices >= kVerticesPerPiece || r + 1 == reaches.lines.size()) {
            bounds.push_back(r + 1);
            vertices = 0;
        }
    }
    return bounds;
}

/// Writes the reaches, a step of progress each. Numbers make most of the work, so the pieces
/// are built two at a time, the second on another thread, and written in order.
void writeReaches(XmlFile& file, const Reaches& reaches, const Sections& sections,
                  const std::vector<std::vector<std::size_t>>& crossing, IProgressBar& progress) {
    const std::vector<std::size_t> bounds = pieceBounds(reaches, sections, crossing);
    const std::size_t pieces = bounds.size() - 1;
    const auto build = [&](XmlText& text, std::size_t piece) {
        for (std::size_t r = bounds[piece]; r < bounds[piece + 1]; ++r)
            writeReach(text, reaches, r, sections, crossing[r]);
    };
    XmlText first(kPieceRoom), second(kPieceRoom);
    for (std::size_t piece = 0; piece < pieces; piece += 2) {
        std::future<void> next;
        if (piece + 1 < pieces)
            next = std::async(std::launch::async, build, std::ref(second), piece + 1);
        build(first, piece);
        file.write(first);
        if (next.valid()) {
            next.get();
            file.write(second);
        }
        for (std::size_t r = bounds[piece]; r < bounds[std::min(piece + 2, pieces)]; ++r)
            stepOrStop(progress);
    }
}

}  // namespace

Multipoint CreateJunctions(IFeatureLayer* centerline) {
    std::vector<LineEnds> ends;
    auto cursor = maputil::featureClassOf(centerline).search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const Polyline line = maputil::CheckedPolyline(*feature, centerline->name());
        ends.push_back({fromPoint(line), toPoint(line)});
    }
    Multipoint junctions;
    for (const EndKey& key : junctionsOf(ends)) junctions.points.emplace_back(key.x, key.y);
    return junctions;
}

void run(const ChannelGeometryXmlOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* centerline = maputil::RequireLayer(&map, options.centerline, "centerline");
    IFeatureLayer* crossSections =
        maputil::RequireLayer(&map, options.crossSections, "cross-section");
    if (options.output.empty()) throw RunRefused("Specify the output file");
    const long count = maputil::RequireFeaturesToProcess(centerline);
    IFeatureClass& reachClass = maputil::featureClassOf(centerline);
    const ReachFields reachFields{maputil::RequireField(reachClass, options.reachIdField),
                                  maputil::RequireField(reachClass, options.riverField),
                                  maputil::RequireField(reachClass, options.reachCodeField)};
    IFeatureClass& sectionClass = maputil::featureClassOf(crossSections);
    const SectionFields sectionFields{
        maputil::RequireField(sectionClass, options.stationField),
        maputil::RequireField(sectionClass, options.crossSectionReachIdField),
        maputil::RequireField(sectionClass, options.spacingField)};

    const Network network = readNetwork(centerline, reachFields);
    const Sections sections = readSections(crossSections, sectionFields);
    const Reaches reaches = readReaches(centerline, reachFields);
    const auto crossing = crossingsOf(reaches, sections);
    PendingFiles pending;
    XmlFile file(pending.add(options.output));
    XmlText out;
    out.open("ChannelGeometry");
    out.open("Header");
    out.open("Extent");
    out.open("NECornerXY").attr("X", network.maxX).attr("Y", network.maxY).close();
    out.open("SWCornerXY").attr("X", network.minX).attr("Y", network.minY).close();
    out.close();
    out.close();
    writeJunctions(out, network);

    progress.show("Processing...", 0, count, 1);
    out.open("Reaches");
    if (!reaches.lines.empty()) out.beginContent();
    file.write(out);
    writeReaches(file, reaches, sections, crossing, progress);
    out.close();
    out.close();
    file.write(out);
    file.finish();
    pending.commit();
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

namespace {

constexpr const char* kOptionalControls[] = {"txtLOB", "txtChannel", "txtROB", "cmbBank",
                                             "txtRatio"};

ControlDecl fieldList(const char* name, const char* label, const char* parent, const char* proposed,
                      const char* reproposed, const char* help) {
    return {.name = name,
            .kind = ControlKind::List,
            .label = label,
            .frame = "Inputs",
            .defaultValue = proposed,
            .help = help,
            .source = fieldsOf(parent),
            .reproposed = reproposed};
}

ControlDecl optionalBox(const char* name, const char* label, const char* frame, const char* value) {
    return {.name = name,
            .kind = ControlKind::TextBox,
            .label = label,
            .frame = frame,
            .defaultValue = value,
            .help = "not read by the export"};
}

}  // namespace

const DialogDecl& frmRUDAvuZIR::declaration() {
    static const DialogDecl decl{
        "frmRUDAvuZIR",
        "Transer ONDU to XML",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "CrossSections Layer",
             .frame = "Inputs",
             .defaultValue = "CrossSections",
             .help = "3D line layer of cross-sections",
             .source = layersFor(channel::kCrossSections)},
            {.name = "cmbCenterline",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Inputs",
             .defaultValue = "Reach",
             .help = "line layer of reaches, digitised downstream",
             .source = layersFor(channel::kReach)},
            fieldList("cmbCLineID", "ReachID (Centerline)", "cmbCenterline", "ReachName",
                      "HydroCode", "reach identifier"),
            fieldList("cmbRiver", "River Name", "cmbCenterline", "RiverName", "Name", "river name"),
            fieldList("cmbReachCode", "Reach Code", "cmbCenterline", "ReachName", "HydroCode",
                      "reach code"),
            fieldList("cmbMeasure", "Station Number", "cmbInput", "StationNo", "StationNo",
                      "station of each cross-section"),
            fieldList("cmbCrossID", "ReachID (c/s)", "cmbInput", "ReachName", "HydroCode",
                      "reach identifier of each cross-section"),
            fieldList("cmbSpacing", "Spacing (c/s)", "cmbInput", "DistanceDS", "DistanceDS",
                      "distance to the next cross-section downstream"),
            {.name = "txtPath",
             .kind = ControlKind::TextBox,
             .frame = "Select Output",
             .help = "the XML file to write (replaced)",
             .type = ValueType::Path},
            {.name = "cmdSave",
             .kind = ControlKind::Button,
             .frame = "Select Output",
             .help = "choose the XML file",
             .browse = {.target = "txtPath",
                        .filter = "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|",
                        .save = true}},
            {.name = "chkOptions",
             .kind = ControlKind::CheckBox,
             .label = "More Options",
             .defaultValue = "0",
             .help = "show the optional parameters"},
            optionalBox("txtLOB", "LOB", "Optional Parameters", "0.015"),
            optionalBox("txtChannel", "Channel", "Optional Parameters", "0.015"),
            optionalBox("txtROB", "ROB", "Optional Parameters", "0.015"),
            {.name = "cmbBank",
             .kind = ControlKind::List,
             .label = "Bank Layer",
             .frame = "Choose Bank Layer",
             .help = "not read by the export",
             .source = layersFor(channel::kBoundarySegments)},
            optionalBox("txtRatio", "Expanstion/Contraction Ratio", "", "0.3"),
            okButton("write the document"),
            cancelButton("close without writing"),
        }};
    return decl;
}

ChannelGeometryXmlOptions frmRUDAvuZIR::options() const {
    return {.crossSections = text("cmbInput"),
            .centerline = text("cmbCenterline"),
            .reachIdField = text("cmbCLineID"),
            .riverField = text("cmbRiver"),
            .reachCodeField = text("cmbReachCode"),
            .stationField = text("cmbMeasure"),
            .crossSectionReachIdField = text("cmbCrossID"),
            .spacingField = text("cmbSpacing"),
            .output = text("txtPath")};
}

void frmRUDAvuZIR::onLoad() {
    for (const char* name : kOptionalControls) control(name).visible = false;
}

void frmRUDAvuZIR::onClick(Control& clicked) {
    if (clicked.name() != "chkOptions") return;
    // The larger form shows the optional parameters; the box then closes them again.
    clicked.text = clicked.checked ? "Close" : "More Options";
    for (const char* name : kOptionalControls) control(name).visible = clicked.checked;
}

void frmRUDAvuZIR::onOk() {
    // The centerline is asked for first, though it is listed second.
    if (text("cmbCenterline").empty()) {
        MsgBox("No layer selected for centerline", MsgButtons::OK, "Warning");
        return;
    }
    if (text("cmbInput").empty()) {
        MsgBox("No layer selected for cross-sections", MsgButtons::OK, "Warning");
        return;
    }
    const bool done = trapped(ErrorStyle::Routine, "ONDU to XML", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("XML file created successfully!", MsgButtons::OK, "ONDU to XML");
    });
    if (done) unload();
}

}  // namespace ondu
