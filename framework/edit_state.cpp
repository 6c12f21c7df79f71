#include "framework/edit_state.h"

#include "framework/error_report.h"
#include "framework/host_operations.h"
#include "framework/shared_state.h"

namespace ondu {

bool editSessionOpen() {
    try {
        if (!g_pApp)
            throw HostError("Object variable or With block variable not set",
                            error_number::kObjectNotSet);
        auto* editor = dynamic_cast<IEditor*>(g_pApp->findExtension(IEditor::kName));
        if (!editor)
            throw HostError("Object variable or With block variable not set",
                            error_number::kObjectNotSet);
        return editor->editState() > 0;
    } catch (const std::exception& e) {
        reportMapError("EditSession", e);
        return false;
    }
}

}  // namespace ondu
