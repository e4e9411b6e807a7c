// Our GLU for the browser against Debian's libGLU, call for call: both run here, and the GL calls
// they make land in the recorders below, which this executable exports so that libGLU, loaded
// with dlopen, calls them too. Values are logged as bit patterns.
#include "tests/call_log.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace {
template <typename Value> std::string bits(const Value* values, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        unsigned long long pattern = 0;
        std::memcpy(&pattern, &values[i], sizeof(Value));
        text += " " + std::to_string(pattern);
    }
    return text;
}

// libGLU checks that it may upload a size with a proxy texture: this one takes any.
GLint proxy_width;
} // namespace

extern "C" {
void glBegin(GLenum mode)
{
    log_call("glBegin " + std::to_string(mode));
}

void glEnd()
{
    log_call("glEnd");
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    const GLfloat normal[] = {x, y, z};
    log_call("glNormal3f" + bits(normal, 3));
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    const GLfloat coordinates[] = {s, t};
    log_call("glTexCoord2f" + bits(coordinates, 2));
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    const GLfloat vertex[] = {x, y, z};
    log_call("glVertex3f" + bits(vertex, 3));
}

void glMultMatrixd(const GLdouble* matrix)
{
    log_call("glMultMatrixd" + bits(matrix, 16));
}

void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void* pixels)
{
    proxy_width = width;
    if (target == GL_PROXY_TEXTURE_2D)
        return;
    const long arguments[] = {target, level, internal_format, width, height, border, format, type};
    log_call("glTexImage2D" + bits(arguments, 8) +
             bits(static_cast<const unsigned char*>(pixels), 4 * width * height));
}

void glGetTexLevelParameteriv(GLenum, GLint, GLenum, GLint* value)
{
    *value = proxy_width;
}

// A fresh Mesa context's answers: its version, pixel storage at the defaults, a texture size limit.
const GLubyte* glGetString(GLenum)
{
    return reinterpret_cast<const GLubyte*>("4.5 (Compatibility Profile) Mesa");
}

void glGetIntegerv(GLenum name, GLint* value)
{
    *value = name == GL_MAX_TEXTURE_SIZE ? 2048 : name == GL_UNPACK_ALIGNMENT ? 4 : 0;
}
}

namespace {
struct Glu {
    decltype(&gluPerspective) perspective;
    decltype(&gluBuild2DMipmaps) build_2d_mipmaps;
    decltype(&gluNewQuadric) new_quadric;
    decltype(&gluQuadricTexture) quadric_texture;
    decltype(&gluSphere) sphere;
};

// What the scene asks of GLU, as the GL calls it makes.
std::vector<std::string> scene_calls(const Glu& glu, const unsigned char* image)
{
    call_log().clear();
    glu.perspective(100.0, 1.0, 1.0, 100.0);
    EXPECT_EQ(glu.build_2d_mipmaps(GL_TEXTURE_2D, 4, 16, 16, GL_RGBA, GL_UNSIGNED_BYTE, image), 0);
    GLUquadric* quadric = glu.new_quadric();
    glu.quadric_texture(quadric, GL_TRUE);
    glu.sphere(quadric, 100.0, 10, 10);
    return call_log();
}

TEST(Glu, OursMakesLibglusCallsForTheScenesProjectionTextureAndSphere)
{
    void* library = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const Glu libglu{
        reinterpret_cast<decltype(&gluPerspective)>(dlsym(library, "gluPerspective")),
        reinterpret_cast<decltype(&gluBuild2DMipmaps)>(dlsym(library, "gluBuild2DMipmaps")),
        reinterpret_cast<decltype(&gluNewQuadric)>(dlsym(library, "gluNewQuadric")),
        reinterpret_cast<decltype(&gluQuadricTexture)>(dlsym(library, "gluQuadricTexture")),
        reinterpret_cast<decltype(&gluSphere)>(dlsym(library, "gluSphere"))};
    // Every byte value, and neighbours whose means round both ways.
    unsigned char image[16 * 16 * 4];
    for (unsigned i = 0; i < sizeof image; ++i)
        image[i] = static_cast<unsigned char>(i * 151 + (i >> 6) * 7);

    const std::vector<std::string> expected = scene_calls(libglu, image);
    // The projection, five levels from 16x16 down, ten strips of 22 vertices.
    ASSERT_EQ(expected.size(), 1 + 5 + 10 * (2 + 22 * 3));
    const std::vector<std::string> actual = scene_calls(
        {gluPerspective, gluBuild2DMipmaps, gluNewQuadric, gluQuadricTexture, gluSphere}, image);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "call " << i;
}
} // namespace
