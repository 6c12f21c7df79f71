#pragma once
// The host application on GDAL/OGR: a map document and the editor whose edit session is one
// transaction per dataset of the map.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/host/map_document.h"

namespace ondu {

/// The edit session over every dataset of a map. Stores with transactions (GeoPackage) get one
/// each; the files of writable stores without them (Shapefile) are copied aside when the session
/// starts, so that discarding the session can put them back once the map has closed them.
class Editor : public IEditor {
public:
    explicit Editor(MapDocument& map) : map_(map) {}
    ~Editor() override;
    int editState() const override { return editing_ ? 1 : 0; }
    /// Opens a transaction on every dataset of the map (a copy of the files where there is none).
    void startEditing();
    /// Commits (save) or rolls back every dataset's transaction. Datasets without transactions
    /// are put back from their copies by restoreDiscardedFiles, after the map is closed.
    void stopEditing(bool save);
    /// Whether a discarded session left files to put back.
    bool hasDiscardedFiles() const { return !discarded_.empty(); }
    /// Copies the files of the discarded session back over the datasets' files; call it only
    /// once the map has closed them.
    void restoreDiscardedFiles();

private:
    struct FileCopy {
        std::vector<std::filesystem::path> files;
        std::filesystem::path folder;
    };
    void removeCopies(std::vector<FileCopy>& copies);

    MapDocument& map_;
    bool editing_ = false;
    std::vector<FileCopy> copies_;     ///< of the running session
    std::vector<FileCopy> discarded_;  ///< of a discarded session, to be put back
};

class HostApplication : public IApplication {
public:
    /// An application over a map; without one, over an empty map.
    explicit HostApplication(std::unique_ptr<MapDocument> map = nullptr);
    /// Saves a session nobody closed; puts back the files of a discarded one.
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
