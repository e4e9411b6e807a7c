// The display host: the only code that talks to the window system, the GL binding layer and the
// process. Each operation stands for one platform call with fixed arguments; the run sequence calls
// them in the order they are declared here. One file per platform implements them.
#pragma once

#ifdef _WIN32
#include <windows.h>
// opengl32 exports it, but the SDK's headers only declare gdi32's SwapBuffers.
extern "C" __declspec(dllimport) BOOL WINAPI wglSwapBuffers(HDC surface);
using WindowHandle = HWND;
using DisplaySurface = HDC;
using RenderingContext = HGLRC;
#elif defined(__EMSCRIPTEN__)
// The page's canvas, named by its CSS selector, stands for the window and its surface.
using WindowHandle = const char*;
using DisplaySurface = const char*;
using RenderingContext = int;
#elif defined(QUINESPHERE_WAYLAND)
using WindowHandle = struct wl_surface*;
using DisplaySurface = struct wl_egl_window*;
using RenderingContext = void*;
#else
// X11 and GLX types, spelt out so that Xlib's macros stay out of the rest of the program.
using WindowHandle = unsigned long;
using DisplaySurface = unsigned long;
using RenderingContext = struct __GLXcontextRec*;
#endif

struct ScreenSize {
    int width;
    int height;
};

// Height first, then width, as the platform is asked.
ScreenSize read_screen_size();
// Borderless, always on top, at the top-left of the screen (on X11, of its monitor), exactly the
// given size, visible at once, titled "EDIT".
WindowHandle create_window(ScreenSize size);
DisplaySurface obtain_display_surface(WindowHandle window);
void set_pixel_format(DisplaySurface surface, int format);
RenderingContext create_rendering_context(DisplaySurface surface);
// With a null surface and context, releases whatever context is current.
void make_current(DisplaySurface surface, RenderingContext context);
// 0x8000 while Escape is down, 0x0001 if it was pressed since the previous poll.
unsigned short poll_escape();
void present_frame(DisplaySurface surface);
// Non-zero when the context was deleted cleanly, 0 when not.
int delete_rendering_context(RenderingContext context);
[[noreturn]] void end_process(int status);
// Ends a run whose set-up could not be completed: one line naming what failed, exit status 0.
[[noreturn]] void fail_setup(const char* what);
