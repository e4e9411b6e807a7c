// The display host over Wayland, EGL and xkbcommon.
//
// The window is an xdg-shell toplevel asked to be full screen: the compositor places and stacks
// it, gives it the keyboard while it is in front and can always switch away from it, so no user
// is ever trapped behind it. Close requests are read and ignored, as the design reads none.
//
// There is no asynchronous key state to read, so the host keeps one from the keyboard's events:
// Escape is recognised by keysym through the compositor's current keymap, never by key code, and
// every poll first dispatches whatever events have arrived.
//
// The loop must never block while the surface is hidden: with a swap interval of 0, presenting
// never waits, and frames are paced by the surface's frame callbacks instead, waiting for one at
// most a tenth of a second, so a hidden surface keeps polling Escape.
//
// The picture is drawn at the output's device pixels: on a scaled output a buffer of the logical
// size would be magnified by the compositor. The buffer is the logical size times the output's
// scale, told with wl_surface.set_buffer_scale, or, where the compositor can take a fraction of a
// pixel, times its preferred scale, with a viewport that shows it at the logical size.
#include "display/display.h"
#include "display/failure_line.h"
#include "display/session_bus.h"

#include "fractional-scale-v1-client-protocol.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace {
wl_display* display;
wl_compositor* compositor;
wl_shm* shared_memory;
xdg_wm_base* shell;
wl_seat* seat;
wp_viewporter* viewporter;
wp_fractional_scale_manager_v1* fractional_scales;
zwp_idle_inhibit_manager_v1* idle_inhibits;
wl_keyboard* keyboard;
wl_surface* surface;
wp_viewport* viewport;
wl_egl_window* native_window;
ScreenSize output_size;
ScreenSize configured_size;

struct Output {
    int32_t scale;
    bool surface_on_it;
};
Output outputs[16];
int output_count;
// In 120ths, where the compositor tells it; 0 until then.
uint32_t preferred_scale;
// What the compositor was last told the buffer stands for: the logical size and the scale.
ScreenSize surface_size;
int32_t surface_scale;
bool full_screen;
bool full_screen_configured;
bool frame_pending;

EGLDisplay egl_display;
EGLConfig config;
EGLSurface egl_surface;

xkb_context* keymap_context;
xkb_keymap* keymap;
xkb_state* key_state;
bool escape_down;
bool escape_pressed_since_poll;

void check_connection()
{
    if (wl_display_get_error(display))
        fail_setup("lost the connection to the Wayland compositor");
}

// Reads and dispatches the events that arrive within timeout_ms, without blocking past it.
void dispatch_events(int timeout_ms)
{
    while (wl_display_prepare_read(display) != 0)
        wl_display_dispatch_pending(display);
    wl_display_flush(display);
    pollfd ready = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) > 0)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    wl_display_dispatch_pending(display);
    check_connection();
}

double now_seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool is_escape(uint32_t key)
{
    // Wayland key codes are evdev codes; xkbcommon's are those plus 8, as in X11.
    return key_state && xkb_state_key_get_one_sym(key_state, key + 8) == XKB_KEY_Escape;
}

void take_keymap(uint32_t format, int fd, uint32_t size)
{
    // A new keymap replaces the old one whole: the key that carries Escape may have moved.
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        void* const text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            xkb_keymap* const fresh =
                xkb_keymap_new_from_string(keymap_context, static_cast<const char*>(text),
                                           XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(text, size);
            if (fresh) {
                xkb_state_unref(key_state);
                xkb_keymap_unref(keymap);
                keymap = fresh;
                key_state = xkb_state_new(fresh);
            }
        }
    }
    close(fd);
}

const wl_keyboard_listener keyboard_listener = {
    [](void*, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
        take_keymap(format, fd, size);
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
        // Keys already down as the surface gets the keyboard, Escape among them perhaps.
        const auto* const key = static_cast<const uint32_t*>(keys->data);
        for (size_t i = 0; i < keys->size / sizeof *key; ++i)
            if (is_escape(key[i]))
                escape_down = escape_pressed_since_poll = true;
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*) { escape_down = false; },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        if (!is_escape(key))
            return;
        escape_down = state == WL_KEYBOARD_KEY_STATE_PRESSED;
        escape_pressed_since_poll |= escape_down;
    },
    [](void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
       uint32_t group) {
        if (key_state)
            xkb_state_update_mask(key_state, depressed, latched, locked, 0, 0, group);
    },
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_seat_listener seat_listener = {
    [](void*, wl_seat* with, uint32_t capabilities) {
        const bool has_keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
        if (has_keyboard && !keyboard) {
            keyboard = wl_seat_get_keyboard(with);
            wl_keyboard_add_listener(keyboard, &keyboard_listener, nullptr);
        }
        else if (!has_keyboard && keyboard) {
            wl_keyboard_destroy(keyboard);
            keyboard = nullptr;
            escape_down = false;
        }
    },
    [](void*, wl_seat*, const char*) {},
};

// The screen's size is the first output's, in device pixels.
const wl_output_listener output_listener = {
    [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
       int32_t) {},
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT && data == outputs)
            output_size = ScreenSize{width, height};
    },
    [](void*, wl_output*) {},
    [](void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = factor; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

const xdg_wm_base_listener shell_listener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const wl_registry_listener registry_listener = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (!std::strcmp(interface, wl_compositor_interface.name))
            compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, 3));
        else if (!std::strcmp(interface, wl_shm_interface.name))
            shared_memory =
                static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (!std::strcmp(interface, xdg_wm_base_interface.name)) {
            shell = static_cast<xdg_wm_base*>(
                wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
            xdg_wm_base_add_listener(shell, &shell_listener, nullptr);
        }
        else if (!std::strcmp(interface, wl_seat_interface.name) && !seat) {
            seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            wl_seat_add_listener(seat, &seat_listener, nullptr);
        }
        else if (!std::strcmp(interface, wl_output_interface.name) && output_count < 16) {
            Output* const entry = &outputs[output_count++];
            entry->scale = 1;
            wl_output_add_listener(
                static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)),
                &output_listener, entry);
        }
        else if (!std::strcmp(interface, wp_viewporter_interface.name))
            viewporter = static_cast<wp_viewporter*>(
                wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
        else if (!std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name))
            fractional_scales = static_cast<wp_fractional_scale_manager_v1*>(
                wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
        else if (!std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name))
            idle_inhibits = static_cast<zwp_idle_inhibit_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
    },
    [](void*, wl_registry*, uint32_t) {},
};

const xdg_toplevel_listener toplevel_listener = {
    [](void*, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
        full_screen = false;
        const auto* const state = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof *state; ++i)
            full_screen |= state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN;
        configured_size = ScreenSize{width, height};
    },
    // Close requests change nothing: only Escape ends the run.
    [](void*, xdg_toplevel*) {},
    [](void*, xdg_toplevel*, int32_t, int32_t) {},
    [](void*, xdg_toplevel*, wl_array*) {},
};

const xdg_surface_listener shell_surface_listener = {
    [](void*, xdg_surface* shell_surface, uint32_t serial) {
        xdg_surface_ack_configure(shell_surface, serial);
        full_screen_configured |= full_screen;
    },
};

const wl_surface_listener surface_listener = {
    [](void*, wl_surface*, wl_output* on) {
        static_cast<Output*>(wl_output_get_user_data(on))->surface_on_it = true;
    },
    [](void*, wl_surface*, wl_output* off) {
        static_cast<Output*>(wl_output_get_user_data(off))->surface_on_it = false;
    },
};

const wp_fractional_scale_v1_listener fractional_scale_listener = {
    [](void*, wp_fractional_scale_v1*, uint32_t scale) { preferred_scale = scale; },
};

// The largest scale of the outputs the surface is on, or of all of them before it is on any, so
// that not even the first buffer is shown magnified.
int32_t output_scale()
{
    int32_t largest = 1, largest_under_surface = 0;
    for (int i = 0; i < output_count; ++i) {
        largest = std::max(largest, outputs[i].scale);
        if (outputs[i].surface_on_it)
            largest_under_surface = std::max(largest_under_surface, outputs[i].scale);
    }
    return largest_under_surface ? largest_under_surface : largest;
}

// In 120ths: a fraction only where a viewport can show a buffer of any size at the logical size.
int32_t scale_wanted()
{
    return viewport && preferred_scale ? static_cast<int32_t>(preferred_scale)
                                       : output_scale() * 120;
}

// The configured size, in logical pixels; 0x0 leaves it to the client: the output's then.
ScreenSize logical_size()
{
    if (configured_size.width > 0 && configured_size.height > 0)
        return configured_size;
    const int32_t scale = output_scale();
    return ScreenSize{std::max(output_size.width / scale, 1),
                      std::max(output_size.height / scale, 1)};
}

// The scale applies with the next buffer committed, which must be of the device size returned.
ScreenSize describe_next_buffer()
{
    surface_size = logical_size();
    surface_scale = scale_wanted();
    if (viewport)
        wp_viewport_set_destination(viewport, surface_size.width, surface_size.height);
    else
        wl_surface_set_buffer_scale(surface, surface_scale / 120);
    // Rounded half away from zero, as the fractional-scale protocol asks.
    return ScreenSize{(surface_size.width * surface_scale + 60) / 120,
                      (surface_size.height * surface_scale + 60) / 120};
}

// A new size or scale takes effect before the next frame is drawn, so that frame's buffer is the
// first of the new size, committed with the new scale, and the picture spans the whole of it, its
// projection unchanged. The context lets go of the window while it is resized: Mesa 22's software
// renderer, resizing a window it draws to, frees the old buffer's texture and then presents from
// it, and the process crashes.
void follow_size_and_scale()
{
    const ScreenSize logical = logical_size();
    if (logical.width == surface_size.width && logical.height == surface_size.height &&
        scale_wanted() == surface_scale)
        return;
    const ScreenSize size = describe_next_buffer();
    const EGLContext context = eglGetCurrentContext();
    eglMakeCurrent(egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    wl_egl_window_resize(native_window, size.width, size.height, 0, 0);
    eglMakeCurrent(egl_display, egl_surface, egl_surface, context);
    glViewport(0, 0, size.width, size.height);
}

// Some compositors (sway) make a window full screen only once it is mapped, and mapping takes a
// buffer: a black one of the size asked, at device pixels too, as others (KWin) then take the
// buffer's size for the window's, until the first frame replaces it.
void map_black()
{
    const ScreenSize size = describe_next_buffer();
    const int width = size.width;
    const int height = size.height;
    const int bytes = width * height * 4;
    const int fd = memfd_create("quinesphere", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, bytes) != 0)
        fail_setup("cannot make a shared-memory buffer");
    wl_shm_pool* const pool = wl_shm_create_pool(shared_memory, fd, bytes);
    wl_surface_attach(
        surface,
        wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888), 0, 0);
    wl_surface_commit(surface);
    wl_shm_pool_destroy(pool);
    close(fd);
}

const wl_callback_listener frame_listener = {
    [](void*, wl_callback* callback, uint32_t) {
        wl_callback_destroy(callback);
        frame_pending = false;
    },
};
} // namespace

ScreenSize read_screen_size()
{
    display = wl_display_connect(nullptr);
    if (!display)
        fail_setup("cannot connect to the Wayland compositor");
    keymap_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, nullptr);
    // The globals, then what the output and the seat say of themselves.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    check_connection();
    if (!compositor || !shell || !shared_memory)
        fail_setup("the Wayland compositor offers no xdg-shell windows");
    return output_size;
}

// The size read is the output's in device pixels; the compositor gives the logical one.
WindowHandle create_window(ScreenSize)
{
    surface = wl_compositor_create_surface(compositor);
    wl_surface_add_listener(surface, &surface_listener, nullptr);
    if (fractional_scales && viewporter) {
        viewport = wp_viewporter_get_viewport(viewporter, surface);
        wp_fractional_scale_v1_add_listener(
            wp_fractional_scale_manager_v1_get_fractional_scale(fractional_scales, surface),
            &fractional_scale_listener, nullptr);
    }
    // The screen stays on while the surface is shown, where the compositor offers it; the
    // compositor drops the inhibitor with the connection.
    if (idle_inhibits)
        zwp_idle_inhibit_manager_v1_create_inhibitor(idle_inhibits, surface);
    xdg_surface* const shell_surface = xdg_wm_base_get_xdg_surface(shell, surface);
    xdg_surface_add_listener(shell_surface, &shell_surface_listener, nullptr);
    xdg_toplevel* const toplevel = xdg_surface_get_toplevel(shell_surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_listener, nullptr);
    xdg_toplevel_set_title(toplevel, "EDIT");
    xdg_toplevel_set_app_id(toplevel, "EDIT");
    xdg_toplevel_set_fullscreen(toplevel, nullptr);
    wl_surface_commit(surface);
    // A compositor may first configure the window at 0x0, not yet full screen: the first frame
    // waits for the full-screen configure, but not for ever, as a compositor may refuse it.
    wl_display_roundtrip(display);
    map_black();
    const double give_up_at = now_seconds() + 2;
    while (!full_screen_configured && now_seconds() < give_up_at)
        dispatch_events(100);
    inhibit_idle_on_session_bus();
    return surface;
}

DisplaySurface obtain_display_surface(WindowHandle window)
{
    const ScreenSize size = describe_next_buffer();
    native_window = wl_egl_window_create(window, size.width, size.height);
    return native_window;
}

// Pixel format 4 becomes here the first EGL configuration, in the order the implementation
// lists them, that draws desktop OpenGL into windows with 8-bit red, green and blue and no alpha.
// Choosing may list configurations with alpha first, and an alpha channel would make the
// never-cleared 6 % drawing translucent on screen, so each one is checked.
void set_pixel_format(DisplaySurface window, int)
{
    egl_display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
    if (!eglInitialize(egl_display, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API))
        fail_setup("no EGL with desktop OpenGL");
    static const EGLint wanted[] = {EGL_SURFACE_TYPE,
                                    EGL_WINDOW_BIT,
                                    EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_NONE};
    EGLConfig listed[64];
    EGLint count = 0;
    eglChooseConfig(egl_display, wanted, listed, 64, &count);
    for (EGLint i = 0; i < count && !config; ++i) {
        EGLint red, alpha;
        eglGetConfigAttrib(egl_display, listed[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(egl_display, listed[i], EGL_ALPHA_SIZE, &alpha);
        if (red == 8 && alpha == 0)
            config = listed[i];
    }
    if (!config)
        fail_setup("no EGL configuration without alpha");
    egl_surface = eglCreateWindowSurface(egl_display, config,
                                         reinterpret_cast<EGLNativeWindowType>(window), nullptr);
    if (egl_surface == EGL_NO_SURFACE)
        fail_setup("cannot create an EGL window surface");
}

RenderingContext create_rendering_context(DisplaySurface)
{
    const EGLContext context = eglCreateContext(egl_display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        fail_setup("cannot create an EGL rendering context");
    return context;
}

void make_current(DisplaySurface window, RenderingContext context)
{
    const EGLSurface drawn = window ? egl_surface : EGL_NO_SURFACE;
    if (!eglMakeCurrent(egl_display, drawn, drawn, context ? context : EGL_NO_CONTEXT))
        fail_setup("cannot make the EGL rendering context current");
    if (context)
        eglSwapInterval(egl_display, 0);
}

unsigned short poll_escape()
{
    dispatch_events(0);
    follow_size_and_scale();
    const bool pressed = escape_pressed_since_poll;
    escape_pressed_since_poll = false;
    return static_cast<unsigned short>((escape_down ? 0x8000 : 0) | (pressed ? 0x0001 : 0));
}

void present_frame(DisplaySurface)
{
    // The compositor asks for the next frame when the last one was shown; a hidden surface is
    // never asked, so the wait is bounded and events are read all the while.
    const double give_up_at = now_seconds() + 0.1;
    while (frame_pending && now_seconds() < give_up_at)
        dispatch_events(10);
    frame_pending = true;
    wl_callback_add_listener(wl_surface_frame(surface), &frame_listener, nullptr);
    eglSwapBuffers(egl_display, egl_surface);
}

int delete_rendering_context(RenderingContext context)
{
    return eglDestroyContext(egl_display, context) == EGL_TRUE;
}

void end_process(int status)
{
    uninhibit_idle_on_session_bus();
    _exit(status);
}

void fail_setup(const char* what)
{
    write_failure_line("quinesphere: ", what);
    _exit(0);
}
