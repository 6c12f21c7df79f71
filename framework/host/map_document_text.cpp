#include "framework/host/map_document_text.h"

#include <nlohmann/json.hpp>

namespace ondu {

namespace {

LayerKind layerKindOf(const std::string& kind) {
    if (kind == "raster") return LayerKind::Raster;
    if (kind == "tin") return LayerKind::Tin;
    if (kind == "feature") return LayerKind::Feature;
    throw HostError("unknown layer kind \"" + kind + "\"");
}

MapDocumentText interpret(const nlohmann::json& doc, const std::filesystem::path& folder) {
    if (!doc.is_object()) throw HostError("the document is not a JSON object");
    auto resolve = [&](const std::string& source) {
        return (folder / source).lexically_normal().string();
    };
    MapDocumentText text;
    text.name = doc.value("name", "");
    for (const auto& l : doc.value("layers", nlohmann::json::array()))
        text.layers.push_back({l.at("name").get<std::string>(),
                               resolve(l.at("source").get<std::string>()),
                               layerKindOf(l.value("kind", "feature")), l.value("table", "")});
    for (const auto& t : doc.value("tables", nlohmann::json::array()))
        text.tables.push_back({resolve(t.at("source").get<std::string>()), t.value("table", "")});
    const nlohmann::json selections = doc.value("selections", nlohmann::json::object());
    if (!selections.is_object()) throw HostError("the selections are not a JSON object");
    for (const auto& [layer, ids] : selections.items()) {
        std::vector<long long> oids;
        for (const auto& id : ids.get<std::vector<nlohmann::json>>()) {
            // JSON would round 1.5 to 1: an object id is a whole number or nothing.
            if (!id.is_number_integer())
                throw HostError("the selection of " + layer + " holds " + id.dump() +
                                ", which is no object id");
            oids.push_back(id.get<long long>());
        }
        text.selections.emplace_back(layer, std::move(oids));
    }
    return text;
}

}  // namespace

MapDocumentText readMapDocumentText(std::string_view text, const std::filesystem::path& folder,
                                    const std::string& path) {
    try {
        return interpret(nlohmann::json::parse(text), folder);
    } catch (const nlohmann::json::exception& e) {
        throw HostError("cannot read map document " + path + ": " + e.what());
    } catch (const HostError& e) {
        throw HostError("cannot read map document " + path + ": " + e.what());
    }
}

}  // namespace ondu
