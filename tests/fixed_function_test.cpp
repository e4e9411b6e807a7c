// Our GL 1.x for the browser against Mesa's: the same frames drawn through ours over an OpenGL ES 2
// context, which is what WebGL 1 is, and through Mesa's own GL 1.x in a compatibility context,
// both offscreen in llvmpipe, make the same picture. Our layer's names are this executable's own,
// so Mesa's are reached through eglGetProcAddress.
#include "web/fixed_function.h"
#include "web/page.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#define MESA(name) reinterpret_cast<decltype(&name)>(eglGetProcAddress(#name))

// What reaches WebGL through the page's script in the browser reaches the current context here.
void webgl_enable(unsigned capability)
{
    MESA(glEnable)(capability);
}

void webgl_tex_image_2d(unsigned target, int level, int internal_format, int width, int height,
                        int border, unsigned format, unsigned type, const void* pixels)
{
    MESA(glTexImage2D)(target, level, internal_format, width, height, border, format, type, pixels);
}

namespace {
const int side = 64;

// The calls our layer answers itself, as ours or Mesa's.
struct FixedFunction {
    decltype(&glMatrixMode) matrix_mode;
    decltype(&glLoadIdentity) load_identity;
    decltype(&glMultMatrixd) mult_matrixd;
    decltype(&glRotatef) rotatef;
    decltype(&glEnable) enable;
    decltype(&glColor4f) color4f;
    decltype(&glTexImage2D) tex_image_2d;
    decltype(&glBegin) begin;
    decltype(&glTexCoord2f) tex_coord2f;
    decltype(&glVertex3f) vertex3f;
    decltype(&glEnd) end;
};

void vertex(const FixedFunction& gl, GLfloat s, GLfloat t, GLfloat x, GLfloat y, GLfloat z)
{
    gl.tex_coord2f(s, t);
    gl.vertex3f(x, y, z);
}

// Frames as the scene draws them, blended onto black, of a cube around the eye instead of the
// sphere: it fills the view whichever way it turns. The texture and colour are translucent, and
// both vary by channel.
std::vector<unsigned char> frames(const FixedFunction& gl)
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    const GLdouble perspective[16] = {0.84, 0, 0,     0,  0, 0.84, 0,     0,
                                      0,    0, -1.02, -1, 0, 0,    -2.02, 0};
    gl.matrix_mode(GL_PROJECTION);
    gl.mult_matrixd(perspective);
    gl.matrix_mode(GL_MODELVIEW);
    gl.enable(GL_BLEND);
    gl.enable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.color4f(1.0f, 0.75f, 0.5f, 0.6f);
    unsigned char texels[4 * 4 * 4];
    for (unsigned i = 0; i < sizeof texels; ++i)
        texels[i] = static_cast<unsigned char>(i * 83 + 40);
    gl.tex_image_2d(GL_TEXTURE_2D, 0, 4, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    for (const GLfloat angle : {20.0f, 110.0f, 230.0f}) {
        gl.load_identity();
        gl.rotatef(angle, 1.0f, 0.0f, 0.0f);
        gl.rotatef(angle, 0.0f, 1.0f, 1.0f);
        gl.rotatef(angle, 0.0f, 0.0f, 1.0f);
        gl.begin(GL_QUAD_STRIP);
        for (int corner = 0; corner <= 4; ++corner) {
            const GLfloat s = static_cast<GLfloat>(corner) / 4;
            const GLfloat x = (corner + 1) % 4 < 2 ? -3 : 3, z = corner % 4 < 2 ? -3 : 3;
            vertex(gl, s, 0, x, -3, z);
            vertex(gl, s, 1, x, 3, z);
        }
        gl.end();
        for (const GLfloat y : {-3.0f, 3.0f}) {
            gl.begin(GL_QUAD_STRIP);
            vertex(gl, 0, 0, -3, y, -3);
            vertex(gl, 1, 0, 3, y, -3);
            vertex(gl, 0, 1, -3, y, 3);
            vertex(gl, 1, 1, 3, y, 3);
            gl.end();
        }
    }
    std::vector<unsigned char> pixels(side * side * 4);
    glReadPixels(0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// A pbuffer of its own, current with a context of the given API.
void make_current(EGLDisplay display, EGLConfig config, EGLenum api, const EGLint* attributes)
{
    const EGLint size[] = {EGL_WIDTH, side, EGL_HEIGHT, side, EGL_NONE};
    const EGLSurface surface = eglCreatePbufferSurface(display, config, size);
    ASSERT_NE(surface, EGL_NO_SURFACE);
    ASSERT_TRUE(eglBindAPI(api));
    const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    ASSERT_NE(context, EGL_NO_CONTEXT);
    ASSERT_TRUE(eglMakeCurrent(display, surface, surface, context));
}

TEST(FixedFunction, OursOverOpenGlEs2DrawsWhatMesasGl1Does)
{
    // The same renderer whatever GPU the machine has.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    const EGLDisplay display =
        eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    ASSERT_TRUE(eglInitialize(display, nullptr, nullptr));
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_PBUFFER_BIT,
                             EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT | EGL_OPENGL_ES2_BIT,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_ALPHA_SIZE,
                             8,
                             EGL_NONE};
    EGLConfig config;
    EGLint configs;
    ASSERT_TRUE(eglChooseConfig(display, wanted, &config, 1, &configs));
    ASSERT_EQ(configs, 1);

    const EGLint es2[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    make_current(display, config, EGL_OPENGL_ES_API, es2);
    start_fixed_function();
    const std::vector<unsigned char> ours =
        frames({glMatrixMode, glLoadIdentity, glMultMatrixd, glRotatef, glEnable, glColor4f,
                glTexImage2D, glBegin, glTexCoord2f, glVertex3f, glEnd});
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    make_current(display, config, EGL_OPENGL_API, nullptr);
    const std::vector<unsigned char> mesas =
        frames({MESA(glMatrixMode), MESA(glLoadIdentity), MESA(glMultMatrixd), MESA(glRotatef),
                MESA(glEnable), MESA(glColor4f), MESA(glTexImage2D), MESA(glBegin),
                MESA(glTexCoord2f), MESA(glVertex3f), MESA(glEnd)});
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglTerminate(display);

    // llvmpipe's shaders and its fixed function round apart by up to 2/255 here; every slip in our
    // matrices, shader or blend state seen so far makes 90/255 or more.
    int largest = 0, at = 0;
    for (int i = 0; i < side * side * 4; ++i)
        if (std::abs(ours[i] - mesas[i]) > largest) {
            largest = std::abs(ours[i] - mesas[i]);
            at = i;
        }
    EXPECT_LE(largest, 2) << "pixel " << at / 4 % side << ", " << at / 4 / side << " channel "
                          << at % 4 << ": ours " << int{ours[at]} << ", Mesa's " << int{mesas[at]};
}
} // namespace
