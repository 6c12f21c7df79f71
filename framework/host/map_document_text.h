#pragma once
// The JSON map document as text: what it names (layers, stand-alone tables, selections), read
// without opening anything, so that every document a user writes is checked in one place.
//
//   {"name": "Bald Eagle",
//    "layers": [{"name": "CenterLine", "source": "river.gpkg", "table": "CenterLine"},
//               {"name": "Terrain", "source": "dem.tif", "kind": "raster"}],
//    "tables": [{"source": "river.gpkg", "table": "FlowTable"}],
//    "selections": {"CenterLine": [1, 2]}}

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/host_operations.h"

namespace ondu {

struct MapDocumentText {
    struct Layer {
        std::string name;
        std::string source;  ///< resolved against the document's folder
        LayerKind kind = LayerKind::Feature;
        std::string table;  ///< feature layers: the table in the source ("" for its first)
    };
    struct Table {
        std::string source;
        std::string table;
    };
    std::string name;  ///< empty when the document names none
    std::vector<Layer> layers;
    std::vector<Table> tables;
    std::vector<std::pair<std::string, std::vector<long long>>> selections;
};

/// Reads a map document's text; relative sources are resolved against `folder`. Throws HostError
/// naming `path` and what is wrong for text that is no JSON, a member of the wrong type, a layer
/// without name or source, an unknown layer kind or an object id that is no whole number.
MapDocumentText readMapDocumentText(std::string_view text, const std::filesystem::path& folder,
                                    const std::string& path);

}  // namespace ondu
