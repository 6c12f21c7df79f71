#include "support/recording_ui.h"

#include "framework/dialog.h"

namespace ondu::test {

void RecordingProgress::show(const std::string& msg, long min, long max, long step) {
    message = msg;
    minimum = min;
    maximum = max;
    stepSize = step;
    steps = 0;
    visible = true;
}

MsgAnswer RecordingUI::messageBox(const std::string& text, const std::string& title,
                                  MsgButtons buttons, MsgIcon) {
    messages.push_back({text, title, buttons});
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Yes;
        default:
            return MsgAnswer::OK;
    }
}

std::optional<std::string> RecordingUI::inputBox(const std::string&, const std::string&,
                                                 const std::string& defaultText) {
    if (inputs.empty()) return defaultText;
    auto v = inputs.front();
    inputs.pop_front();
    return v;
}

std::optional<std::string> RecordingUI::chooseFile(const FileChoice& choice) {
    fileChoices.push_back(choice);
    if (files.empty()) return std::nullopt;
    auto v = files.front();
    files.pop_front();
    return v;
}

void RecordingUI::showDialog(Dialog& dialog, bool modal) {
    shownDialogs.push_back(dialog.name());
    shownModal.push_back(modal);
    if (onShow) onShow(dialog);
}

std::vector<std::string> RecordingUI::messageLines() const {
    std::vector<std::string> lines;
    for (const auto& m : messages) lines.push_back("[" + m.title + "] " + m.text);
    return lines;
}

}  // namespace ondu::test
