#include "framework/shared_state.h"

namespace ondu {

IApplication* g_pApp = nullptr;
IDocument* g_pMxDoc = nullptr;

}  // namespace ondu
