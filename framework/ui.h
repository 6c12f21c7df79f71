#pragma once
// User-interface services that a host provides: message boxes, input boxes, file choice,
// showing dialogs and the status-bar progress bar. Tools reach them only through this interface;
// the command-line host, the desktop host and the tests' recording fake implement it.

#include <optional>
#include <string>

#include "framework/geometry/geometry.h"

namespace ondu {

class Dialog;

enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgAnswer { OK, Cancel, Yes, No };

/// A colour by its red, green and blue parts, each 0 to 255.
struct RgbColor {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const RgbColor&) const = default;
};

struct FileChoice {
    bool save = false;  ///< save dialog (else open)
    std::string title;
    std::string filter;            ///< "All Files (*.*)|*.*|XML Files (*.xml)|*.xml|"
    int filterIndex = 1;           ///< one-based preselected filter
    bool mustExist = false;        ///< open: the chosen file must exist
    bool overwritePrompt = false;  ///< save: ask before replacing an existing file
    std::string initialPath;
};

/// The progress of a run: a message with a range, stepped once per item and hidden at the end.
/// Runs receive it from their caller (the host's status bar, a dialog's own bar, nothing in a
/// benchmark) and ask `cancelled()` between items: a run that is told so stops there and throws
/// RunCancelled.
class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    virtual void show(const std::string& message, long minimum, long maximum, long step) = 0;
    virtual void stepIt() = 0;
    virtual void hide() = 0;
    /// Whether the user asked the run to stop (Escape in a window, Ctrl-C on a terminal).
    virtual bool cancelled() { return false; }
};

/// Steps the progress once, and stops the run there (throws RunCancelled) when the user asked
/// it to.
void stepOrStop(IProgressBar& progress);

/// A progress that shows nothing and is never cancelled.
class SilentProgress : public IProgressBar {
public:
    void show(const std::string&, long, long, long) override {}
    void stepIt() override {}
    void hide() override {}
};

class IUserInterface {
public:
    virtual ~IUserInterface() = default;
    virtual MsgAnswer messageBox(const std::string& text, const std::string& title,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    /// The text entered, or nothing when the box was cancelled.
    virtual std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    /// The chosen path, or nothing when the choice was cancelled.
    virtual std::optional<std::string> chooseFile(const FileChoice& choice) = 0;
    /// Shows a loaded dialog. Modal: returns when the dialog has closed. Modeless: returns at
    /// once (a host without a window loop drives the dialog to its end before returning).
    virtual void showDialog(Dialog& dialog, bool modal) = 0;
    virtual IProgressBar& statusProgress() = 0;
    /// Draws the geometry on the map display in that colour `flashes` times, each time shown and
    /// then removed. A host without a map display shows nothing.
    virtual void flashGeometry(const Geometry& geometry, RgbColor colour, int flashes) {
        (void)geometry, (void)colour, (void)flashes;
    }
};

/// The user-interface service of the running host. Throws std::logic_error when none is
/// installed.
IUserInterface& userInterface();

/// Installs a user-interface service for its own lifetime and puts back the one it replaced, so
/// that no service outlives its host or test, whatever leaves the scope.
class ScopedUserInterface {
public:
    explicit ScopedUserInterface(IUserInterface& ui);
    ~ScopedUserInterface();
    ScopedUserInterface(const ScopedUserInterface&) = delete;
    ScopedUserInterface& operator=(const ScopedUserInterface&) = delete;

private:
    IUserInterface* previous_;
};

/// A message box through the running host, in the form every routine uses.
MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK,
                 const std::string& title = "", MsgIcon icon = MsgIcon::None);

}  // namespace ondu
