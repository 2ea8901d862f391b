#include "platform/shell/shell.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ShellDrop {
    uint32_t tag;
    std::vector<std::string> names;
};
constexpr uint32_t kDropTag = 0x44524F50;  // "DROP"

ShellDrop* ToDrop(V_HDROP drop) {
    ShellDrop* record = static_cast<ShellDrop*>(drop);
    return record != nullptr && record->tag == kDropTag ? record : nullptr;
}

}  // namespace

V_HDROP ShellCreateDrop() { return new ShellDrop{kDropTag, {}}; }

void ShellAddDroppedFile(V_HDROP drop, const char* name) {
    ShellDrop* record = ToDrop(drop);
    if (record != nullptr && name != nullptr) record->names.emplace_back(name);
}

V_UINT V_DragQueryFileA(V_HDROP drop, V_UINT index, char* buffer, V_UINT size) {
    ShellDrop* record = ToDrop(drop);
    if (record == nullptr) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<V_UINT>(record->names.size());
    if (index >= record->names.size()) return 0;
    const std::string& name = record->names[index];
    if (buffer == nullptr) return static_cast<V_UINT>(name.size());
    if (size == 0) return 0;
    size_t count = name.size() < size - 1 ? name.size() : size - 1;
    std::memcpy(buffer, name.data(), count);
    buffer[count] = '\0';
    return static_cast<V_UINT>(count);
}

void V_DragFinish(V_HDROP drop) {
    ShellDrop* record = ToDrop(drop);
    if (record == nullptr) return;
    record->tag = 0;
    delete record;
}
