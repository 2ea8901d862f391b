// Platform libraries looked up by name: a fixed table of the modules and entry points that
// the library loads at run time.
#include <strings.h>

#include <cstring>

#include "platform/d3d9/d3d9.h"
#include "platform/dsound/dsound.h"
#include "platform/kernel/kernel.h"

namespace {

struct ModuleEntry {
    const char* module;
    const char* name;
    V_FARPROC function;
};

const ModuleEntry kModuleEntries[] = {
    {"d3d9.dll", "Direct3DCreate9", reinterpret_cast<V_FARPROC>(&V_Direct3DCreate9)},
    {"DSOUND.DLL", "DirectSoundEnumerateA",
     reinterpret_cast<V_FARPROC>(&V_DirectSoundEnumerateA)},
};

const char* const kModules[] = {"DSOUND.DLL", "d3d9.dll"};

}  // namespace

V_HMODULE V_LoadLibraryA(const char* name) {
    if (name == nullptr) return nullptr;
    for (const char* const& module : kModules)
        if (strcasecmp(module, name) == 0)
            return reinterpret_cast<V_HMODULE>(const_cast<char**>(&module));
    V_SetLastError(126);  // module not found
    return nullptr;
}

V_FARPROC V_GetProcAddress(V_HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    const char* moduleName = *reinterpret_cast<const char* const*>(module);
    for (const ModuleEntry& entry : kModuleEntries)
        if (strcasecmp(entry.module, moduleName) == 0 && strcmp(entry.name, name) == 0)
            return entry.function;
    V_SetLastError(127);  // procedure not found
    return nullptr;
}

V_BOOL V_FreeLibrary(V_HMODULE module) { return module != nullptr; }
