// Writes starting inputs of the LZ fuzz target: packed blocks made by the encoder.
#include <cstdio>
#include <string>

#include "archive_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: seed_lz FOLDER\n");
        return 2;
    }
    std::vector<uint8_t> text;
    for (int i = 0; i < 3000; ++i) text.push_back(static_cast<uint8_t>("archive data "[i % 13] + (i / 700)));
    std::vector<uint8_t> run(9000, 0xFF);
    const std::vector<uint8_t>* inputs[] = {&text, &run};
    int number = 0;
    for (const std::vector<uint8_t>* input : inputs) {
        for (int escape : {-1, 0xFF, 0x61}) {
            LzEncodeOptions options;
            options.escapeByte = escape;
            const std::vector<uint8_t> packed = EncodeArchiveData(input->data(), input->size(), options);
            const std::string path = std::string(argv[1]) + "/block" + std::to_string(number++) + ".lz";
            FILE* out = std::fopen(path.c_str(), "wb");
            if (out == nullptr) return 1;
            std::fwrite(packed.data(), 1, packed.size(), out);
            std::fclose(out);
        }
    }
    return 0;
}
