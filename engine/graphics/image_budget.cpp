// The pixel budget of one image load: a header that claims far more pixels than its file can
// hold is refused before anything is allocated for it.
#include "core/core.h"
#include "graphics/image_stream.h"

bool AcceptImageBudget(const char* format, int64_t width, int64_t height, int64_t dataBytes,
                       int64_t maxPixelsPerByte) {
    const int64_t pixels = width * height;
    bool tooMany = pixels > kMaxImagePixels;
    bool outOfProportion = maxPixelsPerByte > 0 && pixels / maxPixelsPerByte > dataBytes;
    if (!tooMany && !outOfProportion) return true;
    WriteLogFormat("%s 画像のサイズ %lld x %lld がファイルの大きさ %lld バイトに比べて大きすぎるため読み込みません",
                   format, static_cast<long long>(width), static_cast<long long>(height),
                   static_cast<long long>(dataBytes));
    return false;
}
