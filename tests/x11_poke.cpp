// Small X client for the integration tests.
//   x11_poke close WINDOW  sends WM_DELETE_WINDOW to WINDOW and asks the root for _NET_CLOSE_WINDOW
//   x11_poke window NAME   maps a small window named NAME and prints each key it receives, and
//                          "focus in"/"focus out" when the focus changes, until killed
//   x11_poke root-keys     moves the focus to PointerRoot, then prints each key press that reaches
//                          the root window, until killed
//   x11_poke grab          grabs the keyboard, as a hotkey daemon or an open menu does, prints
//                          "grabbed" and holds the grab until killed
//   x11_poke saver         prints the server's screen saver state: "on", "off" or "disabled"
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int send_close_requests(Display* display, Window window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);

    event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = 2; // from a pager or similar tool
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display, False);
    return 0;
}

int record_keys(Display* display, const char* name)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 100,
                                              0, 0, WhitePixel(display, DefaultScreen(display)));
    XStoreName(display, window, name);
    XSelectInput(display, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
    XMapRaised(display, window);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("window 0x%lx\n", window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress) {
            char text[16] = {};
            KeySym keysym;
            XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr);
            std::printf("key %s\n", XKeysymToString(keysym) ? XKeysymToString(keysym) : "?");
        }
        else if (event.type == FocusIn || event.type == FocusOut) {
            if (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed)
                std::printf("%s\n", event.type == FocusIn ? "focus in" : "focus out");
        }
        else if (event.type == MapNotify) {
            std::printf("mapped\n");
        }
    }
}

int watch_root_keys(Display* display)
{
    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSelectInput(display, DefaultRootWindow(display), KeyPressMask);
    XSync(display, False);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("watching\n");
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress)
            std::printf("key %u\n", event.xkey.keycode);
    }
}

int grab_keyboard(Display* display)
{
    if (XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync,
                      CurrentTime) != GrabSuccess)
        return 1;
    XSync(display, False);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("grabbed\n");
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}

int print_saver_state(Display* display)
{
    XScreenSaverInfo info;
    if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info))
        return 1;
    std::printf("%s\n", info.state == ScreenSaverOn    ? "on"
                        : info.state == ScreenSaverOff ? "off"
                                                       : "disabled");
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: x11_poke close WINDOW | window NAME | root-keys | grab | saver\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11_poke: cannot open the display\n");
        return 1;
    }
    if (std::strcmp(argv[1], "close") == 0 && argc == 3)
        return send_close_requests(display, std::strtoul(argv[2], nullptr, 0));
    if (std::strcmp(argv[1], "window") == 0 && argc == 3)
        return record_keys(display, argv[2]);
    if (std::strcmp(argv[1], "root-keys") == 0)
        return watch_root_keys(display);
    if (std::strcmp(argv[1], "grab") == 0)
        return grab_keyboard(display);
    if (std::strcmp(argv[1], "saver") == 0)
        return print_saver_state(display);
    std::fprintf(stderr, "x11_poke: unknown command %s\n", argv[1]);
    return 2;
}
