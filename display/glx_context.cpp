#include "display/glx_context.h"

#include "display/display.h"

#include <GL/glx.h>

Display* display;
XVisualInfo* visual;

namespace {
unsigned long x_errors;

int count_x_error(Display*, XErrorEvent*)
{
    ++x_errors;
    return 0;
}
} // namespace

void open_display_counting_errors(XIOErrorHandler on_loss)
{
    display = XOpenDisplay(nullptr);
    if (!display)
        fail_setup("cannot open the X display");
    XSetErrorHandler(count_x_error);
    XSetIOErrorHandler(on_loss);
}

RenderingContext create_rendering_context(DisplaySurface)
{
    const GLXContext context = glXCreateContext(display, visual, nullptr, True);
    if (!context)
        fail_setup("cannot create a GLX rendering context");
    return context;
}

void make_current(DisplaySurface surface, RenderingContext context)
{
    if (!glXMakeCurrent(display, surface, context))
        fail_setup("cannot make the GLX rendering context current");
}

void present_frame(DisplaySurface surface)
{
    glXSwapBuffers(display, surface);
}

int delete_rendering_context(RenderingContext context)
{
    // GLX reports nothing from the deletion itself, so it is judged by the errors it raises, and
    // not by those of earlier calls, which the first sync brings in.
    Display* const x = display;
    XSync(x, False);
    const unsigned long errors_before = x_errors;
    glXDestroyContext(x, context);
    XSync(x, False);
    return x_errors == errors_before;
}
