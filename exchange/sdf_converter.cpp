#include "exchange/sdf_converter.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "framework/ui.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ondu {

namespace {

/// A failure whose text is shown to the user as it stands.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string systemReason() { return std::error_code(errno, std::generic_category()).message(); }

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view trim(std::string_view text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && isBlank(*begin)) ++begin;
    while (end > begin && isBlank(end[-1])) --end;
    return {begin, static_cast<std::size_t>(end - begin)};
}

constexpr bool isKeyChar(char c) { return c == ' ' || c == '-' || c == '#'; }
constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

/// Whether StripKeyChars(text) in upper case equals keyword (given in upper case), without
/// building the stripped text: this runs for nearly every line.
inline bool keyEquals(std::string_view text, std::string_view keyword) {
    std::size_t matched = 0;
    for (char c : text) {
        if (isKeyChar(c)) continue;
        if (matched == keyword.size() || asciiUpper(c) != keyword[matched]) return false;
        ++matched;
    }
    return matched == keyword.size();
}

/// "KEY: value" split at the first ":"; the value is all the rest (a path such as C:\data keeps
/// its drive letter), trimmed.
struct KeyedLine {
    std::string_view key;
    std::string_view value;
};

inline bool splitKeyedLine(std::string_view line, KeyedLine& keyed) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    keyed = {trim(line.substr(0, colon)), trim(line.substr(colon + 1))};
    return true;
}

/// Takes the text up to the next "," off the front of rest; the part is not trimmed.
std::string_view takeField(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    return field;
}

/// Splits a data line ("x, y" or "lx, ly, rx, ry") at ",": its first fields, trimmed, go into
/// fields. Returns the number of all fields.
inline std::size_t splitDataLine(std::string_view line, std::span<std::string_view> fields) {
    for (std::size_t count = 1;; ++count) {
        const std::size_t comma = line.find(',');
        if (count <= fields.size()) fields[count - 1] = trim(line.substr(0, comma));
        if (comma == std::string_view::npos) return count;
        line.remove_prefix(comma + 1);
    }
}

/// Header keys become element names. A key that is no XML name (a leading digit, "(", "/", a
/// non-ASCII letter) is mended the way profile tags are: other characters become "_" and a name
/// that would not start with a letter or "_" gets a "W" in front.
std::string headerElementName(std::string_view key) {
    std::string name = clsConvertRASOutputToXML::StripKeyChars(key);
    for (char& c : name) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_' && c != '.') c = '_';
    }
    if (name.empty() || !(isAsciiLetter(name.front()) || name.front() == '_')) name.insert(0, "W");
    return name;
}

/// Length of the well-formed UTF-8 sequence of an XML character at the start of text; 0 when
/// there is none.
std::size_t utf8CharLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    }
    if (length == 0 || text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    if (lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return length;
}

/// Bytes that the escaper copies unchanged: printable ASCII and tab, except & < > ".
constexpr std::array<bool, 256> makePlainBytes() {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[c] = true;
    plain['\t'] = true;
    plain['&'] = plain['<'] = plain['>'] = plain['"'] = false;
    return plain;
}
constexpr std::array<bool, 256> kPlainBytes = makePlainBytes();

/// The first CR or LF in [from, end), or end. Lines end with LF, CR LF or a lone CR (old Mac
/// files). memchr finds one byte only, and a second search per line would slow the conversion,
/// so both bytes are looked for in one pass, sixteen at a time where SSE2 is there.
inline const char* findLineEnd(const char* from, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; end - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int found =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)));
        if (found != 0) return from + std::countr_zero(static_cast<unsigned>(found));
    }
#endif
    while (from < end && *from != '\n' && *from != '\r') ++from;
    return from;
}

namespace fs = std::filesystem;

/// Where a finished document goes: the file a link points to, not the link.
fs::path resolvedTarget(const std::string& path) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) return path;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? fs::path(path) : resolved;
}

bool replaceableByRenaming(const fs::path& target) {
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    return !fs::exists(status) || fs::is_regular_file(status);
}

/// Creates a file for writing beside `target` under a name no other file has, with the
/// permissions of `target` where it exists; nothing, with errno telling why, when it cannot.
std::FILE* createBeside(const fs::path& target, std::string& createdPath) {
    constexpr int kAttempts = 100;
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        createdPath = fmt::format("{}.{}-{}.part", target.string(), ::getpid(), serial++);
        if (std::FILE* file = std::fopen(createdPath.c_str(), "wbx")) {
            std::error_code error;  // without them the file keeps the usual permissions
            const fs::file_status status = fs::status(target, error);
            if (fs::exists(status)) fs::permissions(createdPath, status.permissions(), error);
            return file;
        }
        if (errno != EEXIST) break;
    }
    return nullptr;
}

}  // namespace

namespace sdf {

LineReader::LineReader(const std::string& path) : m_path(path), m_buffer(kChunkBytes) {
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) {
        throw ConversionError(
            fmt::format("Cannot open the SDF file \"{}\": {}.", path, systemReason()));
    }
}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const char* begin = m_buffer.data() + m_begin;
        const char* end = m_buffer.data() + m_end;
        const char* lineEnd = findLineEnd(begin, end);
        if (lineEnd != end) {
            // A CR read last may be the first half of a CR LF: read on to know.
            if (*lineEnd == '\r' && lineEnd + 1 == end && !m_atEnd) {
                refill();
                continue;
            }
            const char* nextLine = lineEnd + 1;
            if (*lineEnd == '\r' && nextLine != end && *nextLine == '\n') ++nextLine;
            m_begin = static_cast<std::size_t>(nextLine - m_buffer.data());
            return deliver({begin, static_cast<std::size_t>(lineEnd - begin)}, line);
        }
        if (m_atEnd) {
            if (m_begin == m_end) return false;
            m_begin = m_end;
            return deliver({begin, static_cast<std::size_t>(end - begin)}, line);
        }
        refill();
    }
}

bool LineReader::deliver(std::string_view raw, std::string_view& line) {
    if (m_lineNumber++ == 0 && raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    line = trim(raw);
    return true;
}

void LineReader::refill() {
    const std::size_t partial = m_end - m_begin;
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, partial);
    m_begin = 0;
    m_end = partial;
    if (m_end == m_buffer.size()) m_buffer.resize(m_buffer.size() * 2);
    const std::size_t got =
        std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file.get());
    m_end += got;
    if (got > 0) return;
    if (std::ferror(m_file.get())) {
        throw ConversionError(
            fmt::format("Cannot read the SDF file \"{}\": {}.", m_path, systemReason()));
    }
    m_atEnd = true;
}

namespace {

/// The longest text one input byte can become: "&#xFFFD;".
constexpr std::size_t kMaxEscapedBytes = 8;

/// Copies n bytes, sizeof(Word) <= n <= 2 * sizeof(Word), as two words that may overlap: short
/// copies are most of the output, and a call to memcpy would cost more than the copy.
template <typename Word>
void copyAsTwoWords(char* out, const char* from, std::size_t n) {
    Word head, tail;
    std::memcpy(&head, from, sizeof(Word));
    std::memcpy(&tail, from + n - sizeof(Word), sizeof(Word));
    std::memcpy(out, &head, sizeof(Word));
    std::memcpy(out + n - sizeof(Word), &tail, sizeof(Word));
}

struct SixteenBytes {
    std::uint64_t low, high;
};

inline char* copyText(char* out, std::string_view text) {
    const std::size_t n = text.size();
    if (n > 32) {
        std::memcpy(out, text.data(), n);
    } else if (n >= 16) {
        copyAsTwoWords<SixteenBytes>(out, text.data(), n);
    } else if (n >= 8) {
        copyAsTwoWords<std::uint64_t>(out, text.data(), n);
    } else if (n >= 4) {
        copyAsTwoWords<std::uint32_t>(out, text.data(), n);
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
    }
    return out + n;
}

char* escapeByte(char* out, unsigned char c) {
    switch (c) {
        case '&':
            return copyText(out, "&amp;");
        case '<':
            return copyText(out, "&lt;");
        case '>':
            return copyText(out, "&gt;");
        case '"':
            return copyText(out, "&quot;");
        case '\r':
            return copyText(out, "&#13;");
        default:
            break;
    }
    // Control characters have no XML form; a byte that is no UTF-8 is read as Latin-1.
    if (c < 0x20) return copyText(out, "&#xFFFD;");
    *out++ = '&';
    *out++ = '#';
    out = std::to_chars(out, out + 3, int{c}).ptr;
    *out++ = ';';
    return out;
}

/// Copies text that holds a byte needing escape to out, escaped.
char* escapeMarkedText(char* out, std::string_view text) {
    const char* next = text.data();
    const char* const end = next + text.size();
    while (next < end) {
        const auto c = static_cast<unsigned char>(*next);
        const std::size_t utf8Length =
            c >= 0x80 ? utf8CharLength({next, static_cast<std::size_t>(end - next)}) : 0;
        if (kPlainBytes[c]) {
            *out++ = *next++;
        } else if (utf8Length > 0) {
            out = copyText(out, {next, utf8Length});
            next += utf8Length;
        } else {
            out = escapeByte(out, c);
            ++next;
        }
    }
    return out;
}

/// Length of the leading run of bytes that need no escaping, looked at four at a time: nearly
/// every value is a plain number.
inline std::size_t plainPrefixLength(std::string_view text) {
    // As numbers, so that "&" tests the four without a branch each.
    const auto plain = [&](std::size_t i) -> unsigned {
        return kPlainBytes[static_cast<unsigned char>(text[i])];
    };
    std::size_t length = 0;
    while (length + 4 <= text.size() &&
           (plain(length) & plain(length + 1) & plain(length + 2) & plain(length + 3))) {
        length += 4;
    }
    while (length < text.size() && plain(length)) ++length;
    return length;
}

/// Copies text to out, escaped; out has room for kMaxEscapedBytes per byte of text.
inline char* escapeText(char* out, std::string_view text) {
    const std::size_t plainLength = plainPrefixLength(text);
    out = copyText(out, text.substr(0, plainLength));
    if (plainLength == text.size()) return out;
    return escapeMarkedText(out, text.substr(plainLength));
}

}  // namespace

ElementForm::ElementForm(std::string_view name,
                         std::initializer_list<std::string_view> attributeNames, Closing closing) {
    m_name = name;
    std::string part = "<" + m_name;
    for (std::string_view attributeName : attributeNames) {
        m_parts.push_back(part + " " + std::string(attributeName) + "=\"");
        part = "\"";
    }
    m_parts.push_back(part + (closing == Closing::Spaced ? " />\r\n" : "/>\r\n"));
    for (const std::string& fixed : m_parts) m_fixedSize += fixed.size();
}

XmlWriter::XmlWriter(const std::string& path) : m_path(path), m_buffer(kChunkBytes) {
    m_targetPath = resolvedTarget(path).string();
    m_staged = replaceableByRenaming(m_targetPath);
    if (m_staged) {
        m_file.reset(createBeside(m_targetPath, m_writtenPath));
    } else {
        m_writtenPath = m_targetPath;
        m_file.reset(std::fopen(m_writtenPath.c_str(), "wb"));
    }
    if (!m_file) {
        m_staged = false;
        throw ConversionError(
            fmt::format("Cannot create the XML file \"{}\": {}.", path, systemReason()));
    }
}

XmlWriter::~XmlWriter() {
    m_file.reset();
    if (m_staged) std::remove(m_writtenPath.c_str());
}

void XmlWriter::line(std::string_view text) {
    char* out = reserve(text.size() + 2);
    out = copyText(out, text);
    commit(copyText(out, "\r\n"));
}

void XmlWriter::open(std::string_view name) {
    char* out = reserve(name.size() + 4);
    *out++ = '<';
    out = copyText(out, name);
    commit(copyText(out, ">\r\n"));
}

void XmlWriter::close(std::string_view name) {
    char* out = reserve(name.size() + 5);
    out = copyText(out, "</");
    out = copyText(out, name);
    commit(copyText(out, ">\r\n"));
}

void XmlWriter::text(std::string_view name, std::string_view value) {
    char* out = reserve(2 * name.size() + kMaxEscapedBytes * value.size() + 7);
    *out++ = '<';
    out = copyText(out, name);
    *out++ = '>';
    out = escapeText(out, value);
    out = copyText(out, "</");
    out = copyText(out, name);
    commit(copyText(out, ">\r\n"));
}

void XmlWriter::element(const ElementForm& form, std::span<const std::string_view> values) {
    std::size_t longest = form.fixedSize();
    for (std::string_view value : values) longest += kMaxEscapedBytes * value.size();
    char* out = copyText(reserve(longest), form.part(0));
    for (std::size_t i = 0; i < values.size(); ++i) {
        out = escapeText(out, values[i]);
        out = copyText(out, form.part(i + 1));
    }
    commit(out);
}

void XmlWriter::finish() {
    flush();
    if (std::fclose(m_file.release()) != 0) failWrite();
    if (m_staged && std::rename(m_writtenPath.c_str(), m_targetPath.c_str()) != 0) failWrite();
    m_staged = false;
}

/// Room for bytes more; the buffer grows only for a line longer than a chunk.
char* XmlWriter::reserve(std::size_t bytes) {
    if (bytes > m_buffer.size() - m_used) {
        flush();
        if (bytes > m_buffer.size()) m_buffer.resize(bytes);
    }
    return m_buffer.data() + m_used;
}

void XmlWriter::flush() {
    if (std::fwrite(m_buffer.data(), 1, m_used, m_file.get()) != m_used) failWrite();
    m_used = 0;
}

void XmlWriter::failWrite() {
    const std::string reason = systemReason();
    m_used = 0;
    throw ConversionError(fmt::format("Cannot write the XML file \"{}\": {}.", m_path, reason));
}

}  // namespace sdf

namespace {

using sdf::Closing;
using sdf::ElementForm;
using sdf::LineReader;
using sdf::XmlWriter;

/// The line that ends a section or block, as compared (stripped, upper case) and as the user
/// sees it in the file.
struct SectionEnd {
    std::string_view keyword;
    std::string_view asWritten;
    std::string_view what;
};

constexpr SectionEnd kHeaderEnd{"ENDHEADER:", "END HEADER:", "the header"};
constexpr SectionEnd kCrossSectionsEnd{
    "ENDCROSSSECTIONS:", "END CROSS-SECTIONS:", "the cross-sections"};
constexpr SectionEnd kBlockEndOfCrossSection{"END:", "END:", "a cross-section block"};
constexpr SectionEnd kBoundsEnd{"ENDBOUNDS:", "END BOUNDS:", "the bounds"};
constexpr SectionEnd kBlockEndOfProfileLimits{"END:", "END:", "a profile-limits block"};

/// The next line of a section; false at the section's end line. The sections share one input
/// stream with the main loop, so a file that ends first is incomplete, not merely short.
inline bool nextSectionLine(LineReader& in, std::string_view& line, const SectionEnd& end) {
    if (!in.next(line)) {
        throw ConversionError(
            fmt::format("The SDF file \"{}\" ends at line {} before \"{}\" closes {}.", in.path(),
                        in.lineNumber(), end.asWritten, end.what));
    }
    return !keyEquals(line, end.keyword);
}

const ElementForm kStreamID{"StreamID", {"Value"}};
const ElementForm kReachID{"ReachID", {"Value"}};
const ElementForm kStation{"Station", {"Value"}};
const ElementForm kLeftBank{"LeftBank", {"Value"}, Closing::Spaced};
const ElementForm kRightBank{"RightBank", {"Value"}, Closing::Spaced};
const ElementForm kWaterElevation{"WaterElevation", {"ProfileID", "Value"}, Closing::Spaced};
const ElementForm kProfileID{"ProfileID", {"Value"}};

/// A sub-block of coordinate lines and the element each of its data lines becomes: one
/// attribute per field, after the current profile id for velocities.
struct SubBlock {
    std::string_view name;
    ElementForm point;
    bool carriesProfileId;
};

const SubBlock kCutLine{"CutLine", {"CutLinePoint", {"X", "Y"}}, false};
const SubBlock kWaterSurfaceExtents{
    "WaterSurfaceExtents", {"WSExtentPoint", {"LeftX", "LeftY", "RightX", "RightY"}}, false};
const SubBlock kVelocities{"Velocities", {"Velocity", {"ProfileID", "Fraction", "Value"}}, true};
const SubBlock kPolygon{"Polygon", {"Point", {"X", "Y"}}, false};

/// The sub-block open in a block, closed by the next keyword line or the block's end.
class OpenSubBlock {
public:
    void open(XmlWriter& out, const SubBlock& block) {
        close(out);
        m_block = &block;
        out.open(block.name);
    }

    void close(XmlWriter& out) {
        if (m_block) out.close(m_block->name);
        m_block = nullptr;
    }

    /// Writes a data line as a point of the open sub-block. Data lines outside a sub-block and
    /// blank lines carry nothing; extra fields (a Z after X and Y) are left out.
    void writeDataLine(const LineReader& in, XmlWriter& out, std::string_view line,
                       std::string_view profileId) {
        if (!m_block || line.empty()) return;
        std::size_t firstField = 0;
        if (m_block->carriesProfileId) m_values[firstField++] = profileId;
        const std::size_t needed = m_block->point.attributeCount() - firstField;
        const std::size_t found =
            splitDataLine(line, std::span(m_values).subspan(firstField, needed));
        if (found < needed) failShortLine(in, line, needed, found);
        out.element(m_block->point, std::span(m_values).first(firstField + needed));
    }

private:
    [[noreturn]] void failShortLine(const LineReader& in, std::string_view line, std::size_t needed,
                                    std::size_t found) const {
        throw ConversionError(fmt::format(
            "Line {} of the SDF file \"{}\": too few values for {} ({} needed, {} found): \"{}\".",
            in.lineNumber(), in.path(), m_block->point.name(), needed, found, line));
    }

    const SubBlock* m_block = nullptr;
    std::array<std::string_view, 4> m_values;  ///< reused: a data line allocates nothing
};

/// Reads a block up to its end line: a data line becomes a point of the open sub-block (velocities
/// carry `profileId` as it stands when the line is read), and a keyword line closes the sub-block
/// and goes to `onKeyword`.
template <class OnKeyword>
void readBlock(LineReader& in, XmlWriter& out, const SectionEnd& end, OpenSubBlock& subBlock,
               const std::string& profileId, OnKeyword onKeyword) {
    std::string_view line;
    while (nextSectionLine(in, line, end)) {
        KeyedLine keyed;
        if (!splitKeyedLine(line, keyed)) {
            subBlock.writeDataLine(in, out, line, profileId);
            continue;
        }
        subBlock.close(out);
        onKeyword(keyed);
    }
}

void writeBankPositions(XmlWriter& out, std::string_view value) {
    const std::string_view left = takeField(value);
    const std::string_view right = takeField(value);
    out.open("BankPositions");
    out.element(kLeftBank, {left});
    out.element(kRightBank, {right});
    out.close("BankPositions");
}

/// The header's profile count, a whole number 0 or more: it decides how many name lines follow.
long parseProfileCount(const LineReader& in, std::string_view value) {
    if (value.empty()) return 0;
    long count = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (error != std::errc{} || end != value.data() + value.size() || count < 0) {
        throw ConversionError(
            fmt::format("Line {} of the SDF file \"{}\": \"{}\" is not a valid number of profiles.",
                        in.lineNumber(), in.path(), value));
    }
    return count;
}

/// Header values that are written together in the ProjectionInfo block.
struct ProjectionInfo {
    std::string projection, zone, datum, units, verticalDatum;

    /// The slot a header key fills, or nothing for other keys.
    std::string* slotFor(std::string_view key) {
        if (keyEquals(key, "MAPPROJECTION")) return &projection;
        if (keyEquals(key, "PROJECTIONZONE")) return &zone;
        if (keyEquals(key, "DATUM")) return &datum;
        if (keyEquals(key, "UNITS")) return &units;
        if (keyEquals(key, "VERTICALDATUM")) return &verticalDatum;
        return nullptr;
    }

    void write(XmlWriter& out) const {
        out.open("ProjectionInfo");
        out.text("Projection", projection);
        out.text("Zone", zone);
        out.text("Datum", datum);
        out.text("Units", units);
        out.text("VerticalDatum", verticalDatum);
        out.close("ProjectionInfo");
    }
};

void showConversionError(const std::string& text) {
    MsgBox(text, MsgButtons::OK, "Error in ConvertToXMLFormat");
}

/// Writing the output over the input would destroy the input before it is read.
void rejectSameFile(const std::string& inFile, const std::string& outFile) {
    std::error_code ignored;
    if (std::filesystem::equivalent(inFile, outFile, ignored)) {
        throw ConversionError(fmt::format(
            "The XML file \"{}\" is the SDF file itself; choose another output file.", outFile));
    }
}

}  // namespace

std::string clsConvertRASOutputToXML::StripKeyChars(std::string_view text) {
    std::string stripped;
    stripped.reserve(text.size());
    for (char c : text) {
        if (!isKeyChar(c)) stripped += c;
    }
    return stripped;
}

std::string clsConvertRASOutputToXML::MakeTagName(std::string_view text) {
    std::string tag;
    if (!text.empty() && isAsciiDigit(text.front())) tag = "W";
    for (char c : text) tag += isKeyChar(c) ? '_' : c;
    tag.resize(std::min<std::size_t>(tag.size(), 10));
    while (!tag.empty() && tag.back() == '_') tag.pop_back();
    return tag;
}

void clsConvertRASOutputToXML::Reset() { m_profiles.clear(); }

bool clsConvertRASOutputToXML::AccessDLL(const std::string& TheSDF, const std::string& TheXML) {
    return ConvertToXMLFormat(TheSDF, TheXML);
}

bool clsConvertRASOutputToXML::ConvertToXMLFormat(const std::string& strInFileName,
                                                  const std::string& strOutFileName) {
    try {
        rejectSameFile(strInFileName, strOutFileName);
        LineReader in(strInFileName);
        XmlWriter out(strOutFileName);
        m_profileId.clear();
        out.line("<?xml version=\"1.0\"?>");
        out.open("RASOFile");
        bool sectionFound = false;
        std::string_view line;
        while (in.next(line)) {
            if (keyEquals(line, "BEGINHEADER:")) {
                ParseHeader(in, out);
            } else if (keyEquals(line, "BEGINCROSSSECTIONS:")) {
                ParseCrossSections(in, out);
            } else if (keyEquals(line, "BEGINBOUNDS:")) {
                ParseBounds(in, out);
            } else {
                continue;
            }
            sectionFound = true;
        }
        // Any file at all would convert to an empty document, while one without a section is
        // never what the user meant to convert (a UTF-16 export, the XML itself, an empty file).
        if (!sectionFound) {
            throw ConversionError(fmt::format("No SDF section found in \"{}\".", strInFileName));
        }
        out.close("RASOFile");
        out.finish();
        return true;
    } catch (const ConversionError& e) {
        showConversionError(e.what());
    } catch (const std::exception& e) {
        showConversionError(fmt::format("Converting \"{}\" failed: {}.", strInFileName, e.what()));
    }
    return false;
}

void clsConvertRASOutputToXML::ParseHeader(LineReader& in, XmlWriter& out) {
    ProjectionInfo projection;
    long profileCount = 0;
    bool headerEnded = false;
    out.open("Header");
    std::string_view line;
    while (!headerEnded && nextSectionLine(in, line, kHeaderEnd)) {
        // A header line without ":" carries nothing: only profile names come that way, and
        // those are read with their PROFILE NAMES line.
        KeyedLine keyed;
        if (!splitKeyedLine(line, keyed)) continue;
        if (keyEquals(keyed.key, "NUMBEROFPROFILES")) {
            profileCount = parseProfileCount(in, keyed.value);
            out.text("NUMBEROFPROFILES", fmt::format("{}", profileCount));
        } else if (keyEquals(keyed.key, "PROFILENAMES")) {
            headerEnded = !ParseProfileNames(in, out, profileCount);
        } else if (std::string* slot = projection.slotFor(keyed.key)) {
            *slot = keyed.value;
        } else {
            out.text(headerElementName(keyed.key), keyed.value);
        }
    }
    projection.write(out);
    out.close("Header");
}

bool clsConvertRASOutputToXML::ParseProfileNames(LineReader& in, XmlWriter& out, long count) {
    // A header that claims more profiles than it names must not swallow its own end line.
    bool headerGoesOn = true;
    out.open("Profiles");
    std::string_view line;
    for (long i = 0; i < count; ++i) {
        headerGoesOn = nextSectionLine(in, line, kHeaderEnd);
        if (!headerGoesOn) break;
        m_profiles.push_back(MakeTagName(line));
        out.text("Profile", m_profiles.back());
    }
    out.close("Profiles");
    return headerGoesOn;
}

void clsConvertRASOutputToXML::ParseCrossSections(LineReader& in, XmlWriter& out) {
    out.open("CrossSections");
    std::string_view line;
    while (nextSectionLine(in, line, kCrossSectionsEnd)) {
        if (keyEquals(line, "CROSSSECTION:")) ParseCrossSection(in, out);
    }
    out.close("CrossSections");
}

void clsConvertRASOutputToXML::ParseCrossSection(LineReader& in, XmlWriter& out) {
    OpenSubBlock subBlock;
    bool bankPositionsWritten = false;
    out.open("CrossSection");
    readBlock(in, out, kBlockEndOfCrossSection, subBlock, m_profileId, [&](const KeyedLine& keyed) {
        const std::string_view key = keyed.key;
        const std::string_view value = keyed.value;
        if (keyEquals(key, "STREAMID")) {
            out.element(kStreamID, {value});
        } else if (keyEquals(key, "REACHID")) {
            out.element(kReachID, {value});
        } else if (keyEquals(key, "STATION")) {
            out.element(kStation, {value});
        } else if (keyEquals(key, "PROFILEID")) {
            m_profileId = value;
        } else if (keyEquals(key, "BANKPOSITIONS")) {
            writeBankPositions(out, value);
            bankPositionsWritten = true;
        } else if (keyEquals(key, "WATERELEVATION")) {
            WriteWaterElevations(out, value);
        } else if (keyEquals(key, "CUTLINE")) {
            subBlock.open(out, kCutLine);
        } else if (keyEquals(key, "WATERSURFACEEXTENTS")) {
            subBlock.open(out, kWaterSurfaceExtents);
        } else if (keyEquals(key, "VELOCITIES")) {
            subBlock.open(out, kVelocities);
        }
    });
    subBlock.close(out);
    if (!bankPositionsWritten) writeBankPositions(out, {});
    out.close("CrossSection");
}

void clsConvertRASOutputToXML::WriteWaterElevations(XmlWriter& out, std::string_view values) const {
    // A line with fewer values than profiles leaves the missing ones empty, as a block without
    // bank positions does, so that every profile keeps its element.
    out.open("WaterElevations");
    for (const std::string& profile : m_profiles) {
        out.element(kWaterElevation, {profile, takeField(values)});
    }
    out.close("WaterElevations");
}

void clsConvertRASOutputToXML::ParseBounds(LineReader& in, XmlWriter& out) {
    out.open("Boundaries");
    std::string_view line;
    while (nextSectionLine(in, line, kBoundsEnd)) {
        if (keyEquals(line, "PROFILELIMITS:")) ParseProfileLimits(in, out);
    }
    out.close("Boundaries");
}

void clsConvertRASOutputToXML::ParseProfileLimits(LineReader& in, XmlWriter& out) {
    // Polygons opens with the first profile id only and closes only when opened, so a block
    // with two profile ids or none still gives balanced tags.
    OpenSubBlock polygon;
    bool polygonsOpen = false;
    out.open("ProfileLimits");
    readBlock(in, out, kBlockEndOfProfileLimits, polygon, {}, [&](const KeyedLine& keyed) {
        if (keyEquals(keyed.key, "PROFILEID")) {
            out.element(kProfileID, {MakeTagName(keyed.value)});
            if (!polygonsOpen) out.open("Polygons");
            polygonsOpen = true;
        } else if (keyEquals(keyed.key, "POLYGON")) {
            polygon.open(out, kPolygon);
        }
    });
    polygon.close(out);
    if (polygonsOpen) out.close("Polygons");
    out.close("ProfileLimits");
}

}  // namespace ondu
