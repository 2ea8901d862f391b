// The program's shader pack image (none yet: programmable shaders stay off).
#include "graphics/shader.h"

EmbeddedShaderPack GetEmbeddedShaderPack() { return {nullptr, 0}; }
