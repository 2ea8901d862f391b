// Conversions between code page 932 and UTF-8 with iconv. Each thread keeps its own pair of
// conversion descriptors (a descriptor holds state and must not be shared).
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel.h"

namespace {

struct Converter {
    Converter(const char* to, const char* from) : descriptor(iconv_open(to, from)) {}
    ~Converter() {
        if (descriptor != reinterpret_cast<iconv_t>(-1)) iconv_close(descriptor);
    }
    iconv_t descriptor;
};

iconv_t FromCp932() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter.descriptor;
}

iconv_t ToCp932() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter.descriptor;
}

bool Convert(iconv_t descriptor, const char* in, std::string& out) {
    out.clear();
    if (in == nullptr || descriptor == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    size_t inLeft = strlen(in);
    char* inPos = const_cast<char*>(in);
    out.resize(inLeft * 3 / 2 + 16);
    size_t done = 0;
    for (;;) {
        char* outPos = out.data() + done;
        size_t outLeft = out.size() - done;
        size_t result = iconv(descriptor, &inPos, &inLeft, &outPos, &outLeft);
        done = out.size() - outLeft;
        if (result != static_cast<size_t>(-1)) break;
        if (errno != E2BIG) {
            out.clear();
            return false;
        }
        out.resize(out.size() * 2);
    }
    out.resize(done);
    return true;
}

// The longest prefix of text, at most limit bytes, that ends on a whole character.
size_t WholeCharacters(const std::string& text, size_t limit, bool utf8) {
    if (utf8) {
        while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
        return limit;
    }
    size_t position = 0;
    while (position < limit) {
        unsigned char lead = static_cast<unsigned char>(text[position]);
        size_t length = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
        if (position + length > limit) break;
        position += length;
    }
    return position;
}

bool ConvertBounded(iconv_t descriptor, const char* in, char* out, size_t outSize, bool toUtf8) {
    std::string converted;
    bool ok = Convert(descriptor, in, converted);
    if (outSize == 0 || out == nullptr) return false;
    size_t keep = ok ? converted.size() : 0;
    if (keep >= outSize) {
        keep = WholeCharacters(converted, outSize - 1, toUtf8);
        ok = false;
    }
    memcpy(out, converted.data(), keep);
    out[keep] = '\0';
    return ok;
}

// The length of the UTF-8 sequence at text and its code point; 0 when it is not one.
size_t DecodeUtf8(const unsigned char* text, uint32_t* codePoint) {
    unsigned char lead = text[0];
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0) return 0;
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (text[i] & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

// Plain letters for U+00C0..U+00FF, '?' where there is none.
const char kLatin1Letters[] = "AAAAAA?CEEEEIIIIDNOOOOO?OUUUUY??aaaaaa?ceeeeiiiidnooooo?ouuuuy?y";

// Converts character by character, so that one character the code page cannot write costs only
// itself: it becomes '?', or with plainLetters an accented Latin letter its plain letter. A byte
// that is not UTF-8 becomes '?'. The text is cut after the last whole character that fits.
void ConvertEachCharacter(const char* in, char* out, size_t outSize, bool plainLetters) {
    if (out == nullptr || outSize == 0) return;
    size_t done = 0;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(in != nullptr ? in : "");
    std::string converted;
    while (*text != 0) {
        uint32_t codePoint = 0;
        size_t length = DecodeUtf8(text, &codePoint);
        std::string one(reinterpret_cast<const char*>(text), length != 0 ? length : 1);
        text += length != 0 ? length : 1;
        if (length == 0 || !Convert(ToCp932(), one.c_str(), converted) || converted.empty()) {
            bool latin = plainLetters && length != 0 && codePoint >= 0xC0 && codePoint <= 0xFF;
            converted.assign(1, latin ? kLatin1Letters[codePoint - 0xC0] : '?');
        }
        if (done + converted.size() >= outSize) break;
        memcpy(out + done, converted.data(), converted.size());
        done += converted.size();
    }
    out[done] = '\0';
}

}  // namespace

void V_Utf8ToCp932Replacing(const char* in, char* out, size_t outSize) {
    ConvertEachCharacter(in, out, outSize, true);
}

void V_Utf8ToCp932WithDefault(const char* in, char* out, size_t outSize) {
    ConvertEachCharacter(in, out, outSize, false);
}

bool Cp932ToUtf8String(const char* in, std::string& out) {
    return Convert(FromCp932(), in, out);
}

bool Utf8ToCp932String(const char* in, std::string& out) {
    return Convert(ToCp932(), in, out);
}

bool V_Cp932ToUtf8(const char* in, char* out, size_t outSize) {
    return ConvertBounded(FromCp932(), in, out, outSize, true);
}

bool V_Utf8ToCp932(const char* in, char* out, size_t outSize) {
    return ConvertBounded(ToCp932(), in, out, outSize, false);
}
