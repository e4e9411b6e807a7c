// Preloaded into the X11 effect by the tests to make one thing go wrong, as QUINESPHERE_FAULT says:
//   deletion         deleting the rendering context raises an X error
//   before-teardown  an X error arrives just before the deletion, after the context's release
//   no-context       no rendering context can be made, after the round trip a real attempt makes
//   slow-map         the window stays shown for a second before set-up goes on
//   xwayland-release the server gives the release number of Xwayland 22
//   xwayland-output  the first RandR output has the name Xwayland gives it before 22
//   no-outputs       RandR lists no outputs, though it gives the screen's resources
//   old-randr        RandR before 1.5, as libXrandr answers it: no monitor list, a count of -1
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {
bool fault(const char* name)
{
    const char* const chosen = std::getenv("QUINESPHERE_FAULT");
    return chosen && std::strcmp(chosen, name) == 0;
}

template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// A request the server refuses, with BadColor, some time after it is sent.
void raise_x_error(Display* display)
{
    XFreeColormap(display, 0x1fffffff);
}
} // namespace

extern "C" {
Display* XOpenDisplay(const char* name)
{
    Display* const display = next<Display* (*)(const char*)>("XOpenDisplay")(name);
    if (display && fault("xwayland-release"))
        reinterpret_cast<_XPrivDisplay>(display)->release = 12201009;
    return display;
}

XRRScreenResources* XRRGetScreenResourcesCurrent(Display* display, Window window)
{
    XRRScreenResources* const resources = next<XRRScreenResources* (*)(Display*, Window)>(
        "XRRGetScreenResourcesCurrent")(display, window);
    if (resources && fault("no-outputs"))
        resources->noutput = 0;
    return resources;
}

XRROutputInfo* XRRGetOutputInfo(Display* display, XRRScreenResources* resources, RROutput output)
{
    XRROutputInfo* const info = next<XRROutputInfo* (*)(Display*, XRRScreenResources*, RROutput)>(
        "XRRGetOutputInfo")(display, resources, output);
    static char xwayland_name[] = "XWAYLAND0";
    if (info && fault("xwayland-output"))
        info->name = xwayland_name;
    return info;
}

XRRMonitorInfo* XRRGetMonitors(Display* display, Window window, Bool active, int* count)
{
    if (fault("old-randr")) {
        *count = -1;
        return nullptr;
    }
    return next<XRRMonitorInfo* (*)(Display*, Window, Bool, int*)>("XRRGetMonitors")(
        display, window, active, count);
}

int XMapRaised(Display* display, Window window)
{
    const int mapped = next<int (*)(Display*, Window)>("XMapRaised")(display, window);
    if (fault("slow-map")) {
        XSync(display, False);
        sleep(1);
    }
    return mapped;
}

GLXContext glXCreateContext(Display* display, XVisualInfo* visual, GLXContext share, Bool direct)
{
    // The server has then acted on every request before it, the window's map and focus included.
    if (fault("no-context")) {
        XSync(display, False);
        return nullptr;
    }
    return next<GLXContext (*)(Display*, XVisualInfo*, GLXContext, Bool)>("glXCreateContext")(
        display, visual, share, direct);
}

Bool glXMakeCurrent(Display* display, GLXDrawable drawable, GLXContext context)
{
    const Bool made = next<Bool (*)(Display*, GLXDrawable, GLXContext)>("glXMakeCurrent")(
        display, drawable, context);
    if (!context && fault("before-teardown"))
        raise_x_error(display);
    return made;
}

void glXDestroyContext(Display* display, GLXContext context)
{
    if (fault("deletion"))
        raise_x_error(display);
    next<void (*)(Display*, GLXContext)>("glXDestroyContext")(display, context);
}
}
