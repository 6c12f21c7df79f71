#include "framework/ui.h"

#include <stdexcept>

#include "framework/error.h"

namespace ondu {

namespace {
IUserInterface* g_userInterface = nullptr;
}

IUserInterface& userInterface() {
    if (!g_userInterface) throw std::logic_error("no user-interface service is installed");
    return *g_userInterface;
}

ScopedUserInterface::ScopedUserInterface(IUserInterface& ui) : previous_(g_userInterface) {
    g_userInterface = &ui;
}

ScopedUserInterface::~ScopedUserInterface() { g_userInterface = previous_; }

MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, const std::string& title,
                 MsgIcon icon) {
    return userInterface().messageBox(text, title, buttons, icon);
}

void stepOrStop(IProgressBar& progress) {
    progress.stepIt();
    if (progress.cancelled()) throw RunCancelled();
}

}  // namespace ondu
