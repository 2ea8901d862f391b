// The OpenGL Direct3D implementation (not yet: creation reports no device).
#include "platform/d3d9.h"

V_IDirect3D9* V_CreateOpenGLDirect3D9() { return nullptr; }
