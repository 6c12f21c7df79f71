#pragma once
// The host application on GDAL/OGR: a map document and the editor whose edit session is one
// transaction per dataset of the map.

#include <memory>

#include "framework/host/map_document.h"

namespace ondu {

class Editor : public IEditor {
public:
    explicit Editor(MapDocument& map) : map_(map) {}
    int editState() const override { return editing_ ? 1 : 0; }
    /// Opens a transaction on every dataset of the map.
    void startEditing();
    /// Commits (save) or rolls back every dataset's transaction.
    void stopEditing(bool save);

private:
    MapDocument& map_;
    bool editing_ = false;
};

class HostApplication : public IApplication {
public:
    /// An application over a map; without one, over an empty map.
    explicit HostApplication(std::unique_ptr<MapDocument> map = nullptr);
    ~HostApplication() override;

    IDocument& document() override { return *map_; }
    IExtension* findExtension(const std::string& name) override;
    MapDocument& map() { return *map_; }
    Editor& editor() { return editor_; }

private:
    std::unique_ptr<MapDocument> map_;
    Editor editor_;
};

}  // namespace ondu
