// The GLSL programs of the shader pack and the slots they occupy.
//
// Register convention shared with the device: the library's vertex float constants are the
// uniform array c[256] of the vertex program, the pixel float constants the array c[32] of the
// pixel program, the vertex bool constants b[16]. Matrices are sent transposed, so a row
// register dotted with a vector gives one component of the row-vector product.
#include "shader_programs.h"

namespace {

// Default vertex program: view (c6-c9) then projection (c2-c5), vertex colours and the first
// texture coordinate passed on, linear fog factor from c10 when b3 and b0 say so.
const char kDefaultVertex[] = R"(#version 120
uniform vec4 c[256];
uniform bool b[16];
varying float fogFactor;
void main() {
    vec4 position = vec4(gl_Vertex.xyz, 1.0);
    vec4 eye = vec4(dot(c[6], position), dot(c[7], position), dot(c[8], position),
                    dot(c[9], position));
    gl_Position = vec4(dot(c[2], eye), dot(c[3], eye), dot(c[4], eye), dot(c[5], eye));
    gl_FrontColor = gl_Color;
    gl_FrontSecondaryColor = gl_SecondaryColor;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    fogFactor = 1.0;
    if (b[3] && b[0]) fogFactor = clamp(c[10].x + c[10].y * eye.z, 0.0, 1.0);
}
)";

// Default pixel program: texture times diffuse colour, plus the specular colour, mixed with the
// fog colour by the vertex program's factor.
const char kDefaultPixel[] = R"(#version 120
uniform vec4 c[32];
uniform sampler2D s0;
varying float fogFactor;
void main() {
    vec4 colour = texture2D(s0, gl_TexCoord[0].xy) * gl_Color;
    colour.rgb += gl_SecondaryColor.rgb;
    gl_FragColor = vec4(mix(gl_Fog.color.rgb, colour.rgb, fogFactor), colour.a);
}
)";

// Untextured pixel program: the diffuse colour alone.
const char kColourPixel[] = R"(#version 120
uniform vec4 c[32];
void main() { gl_FragColor = gl_Color; }
)";

}  // namespace

const ShaderProgramSlot kShaderProgramSlots[] = {
    {true, kDefaultVertexSlot, kDefaultVertex},
    {false, kDefaultPixelSlot, kDefaultPixel},
    {false, kDefaultPixelSlot + 1, kColourPixel},
};
const int kShaderProgramSlotCount = sizeof kShaderProgramSlots / sizeof kShaderProgramSlots[0];
