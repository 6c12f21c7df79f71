// Fuzzes the geometry-file writer with channel-geometry documents parsed from the input.
// Properties: the writer's own RasExportError is the only error that leaves it; the file is
// CR LF lines; and every coordinate, station/elevation and Manning line, in a complete file or
// in the records written before an error, holds exactly its promised fields, each of its full
// width and each one finite number, since the model reads those lines by column.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/hecras_geometry_file.h"
#include "fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using ondu::fuzz::check;

/// The lines in columns that follow a line beginning with `countLine`: `pairsPerLine` pairs
/// of `width`-character fields per line, as many pairs as the count after the prefix says;
/// or, where `fixedFields` is set, one line of that many fields.
struct ColumnLines {
    std::string_view countLine;
    std::size_t pairsPerLine;
    std::size_t width;
    std::size_t fixedFields;
};

constexpr ColumnLines kColumnLines[] = {
    {"Reach XY= ", 2, 16, 0},
    {"XS GIS Cut Line=", 2, 16, 0},
    {"#Sta/Elev= ", 5, 8, 0},
    {"#Mann= ", 0, 8, 9},
};

/// The fields of each column line that `line` announces; empty when it announces none.
std::vector<std::size_t> announcedFields(std::string_view line, std::size_t& width) {
    for (const ColumnLines& columns : kColumnLines) {
        if (!line.starts_with(columns.countLine)) continue;
        width = columns.width;
        if (columns.fixedFields > 0) return {columns.fixedFields};
        const std::string_view count = line.substr(columns.countLine.size());
        std::size_t pairs = 0;
        const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), pairs);
        check(error == std::errc{} && end == count.data() + count.size(),
              "a column count is no whole number: " + std::string(line));
        std::vector<std::size_t> fields;
        for (; pairs > 0; pairs -= std::min(pairs, columns.pairsPerLine)) {
            fields.push_back(2 * std::min(pairs, columns.pairsPerLine));
        }
        return fields;
    }
    return {};
}

void checkColumnLine(std::string_view line, std::size_t fields, std::size_t width) {
    const std::string shown(line);
    check(line.size() == fields * width, "a column line is not " + std::to_string(fields) +
                                             " fields of " + std::to_string(width) +
                                             " characters: \"" + shown + "\"");
    for (std::size_t at = 0; at < line.size(); at += width) {
        std::string_view field = line.substr(at, width);
        field.remove_prefix(std::min(field.find_first_not_of(' '), field.size()));
        double value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        check(!field.empty() && error == std::errc{} && end == field.data() + field.size() &&
                  std::isfinite(value),
              "a column field is not one finite number: \"" + shown + "\"");
    }
}

/// The file's lines, each checked to end with CR LF and to hold no other line break.
std::vector<std::string_view> crLfLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        check(end != std::string_view::npos, "the file's last line has no CR LF");
        lines.push_back(text.substr(0, end));
        check(lines.back().find_first_of("\r\n") == std::string_view::npos,
              "a line holds a line break of its own");
        text.remove_prefix(end + 2);
    }
    return lines;
}

/// Checks every column line of the file; a file cut short by an error may end before the
/// column lines its last count line announced.
void checkColumnLines(std::string_view text, bool complete) {
    const std::vector<std::string_view> lines = crLfLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::size_t width = 0;
        for (const std::size_t fields : announcedFields(lines[i], width)) {
            if (i + 1 == lines.size()) {
                check(!complete, "the file ends before the column lines announced");
                return;
            }
            checkColumnLine(lines[++i], fields, width);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pugi::xml_document document;
    if (!document.load_buffer(data, size, ondu::kChannelGeometryParseOptions)) return 0;
    const fs::path output = ondu::fuzz::scratchFolder() / "out.g01";
    fs::remove(output);
    bool complete = true;
    try {
        ondu::writeGeometryFile(document, output.string(), "Dec/7/2026 1:02:03 PM");
    } catch (const ondu::RasExportError&) {
        complete = false;
    }
    if (fs::exists(output)) checkColumnLines(ondu::fuzz::readFile(output), complete);
    return 0;
}
