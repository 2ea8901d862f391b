// The desktop window's handle.
#include "platform/user/user.h"

V_HWND V_GetDesktopWindow() { return reinterpret_cast<V_HWND>(static_cast<uintptr_t>(0x10)); }
