#pragma once
// The host application inside QGIS: the project as the map document, and QGIS's edit buffers as
// the edit session.
//
// The edit session is QGIS's: the editor reports "editing" while any vector layer of the project
// is in editing mode. A command's writes to a layer in editing mode go into its edit buffer as
// one undo step, which the user saves, undoes or discards with QGIS's own buttons. A layer not in
// editing mode is opened for the command and committed when the command completes. A command
// that fails or is cancelled leaves every layer as it was: its undo steps are undone and the
// layers it opened are rolled back.

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "apps/qgis/qgis_map.h"
#include "framework/host_operations.h"

class QgsProject;
class QgsVectorLayer;

namespace ondu::qgis {

class QgisEditor : public IEditor {
public:
    explicit QgisEditor(QgsProject& project) : project_(project) {}
    /// 1 while any vector layer of the project is in editing mode, else 0.
    int editState() const override;

    /// Called before anything is written to the layer: during a command, the first write opens
    /// the layer's undo step (and its editing mode when it was not editing). Outside a command,
    /// only a layer in editing mode takes writes; throws HostError for any other.
    void aboutToWrite(QgsVectorLayer& layer);

    /// Commands run between beginRun and finishRun; they may nest (a dialog whose OK opens the
    /// next), each finishing the layers first written during it.
    std::size_t beginRun();
    /// Keeps (completed) or undoes what was written since the run began. Layers the run opened
    /// are committed or rolled back. Answers the errors of commits that failed, "layer: error".
    std::vector<std::string> finishRun(std::size_t run, bool completed);

private:
    struct Written {
        QPointer<QgsVectorLayer> layer;
        bool openedByRun;
    };
    QgsProject& project_;
    std::vector<Written> written_;
    int openRuns_ = 0;
};

/// One command's run on the editor: what it wrote is undone unless finish(true) is called.
class EditRun {
public:
    explicit EditRun(QgisEditor& editor) : editor_(editor), run_(editor.beginRun()) {}
    ~EditRun();
    EditRun(const EditRun&) = delete;
    EditRun& operator=(const EditRun&) = delete;
    /// Ends the run; failed commits are shown as one message box.
    void finish(bool completed);

private:
    QgisEditor& editor_;
    std::size_t run_;
    bool finished_ = false;
};

class QgisApplication : public IApplication {
public:
    explicit QgisApplication(QgsProject& project) : editor_(project), map_(project, editor_) {}
    IDocument& document() override { return map_; }
    IExtension* findExtension(const std::string& name) override {
        return name == IEditor::kName ? &editor_ : nullptr;
    }
    QgisEditor& editor() { return editor_; }
    QgisMap& map() { return map_; }

private:
    QgisEditor editor_;
    QgisMap map_;
};

}  // namespace ondu::qgis
