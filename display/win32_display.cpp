// The display host over USER, GDI and WGL: every operation is the one platform call with fixed
// arguments. The window takes its window procedure from the predefined "EDIT" class, so nothing
// here registers a class, and no message is ever retrieved or dispatched.
#include "display/display.h"

// opengl32 exports it, but the SDK's headers only declare gdi32's SwapBuffers.
extern "C" __declspec(dllimport) BOOL WINAPI wglSwapBuffers(HDC surface);

ScreenSize read_screen_size()
{
    ScreenSize size;
    size.height = GetSystemMetrics(SM_CYSCREEN);
    size.width = GetSystemMetrics(SM_CXSCREEN);
    return size;
}

WindowHandle create_window(ScreenSize size)
{
    // One string serves as the predefined class's name and the title.
    static const char edit[] = "EDIT";
    return CreateWindowExA(WS_EX_TOPMOST, edit, edit, WS_POPUP | WS_VISIBLE, 0, 0, size.width,
                           size.height, nullptr, nullptr, nullptr, nullptr);
}

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

void make_current(DisplaySurface surface, RenderingContext context)
{
    wglMakeCurrent(surface, context);
}

unsigned short poll_escape()
{
    return static_cast<unsigned short>(GetAsyncKeyState(VK_ESCAPE));
}

void present_frame(DisplaySurface surface)
{
    wglSwapBuffers(surface);
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
