// Stand-ins for the process-level kernel services the window code uses: the module handle, the
// OEM code page, ending the process and movable global memory blocks (the clipboard's currency).
#pragma once

#include "platform/types.h"

// The program's own module (null name); other names are not served and give null.
V_HMODULE V_GetModuleHandleA(const char* name);
// The OEM code page of this system: 932.
V_UINT V_GetOEMCP();
// Ends the process at once with the code's low 8 bits as the exit status; nothing is cleaned up.
[[noreturn]] void V_ExitProcess(V_UINT exitCode);

typedef V_HANDLE V_HGLOBAL;
constexpr V_UINT V_GMEM_FIXED = 0x0000;
constexpr V_UINT V_GMEM_MOVEABLE = 0x0002;
constexpr V_UINT V_GMEM_ZEROINIT = 0x0040;
V_HGLOBAL V_GlobalAlloc(V_UINT flags, size_t bytes);
void* V_GlobalLock(V_HGLOBAL memory);
V_BOOL V_GlobalUnlock(V_HGLOBAL memory);
size_t V_GlobalSize(V_HGLOBAL memory);
// Returns null on success, the block on failure.
V_HGLOBAL V_GlobalFree(V_HGLOBAL memory);
