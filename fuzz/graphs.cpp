// Fuzz target of graph loading from files: the input holds an image file and its alpha
// companion ("_a" before the extension). Both are written to a folder of this process and
// loaded with LoadGraphHandle on the software screen; a file that no image loader takes goes
// on to the movie road. Each graph made is drawn once and deleted.
//   input: byte 0 picks the extension, bytes 1-2 the image's length, the rest the alpha file
extern "C" {
#include <libavutil/log.h>
}
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "work_folder.h"

namespace {

const char* const kExtensions[] = {".bmp", ".png", ".jpg", ".tga", ".dds", ".bgra", ".ogv", ".avi"};

std::string g_Folder;

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    g_Folder = MakeWorkFolder("graphs");
    setenv("TMPDIR", g_Folder.c_str(), 1);  // the movie road's temporary copies
    SetFileAccessFunctions(nullptr);
    g_Library.initialised = 1;
    g_Window.settings.windowed = 1;
    g_Window.active = 1;
    g_ScreenSettings.softwareForced = 1;
    return InitGraphics() == 0 ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const char* extension = kExtensions[data[0] % (sizeof kExtensions / sizeof *kExtensions)];
    size_t imageSize = static_cast<size_t>(data[1] | (data[2] << 8));
    data += 3;
    size -= 3;
    if (imageSize > size) imageSize = size;
    const std::string image = g_Folder + "/g" + extension;
    const std::string alpha = g_Folder + "/g_a" + extension;
    WriteFile(image, data, imageSize);
    if (size > imageSize) WriteFile(alpha, data + imageSize, size - imageSize);
    g_Window.quit = 0;
    int graph = LoadGraphHandle(image.c_str(), 0);
    if (graph != -1) {
        int width = 0, height = 0;
        GetGraphSize(graph, &width, &height);
        DrawGraphAt(3, 5, graph, 1);
        DeleteGraph(graph);
    }
    std::remove(image.c_str());
    std::remove(alpha.c_str());
    return 0;
}
