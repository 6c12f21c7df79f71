#include "framework/map_helpers.h"

#include "framework/error_report.h"
#include "framework/host_operations.h"
#include "framework/shared_state.h"

namespace ondu::maputil {

namespace {
// The number a host gives for a reference that is not set.
constexpr long kObjectNotSet = 91;
}

bool EditSession() {
    try {
        if (!g_pApp) throw HostError("Object variable or With block variable not set", kObjectNotSet);
        auto* editor = dynamic_cast<IEditor*>(g_pApp->findExtension(IEditor::kName));
        if (!editor) throw HostError("Object variable or With block variable not set", kObjectNotSet);
        return editor->editState() > 0;
    } catch (const std::exception& e) {
        reportMapError("EditSession", e);
        return false;
    }
}

}  // namespace ondu::maputil
