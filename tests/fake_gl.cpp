// The OpenGL and GLU entry points the scene uses, recording each call with its arguments.
// Floating-point arguments are logged with their bit patterns where the exact form matters.
#include "tests/call_log.h"
#include "tests/fake_gl.h"

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
    log_call(std::string("glMatrixMode ") + (mode == GL_PROJECTION   ? "GL_PROJECTION"
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
