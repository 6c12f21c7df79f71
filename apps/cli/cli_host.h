#pragma once
// The command-line host: user-interface services on a terminal or a pipe, and the sub-commands
// that list, describe and run the catalogue's commands.

#include <deque>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "framework/commands.h"
#include "framework/ui.h"

namespace ondu::cli {

/// Exit statuses: the run completed; it was refused or stopped with a dialog open; usage error;
/// the run completed but left some items undone (its final message says which).
enum ExitStatus { kCompleted = 0, kStopped = 1, kUsageError = 2, kCompletedPartly = 3 };

/// A usage error: unknown command, control or option, unreadable map, bad value.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One `--set [FORM.]CONTROL=VALUE`, resolved to the form that declares the control.
struct ControlSetting {
    std::string form;
    std::string control;
    std::string value;
};

/// Resolves and checks every setting against the command's dialog declarations; throws
/// UsageError naming the first unknown form or control, or a value its control cannot take.
std::vector<ControlSetting> resolveSettings(const std::vector<std::string>& sets,
                                            const std::vector<DialogEntry>& dialogs);

/// Progress on standard error, drawn only when it is a terminal.
class TerminalProgress : public IProgressBar {
public:
    void show(const std::string& message, long minimum, long maximum, long step) override;
    void stepIt() override;
    void hide() override;
    /// True once Ctrl-C was pressed during the run.
    bool cancelled() override;

private:
    void draw();
    std::string message_;
    long minimum_ = 0, maximum_ = 0, step_ = 1, value_ = 0;
    bool visible_ = false;
};

class CliUserInterface : public IUserInterface {
public:
    CliUserInterface(std::vector<ControlSetting> settings, std::deque<std::string> answers,
                     bool cancel);

    MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    /// Applies the settings meant for this dialog in order, then presses OK (or Cancel).
    void showDialog(Dialog& dialog, bool modal) override;
    IProgressBar& statusProgress() override { return progress_; }

    int dialogsShown() const { return dialogsShown_; }

private:
    std::optional<std::string> nextAnswer(const std::string& question);

    std::vector<ControlSetting> settings_;
    std::deque<std::string> answers_;
    bool cancel_;
    int dialogsShown_ = 0;
    TerminalProgress progress_;
};

int runMain(int argc, char** argv);

}  // namespace ondu::cli
