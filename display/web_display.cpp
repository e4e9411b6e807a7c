// The effect's display host in a web page, over the page's script (web/page.js) and WebGL. The
// page's canvas is the window, sized once to fill the page, since resizing a canvas clears it. Key,
// click and full-screen events only leave Escape's two bits for the next poll, and present_frame
// hands the frame to the browser and sleeps until the next animation frame (Asyncify), so the run
// sequence's loop runs unchanged.
#include "display/display.h"
#include "web/fixed_function.h"
#include "web/page.h"

#include <iterator>

namespace {
const char canvas[] = "#canvas";
// The calls that wait for the next animation frame, saved meanwhile.
int saved_calls[256];

// A page has no process to end: the module sleeps for good, the last picture left in view.
[[noreturn]] void end_run(const char* line, int status)
{
    page_show_end(line, status);
    for (;;)
        page_sleep_for_good(saved_calls, std::end(saved_calls));
}
} // namespace

ScreenSize read_screen_size()
{
    double width, height;
    page_canvas_size(&width, &height);
    const double ratio = page_pixel_ratio();
    return {static_cast<int>(width * ratio + 0.5), static_cast<int>(height * ratio + 0.5)};
}

WindowHandle create_window(ScreenSize size)
{
    page_open_canvas(size.width, size.height);
    return canvas;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    return window;
}

// A WebGL drawing buffer takes its format with the context (create_rendering_context).
void set_pixel_format(DisplaySurface, int) {}

RenderingContext create_rendering_context(DisplaySurface)
{
    const RenderingContext context = page_create_context();
    if (context <= 0)
        fail_setup("this browser gives no WebGL");
    return context;
}

void make_current(DisplaySurface, RenderingContext context)
{
    page_make_current(context);
    if (context)
        start_fixed_function();
}

unsigned short poll_escape()
{
    return page_poll_escape();
}

void present_frame(DisplaySurface)
{
    page_next_frame(saved_calls, std::end(saved_calls));
}

int delete_rendering_context(RenderingContext context)
{
    return page_delete_context(context);
}

void end_process(int status)
{
    end_run(status ? "The run has ended." : "The run has ended; its WebGL context was not deleted.",
            status);
}

void fail_setup(const char* what)
{
    end_run(what, 0);
}
