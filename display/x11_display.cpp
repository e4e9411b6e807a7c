// The display host over Xlib, XInput 2 and GLX.
//
// On an X server of its own the window is override-redirect: that is how X11 gives a top-level
// window no decoration, puts it above its siblings when mapped, and keeps a window manager from
// moving, resizing or closing it; no window manager lists it, so a close request can only come
// straight to the window, which reads none. Being unmanaged, it keeps itself on top: whenever
// another window covers part of it, the poll raises it again, under a window manager or without.
// As a newly shown window takes the keyboard, the window takes the input focus when it appears and
// lets no key event propagate past it, so what is typed reaches no other client. There is no
// keyboard grab: the window manager's shortcuts keep working, and the user may move the focus
// away. The focus goes back to where it was when the process ends.
//
// Under XWayland none of that holds: the Wayland compositor gives the keyboard only to windows
// its window manager manages, whatever the X server's focus says. There the window is an ordinary
// managed one asking to be full screen, neither kept on top nor raised again, so the compositor
// gives it the keyboard and can always switch away from it to a window opened later. XWayland is
// told apart by the server itself, not by an atom, as the window managers of GNOME and KDE intern
// XWayland's atoms on any server: Xwayland has been released on its own since 21.1, and numbered
// from 22 on, past every release of the X.Org server; before that it named every RandR output
// XWAYLAND<n>. A server that shows no output to judge by is taken for XWayland: a wrong guess
// there costs the window its place on top, where the other way round the compositor would never
// give the keyboard to the one window that reads Escape.
//
// X11 binds a window's visual when the window is created, so the double-buffered RGBA visual that
// stands for pixel format 4 is chosen in create_window, without further checks, and
// set_pixel_format has nothing left to do here.
//
// Escape is read without window events or a keyboard grab: XQueryKeymap says whether it is down
// now, and raw key presses from XInput 2, selected on the root window, report a tap whose press
// and release both fell between two polls, whichever window has the focus. The key that carries
// Escape is looked up again whenever the keyboard mapping changes, as it does when a keyboard
// with another layout appears.
//
// While it runs, the screen stays on: the server's own screen saver is suspended, which also holds
// off DPMS and what follows the server's saver (xss-lock), and the desktop's idle timer is held
// off through the session bus. The server lifts the suspension when the connection closes, however
// the process ends. The size-coded builds share this file but leave both out, for their size.
#include "display/x11_display.h"

#include "display/display.h"
#include "display/failure_line.h"
#include "display/glx_context.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <unistd.h>

#ifdef QUINESPHERE_KEEPS_SCREEN_ON
#include "display/session_bus.h"

#include <X11/extensions/scrnsaver.h>
#endif

namespace {
// Where the chosen monitor lies on the screen.
int monitor_x, monitor_y;
Window previous_focus;
bool focus_taken;
KeyCode escape_keycode;

int lose_display(Display*)
{
    // Nothing can be given back to a server that has gone.
    focus_taken = false;
    fail_setup("lost the connection to the X server");
}

void give_back_focus()
{
    if (!focus_taken)
        return;
    Display* const x = display;
    XSetInputFocus(x, previous_focus, RevertToPointerRoot, CurrentTime);
    XSync(x, False);
}

void select_raw_key_presses(Display* const x, Window root)
{
    // Announcing 2.2 is what has the server send raw events outside of grabs.
    static int major = 2, minor = 2;
    static_assert(XI_RawKeyPress >> 3 == 1, "the raw key press bit lies in the mask's second byte");
    static unsigned char mask_bits[XIMaskLen(XI_RawKeyPress)] = {0, 1 << (XI_RawKeyPress & 7)};
    static XIEventMask mask = {XIAllMasterDevices, sizeof mask_bits, mask_bits};
    if (XIQueryVersion(x, &major, &minor) == Success)
        XISelectEvents(x, root, &mask, 1);
    // Without XInput 2 only a key that is down at the poll is seen.
}

bool runs_on_xwayland(Display* const x, Window root)
{
    // Release 1.22, as the protocol numbers Xwayland 22.
    if (VendorRelease(x) >= 12200000)
        return true;
    XRRScreenResources* const resources = XRRGetScreenResourcesCurrent(x, root);
    if (!resources || resources->noutput < 1)
        return true;
    const XRROutputInfo* const output = XRRGetOutputInfo(x, resources, resources->outputs[0]);
    if (!output)
        return true;
    // The name's terminating zero ends the comparison where the name is shorter.
    for (const char *name = output->name, *prefix = "XWAYLAND"; *prefix; ++name, ++prefix)
        if (*name != *prefix)
            return false;
    return true;
}

bool drain_events_for_escape_press(Display* const x)
{
    bool pressed = false;
    while (XPending(x)) {
        XEvent event;
        XNextEvent(x, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            escape_keycode = XKeysymToKeycode(x, XK_Escape);
        }
        // A window already mapped is only raised by it, and it is one function fewer to find.
        if (event.type == VisibilityNotify && event.xvisibility.state != VisibilityUnobscured)
            XMapRaised(x, event.xvisibility.window);
        // Raw key presses are the only generic events selected, and XInput 2 the only extension
        // whose events carry data to fetch.
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type == GenericEvent && XGetEventData(x, &cookie)) {
            if (static_cast<XIRawEvent*>(cookie.data)->detail == escape_keycode)
                pressed = true;
            XFreeEventData(x, &cookie);
        }
    }
    return pressed;
}
} // namespace

unsigned short escape_key_state(const char (&keymap)[32], unsigned char keycode,
                                bool pressed_since_poll)
{
    // Keycode 0 means no key carries Escape.
    const bool down = keycode && (keymap[keycode / 8] >> (keycode % 8) & 1);
    return static_cast<unsigned short>((down ? 0x8000 : 0) | (pressed_since_poll ? 0x0001 : 0));
}

ScreenSize read_screen_size()
{
    open_display_counting_errors(lose_display);
    Display* const x = display;
    ScreenSize size;
    size.height = DisplayHeight(x, DefaultScreen(x));
    size.width = DisplayWidth(x, DefaultScreen(x));
    // One monitor, as a screen spanning several would stretch the picture across them all: the
    // first that RandR lists, which is the primary one where one is marked. A server without
    // RandR 1.5 lists none, leaving the count as it was or making it negative, and the whole
    // screen is then the monitor.
    int count = 0;
    const XRRMonitorInfo* const monitor = XRRGetMonitors(x, DefaultRootWindow(x), True, &count);
    if (count > 0) {
        monitor_x = monitor->x;
        monitor_y = monitor->y;
        size.height = monitor->height;
        size.width = monitor->width;
    }
    return size;
}

WindowHandle create_window(ScreenSize size)
{
    Display* const x = display;
    static int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    XVisualInfo* const chosen = glXChooseVisual(x, DefaultScreen(x), attributes);
    // Also what a server without GLX gives.
    if (!chosen)
        fail_setup("no double-buffered RGBA GLX visual");
    visual = chosen;
    const Window root = DefaultRootWindow(x);
    // Keys are watched before the window exists, so that a tap the moment it appears is seen.
    escape_keycode = XKeysymToKeycode(x, XK_Escape);
    select_raw_key_presses(x, root);
    const bool on_xwayland = runs_on_xwayland(x, root);
    // Zero-initialised, and so no bytes of the size-coded file.
    static XSetWindowAttributes window_attributes;
    window_attributes.do_not_propagate_mask = KeyPressMask | KeyReleaseMask;
    window_attributes.override_redirect = !on_xwayland;
    window_attributes.event_mask = on_xwayland ? NoEventMask : VisibilityChangeMask;
    window_attributes.colormap = XCreateColormap(x, root, chosen->visual, AllocNone);
    const Window window = XCreateWindow(
        x, root, monitor_x, monitor_y, static_cast<unsigned>(size.width),
        static_cast<unsigned>(size.height), 0, chosen->depth, InputOutput, chosen->visual,
        CWOverrideRedirect | CWColormap | CWBorderPixel | CWEventMask | CWDontPropagate,
        &window_attributes);
    // The title, then the class's two fields: instance name and class name.
    static const unsigned char edit[] = "EDIT\0EDIT";
    XChangeProperty(x, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace, edit, 4);
    XChangeProperty(x, window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace, edit, sizeof edit);
    int revert_to;
    XGetInputFocus(x, &previous_focus, &revert_to);
    if (on_xwayland) {
        // Full screen is asked for twice: in the state the window is mapped with, and by the
        // request a window manager must answer, as one busy at the map may miss the first.
        static XEvent request;
        request.xclient.type = ClientMessage;
        request.xclient.window = window;
        request.xclient.message_type = XInternAtom(x, "_NET_WM_STATE", False);
        request.xclient.format = 32;
        request.xclient.data.l[0] = 1; // add
        request.xclient.data.l[1] =
            static_cast<long>(XInternAtom(x, "_NET_WM_STATE_FULLSCREEN", False));
        request.xclient.data.l[3] = 1; // from an application
        XChangeProperty(x, window, request.xclient.message_type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&request.xclient.data.l[1]), 1);
        XMapRaised(x, window);
        XSendEvent(x, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
    }
    else {
        XMapRaised(x, window);
        XSetInputFocus(x, window, RevertToPointerRoot, CurrentTime);
        focus_taken = true;
    }
#ifdef QUINESPHERE_KEEPS_SCREEN_ON
    // Asked without the extension, Xlib would say so on stderr.
    int event_base, error_base;
    if (XScreenSaverQueryExtension(x, &event_base, &error_base))
        XScreenSaverSuspend(x, True);
    inhibit_idle_on_session_bus();
#endif
    return window;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    // GLX draws into the window itself.
    return window;
}

void set_pixel_format(DisplaySurface, int) {}

unsigned short poll_escape()
{
    char keymap[32];
    // The keymap's round trip also brings in every raw event the server sent before it.
    Display* const x = display;
    XQueryKeymap(x, keymap);
    return escape_key_state(keymap, escape_keycode, drain_events_for_escape_press(x));
}

void end_process(int status)
{
#ifdef QUINESPHERE_KEEPS_SCREEN_ON
    uninhibit_idle_on_session_bus();
#endif
    give_back_focus();
    _exit(status);
}

void fail_setup(const char* what)
{
    write_failure_line("quinesphere: ", what);
    give_back_focus();
    _exit(0);
}
