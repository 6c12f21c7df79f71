#include "framework/host/host_application.h"

#include <gdal_priv.h>
#include <stdlib.h>

#include <system_error>

#include "framework/file_helpers.h"
#include "framework/host/ogr_workspace.h"

namespace ondu {

namespace fs = std::filesystem;

namespace {

fs::path freshCopyFolder() {
    const fs::path parent = workFolder();
    std::string pattern = (parent / "ondu-edit-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw HostError("Cannot create a folder for the edit session in " + parent.string());
    return pattern;
}

}  // namespace

Editor::~Editor() {
    removeCopies(copies_);
    removeCopies(discarded_);
}

void Editor::startEditing() {
    for (auto& d : map_.datasets()) {
        d->beginEdit();
        if (d->editing() || !d->writable()) continue;
        FileCopy copy{{}, freshCopyFolder()};
        char** names = d->handle()->GetFileList();
        for (char** name = names; name && *name; ++name) {
            const fs::path file(*name);
            std::error_code error;
            fs::copy_file(file, copy.folder / std::to_string(copy.files.size()), error);
            if (error) {
                CSLDestroy(names);
                copies_.push_back(std::move(copy));
                removeCopies(copies_);
                throw HostError("Cannot keep a copy of " + file.string() + ": " + error.message());
            }
            copy.files.push_back(file);
        }
        CSLDestroy(names);
        copies_.push_back(std::move(copy));
    }
    editing_ = true;
}

void Editor::stopEditing(bool save) {
    editing_ = false;
    for (auto& d : map_.datasets()) d->endEdit(save);
    if (save) {
        removeCopies(copies_);
    } else {
        for (auto& copy : copies_) discarded_.push_back(std::move(copy));
        copies_.clear();
    }
}

void Editor::restoreDiscardedFiles() {
    for (const auto& copy : discarded_)
        for (std::size_t i = 0; i < copy.files.size(); ++i) {
            std::error_code ignored;
            fs::copy_file(copy.folder / std::to_string(i), copy.files[i],
                          fs::copy_options::overwrite_existing, ignored);
        }
    removeCopies(discarded_);
}

void Editor::removeCopies(std::vector<FileCopy>& copies) {
    for (const auto& copy : copies) {
        std::error_code ignored;
        fs::remove_all(copy.folder, ignored);
    }
    copies.clear();
}

namespace {
std::unique_ptr<MapDocument> orEmpty(std::unique_ptr<MapDocument> map) {
    return map ? std::move(map) : std::make_unique<MapDocument>();
}
}  // namespace

HostApplication::HostApplication(std::unique_ptr<MapDocument> map)
    : map_(orEmpty(std::move(map))), editor_(*map_) {}

HostApplication::~HostApplication() {
    // Work stored in an edit session that nobody closed is kept, as the host would on exit.
    if (editor_.editState() > 0) editor_.stopEditing(true);
    if (editor_.hasDiscardedFiles()) {
        map_.reset();  // closes the datasets, so that their files can be put back
        editor_.restoreDiscardedFiles();
    }
}

IExtension* HostApplication::findExtension(const std::string& name) {
    return name == IEditor::kName ? &editor_ : nullptr;
}

}  // namespace ondu
