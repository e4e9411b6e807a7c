#include "scene/scene.h"

#include "display/display.h"
#include "scene/code_texture.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>

namespace {
// Kept as data so that the advance adds exactly this double.
const double angle_step = 0.3;
GLUquadric* sphere_quadric;
} // namespace

void set_up_scene()
{
    // A fresh context's projection matrix is the identity, so nothing is loaded first.
    glMatrixMode(GL_PROJECTION);
    gluPerspective(100.0, 1.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 0.06f);
    build_code_texture();
    sphere_quadric = gluNewQuadric();
    // GLU gives no quadric only when out of memory; drawing through none would crash.
    if (!sphere_quadric)
        fail_setup("cannot create the sphere quadric");
    gluQuadricTexture(sphere_quadric, GL_TRUE);
}

void draw_frame(float angle)
{
    glLoadIdentity();
    glRotatef(angle, 1.0f, 0.0f, 0.0f);
    glRotatef(angle, 0.0f, 1.0f, 1.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    gluSphere(sphere_quadric, 100.0, 10, 10);
}

float advance_angle(float angle)
{
    double next = angle + angle_step;
    // All three rotations repeat every turn. Kept within one, the angle never grows so large that
    // the float rounds the step away: unbounded, it would speed up, slow down and stop in days.
    if (next >= 360.0)
        next -= 360.0;
    return static_cast<float>(next);
}
