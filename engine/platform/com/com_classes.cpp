// The class table behind V_CoCreateInstance.
#include "platform/com/com_classes.h"

#include "platform/dinput/dinput.h"
#include "platform/dshow/dshow.h"
#include "platform/dsound/dsound.h"

namespace {

struct ClassEntry {
    const V_GUID* classId;
    V_HRESULT (*create)(const V_GUID* interfaceId, void** object);
};

const ClassEntry kClasses[] = {
    {&V_CLSID_DirectSound, &V_CreateDirectSoundObject},
    {&V_CLSID_DirectInput, &V_CreateDirectInputObject},
    {&V_CLSID_DirectInput8, &V_CreateDirectInput8Object},
    {&V_CLSID_FilterGraph, &V_CreateFilterGraphObject},
    {&V_CLSID_NullRenderer, &V_CreateNullRendererObject},
    {&V_CLSID_MemoryAllocator, &V_CreateMemoryAllocatorObject},
};

}  // namespace

V_HRESULT V_CoCreateInstance(const V_GUID& classId, void* outer, V_DWORD context,
                             const V_GUID& interfaceId, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return V_CLASS_E_NOAGGREGATION;
    if ((context & (V_CLSCTX_INPROC_SERVER | V_CLSCTX_INPROC_HANDLER)) == 0)
        return V_REGDB_E_CLASSNOTREG;
    for (const ClassEntry& entry : kClasses)
        if (*entry.classId == classId) return entry.create(&interfaceId, object);
    return V_REGDB_E_CLASSNOTREG;
}
