// Builds the library's shader pack: a header of program sizes followed by the GLSL programs,
// stored compressed as the member "VelkShaderPack.bin" of an archive image that is itself
// compressed, and written out as the C++ source the library embeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The pack as the library reads it after unpacking: 16384 vertex and 4608 pixel header entries
// of six 16-bit sizes each, then the NUL-terminated programs in header order.
std::vector<uint8_t> BuildShaderPack();

// The pack wrapped as the program carries it: archive member compressed, whole image compressed.
std::vector<uint8_t> BuildShaderPackImage();

// The C++ source that hands the packed image to the library (GetEmbeddedShaderPack).
std::string MakeShaderPackSource(const std::vector<uint8_t>& image);
