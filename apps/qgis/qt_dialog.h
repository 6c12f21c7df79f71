#pragma once
// A dialog as a real window: a QDialog generated from the dialog's declaration. Frames become
// group boxes (option buttons of a frame exclude each other), lists combo boxes, text boxes line
// edits (red text while a number box holds no number), check boxes, option buttons, buttons,
// labels and progress bars their Qt widgets, each named after its control. What the user does
// fires the dialog's own events; what the events change is drawn back into the widgets.

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "framework/dialog.h"

class QWidget;

namespace ondu {
struct CommandInfo;
}

namespace ondu::qgis {

class QgisEditor;

class DialogWindow : public QDialog, public IDialogObserver {
    Q_OBJECT
public:
    /// A window for a loaded dialog of `command` (nullptr: of no gated command). With an
    /// editor, each event is one run of the command on it: what an OK wrote is kept when the
    /// dialog closes after it and undone when it stays open (a refusal, a trapped failure, a
    /// cancel).
    DialogWindow(Dialog& dialog, QgisEditor* editor, const CommandInfo* command,
                 QWidget* parent = nullptr);
    ~DialogWindow() override;

    void controlChanged(const Dialog& dialog, const Control& control) override;
    /// The widget of a control, by control name (nullptr for none).
    QWidget* widget(const std::string& controlName) const;

    /// Closing the window is pressing Cancel.
    void reject() override;

private:
    void build();
    QWidget* makeWidget(const Control& control);
    void draw(const Control& control);
    /// Runs one event of the dialog, then closes the window once the dialog has unloaded.
    void fire(const std::function<void()>& event, bool isOk);

    Dialog* dialog_;
    QgisEditor* editor_;
    const CommandInfo* command_;
    std::map<std::string, QWidget*> widgets_;
    bool drawing_ = false;
    bool busy_ = false;
};

/// A filter written "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|" in Qt's form
/// "All Files (*.*);;XML Files (*.xml)"; the text of entry `index` (one-based) in `selected`.
QString qtFileFilter(const std::string& filter, int index, QString* selected);

}  // namespace ondu::qgis
