#pragma once
// The user-interface services inside QGIS: Qt message, question and input boxes with the
// tools' titles and texts, QFileDialog for file choices, the generated windows for dialogs, and
// the QGIS status bar for progress, where Escape asks the run to stop.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressBar>

#include "framework/ui.h"

class QgsStatusBar;
class QWidget;

namespace ondu {
struct CommandInfo;
}

namespace ondu::qgis {

class QgisEditor;

/// Progress on the QGIS status bar (a bar of its own where there is none, as in tests). A run
/// lets the window system deliver pending events when it steps or asks `cancelled()`; Escape
/// among them asks the run to stop, and other keyboard and mouse input is dropped, so that no
/// second command starts inside a running one. The cancel request holds until the next
/// command starts (startCommand) or the next progress is shown.
class StatusBarProgress : public QObject, public IProgressBar {
    Q_OBJECT
public:
    explicit StatusBarProgress(QgsStatusBar* statusBar);
    ~StatusBarProgress() override;
    void show(const std::string& message, long minimum, long maximum, long step) override;
    void stepIt() override;
    void hide() override;
    /// Lets the window system deliver what is pending (Escape among it), then answers.
    bool cancelled() override;

    /// A new command starts: an earlier Escape is forgotten.
    void startCommand() {
        cancelRequested_ = false;
        sinceEvents_.invalidate();
    }
    QProgressBar& bar() { return *bar_; }
    bool visible() const { return visible_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void deliverPendingEvents();

    QPointer<QgsStatusBar> statusBar_;
    QPointer<QProgressBar> bar_;
    long step_ = 1;
    bool visible_ = false;
    bool delivering_ = false;
    bool cancelRequested_ = false;
    QElapsedTimer sinceEvents_;
};

class QtUserInterface : public IUserInterface {
public:
    /// Boxes and windows are parented to `mainWindow`; runs from windows go through `editor`.
    QtUserInterface(QWidget* mainWindow, QgsStatusBar* statusBar, QgisEditor* editor);

    /// A box of the running command, except an OK box after the one that reported its refusal
    /// (see QgisEditor::admitsReport): the steps and completion of a run that is undone are
    /// not reported.
    MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) final;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    /// Modal: runs the window until the dialog closes. Modeless: shows the window and returns;
    /// the window deletes itself when the dialog closes.
    void showDialog(Dialog& dialog, bool modal) override;
    IProgressBar& statusProgress() override { return progress_; }

protected:
    /// Shows the box as a QMessageBox.
    virtual MsgAnswer showMessageBox(const std::string& text, const std::string& title,
                                     MsgButtons buttons, MsgIcon icon);
    QWidget* mainWindow() const { return mainWindow_; }
    QgisEditor* editor() const { return editor_; }
    /// The command whose window is being opened (see QgisEditor::command).
    const CommandInfo* command() const;

private:
    QPointer<QWidget> mainWindow_;
    QgisEditor* editor_;
    StatusBarProgress progress_;
};

}  // namespace ondu::qgis
