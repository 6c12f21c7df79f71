#include "framework/host/host_application.h"

namespace ondu {

void Editor::startEditing() {
    for (auto& d : map_.datasets()) d->beginEdit();
    editing_ = true;
}

void Editor::stopEditing(bool save) {
    editing_ = false;
    for (auto& d : map_.datasets()) d->endEdit(save);
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
}

IExtension* HostApplication::findExtension(const std::string& name) {
    return name == IEditor::kName ? &editor_ : nullptr;
}

}  // namespace ondu
