#pragma once
// The user-interface service the benchmarks install: message boxes go to standard error, so a
// failing run shows why; questions take their first answer; nothing is shown or chosen.

#include <cstdio>
#include <string>

#include "framework/ui.h"

namespace ondu::bench {

class ConsoleUI : public IUserInterface {
public:
    MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon) override {
        std::fprintf(stderr, "[%s] %s\n", title.c_str(), text.c_str());
        lastMessage = "[" + title + "] " + text;
        return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                                  : MsgAnswer::OK;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string& defaultText) override {
        return defaultText;
    }
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    void showDialog(Dialog&, bool) override {}
    IProgressBar& statusProgress() override { return progress_; }

    std::string lastMessage;

private:
    SilentProgress progress_;
    ScopedUserInterface installed_{*this};
};

}  // namespace ondu::bench
