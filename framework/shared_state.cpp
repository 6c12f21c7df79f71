#include "framework/shared_state.h"

#include "framework/host_operations.h"

namespace ondu {

IApplication* g_pApp = nullptr;
IDocument* g_pMxDoc = nullptr;
bool g_itemsLeftUndone = false;

IDocument* loadMapDocument() {
    if (!g_pApp)
        throw HostError("Object variable or With block variable not set",
                        error_number::kObjectNotSet);
    g_pMxDoc = &g_pApp->document();
    return g_pMxDoc;
}

SharedReferencesScope::~SharedReferencesScope() {
    g_pApp = nullptr;
    g_pMxDoc = nullptr;
}

IDocument& currentDocument() {
    if (!g_pMxDoc)
        throw HostError("Object variable or With block variable not set",
                        error_number::kObjectNotSet);
    return *g_pMxDoc;
}

}  // namespace ondu
