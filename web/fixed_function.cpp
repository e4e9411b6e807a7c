// OpenGL 1.x over WebGL 1 for the scene and our GLU: two matrices, the current colour and texture
// coordinate, quad strips, and one shader that modulates the texture by the colour. Calls WebGL has
// as they are (glBlendFunc) go to it directly; glEnable and glTexImage2D, which we answer
// ourselves, reach WebGL under the page's webgl_ names.
#include "web/fixed_function.h"

#include "web/page.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

namespace {
const char vertex_shader[] = "attribute vec4 p;attribute vec2 t;attribute vec4 c;uniform mat4 m;"
                             "varying vec2 u;varying vec4 k;"
                             "void main(){gl_Position=m*p;u=t;k=c;}";
const char fragment_shader[] = "precision mediump float;uniform sampler2D s;"
                               "varying vec2 u;varying vec4 k;"
                               "void main(){gl_FragColor=k*texture2D(s,u);}";
enum Attribute : GLuint { position, texture_coordinate, colour };

struct Matrix {
    GLfloat m[16];
};
Matrix projection, modelview;
Matrix* current_matrix = &modelview;
GLint transform_uniform;

// A quad strip at a time, as long as our gluSphere's longest, each vertex x, y, z, s, t.
const int vertex_floats = 5;
const int strip_capacity = 2 * 64;
GLfloat strip[strip_capacity * vertex_floats];
GLsizei strip_vertices;
GLfloat texture_s, texture_t;

Matrix identity()
{
    return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

// Column-major, as GL keeps them: a times b.
Matrix product(const Matrix& a, const GLfloat (&b)[16])
{
    Matrix result;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            GLfloat sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b[column * 4 + k];
            result.m[column * 4 + row] = sum;
        }
    return result;
}

void compile(GLuint program, GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    glAttachShader(program, shader);
}
} // namespace

void start_fixed_function()
{
    const GLuint program = glCreateProgram();
    compile(program, GL_VERTEX_SHADER, vertex_shader);
    compile(program, GL_FRAGMENT_SHADER, fragment_shader);
    glBindAttribLocation(program, position, "p");
    glBindAttribLocation(program, texture_coordinate, "t");
    glBindAttribLocation(program, colour, "c");
    glLinkProgram(program);
    glUseProgram(program);
    transform_uniform = glGetUniformLocation(program, "m");
    GLuint buffer, texture;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(position);
    glVertexAttribPointer(position, 3, GL_FLOAT, GL_FALSE, vertex_floats * 4, nullptr);
    glEnableVertexAttribArray(texture_coordinate);
    glVertexAttribPointer(texture_coordinate, 2, GL_FLOAT, GL_FALSE, vertex_floats * 4,
                          reinterpret_cast<const void*>(3 * 4));
    // WebGL has no default texture object; this one stands in for it.
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    projection = modelview = identity();
    glColor4f(1, 1, 1, 1);
}

extern "C" {
void glMatrixMode(GLenum mode)
{
    current_matrix = mode == GL_PROJECTION ? &projection : &modelview;
}

void glLoadIdentity()
{
    *current_matrix = identity();
}

void glMultMatrixd(const GLdouble* matrix)
{
    GLfloat factor[16];
    for (int i = 0; i < 16; ++i)
        factor[i] = static_cast<GLfloat>(matrix[i]);
    *current_matrix = product(*current_matrix, factor);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    const GLfloat length = std::sqrt(x * x + y * y + z * z);
    x /= length;
    y /= length;
    z /= length;
    const double radians = angle * 3.14159265358979323846 / 180;
    const auto c = static_cast<GLfloat>(std::cos(radians));
    const auto s = static_cast<GLfloat>(std::sin(radians));
    const GLfloat d = 1 - c;
    const GLfloat rotation[16] = {x * x * d + c,
                                  y * x * d + z * s,
                                  x * z * d - y * s,
                                  0,
                                  x * y * d - z * s,
                                  y * y * d + c,
                                  y * z * d + x * s,
                                  0,
                                  x * z * d + y * s,
                                  y * z * d - x * s,
                                  z * z * d + c,
                                  0,
                                  0,
                                  0,
                                  0,
                                  1};
    *current_matrix = product(*current_matrix, rotation);
}

// Texturing is always on in the shader; blending goes to WebGL.
void glEnable(GLenum capability)
{
    if (capability != GL_TEXTURE_2D)
        webgl_enable(capability);
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    glVertexAttrib4f(colour, red, green, blue, alpha);
}

// WebGL 1 takes the internal format from the format; GL 1.0's component count, 4, is RGBA.
void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels)
{
    webgl_tex_image_2d(target, level, static_cast<GLint>(format), width, height, border, format,
                       type, pixels);
}

// Only quad strips are drawn: a quad strip's vertices make the same triangles as a triangle
// strip's.
void glBegin(GLenum)
{
    strip_vertices = 0;
}

// Nothing is lit, so normals are not kept.
void glNormal3f(GLfloat, GLfloat, GLfloat) {}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    texture_s = s;
    texture_t = t;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (strip_vertices == strip_capacity)
        return;
    GLfloat* vertex = strip + strip_vertices++ * vertex_floats;
    vertex[0] = x;
    vertex[1] = y;
    vertex[2] = z;
    vertex[3] = texture_s;
    vertex[4] = texture_t;
}

void glEnd()
{
    const Matrix transform = product(projection, modelview.m);
    glUniformMatrix4fv(transform_uniform, 1, GL_FALSE, transform.m);
    glBufferData(GL_ARRAY_BUFFER, strip_vertices * vertex_floats * 4, strip, GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, strip_vertices);
}
}
