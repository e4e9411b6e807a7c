// The OpenGL and GLU entry points the scene uses, recording each call with its arguments.
// Floating-point arguments are logged with their bit patterns where the exact form matters.
#include "tests/fake_gl.h"
#include "tests/call_log.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::string text(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string bits(float value)
{
    std::uint32_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", pattern);
    return buffer;
}

GLUquadric* const fake_quadric = reinterpret_cast<GLUquadric*>(0x44);
} // namespace

FakeGlScript& fake_gl_script()
{
    static FakeGlScript script;
    return script;
}

extern "C" {
void glMatrixMode(GLenum mode)
{
    log_call(std::string("glMatrixMode ") + (mode == GL_PROJECTION  ? "GL_PROJECTION"
                                             : mode == GL_MODELVIEW ? "GL_MODELVIEW"
                                                                    : "?"));
}

void glLoadIdentity()
{
    log_call("glLoadIdentity");
}

void glEnable(GLenum capability)
{
    log_call(std::string("glEnable ") + (capability == GL_BLEND        ? "GL_BLEND"
                                         : capability == GL_TEXTURE_2D ? "GL_TEXTURE_2D"
                                                                       : "?"));
}

void glBlendFunc(GLenum source, GLenum destination)
{
    log_call(std::string("glBlendFunc ") + (source == GL_SRC_ALPHA ? "GL_SRC_ALPHA" : "?") + " " +
             (destination == GL_ONE_MINUS_SRC_ALPHA ? "GL_ONE_MINUS_SRC_ALPHA" : "?"));
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    log_call("glColor4f " + bits(red) + " " + bits(green) + " " + bits(blue) + " " + bits(alpha));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    log_call("glRotatef " + text(angle) + " " + text(x) + " " + text(y) + " " + text(z));
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble near, GLdouble far)
{
    log_call("gluPerspective " + text(fovy) + " " + text(aspect) + " " + text(near) + " " +
             text(far));
}

GLint gluBuild2DMipmaps(GLenum target, GLint components, GLsizei width, GLsizei height,
                        GLenum format, GLenum type, const void* data)
{
    log_call(std::string("gluBuild2DMipmaps ") + (target == GL_TEXTURE_2D ? "GL_TEXTURE_2D" : "?") +
             " " + std::to_string(components) + " " + std::to_string(width) + " " +
             std::to_string(height) + (format == GL_RGBA ? " GL_RGBA" : " ?") +
             (type == GL_UNSIGNED_BYTE ? " GL_UNSIGNED_BYTE" : " ?"));
    const auto* bytes = static_cast<const unsigned char*>(data);
    fake_gl_script().texture_image.assign(bytes, bytes + 4 * width * height);
    // The result is a GLU error code the scene must not depend on.
    return GLU_OUT_OF_MEMORY;
}

GLUquadric* gluNewQuadric()
{
    log_call("gluNewQuadric");
    return fake_gl_script().quadric_available ? fake_quadric : nullptr;
}

void gluQuadricTexture(GLUquadric* quadric, GLboolean texture)
{
    log_call(std::string("gluQuadricTexture ") + (quadric == fake_quadric ? "quadric" : "?") +
             (texture == GL_TRUE ? " GL_TRUE" : " ?"));
}

void gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks)
{
    log_call(std::string("gluSphere ") + (quadric == fake_quadric ? "quadric" : "?") + " " +
             text(radius) + " " + std::to_string(slices) + " " + std::to_string(stacks));
}
}
