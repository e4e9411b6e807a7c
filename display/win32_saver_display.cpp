// The screensaver's display host over USER, GDI and WGL: the effect's host, but started by the
// command line Windows gives a screensaver, full screen or in a preview window it is given. Unlike
// the effect, it reads its messages, or Windows would mark it as not responding; so its window has
// a class of its own whose procedure is DefWindowProc, and the Escape poll is where the messages
// are read and the run's end is found: input full screen, the parent's end in a preview.
// Full screen, the window covers every monitor, as Windows' desktop does: the scene is drawn on the
// primary monitor, and each other monitor gets a copy scaled to its own size before every present,
// so each shows the whole picture, at the same aspect ratio as on one monitor.
#include "display/win32_saver_display.h"

#include "display/display.h"

#include <GL/gl.h>

// The linker's name for the image's own module handle: no GetModuleHandle import.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
// One string names the class, titles the window and the settings message box.
const char name[] = "quinesphere";
bool preview;
HWND parent;
// Whose end ends the run: the preview's parent, or the full-screen window itself.
HWND watched;
POINT first_cursor;

// A rectangle in GL's window coordinates: from the window's bottom-left corner, upwards.
struct Area {
    int x, y, width, height;
};
// Where the scene is drawn: the primary monitor full screen, the whole window in a preview.
Area drawn;
// Every other monitor, up to fifteen.
const int most_copies = 15;
Area copies[most_copies];
int copy_count;
// The virtual screen's left and bottom edges, where the window's GL coordinates start.
int screen_left, screen_bottom;

BOOL CALLBACK add_monitor(HMONITOR, HDC, LPRECT monitor, LPARAM)
{
    // Only the primary monitor has its top-left corner at 0,0.
    Area& area = monitor->left | monitor->top ? copies[copy_count++] : drawn;
    area = {monitor->left - screen_left, screen_bottom - monitor->bottom,
            monitor->right - monitor->left, monitor->bottom - monitor->top};
    return copy_count < most_copies;
}
} // namespace

// Started as a screensaver: /s, /p HWND, /c[:HWND] or nothing, with '/' or '-', in any case, the
// handle after ':' or spaces. With no C runtime, there is no argv to read.
void take_saver_command_line()
{
    // Before any window: on a scaled display, Windows would otherwise report smaller monitors and
    // stretch the picture to them.
    SetProcessDPIAware();
    const char* at = GetCommandLineA();
    // The program's name, quoted or not.
    for (bool quoted = false; *at && (quoted || *at > ' '); ++at)
        quoted ^= *at == '"';
    while (*at && *at <= ' ')
        ++at;
    if (*at == '/' || *at == '-')
        ++at;
    const int option = *at | 0x20;
    if (*at)
        ++at;
    while (*at == ':' || *at == ' ')
        ++at;
    UINT_PTR handle = 0;
    while (*at >= '0' && *at <= '9')
        handle = handle * 10 + static_cast<UINT_PTR>(*at++ - '0');
    parent = reinterpret_cast<HWND>(handle);
    preview = option == 'p';
    if (option != 's' && !preview) {
        // The settings dialog, and there are no settings.
        MessageBoxA(parent, "There is nothing to set.", name, MB_OK);
        ExitProcess(0);
    }
}

ScreenSize read_screen_size()
{
    ScreenSize size;
    if (preview) {
        RECT client{};
        GetClientRect(parent, &client);
        size.height = client.bottom;
        size.width = client.right;
        return size;
    }
    size.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    size.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    return size;
}

WindowHandle create_window(ScreenSize size)
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    window_class.lpszClassName = name;
    RegisterClassA(&window_class);
    drawn = {0, 0, size.width, size.height};
    int top = 0;
    if (!preview) {
        // The virtual screen starts left of or above 0,0 where a monitor lies there.
        screen_left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        screen_bottom = top + size.height;
        EnumDisplayMonitors(nullptr, nullptr, add_monitor, 0);
        ShowCursor(FALSE);
        GetCursorPos(&first_cursor);
    }
    const HWND window =
        CreateWindowExA(preview ? 0 : WS_EX_TOPMOST, name, name,
                        (preview ? WS_CHILD : WS_POPUP) | WS_VISIBLE, screen_left, top, size.width,
                        size.height, parent, nullptr, window_class.hInstance, nullptr);
    // Without a window, GetDC would give the whole screen's.
    if (!window)
        fail_setup("no window");
    watched = preview ? parent : window;
    return window;
}

void make_current(DisplaySurface surface, RenderingContext context)
{
    wglMakeCurrent(surface, context);
    // Without a current context, as at the end, it does nothing.
    glViewport(drawn.x, drawn.y, drawn.width, drawn.height);
}

unsigned short poll_escape()
{
    bool input = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        const UINT kind = message.message;
        // A key (WM_KEYDOWN, WM_SYSKEYDOWN) or any button; a move only past 4 pixels either way,
        // as a window appearing under the cursor is told of a move too.
        input |= !preview &&
                 ((kind & ~4u) == WM_KEYDOWN || (kind > WM_MOUSEMOVE && kind <= WM_MOUSELAST) ||
                  (kind == WM_MOUSEMOVE &&
                   (static_cast<unsigned>(message.pt.x - first_cursor.x + 4) > 8 ||
                    static_cast<unsigned>(message.pt.y - first_cursor.y + 4) > 8)));
        DispatchMessageA(&message);
    }
    return input || !IsWindow(watched);
}

void present_frame(DisplaySurface surface)
{
    // A copy's fragments are textured and blended like the sphere's, so neither is on meanwhile.
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    // The scene sets the modelview matrix again for every frame.
    glLoadIdentity();
    for (int i = 0; i < copy_count; ++i) {
        const Area& to = copies[i];
        // The point straight ahead lands at the viewport's centre: the copy's bottom-left corner.
        glViewport(to.x - 1, to.y - 1, 2, 2);
        glRasterPos3f(0.0f, 0.0f, -2.0f);
        glPixelZoom(static_cast<float>(to.width) / static_cast<float>(drawn.width),
                    static_cast<float>(to.height) / static_cast<float>(drawn.height));
        glCopyPixels(drawn.x, drawn.y, drawn.width, drawn.height, GL_COLOR);
    }
    glViewport(drawn.x, drawn.y, drawn.width, drawn.height);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    wglSwapBuffers(surface);
}
