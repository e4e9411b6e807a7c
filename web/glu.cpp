// The GLU functions the scene calls, for the browser, where there is no GLU. They make the same GL
// calls with the same values, to the last bit, as Debian's libGLU does for what the scene asks:
// the same arithmetic in the same precisions, angles in float and their sines and cosines in
// double.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

class GLUquadric {
  public:
    GLboolean texture;
};

namespace {
const double pi = 3.14159265358979323846;
// The effect makes one quadric and keeps it to the end of the process.
GLUquadric the_quadric;
// Large enough for every level below a 16x16 RGBA image, the code texture's.
unsigned char smaller_level[8 * 8 * 4];
} // namespace

extern "C" {
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble near, GLdouble far)
{
    const double radians = fovy / 2 * pi / 180;
    const double cotangent = std::cos(radians) / std::sin(radians);
    const double depth = far - near;
    // Column-major, multiplied onto the current matrix.
    GLdouble matrix[16] = {};
    matrix[0] = cotangent / aspect;
    matrix[5] = cotangent;
    matrix[10] = -(far + near) / depth;
    matrix[11] = -1;
    matrix[14] = -2 * near * far / depth;
    glMultMatrixd(matrix);
}

GLUquadric* gluNewQuadric()
{
    the_quadric.texture = GL_FALSE;
    return &the_quadric;
}

void gluQuadricTexture(GLUquadric* quadric, GLboolean texture)
{
    quadric->texture = texture;
}

// Filled, smooth normals facing out: every stack a quad strip from the +z pole down, as GLU draws
// a sphere with texture coordinates, the poles included.
void gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks)
{
    GLfloat slice_sin[64], slice_cos[64], stack_sin[64], stack_cos[64], ring[64], height[64];
    if (slices < 2 || slices > 63 || stacks < 1 || stacks > 63)
        return;
    for (GLint i = 0; i < slices; ++i) {
        const GLfloat angle = static_cast<GLfloat>(2 * pi * i / slices);
        slice_sin[i] = static_cast<GLfloat>(std::sin(double{angle}));
        slice_cos[i] = static_cast<GLfloat>(std::cos(double{angle}));
    }
    slice_sin[slices] = slice_sin[0];
    slice_cos[slices] = slice_cos[0];
    for (GLint j = 0; j <= stacks; ++j) {
        const GLfloat angle = static_cast<GLfloat>(pi * j / stacks);
        stack_sin[j] = static_cast<GLfloat>(std::sin(double{angle}));
        stack_cos[j] = static_cast<GLfloat>(std::cos(double{angle}));
        ring[j] = static_cast<GLfloat>(radius * std::sin(double{angle}));
        height[j] = static_cast<GLfloat>(radius * std::cos(double{angle}));
    }
    // The strips meet in a point at each pole.
    ring[0] = 0;
    ring[stacks] = 0;
    for (GLint j = 0; j < stacks; ++j) {
        glBegin(GL_QUAD_STRIP);
        for (GLint i = 0; i <= slices; ++i) {
            const GLfloat s = 1 - static_cast<GLfloat>(i) / static_cast<GLfloat>(slices);
            for (GLint k = j + 1; k >= j; --k) {
                glNormal3f(slice_sin[i] * stack_sin[k], slice_cos[i] * stack_sin[k], stack_cos[k]);
                if (quadric->texture)
                    glTexCoord2f(s, 1 - static_cast<GLfloat>(k) / static_cast<GLfloat>(stacks));
                glVertex3f(ring[k] * slice_sin[i], ring[k] * slice_cos[i], height[k]);
            }
        }
        glEnd();
    }
}

// Square power-of-two RGBA bytes up to 16x16, as the code texture is: each level is the 2x2 box
// filter of the one before, rounded to nearest.
GLint gluBuild2DMipmaps(GLenum target, GLint components, GLsizei width, GLsizei height,
                        GLenum format, GLenum type, const void* data)
{
    if (width != height || width > 16 || (width & (width - 1)) != 0)
        return GLU_INVALID_VALUE;
    const auto* level = static_cast<const unsigned char*>(data);
    for (GLint number = 0;; ++number) {
        glTexImage2D(target, number, components, width, width, 0, format, type, level);
        if (width == 1)
            return 0;
        const GLsizei row = 4 * width;
        width /= 2;
        for (GLsizei y = 0; y < width; ++y)
            for (GLsizei x = 0; x < 4 * width; ++x) {
                const unsigned char* texel = level + 2 * y * row + x + x / 4 * 4;
                smaller_level[4 * width * y + x] = static_cast<unsigned char>(
                    (texel[0] + texel[4] + texel[row] + texel[row + 4] + 2) / 4);
            }
        level = smaller_level;
    }
}
}
