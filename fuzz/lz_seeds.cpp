// Writes starting inputs of the LZ fuzz target: packed blocks made by the encoder.
#include <cstdio>
#include <string>

#include "archive_writer.h"
#include "seed_files.h"

int main(int argc, char** argv) {
    const char* folder = SeedFolder(argc, argv, "seed_lz");
    if (folder == nullptr) return 2;
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
            const std::string path = std::string(folder) + "/block" + std::to_string(number++) + ".lz";
            if (!WriteSeed(path, packed)) return 1;
        }
    }
    return 0;
}
