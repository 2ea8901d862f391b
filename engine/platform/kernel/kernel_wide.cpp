// Conversions between the system code page (932) and UTF-16 with iconv.
#include <cerrno>
#include <iconv.h>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

namespace {

// Converts the bytes; false on invalid input.
bool Convert(const char* to, const char* from, const char* in, size_t inBytes,
             std::string& out) {
    iconv_t descriptor = iconv_open(to, from);
    if (descriptor == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(inBytes * 2 + 16, '\0');
    char* inPos = const_cast<char*>(in);
    size_t inLeft = inBytes;
    char* outPos = out.data();
    size_t outLeft = out.size();
    bool ok = true;
    while (inLeft > 0) {
        if (iconv(descriptor, &inPos, &inLeft, &outPos, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != E2BIG) {
            ok = false;
            break;
        }
        size_t done = out.size() - outLeft;
        out.resize(out.size() * 2);
        outPos = out.data() + done;
        outLeft = out.size() - done;
    }
    iconv_close(descriptor);
    out.resize(ok ? out.size() - outLeft : 0);
    return ok;
}

}  // namespace

int V_MultiByteToWideChar(V_UINT, V_DWORD, const char* in, int inLength, V_WCHAR* out,
                          int outSize) {
    if (in == nullptr || outSize < 0) return 0;
    size_t bytes = inLength < 0 ? std::char_traits<char>::length(in) + 1
                                : static_cast<size_t>(inLength);
    std::string converted;
    if (!Convert("UTF-16LE", "CP932", in, bytes, converted)) return 0;
    int units = static_cast<int>(converted.size() / 2);
    if (outSize == 0) return units;
    if (out == nullptr || units > outSize) return 0;
    for (int i = 0; i < units; ++i)
        out[i] = static_cast<V_WCHAR>(static_cast<unsigned char>(converted[2 * i]) |
                                      static_cast<unsigned char>(converted[2 * i + 1]) << 8);
    return units;
}

int V_WideCharToMultiByte(V_UINT, V_DWORD, const V_WCHAR* in, int inLength, char* out,
                          int outSize, const char*, V_BOOL* usedDefault) {
    if (usedDefault != nullptr) *usedDefault = V_FALSE;
    if (in == nullptr || outSize < 0) return 0;
    size_t units = 0;
    if (inLength < 0) {
        while (in[units] != 0) ++units;
        ++units;
    } else {
        units = static_cast<size_t>(inLength);
    }
    std::string bytes(units * 2, '\0');
    for (size_t i = 0; i < units; ++i) {
        bytes[2 * i] = static_cast<char>(in[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(in[i] >> 8);
    }
    std::string converted;
    if (!Convert("CP932", "UTF-16LE", bytes.data(), bytes.size(), converted)) return 0;
    int size = static_cast<int>(converted.size());
    if (outSize == 0) return size;
    if (out == nullptr || size > outSize) return 0;
    converted.copy(out, converted.size());
    return size;
}
