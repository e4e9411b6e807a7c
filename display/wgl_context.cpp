// What the two Windows hosts, the effect's and the screensaver's, share: the window's display
// surface and the WGL rendering context on it, and the end of the process. Every operation is the
// one platform call with fixed arguments. Making the context current and presenting are each
// host's own, as the screensaver draws on every monitor.
#include "display/display.h"

DisplaySurface obtain_display_surface(WindowHandle window)
{
    return GetDC(window);
}

void set_pixel_format(DisplaySurface surface, int format)
{
    SetPixelFormat(surface, format, nullptr);
}

RenderingContext create_rendering_context(DisplaySurface surface)
{
    return wglCreateContext(surface);
}

int delete_rendering_context(RenderingContext context)
{
    return wglDeleteContext(context);
}

void end_process(int status)
{
    ExitProcess(static_cast<UINT>(status));
}

// A GUI program has no console to report to, so a failed set-up ends quietly.
void fail_setup(const char*)
{
    ExitProcess(0);
}
