// The effect's display host in a web page, over Emscripten's HTML5 API and WebGL. The page's canvas
// is the window, sized once to fill the page, since resizing a canvas clears it. Key, click and
// full-screen events only leave Escape's two bits for the next poll, and present_frame hands the
// frame to the browser and sleeps until the next animation frame (Asyncify), so the run sequence's
// loop runs unchanged.
#include "display/display.h"
#include "web/fixed_function.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

namespace {
const char canvas[] = "#canvas";
bool escape_down;
bool escape_pressed;

// Browsers grant full screen only while they handle a click, a tap or a key.
void request_full_screen()
{
    emscripten_request_fullscreen(canvas, EM_FALSE);
}

EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* event, void*)
{
    const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    if (std::strcmp(event->key, "Escape") == 0) {
        escape_down = down;
        escape_pressed |= down;
        return EM_TRUE;
    }
    // A plain F only: with a modifier it is the browser's.
    if ((std::strcmp(event->key, "f") == 0 || std::strcmp(event->key, "F") == 0) &&
        !event->ctrlKey && !event->altKey && !event->metaKey) {
        if (down)
            request_full_screen();
        return EM_TRUE;
    }
    return EM_FALSE;
}

EM_BOOL on_click(int, const EmscriptenMouseEvent*, void*)
{
    request_full_screen();
    return EM_TRUE;
}

// The browser keeps the Escape that leaves full screen for itself, so leaving counts as a press.
EM_BOOL on_full_screen_change(int, const EmscriptenFullscreenChangeEvent* event, void*)
{
    escape_pressed |= !event->isFullscreen;
    return EM_FALSE;
}

// The page says how the run ended, in its text and at the end of its title.
EM_JS(void, show_end, (const char* line, int status), {
    document.title += ": exit " + status;
    const end = document.getElementById("end");
    end.textContent = UTF8ToString(line);
    end.hidden = false;
});

EM_ASYNC_JS(void, wait_for_animation_frame, (), { await new Promise(requestAnimationFrame); });
EM_ASYNC_JS(void, sleep_for_good, (), { await new Promise(function(){}); });

// A page has no process to end: the module sleeps for good, the last picture left in view.
[[noreturn]] void end_run(const char* line, int status)
{
    show_end(line, status);
    for (;;)
        sleep_for_good();
}
} // namespace

ScreenSize read_screen_size()
{
    double width, height;
    emscripten_get_element_css_size(canvas, &width, &height);
    const double ratio = emscripten_get_device_pixel_ratio();
    return {static_cast<int>(width * ratio + 0.5), static_cast<int>(height * ratio + 0.5)};
}

WindowHandle create_window(ScreenSize size)
{
    emscripten_set_canvas_element_size(canvas, size.width, size.height);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_key);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_key);
    emscripten_set_click_callback(canvas, nullptr, EM_FALSE, on_click);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             on_full_screen_change);
    return canvas;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    return window;
}

// A WebGL drawing buffer takes its format with the context (create_rendering_context).
void set_pixel_format(DisplaySurface, int) {}

RenderingContext create_rendering_context(DisplaySurface surface)
{
    // What pixel format 4 is on the desktop: RGBA colour alone, no multisampling, and a buffer
    // that keeps what was drawn into it from frame to frame.
    EmscriptenWebGLContextAttributes attributes{};
    attributes.majorVersion = 1;
    attributes.preserveDrawingBuffer = EM_TRUE;
    const RenderingContext context = emscripten_webgl_create_context(surface, &attributes);
    if (context <= 0)
        fail_setup("this browser gives no WebGL");
    return context;
}

void make_current(DisplaySurface, RenderingContext context)
{
    emscripten_webgl_make_context_current(context);
    if (context)
        start_fixed_function();
}

unsigned short poll_escape()
{
    const auto state = static_cast<unsigned short>((escape_down ? 0x8000 : 0) | escape_pressed);
    escape_pressed = false;
    return state;
}

void present_frame(DisplaySurface)
{
    wait_for_animation_frame();
}

int delete_rendering_context(RenderingContext context)
{
    return emscripten_webgl_destroy_context(context) == EMSCRIPTEN_RESULT_SUCCESS;
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
