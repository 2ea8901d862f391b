// Fuzz target of the LZ decoder: the input as a packed block into an output of exactly the
// claimed size, and the input as data through the encoder and back.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive_writer.h"
#include "core/lz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int64_t decodedSize = DecodeArchiveData(data, size, nullptr, 0);
    if (decodedSize >= 0 && static_cast<uint64_t>(decodedSize) <= (1u << 22)) {
        std::vector<uint8_t> output(static_cast<size_t>(decodedSize));
        DecodeArchiveData(data, size, output.data(), output.size());
    }

    if (size > 0) {
        LzEncodeOptions options;
        options.escapeByte = data[0];
        const std::vector<uint8_t> packed = EncodeArchiveData(data, size, options);
        std::vector<uint8_t> back(size);
        if (DecodeArchiveData(packed.data(), packed.size(), back.data(), back.size()) !=
                static_cast<int64_t>(size) ||
            std::memcmp(back.data(), data, size) != 0)
            std::abort();
    }
    return 0;
}
