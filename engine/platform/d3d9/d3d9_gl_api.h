// The OpenGL 3.3 core functions the Direct3D stand-in calls, looked up through SDL once a context
// is current (no loader library).
#pragma once

#include <SDL.h>
#include <SDL_opengl.h>

#define V_GL_FUNCTIONS(X)                                                                      \
    X(GetError, GLenum, (void))                                                                \
    X(GetString, const GLubyte*, (GLenum))                                                     \
    X(GetIntegerv, void, (GLenum, GLint*))                                                     \
    X(Enable, void, (GLenum))                                                                  \
    X(Disable, void, (GLenum))                                                                 \
    X(Viewport, void, (GLint, GLint, GLsizei, GLsizei))                                        \
    X(Scissor, void, (GLint, GLint, GLsizei, GLsizei))                                         \
    X(ClearColor, void, (GLfloat, GLfloat, GLfloat, GLfloat))                                  \
    X(ClearDepth, void, (GLdouble))                                                            \
    X(ClearStencil, void, (GLint))                                                             \
    X(Clear, void, (GLbitfield))                                                               \
    X(ColorMask, void, (GLboolean, GLboolean, GLboolean, GLboolean))                           \
    X(DepthMask, void, (GLboolean))                                                            \
    X(DepthFunc, void, (GLenum))                                                               \
    X(BlendFunc, void, (GLenum, GLenum))                                                       \
    X(BlendEquation, void, (GLenum))                                                           \
    X(CullFace, void, (GLenum))                                                                \
    X(FrontFace, void, (GLenum))                                                               \
    X(ProvokingVertex, void, (GLenum))                                                         \
    X(PolygonOffset, void, (GLfloat, GLfloat))                                                 \
    X(PixelStorei, void, (GLenum, GLint))                                                      \
    X(ReadPixels, void, (GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))               \
    X(ReadBuffer, void, (GLenum))                                                              \
    X(DrawBuffer, void, (GLenum))                                                              \
    X(Finish, void, (void))                                                                    \
    X(GenTextures, void, (GLsizei, GLuint*))                                                   \
    X(DeleteTextures, void, (GLsizei, const GLuint*))                                          \
    X(BindTexture, void, (GLenum, GLuint))                                                     \
    X(TexImage2D, void,                                                                        \
      (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))            \
    X(TexSubImage2D, void,                                                                     \
      (GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*))            \
    X(TexParameteri, void, (GLenum, GLenum, GLint))                                            \
    X(ActiveTexture, void, (GLenum))                                                           \
    X(GenFramebuffers, void, (GLsizei, GLuint*))                                               \
    X(DeleteFramebuffers, void, (GLsizei, const GLuint*))                                      \
    X(BindFramebuffer, void, (GLenum, GLuint))                                                 \
    X(FramebufferTexture2D, void, (GLenum, GLenum, GLenum, GLuint, GLint))                     \
    X(FramebufferRenderbuffer, void, (GLenum, GLenum, GLenum, GLuint))                         \
    X(CheckFramebufferStatus, GLenum, (GLenum))                                                \
    X(BlitFramebuffer, void,                                                                   \
      (GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum))            \
    X(GenRenderbuffers, void, (GLsizei, GLuint*))                                              \
    X(DeleteRenderbuffers, void, (GLsizei, const GLuint*))                                     \
    X(BindRenderbuffer, void, (GLenum, GLuint))                                                \
    X(RenderbufferStorage, void, (GLenum, GLenum, GLsizei, GLsizei))                           \
    X(GenVertexArrays, void, (GLsizei, GLuint*))                                               \
    X(DeleteVertexArrays, void, (GLsizei, const GLuint*))                                      \
    X(BindVertexArray, void, (GLuint))                                                         \
    X(GenBuffers, void, (GLsizei, GLuint*))                                                    \
    X(DeleteBuffers, void, (GLsizei, const GLuint*))                                           \
    X(BindBuffer, void, (GLenum, GLuint))                                                      \
    X(BufferData, void, (GLenum, GLsizeiptr, const void*, GLenum))                             \
    X(BufferSubData, void, (GLenum, GLintptr, GLsizeiptr, const void*))                        \
    X(VertexAttribPointer, void, (GLuint, GLint, GLenum, GLboolean, GLsizei, const void*))     \
    X(EnableVertexAttribArray, void, (GLuint))                                                 \
    X(DisableVertexAttribArray, void, (GLuint))                                                \
    X(VertexAttrib4f, void, (GLuint, GLfloat, GLfloat, GLfloat, GLfloat))                      \
    X(DrawArrays, void, (GLenum, GLint, GLsizei))                                              \
    X(DrawElements, void, (GLenum, GLsizei, GLenum, const void*))                              \
    X(CreateShader, GLuint, (GLenum))                                                          \
    X(ShaderSource, void, (GLuint, GLsizei, const GLchar* const*, const GLint*))               \
    X(CompileShader, void, (GLuint))                                                           \
    X(GetShaderiv, void, (GLuint, GLenum, GLint*))                                             \
    X(GetShaderInfoLog, void, (GLuint, GLsizei, GLsizei*, GLchar*))                            \
    X(DeleteShader, void, (GLuint))                                                            \
    X(CreateProgram, GLuint, (void))                                                           \
    X(AttachShader, void, (GLuint, GLuint))                                                    \
    X(BindAttribLocation, void, (GLuint, GLuint, const GLchar*))                               \
    X(BindFragDataLocation, void, (GLuint, GLuint, const GLchar*))                             \
    X(LinkProgram, void, (GLuint))                                                             \
    X(GetProgramiv, void, (GLuint, GLenum, GLint*))                                            \
    X(GetProgramInfoLog, void, (GLuint, GLsizei, GLsizei*, GLchar*))                           \
    X(DeleteProgram, void, (GLuint))                                                           \
    X(UseProgram, void, (GLuint))                                                              \
    X(GetUniformLocation, GLint, (GLuint, const GLchar*))                                      \
    X(Uniform1i, void, (GLint, GLint))                                                         \
    X(Uniform1f, void, (GLint, GLfloat))                                                       \
    X(Uniform4f, void, (GLint, GLfloat, GLfloat, GLfloat, GLfloat))                            \
    X(UniformMatrix4fv, void, (GLint, GLsizei, GLboolean, const GLfloat*))                     \
    X(GenSamplers, void, (GLsizei, GLuint*))                                                   \
    X(DeleteSamplers, void, (GLsizei, const GLuint*))                                          \
    X(BindSampler, void, (GLuint, GLuint))                                                     \
    X(SamplerParameteri, void, (GLuint, GLenum, GLint))                                        \
    X(SamplerParameterf, void, (GLuint, GLenum, GLfloat))                                      \
    X(SamplerParameterfv, void, (GLuint, GLenum, const GLfloat*))

struct GlApi {
#define V_GL_MEMBER(name, result, arguments) result(APIENTRY* name) arguments = nullptr;
    V_GL_FUNCTIONS(V_GL_MEMBER)
#undef V_GL_MEMBER
};

// Fills the table from the current context; false (with the missing name) when any is absent.
bool LoadGlApi(GlApi* api, const char** missing);
