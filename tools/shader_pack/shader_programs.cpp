// The GLSL programs of the shader pack and the slots they occupy.
//
// GLSL 3.30 core, with the device's vertex layout (position, diffuse, specular, texture
// coordinates at locations 0-3). The library's vertex float constants are the uniform array
// c[256] of the vertex program, the pixel float constants the array c[32] of the pixel program,
// the vertex bool constants b[16]. Matrices are sent transposed, so a row register dotted with a
// vector gives one component of the row-vector product.
#include "shader_programs.h"

namespace {

// Default vertex program: view (c6-c9) then projection (c2-c5); the vertex colours and the first
// texture coordinate passed on; with linear fog on (b3 and b0) the fog factor from c10 rides in
// the specular alpha.
const char kDefaultVertex[] = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
layout(location = 3) in vec2 aTex0;
uniform vec4 c[256];
uniform bool b[16];
out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTex0;
void main() {
    vec4 position = vec4(aPosition.xyz, 1.0);
    vec4 eye = vec4(dot(c[6], position), dot(c[7], position), dot(c[8], position),
                    dot(c[9], position));
    gl_Position = vec4(dot(c[2], eye), dot(c[3], eye), dot(c[4], eye), dot(c[5], eye));
    vDiffuse = aDiffuse;
    vSpecular = vec4(aSpecular.rgb, 1.0);
    if (b[3] && b[0]) vSpecular.a = clamp(c[10].x + c[10].y * eye.z, 0.0, 1.0);
    vTex0 = aTex0;
}
)";

// Default pixel program: texture times diffuse colour plus the specular colour, mixed with the
// fog colour by the fog factor.
const char kDefaultPixel[] = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTex0;
uniform vec4 c[32];
uniform sampler2D uTex0;
uniform vec4 uFogColor;
out vec4 fragColor;
void main() {
    vec4 colour = texture(uTex0, vTex0) * vDiffuse;
    colour.rgb = min(colour.rgb + vSpecular.rgb, 1.0);
    fragColor = vec4(mix(uFogColor.rgb, colour.rgb, vSpecular.a), colour.a);
}
)";

// Untextured pixel program: the diffuse colour alone.
const char kColourPixel[] = R"(#version 330 core
in vec4 vDiffuse;
out vec4 fragColor;
void main() { fragColor = vDiffuse; }
)";

}  // namespace

const ShaderProgramSlot kShaderProgramSlots[] = {
    {true, kDefaultVertexSlot, kDefaultVertex},
    {false, kDefaultPixelSlot, kDefaultPixel},
    {false, kDefaultPixelSlot + 1, kColourPixel},
};
const int kShaderProgramSlotCount = sizeof kShaderProgramSlots / sizeof kShaderProgramSlots[0];
