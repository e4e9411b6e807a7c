// Our GLU for the browser against Debian's libGLU, call for call: both are run here, and the GL
// calls they make land in the recorders below, which this executable exports so that libGLU,
// loaded with dlopen, calls them too. Values are logged as bit patterns.
#include "tests/call_log.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::string bits(float value)
{
    std::uint32_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    char text[10];
    std::snprintf(text, sizeof text, " %08X", pattern);
    return text;
}

std::string bits(double value)
{
    std::uint64_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    char text[18];
    std::snprintf(text, sizeof text, " %016llX", static_cast<unsigned long long>(pattern));
    return text;
}

// libGLU checks the size it may upload with a proxy texture: this one takes any.
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
    log_call("glNormal3f" + bits(x) + bits(y) + bits(z));
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    log_call("glTexCoord2f" + bits(s) + bits(t));
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    log_call("glVertex3f" + bits(x) + bits(y) + bits(z));
}

void glMultMatrixd(const GLdouble* matrix)
{
    std::string line = "glMultMatrixd";
    for (int i = 0; i < 16; ++i)
        line += bits(matrix[i]);
    log_call(line);
}

void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void* pixels)
{
    if (target == GL_PROXY_TEXTURE_2D) {
        proxy_width = width;
        return;
    }
    std::string line = "glTexImage2D";
    for (long value : {long{target}, long{level}, long{internal_format}, long{width}, long{height},
                       long{border}, long{format}, long{type}})
        line += " " + std::to_string(value);
    const auto* bytes = static_cast<const unsigned char*>(pixels);
    for (GLsizei i = 0; i < 4 * width * height; ++i)
        line += " " + std::to_string(bytes[i]);
    log_call(line);
}

void glGetTexLevelParameteriv(GLenum, GLint, GLenum, GLint* value)
{
    *value = proxy_width;
}

// A fresh Mesa context's answers: its version, pixel storage at the defaults, a large texture size
// limit.
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
    decltype(&gluNewQuadric) new_quadric;
    decltype(&gluQuadricTexture) quadric_texture;
    decltype(&gluSphere) sphere;
    decltype(&gluBuild2DMipmaps) build_2d_mipmaps;
    decltype(&gluPerspective) perspective;
};

Glu ours()
{
    return {gluNewQuadric, gluQuadricTexture, gluSphere, gluBuild2DMipmaps, gluPerspective};
}

Glu debians()
{
    void* library = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    const auto find = [library](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        EXPECT_NE(reinterpret_cast<void*>(function), nullptr) << name;
    };
    Glu glu{};
    find(glu.new_quadric, "gluNewQuadric");
    find(glu.quadric_texture, "gluQuadricTexture");
    find(glu.sphere, "gluSphere");
    find(glu.build_2d_mipmaps, "gluBuild2DMipmaps");
    find(glu.perspective, "gluPerspective");
    return glu;
}

// What the scene asks of GLU, as the calls it makes.
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

std::size_t count_of(const std::vector<std::string>& calls, const std::string& name)
{
    std::size_t count = 0;
    for (const std::string& call : calls)
        count += call.compare(0, name.size() + 1, name + " ") == 0;
    return count;
}

TEST(Glu, OursMakesLibglusCallsForTheScenesProjectionTextureAndSphere)
{
    // Every byte value, and neighbours that round both ways when averaged.
    unsigned char image[16 * 16 * 4];
    for (unsigned i = 0; i < sizeof image; ++i)
        image[i] = static_cast<unsigned char>(i * 151 + (i >> 6) * 7);
    const std::vector<std::string> expected = scene_calls(debians(), image);
    ASSERT_EQ(count_of(expected, "glMultMatrixd"), 1u);
    ASSERT_EQ(count_of(expected, "glTexImage2D"), 5u);
    ASSERT_EQ(count_of(expected, "glBegin"), 10u);
    ASSERT_EQ(count_of(expected, "glVertex3f"), 10u * 22u);
    ASSERT_EQ(count_of(expected, "glTexCoord2f"), 10u * 22u);
    const std::vector<std::string> actual = scene_calls(ours(), image);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "call " << i;
}
} // namespace
