#include "apps/qgis/qgis_application.h"

#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <algorithm>

#include "framework/commands.h"
#include "framework/ui.h"

namespace ondu::qgis {

namespace {
bool gatedOnEditSession(const CommandInfo* command) {
    return command && (command->pattern == ClickPattern::EditGatedModal ||
                       command->pattern == ClickPattern::EditGatedModeless);
}
}  // namespace

int QgisEditor::editState() const {
    for (QgsMapLayer* layer : project_.mapLayers())
        if (auto* vector = qobject_cast<QgsVectorLayer*>(layer); vector && vector->isEditable())
            return 1;
    return 0;
}

void QgisEditor::aboutToWrite(QgsVectorLayer& layer) {
    for (const auto& w : written_)
        if (w.layer == &layer) return;
    if (runs_.empty()) {
        if (layer.isEditable()) return;
        throw HostError("Layer " + layer.name().toStdString() + " is not in editing mode");
    }
    const bool opening = !layer.isEditable();
    if (opening && gatedOnEditSession(runs_.back().command) && !createdByRun(layer)) {
        // The whole run is refused, even when the tool carries on past this write.
        for (Run& run : runs_) run.refused = true;
        throw RunRefused(kEditSessionMessage, std::string(runs_.back().command->gateTitle));
    }
    if (opening && !layer.startEditing())
        throw HostError("Layer " + layer.name().toStdString() + " cannot be edited");
    layer.beginEditCommand(QStringLiteral("ONDU"));
    written_.push_back({&layer, opening});
}

std::size_t QgisEditor::beginRun(const CommandInfo* command) {
    runs_.push_back({command});
    return written_.size();
}

void QgisEditor::runCreated(QgsVectorLayer& layer, std::function<void()> discard) {
    if (runs_.empty()) return;
    created_.push_back({&layer,
                        [discard = std::move(discard)](bool completed) {
                            if (!completed) discard();
                        },
                        runs_.size()});
}

void QgisEditor::atRunEnd(std::function<void(bool completed)> finish) {
    if (runs_.empty()) return finish(true);
    created_.push_back({nullptr, std::move(finish), runs_.size()});
}

bool QgisEditor::createdByRun(const QgsVectorLayer& layer) const {
    return std::any_of(created_.begin(), created_.end(),
                       [&](const Created& c) { return c.layer == &layer; });
}

void QgisEditor::finishCreated(bool completed, std::vector<std::string>& errors) {
    while (!created_.empty() && created_.back().depth > runs_.size()) {
        Created c = std::move(created_.back());
        created_.pop_back();
        if (!completed && c.layer) project_.removeMapLayer(c.layer.data());
        try {
            c.finish(completed);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    }
}

const CommandInfo* QgisEditor::command() const {
    return runs_.empty() ? clicked_ : runs_.back().command;
}

bool QgisEditor::admitsReport() {
    if (runs_.empty() || !runs_.back().refused) return true;
    const bool first = !runs_.back().refusalReported;
    for (Run& run : runs_) run.refusalReported = true;
    return first;
}

std::vector<std::string> QgisEditor::finishRun(std::size_t run, bool completed) {
    std::vector<std::string> errors;
    if (!runs_.empty()) {
        completed = completed && !runs_.back().refused;
        runs_.pop_back();
    }
    while (written_.size() > run) {
        Written w = written_.back();
        written_.pop_back();
        if (!w.layer) continue;  // deleted by QGIS meanwhile
        if (completed) {
            w.layer->endEditCommand();
            if (w.openedByRun && !w.layer->commitChanges()) {
                for (const QString& e : w.layer->commitErrors())
                    errors.push_back(w.layer->name().toStdString() + ": " + e.toStdString());
                w.layer->rollBack();  // what could not be saved is not left pending either
            }
        } else {
            w.layer->destroyEditCommand();
            if (w.openedByRun) w.layer->rollBack();
        }
        w.layer->triggerRepaint();
    }
    finishCreated(completed && errors.empty(), errors);  // a copy whose save failed is not kept
    return errors;
}

EditRun::~EditRun() {
    if (!finished_) editor_.finishRun(run_, false);
}

void EditRun::finish(bool completed) {
    finished_ = true;
    std::string failures;
    for (const auto& e : editor_.finishRun(run_, completed)) failures += e + "\n";
    if (!failures.empty())
        MsgBox("The results could not be saved:\n" + failures, MsgButtons::OK, "ONDU",
               MsgIcon::Critical);
}

}  // namespace ondu::qgis
