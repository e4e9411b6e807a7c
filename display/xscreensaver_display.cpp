// The display host for XScreenSaver, over Xlib and GLX.
//
// The effect draws into a window it is given: the daemon's, with --root (XSCREENSAVER_WINDOW, or
// the root window when that is unset), or the settings dialog's preview, with --window-id. With no
// option it opens an ordinary managed window of its own, of preview size, that closes like any
// other. The daemon owns the screen and the keyboard and ends the hack itself, so the host takes
// no focus, makes no grab, keeps nothing on top and reads no Escape: the run ends when the daemon
// sends SIGTERM (once, and never SIGKILL, so ignoring it would leave the hack running for ever),
// when the window is destroyed, or when its own window is closed.
//
// A GLX context can only be made current on a window of its own visual, so a given window's visual
// is used as it is; the window's size is followed as it changes.
#include "display/xscreensaver_display.h"

#include "display/display.h"
#include "display/failure_line.h"
#include "display/glx_context.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
enum class Target { own_window, root, window_id };
Target target = Target::own_window;
Window given_window;

Window drawn_window;
Atom delete_window;
volatile std::sig_atomic_t terminated;
bool window_gone;

int lose_display(Display*)
{
    fail_setup("lost the connection to the X server");
}

void note_termination(int)
{
    terminated = 1;
}

const char* const usage = "usage: quinesphere-saver [--root | --window-id ID]";

Window window_number(const char* text)
{
    char* end = nullptr;
    const unsigned long number = text ? std::strtoul(text, &end, 0) : 0;
    if (!text || end == text || *end)
        fail_setup(usage);
    return number;
}

bool is_option(const char* argument, const char* name)
{
    // XScreenSaver hacks take their options with one dash or two.
    return argument[0] == '-' && !std::strcmp(argument + (argument[1] == '-' ? 2 : 1), name);
}

// The window the daemon gave, or the root window when started by hand with --root.
Window root_target()
{
    const char* const from_daemon = std::getenv("XSCREENSAVER_WINDOW");
    return from_daemon && *from_daemon ? window_number(from_daemon) : DefaultRootWindow(display);
}
} // namespace

void take_saver_arguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (is_option(argv[i], "root"))
            target = Target::root;
        else if (is_option(argv[i], "window-id")) {
            target = Target::window_id;
            given_window = window_number(i + 1 < argc ? argv[++i] : nullptr);
        }
        else
            fail_setup(usage);
    }
}

ScreenSize read_screen_size()
{
    open_display_counting_errors(lose_display);
    struct sigaction on_term = {};
    on_term.sa_handler = note_termination;
    sigaction(SIGTERM, &on_term, nullptr);
    if (target == Target::root)
        given_window = root_target();
    if (target == Target::own_window)
        return ScreenSize{640, 480};
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, given_window, &attributes))
        fail_setup("no such window to draw into");
    return ScreenSize{attributes.width, attributes.height};
}

WindowHandle create_window(ScreenSize size)
{
    if (target != Target::own_window) {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, given_window, &attributes);
        XVisualInfo wanted = {};
        wanted.visualid = XVisualIDFromVisual(attributes.visual);
        int count = 0;
        visual = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
        if (!visual)
            fail_setup("the window's visual is unknown");
        drawn_window = given_window;
        XSelectInput(display, drawn_window, StructureNotifyMask);
        return drawn_window;
    }
    static int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (!visual)
        fail_setup("no double-buffered RGBA GLX visual");
    const Window root = DefaultRootWindow(display);
    XSetWindowAttributes window_attributes = {};
    window_attributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    window_attributes.event_mask = StructureNotifyMask;
    drawn_window =
        XCreateWindow(display, root, 0, 0, static_cast<unsigned>(size.width),
                      static_cast<unsigned>(size.height), 0, visual->depth, InputOutput,
                      visual->visual, CWColormap | CWBorderPixel | CWEventMask, &window_attributes);
    static const unsigned char edit[] = "EDIT\0EDIT";
    XChangeProperty(display, drawn_window, XA_WM_NAME, XA_STRING, 8, PropModeReplace, edit, 4);
    XChangeProperty(display, drawn_window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace, edit,
                    sizeof edit);
    delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, drawn_window, &delete_window, 1);
    XMapWindow(display, drawn_window);
    return drawn_window;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    return window;
}

void set_pixel_format(DisplaySurface, int) {}

unsigned short poll_escape()
{
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == drawn_window)
            glViewport(0, 0, event.xconfigure.width, event.xconfigure.height);
        else if (event.type == DestroyNotify && event.xdestroywindow.window == drawn_window)
            window_gone = true;
        else if (event.type == ClientMessage && delete_window &&
                 static_cast<Atom>(event.xclient.data.l[0]) == delete_window)
            window_gone = true;
    }
    return terminated || window_gone ? 0x8000 : 0;
}

void end_process(int status)
{
    _exit(status);
}

void fail_setup(const char* what)
{
    write_failure_line("quinesphere-saver: ", what);
    _exit(0);
}
