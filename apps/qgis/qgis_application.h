#pragma once
// The host application inside QGIS: the project as the map document, and QGIS's edit buffers as
// the edit session.
//
// The edit session is QGIS's: the editor reports "editing" while any vector layer of the project
// is in editing mode. A command's writes to a layer in editing mode go into its edit buffer as
// one undo step, which the user saves, undoes or discards with QGIS's own buttons. A command that
// the catalogue gates on the edit session writes only into layers in editing mode: its first
// write to any other layer refuses the run with the command's edit-session message. Other
// commands open a layer not in editing mode for the run and commit it when the run completes. A
// run that fails, is refused or is cancelled leaves every layer as it was: its undo steps are
// undone and the layers it opened are rolled back.

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/qgis/qgis_map.h"
#include "framework/host_operations.h"

class QgsProject;
class QgsVectorLayer;

namespace ondu {
struct CommandInfo;
}

namespace ondu::qgis {

class QgisEditor : public IEditor {
public:
    explicit QgisEditor(QgsProject& project) : project_(project) {}
    /// 1 while any vector layer of the project is in editing mode, else 0.
    int editState() const override;

    /// Called before anything is written to the layer: during a command, the first write opens
    /// the layer's undo step (and its editing mode when it was not editing and the command is
    /// not gated on the edit session). A gated command's write to a layer not in editing mode
    /// throws RunRefused with the command's edit-session message and title, and the run can no
    /// longer complete. Outside a command, only a layer in editing mode takes writes; throws
    /// HostError for any other.
    void aboutToWrite(QgsVectorLayer& layer);

    /// Commands run between beginRun and finishRun; they may nest (a dialog whose OK opens the
    /// next), each finishing the layers first written during it. `command` is the catalogue
    /// entry of the command that runs (nullptr: one that is not gated).
    std::size_t beginRun(const CommandInfo* command = nullptr);
    /// Keeps (completed) or undoes what was written since the run began. Layers the run opened
    /// are committed or rolled back. A run whose write was refused is undone whatever
    /// `completed` says. Answers the errors of commits that failed, "layer: error".
    std::vector<std::string> finishRun(std::size_t run, bool completed);

    /// A layer the running command created: the run may open it for editing even when its
    /// command is gated on the edit session. A run that does not complete takes the layer out
    /// of the project and calls `discard` to delete what the layer shows. Outside a run the
    /// layer is an ordinary project layer.
    void runCreated(QgsVectorLayer& layer, std::function<void()> discard);
    /// What the running command leaves to do when it ends, on data beside the layers:
    /// `finish(true)` when it completes, `finish(false)` when it does not (after its layers were
    /// rolled back and the ones it created left the project). Outside a run, finish(true) is
    /// called at once.
    void atRunEnd(std::function<void(bool completed)> finish);

    /// The command that runs (the innermost run's), else the one being clicked; nullptr for
    /// none. The windows a command opens take it for their runs.
    const CommandInfo* command() const;

    /// Whether the running command may report something: always, except after its run was
    /// refused, when only the first report (the refusal) is let through. Tools that report a
    /// failed step and carry on would otherwise report every later write refused too, and then
    /// their completion.
    bool admitsReport();

    /// The command whose click is being handled, for as long as the scope lives.
    class ClickScope {
    public:
        ClickScope(QgisEditor& editor, const CommandInfo& command)
            : editor_(editor), previous_(editor.clicked_) {
            editor.clicked_ = &command;
        }
        ~ClickScope() { editor_.clicked_ = previous_; }
        ClickScope(const ClickScope&) = delete;
        ClickScope& operator=(const ClickScope&) = delete;

    private:
        QgisEditor& editor_;
        const CommandInfo* previous_;
    };

private:
    struct Written {
        QPointer<QgsVectorLayer> layer;
        bool openedByRun;
    };
    struct Created {
        QPointer<QgsVectorLayer> layer;  ///< null for data that no layer of the run shows
        std::function<void(bool completed)> finish;
        std::size_t depth;  ///< of the run that created it, counted from 1
    };
    bool createdByRun(const QgsVectorLayer& layer) const;
    /// Finishes what the runs deeper than the ones left created, latest first; when `completed`
    /// is false their layers leave the project. Failures go to `errors`.
    void finishCreated(bool completed, std::vector<std::string>& errors);

    struct Run {
        const CommandInfo* command;
        bool refused = false;
        bool refusalReported = false;
    };
    QgsProject& project_;
    std::vector<Written> written_;
    std::vector<Run> runs_;
    std::vector<Created> created_;
    const CommandInfo* clicked_ = nullptr;
};

/// One command's run on the editor: what it wrote is undone unless finish(true) is called.
class EditRun {
public:
    explicit EditRun(QgisEditor& editor, const CommandInfo* command = nullptr)
        : editor_(editor), run_(editor.beginRun(command)) {}
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
