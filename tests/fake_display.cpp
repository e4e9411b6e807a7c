// Display host that records each operation and its arguments instead of touching a window system.
#include "display/display.h"

#include "tests/call_log.h"
#include "tests/fake_display.h"

#include <string>

namespace {
// Recognisable handles, so the log shows which value travelled where.
WindowHandle const fake_window = 0x11;
DisplaySurface const fake_surface = 0x22;
RenderingContext const fake_context = reinterpret_cast<RenderingContext>(0x33);

std::string name_of(DisplaySurface surface)
{
    return surface == fake_surface ? "surface" : surface == 0 ? "none" : "?";
}

std::string name_of(RenderingContext context)
{
    return context == fake_context ? "context" : context == nullptr ? "none" : "?";
}
} // namespace

FakeDisplayScript& fake_display_script()
{
    static FakeDisplayScript script;
    return script;
}

ScreenSize read_screen_size()
{
    log_call("read_screen_size");
    return ScreenSize{1024, 600};
}

WindowHandle create_window(ScreenSize size)
{
    log_call("create_window " + std::to_string(size.width) + "x" + std::to_string(size.height));
    return fake_window;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    log_call(std::string("obtain_display_surface ") + (window == fake_window ? "window" : "?"));
    return fake_surface;
}

void set_pixel_format(DisplaySurface surface, int format)
{
    log_call("set_pixel_format " + name_of(surface) + " " + std::to_string(format));
}

RenderingContext create_rendering_context(DisplaySurface surface)
{
    log_call("create_rendering_context " + name_of(surface));
    return fake_context;
}

void make_current(DisplaySurface surface, RenderingContext context)
{
    log_call("make_current " + name_of(surface) + " " + name_of(context));
}

unsigned short poll_escape()
{
    log_call("poll_escape");
    auto& states = fake_display_script().escape_states;
    if (states.empty())
        return 0x8000;
    const unsigned short state = states.front();
    states.pop_front();
    return state;
}

void present_frame(DisplaySurface surface)
{
    log_call("present_frame " + name_of(surface));
}

int delete_rendering_context(RenderingContext context)
{
    log_call("delete_rendering_context " + name_of(context));
    return fake_display_script().deletion_result;
}

void end_process(int status)
{
    log_call("end_process " + std::to_string(status));
    throw ProcessEnded{status};
}

void fail_setup(const char* what)
{
    log_call(std::string("fail_setup ") + what);
    throw ProcessEnded{0};
}
