// Looks the OpenGL functions up through SDL.
#include "platform/d3d9/d3d9_gl_api.h"

bool LoadGlApi(GlApi* api, const char** missing) {
#define V_GL_LOAD(name, result, arguments)                                                    \
    api->name = reinterpret_cast<result(APIENTRY*) arguments>(SDL_GL_GetProcAddress("gl" #name)); \
    if (api->name == nullptr) {                                                                \
        if (missing != nullptr) *missing = "gl" #name;                                         \
        return false;                                                                          \
    }
    V_GL_FUNCTIONS(V_GL_LOAD)
#undef V_GL_LOAD
    return true;
}
