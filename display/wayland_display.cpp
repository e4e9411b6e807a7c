// The display host over Wayland: the effect's own window.
//
// The window is an xdg-shell toplevel asked to be full screen: the compositor places and stacks
// it, gives it the keyboard while it is in front and can always switch away from it, so no user
// is ever trapped behind it. Close requests are read and ignored, as the design reads none.
//
// The loop must never block while the surface is hidden: with a swap interval of 0, presenting
// never waits, and frames are paced by the surface's frame callbacks instead, waiting for one at
// most a tenth of a second, so a hidden surface keeps polling Escape.
#include "display/display.h"
#include "display/failure_line.h"
#include "display/session_bus.h"
#include "display/wayland_common.h"

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <EGL/egl.h>
#include <wayland-client.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {
xdg_wm_base* shell;
zwp_idle_inhibit_manager_v1* idle_inhibits;
ScaledSurface window;
bool full_screen;
bool full_screen_configured;

// Filled by name from zeros, as the common listeners are.
const xdg_wm_base_listener shell_listener = [] {
    xdg_wm_base_listener on{};
    on.ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); };
    return on;
}();

const xdg_toplevel_listener toplevel_listener = [] {
    xdg_toplevel_listener on{};
    on.configure = [](void*, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
        full_screen = false;
        const auto* const state = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof *state; ++i)
            full_screen |= state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN;
        window.configured_size = ScreenSize{width, height};
    };
    // Close requests change nothing: only Escape ends the run.
    on.close = [](void*, xdg_toplevel*) {};
    on.configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {};
    on.wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {};
    return on;
}();

const xdg_surface_listener shell_surface_listener = [] {
    xdg_surface_listener on{};
    on.configure = [](void*, xdg_surface* shell_surface, uint32_t serial) {
        xdg_surface_ack_configure(shell_surface, serial);
        full_screen_configured |= full_screen;
    };
    return on;
}();

// Some compositors (sway) make a window full screen only once it is mapped, and mapping takes a
// buffer: a black one of the size asked, at device pixels too, as others (KWin) then take the
// buffer's size for the window's, until the first frame replaces it.
void map_black()
{
    const ScreenSize size = describe_next_buffer(&window);
    const int width = size.width;
    const int height = size.height;
    const int bytes = width * height * 4;
    const int fd = memfd_create("quinesphere", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, bytes) != 0)
        fail_setup("cannot make a shared-memory buffer");
    wl_shm_pool* const pool = wl_shm_create_pool(wayland.shared_memory, fd, bytes);
    wl_surface_attach(
        window.surface,
        wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888), 0, 0);
    wl_surface_commit(window.surface);
    wl_shm_pool_destroy(pool);
    close(fd);
}
} // namespace

void bind_host_global(wl_registry* registry, uint32_t name, const char* interface)
{
    if (!std::strcmp(interface, xdg_wm_base_interface.name)) {
        shell =
            static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(shell, &shell_listener, nullptr);
    }
    else if (!std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name))
        idle_inhibits = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

// Only the keyboard is read.
void follow_host_seat(wl_seat*, uint32_t) {}

// The screen's size is the first output's, in device pixels.
ScreenSize read_screen_size()
{
    connect_to_compositor();
    if (!wayland.compositor || !shell || !wayland.shared_memory)
        fail_setup("the Wayland compositor offers no xdg-shell windows");
    return wayland.outputs[0].mode;
}

// The size read is the output's in device pixels; the compositor gives the logical one.
WindowHandle create_window(ScreenSize)
{
    create_scaled_surface(&window);
    // The screen stays on while the surface is shown, where the compositor offers it; the
    // compositor drops the inhibitor with the connection.
    if (idle_inhibits)
        zwp_idle_inhibit_manager_v1_create_inhibitor(idle_inhibits, window.surface);
    xdg_surface* const shell_surface = xdg_wm_base_get_xdg_surface(shell, window.surface);
    xdg_surface_add_listener(shell_surface, &shell_surface_listener, nullptr);
    xdg_toplevel* const toplevel = xdg_surface_get_toplevel(shell_surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_listener, nullptr);
    xdg_toplevel_set_title(toplevel, "EDIT");
    xdg_toplevel_set_app_id(toplevel, "EDIT");
    xdg_toplevel_set_fullscreen(toplevel, nullptr);
    wl_surface_commit(window.surface);
    // A compositor may first configure the window at 0x0, not yet full screen: the first frame
    // waits for the full-screen configure, but not for ever, as a compositor may refuse it.
    wl_display_roundtrip(wayland.display);
    map_black();
    const double give_up_at = now_seconds() + 2;
    while (!full_screen_configured && now_seconds() < give_up_at)
        dispatch_events(100);
    inhibit_idle_on_session_bus();
    return window.surface;
}

DisplaySurface obtain_display_surface(WindowHandle)
{
    create_native_window(&window);
    return window.native_window;
}

// Pixel format 4 is the configuration both Wayland hosts choose.
void set_pixel_format(DisplaySurface, int)
{
    choose_egl_config();
    create_egl_surface(&window);
}

RenderingContext create_rendering_context(DisplaySurface)
{
    const EGLContext context =
        eglCreateContext(wayland.egl_display, wayland.config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        fail_setup("cannot create an EGL rendering context");
    return context;
}

void make_current(DisplaySurface surface, RenderingContext context)
{
    const EGLSurface drawn = surface ? window.egl_surface : EGL_NO_SURFACE;
    if (!eglMakeCurrent(wayland.egl_display, drawn, drawn, context ? context : EGL_NO_CONTEXT))
        fail_setup("cannot make the EGL rendering context current");
    if (context)
        eglSwapInterval(wayland.egl_display, 0);
}

unsigned short poll_escape()
{
    dispatch_events(0);
    follow_size_and_scale(&window);
    const bool pressed = wayland.escape_pressed_since_poll;
    wayland.escape_pressed_since_poll = false;
    return static_cast<unsigned short>((wayland.escape_down ? 0x8000 : 0) | (pressed ? 0x0001 : 0));
}

void present_frame(DisplaySurface)
{
    wait_for_frame(&window, now_seconds() + 0.1);
    present_scaled_surface(&window);
}

int delete_rendering_context(RenderingContext context)
{
    return eglDestroyContext(wayland.egl_display, context) == EGL_TRUE;
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
