#include "platform/com/com.h"

namespace {
// Starts minus ends on this thread.
thread_local int t_ComStarts = 0;
}  // namespace

V_HRESULT V_CoInitialize(void* reserved) {
    if (reserved != nullptr) return V_E_INVALIDARG;
    return t_ComStarts++ == 0 ? V_S_OK : V_S_FALSE;
}

void V_CoUninitialize() {
    if (t_ComStarts > 0) --t_ComStarts;
}
