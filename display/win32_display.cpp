// The effect's display host over USER and WGL, with the surface, pixel format and context in
// wgl_context.cpp: every operation is the one platform call with fixed arguments. The window takes
// its window procedure from the predefined "EDIT" class, so nothing here registers a class, and no
// message is ever retrieved or dispatched.
#include "display/display.h"

ScreenSize read_screen_size()
{
    // Or on a scaled display Windows would report a smaller screen and stretch the picture to it.
    SetProcessDPIAware();
    ScreenSize size;
    size.height = GetSystemMetrics(SM_CYSCREEN);
    size.width = GetSystemMetrics(SM_CXSCREEN);
    return size;
}

WindowHandle create_window(ScreenSize size)
{
    // One string serves as the predefined class's name and the title.
    static const char edit[] = "EDIT";
    // The display stays on, and no screensaver starts, for as long as the thread runs, which is
    // the process's life: Windows lets it go when the process ends.
    SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
    return CreateWindowExA(WS_EX_TOPMOST, edit, edit, WS_POPUP | WS_VISIBLE, 0, 0, size.width,
                           size.height, nullptr, nullptr, nullptr, nullptr);
}

unsigned short poll_escape()
{
    return static_cast<unsigned short>(GetAsyncKeyState(VK_ESCAPE));
}

void make_current(DisplaySurface surface, RenderingContext context)
{
    wglMakeCurrent(surface, context);
}

void present_frame(DisplaySurface surface)
{
    wglSwapBuffers(surface);
}
