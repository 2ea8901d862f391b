// The platform's MPEG audio decoder.
#include "platform/dshow_filter.h"

namespace dshow {
StreamFilter* CreateMpegAudioDecoder() { return nullptr; }
}  // namespace dshow
