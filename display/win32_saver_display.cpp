// The screensaver's display host over USER, GDI and WGL: the effect's host, but started by the
// command line Windows gives a screensaver, full screen or in a preview window it is given. Unlike
// the effect, it reads its messages, or Windows would mark it as not responding; so its window has
// a class of its own whose procedure is DefWindowProc, and the Escape poll is where the messages
// are read and the run's end is found: input full screen, the parent's end in a preview.
#include "display/win32_saver_display.h"

#include "display/display.h"

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
} // namespace

// Started as a screensaver: /s, /p HWND, /c[:HWND] or nothing, with '/' or '-', in any case, the
// handle after ':' or spaces. With no C runtime, there is no argv to read.
void take_saver_command_line()
{
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
    size.height = GetSystemMetrics(SM_CYSCREEN);
    size.width = GetSystemMetrics(SM_CXSCREEN);
    return size;
}

WindowHandle create_window(ScreenSize size)
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    window_class.lpszClassName = name;
    RegisterClassA(&window_class);
    const HWND window = CreateWindowExA(
        preview ? 0 : WS_EX_TOPMOST, name, name, (preview ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, 0,
        size.width, size.height, parent, nullptr, window_class.hInstance, nullptr);
    // Without a window, GetDC would give the whole screen's.
    if (!window)
        fail_setup("no window");
    watched = preview ? parent : window;
    if (!preview) {
        ShowCursor(FALSE);
        GetCursorPos(&first_cursor);
    }
    return window;
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
