// shader-pack: writes the shader pack image as the C++ source the library embeds.
#include <cstdio>

#include "shader_pack_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: shader-pack OUTPUT.cpp\n");
        return 2;
    }
    const std::vector<uint8_t> image = BuildShaderPackImage();
    if (image.empty()) {
        std::fprintf(stderr, "shader-pack: the archive could not be built\n");
        return 1;
    }
    const std::string text = MakeShaderPackSource(image);
    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        std::fprintf(stderr, "shader-pack: cannot write %s\n", argv[1]);
        if (file != nullptr) std::fclose(file);
        return 1;
    }
    if (std::fclose(file) != 0) return 1;
    std::printf("shader-pack: %zu bytes of packed image written to %s\n", image.size(), argv[1]);
    return 0;
}
