#pragma once
// Turns a channel-geometry XML document (root ChannelGeometry) into a HEC-RAS geometry file: a
// header, one junction record per junction, one river-reach record per reach followed by one
// cross-section record per cross-section of that reach.
//
// The model reads the coordinate and station/elevation lines by column, values filling their
// fields with nothing between them. A value whose fixed text is wider than its field would shift
// every later value on its line, so such a value loses decimals until it fits (10234.5678 in an
// 8-character field is written "10234.57"), as the model does in the files it writes itself; a
// value whose whole part alone is too wide stops the conversion with an error.

#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "exchange/hecras_project_files.h"

namespace ondu {

/// A check of the dialog's inputs failed: `what()` is the text to show in a message box titled
/// `title()`; the dialog stays open.
class RasInputRefused : public HostError {
public:
    RasInputRefused(const std::string& text, std::string title)
        : HostError(text, error_number::kGeneric, std::move(title)) {}
    const std::string& title() const { return context(); }
};

/// How channel-geometry documents are parsed. Only attribute values are read: entities must be
/// replaced and whitespace in values becomes blanks as XML has it, while the text, CDATA and
/// line-end handling of pugixml's defaults would only cost time.
inline constexpr unsigned kChannelGeometryParseOptions =
    pugi::parse_escapes | pugi::parse_wconv_attribute;

/// The dialog's checks in the order the user meets them, then the loaded document. Throws
/// RasInputRefused with "Specify the input file" or "Specify the output file" (titled "Warning")
/// for an empty path, and with "Cannot open 'INPUT' file" (titled "Error opening File") when the
/// input does not load as an XML document.
pugi::xml_document loadChannelGeometry(const std::string& inputPath, const std::string& outputPath);

/// Writes the geometry file of `channelGeometry` at `outputPath`, created anew, with `dateTime`
/// as the last-edited time of every cross-section. The document is read as the file is written:
/// a missing element or attribute, a value that is not a number, a text that 8-bit text cannot
/// carry or a file that cannot be written throws RasExportError naming the element and, where
/// known, the reach and station, and leaves the records already written in the file. A second
/// thread reads and formats every other batch of a long reach's cross-sections; the file and the
/// error are those that reading them in order gives.
void writeGeometryFile(const pugi::xml_document& channelGeometry, const std::string& outputPath,
                       std::string_view dateTime);

/// The dialog's OK: `loadChannelGeometry`, `writeGeometryFile` with the current `GetDateTime`,
/// then, when `createHecRasFiles`, `writeHecRasProjectFiles` beside the geometry file. Every file
/// is written under a temporary name and renamed into place once all are written, so a failure
/// leaves the files as they were. Refuses (RunRefused, before anything is written) an output that
/// is the input file, the input among the project, plan and flow files included. Throws
/// RasInputRefused or RasExportError as those do.
void convertXmlToGeometryFile(const std::string& inputPath, const std::string& outputPath,
                              bool createHecRasFiles);

}  // namespace ondu
