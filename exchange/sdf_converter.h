#pragma once
// Turns a HEC-RAS spatial data file (SDF), the model's GIS export of its results, into the
// RASOFile XML document: header, cross-sections with their results, profile-limit polygons.

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ondu {

namespace sdf {
class LineReader;
class XmlWriter;
}  // namespace sdf

/// SDF-to-XML converter, public so that other programs can call it.
///
/// The conversion streams: each input line is read once and each output line written as soon
/// as it is known, so memory use does not grow with the file size. The output is 8-bit text
/// with CR LF line ends; the input may end its lines with LF, CR LF or a lone CR (old Mac files).
///
/// Values are XML-escaped; bytes that are not well-formed UTF-8 are taken as Latin-1 and written
/// as character references, control characters other than tab as U+FFFD, so the output is
/// well-formed whatever the input holds.
///
/// Where the format leaves room: a header key that is no XML name is made one (characters other
/// than letters, digits, "_" and "." become "_", and "W" goes in front of a name that would not
/// start with a letter or "_"); a WATER ELEVATION line with fewer values than profiles gives the
/// remaining profiles an empty value; blank lines, and header lines without ":" other than
/// profile names, carry nothing; a header that names fewer profiles than it counts still ends at
/// its END HEADER line, and an empty NUMBER OF PROFILES counts as 0; a profile-limits block
/// opens Polygons once, at its first PROFILE ID. The profile id of velocity lines carries over
/// from block to block within one conversion.
class clsConvertRASOutputToXML {
public:
    /// Empties the profile list. A conversion never empties it: a second conversion on the same
    /// object appends the profiles of its header to those of the first, and its water
    /// elevations are then written for every profile of the list.
    void Reset();

    /// Converts the SDF file at TheSDF into the XML file at TheXML (replaced when it exists).
    /// @return the result of ConvertToXMLFormat.
    bool AccessDLL(const std::string& TheSDF, const std::string& TheXML);

    /// Converts the SDF file strInFileName into the XML file strOutFileName.
    ///
    /// A failure (input not readable, output not writable or the input itself, an input holding
    /// no section at all, a data line with too few values, an input that ends inside a section)
    /// is shown in a message box titled "Error in ConvertToXMLFormat" whose text names the file
    /// and, where one is to blame, the line. The output file appears only when the conversion
    /// succeeds: a failed one leaves no partial XML behind and an existing output file as it was.
    /// An input without a BEGIN HEADER, BEGIN CROSS-SECTIONS or BEGIN BOUNDS line (a UTF-16 or an
    /// XML file, plain text, an empty file) is no SDF file: "No SDF section found in" the file.
    /// @return true when the whole input was converted and the output file written.
    bool ConvertToXMLFormat(const std::string& strInFileName, const std::string& strOutFileName);

    /// The text with every " ", "-" and "#" removed ("CROSS-SECTION" gives "CROSSSECTION").
    static std::string StripKeyChars(std::string_view text);

    /// The text as a profile tag: "W" in front of a leading digit, " ", "-" and "#" replaced by
    /// "_", at most 10 characters, no trailing "_" ("PF 1" gives "PF_1", "100-yr flood" gives
    /// "W100_yr_fl"). The tag is written as a value, never as an element name.
    static std::string MakeTagName(std::string_view text);

private:
    void ParseHeader(sdf::LineReader& in, sdf::XmlWriter& out);
    bool ParseProfileNames(sdf::LineReader& in, sdf::XmlWriter& out, long count);
    void ParseCrossSections(sdf::LineReader& in, sdf::XmlWriter& out);
    void ParseCrossSection(sdf::LineReader& in, sdf::XmlWriter& out);
    void WriteWaterElevations(sdf::XmlWriter& out, std::string_view values) const;
    void ParseBounds(sdf::LineReader& in, sdf::XmlWriter& out);
    void ParseProfileLimits(sdf::LineReader& in, sdf::XmlWriter& out);

    std::vector<std::string> m_profiles;  ///< profile tags, in header order, across conversions
    std::string m_profileId;              ///< profile of the velocity lines that follow
};

// The line-oriented files the converter streams through, public so that a benchmark can copy a
// file through the very same reading and writing.
namespace sdf {

/// The reader and the writer move their files through stdio in chunks of this size. A build
/// may make it small (the fuzz harnesses' does) so that short inputs cross many chunk ends.
#ifdef ONDU_SDF_CHUNK_BYTES
inline constexpr std::size_t kChunkBytes = ONDU_SDF_CHUNK_BYTES;
#else
inline constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
#endif

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

/// Reads a text file one line at a time through a chunk buffer, which grows only for a line
/// longer than itself: memory use does not depend on the file size.
class LineReader {
public:
    /// Opens the file; throws std::runtime_error with a message naming it when it cannot.
    explicit LineReader(const std::string& path);

    /// The next line without its LF, CR LF or CR end and trimmed of blanks and tabs; false at
    /// the end of the file. The view stays valid until the next call. Throws on a read error.
    bool next(std::string_view& line);

    /// One-based number of the line last returned.
    long lineNumber() const { return m_lineNumber; }
    const std::string& path() const { return m_path; }

private:
    bool deliver(std::string_view raw, std::string_view& line);
    void refill();

    std::string m_path;
    std::unique_ptr<std::FILE, FileCloser> m_file;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
    long m_lineNumber = 0;
};

/// How an element with attributes ends: "/>", or " />" (LeftBank, RightBank, WaterElevation).
enum class Closing { Tight, Spaced };

/// An element with attributes whose names are fixed, rendered once into the text between its
/// values: writing one then costs a copy per part, however often the element repeats.
class ElementForm {
public:
    ElementForm(std::string_view name, std::initializer_list<std::string_view> attributeNames,
                Closing closing = Closing::Tight);

    const std::string& name() const { return m_name; }
    std::size_t attributeCount() const { return m_parts.size() - 1; }
    /// Part i comes before value i; the last part ends the line.
    const std::string& part(std::size_t i) const { return m_parts[i]; }
    std::size_t fixedSize() const { return m_fixedSize; }

private:
    std::string m_name;
    std::vector<std::string> m_parts;
    std::size_t m_fixedSize = 0;
};

/// Writes an XML document one line at a time, each ended by CR LF, through a chunk buffer.
/// Values are escaped; names are written as given.
///
/// The lines go to a new file beside the target (beside the file a link points to), which
/// `finish` puts in the target's place: a writer destroyed unfinished, as in a failed
/// conversion, removes it, leaving no partial document and an existing target as it was. A
/// target that is no regular file (a device, a pipe) cannot be replaced that way and is written
/// directly.
class XmlWriter {
public:
    /// Creates the file the lines go to; throws std::runtime_error naming the target when it
    /// cannot.
    explicit XmlWriter(const std::string& path);
    /// Removes the unfinished file.
    ~XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    /// The text as it stands, unescaped.
    void line(std::string_view text);
    /// "<name>"
    void open(std::string_view name);
    /// "</name>"
    void close(std::string_view name);
    /// "<name>value</name>"
    void text(std::string_view name, std::string_view value);
    /// "<name a="v" .../>": the form with one value per attribute.
    void element(const ElementForm& form, std::span<const std::string_view> values);
    void element(const ElementForm& form, std::initializer_list<std::string_view> values) {
        element(form, std::span<const std::string_view>(values.begin(), values.size()));
    }

    /// Stores what is buffered, closes the file and puts it in the target's place; throws
    /// std::runtime_error naming the target when anything written could not be stored.
    void finish();

private:
    char* reserve(std::size_t bytes);
    void commit(const char* end) { m_used = static_cast<std::size_t>(end - m_buffer.data()); }
    void flush();
    [[noreturn]] void failWrite();

    std::string m_path;         ///< the target as given, for messages
    std::string m_targetPath;   ///< the file `finish` replaces
    std::string m_writtenPath;  ///< the file the lines go to
    bool m_staged = false;      ///< the lines go to a file beside the target, not yet in place
    std::unique_ptr<std::FILE, FileCloser> m_file;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
};

}  // namespace sdf

}  // namespace ondu
