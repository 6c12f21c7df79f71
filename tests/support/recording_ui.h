#pragma once
// A user-interface service for tests: records every message box and progress call, answers
// questions, input boxes and file choices from queues, and lets a test drive shown dialogs.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/ui.h"

namespace ondu::test {

struct RecordedMessage {
    std::string text;
    std::string title;
    MsgButtons buttons;
};

/// A geometry the run flashed on the map display.
struct RecordedFlash {
    Geometry geometry;
    RgbColor colour;
    int flashes = 0;
};

class RecordingProgress : public IProgressBar {
public:
    void show(const std::string& message, long minimum, long maximum, long step) override;
    void stepIt() override { ++steps; }
    void hide() override { visible = false; }

    std::string message;
    long minimum = 0, maximum = 0, stepSize = 0, steps = 0;
    bool visible = false;
};

class RecordingUI : public IUserInterface {
public:
    RecordingUI() = default;

    MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    void showDialog(Dialog& dialog, bool modal) override;
    IProgressBar& statusProgress() override { return progress; }
    void flashGeometry(const Geometry& geometry, RgbColor colour, int count) override {
        flashes.push_back({geometry, colour, count});
    }

    /// "[title] text" of every message, in order.
    std::vector<std::string> messageLines() const;

    std::vector<RecordedMessage> messages;
    std::deque<MsgAnswer> answers;  ///< for questions; OK/first button when empty
    std::deque<std::optional<std::string>> inputs;
    std::deque<std::optional<std::string>> files;
    std::vector<FileChoice> fileChoices;
    std::vector<std::string> shownDialogs;  ///< names of dialogs shown, in order
    std::vector<bool> shownModal;
    std::vector<RecordedFlash> flashes;
    /// Called for each shown dialog (e.g. to set controls and press OK); none: left as shown.
    std::function<void(Dialog&)> onShow;
    RecordingProgress progress;

private:
    ScopedUserInterface installed_{*this};
};

}  // namespace ondu::test
