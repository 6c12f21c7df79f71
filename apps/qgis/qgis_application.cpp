#include "apps/qgis/qgis_application.h"

#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include "framework/ui.h"

namespace ondu::qgis {

int QgisEditor::editState() const {
    for (QgsMapLayer* layer : project_.mapLayers())
        if (auto* vector = qobject_cast<QgsVectorLayer*>(layer); vector && vector->isEditable())
            return 1;
    return 0;
}

void QgisEditor::aboutToWrite(QgsVectorLayer& layer) {
    for (const auto& w : written_)
        if (w.layer == &layer) return;
    if (openRuns_ == 0) {
        if (layer.isEditable()) return;
        throw HostError("Layer " + layer.name().toStdString() + " is not in editing mode");
    }
    const bool opening = !layer.isEditable();
    if (opening && !layer.startEditing())
        throw HostError("Layer " + layer.name().toStdString() + " cannot be edited");
    layer.beginEditCommand(QStringLiteral("ONDU"));
    written_.push_back({&layer, opening});
}

std::size_t QgisEditor::beginRun() {
    ++openRuns_;
    return written_.size();
}

std::vector<std::string> QgisEditor::finishRun(std::size_t run, bool completed) {
    std::vector<std::string> errors;
    --openRuns_;
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
