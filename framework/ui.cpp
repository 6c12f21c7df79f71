#include "framework/ui.h"

#include <stdexcept>

namespace ondu {

namespace {
IUserInterface* g_userInterface = nullptr;
}

IUserInterface& userInterface() {
    if (!g_userInterface) throw std::logic_error("no user-interface service is installed");
    return *g_userInterface;
}

void installUserInterface(IUserInterface* ui) { g_userInterface = ui; }

MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, const std::string& title,
                 MsgIcon icon) {
    return userInterface().messageBox(text, title, buttons, icon);
}

}  // namespace ondu
