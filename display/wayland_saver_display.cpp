// The display host of the screensaver for Wayland desktops, over the layer shell, EGL and
// xkbcommon.
//
// An idle daemon (swayidle, hypridle) starts it when the seat goes idle. Each output gets a cover
// of its own: a surface on the overlay layer, above panels and full-screen windows, anchored to
// every edge, moved aside for no panel, taking every key, drawn at the output's device pixels with
// a context of its own. An output added while it runs is covered; one withdrawn, or a cover the
// compositor closes, is let go. It asks for no idle inhibition, so the lock or the power-off the
// daemon runs later still happens.
//
// Any key, any button, a touch, or a pointer move of more than 4 pixels either way from where it
// entered a cover ends the run, as does SIGTERM, which a daemon's resume command may send; the
// pointer is hidden over the covers.
//
// A round waits for the frame callbacks of the covers in view, a tenth of a second at most, as the
// effect's host does for its window; a cover whose callback did not come by then is hidden and
// is not waited for until one comes, so a hidden output never slows the others.
//
// Built as the wallpaper, the same host puts its covers on the background layer, behind every
// window and panel, with no keyboard and an empty input region, so that every key, click and move
// goes where it would without it; only SIGTERM or SIGINT ends it. The wallpaper is often hidden
// behind a full-screen window, so a cover hidden draws nothing until it is asked for a frame again.
#include "display/wayland_saver_display.h"

#include "display/display.h"
#include "display/failure_line.h"
#include "display/wayland_common.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <EGL/egl.h>
#include <wayland-client.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {
#ifdef QUINESPHERE_WALLPAPER
constexpr auto cover_layer = ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND;
constexpr bool takes_input = false;
constexpr char host_name[] = "quinesphere-wallpaper: ";
#else
constexpr auto cover_layer = ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
constexpr bool takes_input = true;
constexpr char host_name[] = "quinesphere-wayland-saver: ";
#endif

zwlr_layer_shell_v1* layer_shell;
wl_pointer* pointer;
wl_touch* touch;
wl_fixed_t entered_x, entered_y;
bool input_seen;
volatile std::sig_atomic_t terminated;
bool every_context_deleted = true;

// Each output's, in its slot.
struct Cover {
    ScaledSurface scaled;
    zwlr_layer_surface_v1* layer_surface;
    EGLContext context;
    bool configured;
    bool hidden;
    // Closed by the compositor: let go, and not made again for the same output.
    bool closed;
};
Cover covers[max_outputs];

void note_termination(int)
{
    terminated = 1;
}

bool moved_past_4_pixels(wl_fixed_t from, wl_fixed_t to)
{
    return to - from > wl_fixed_from_int(4) || from - to > wl_fixed_from_int(4);
}

// Filled by name from zeros, as the common listeners are.
const wl_pointer_listener pointer_listener = [] {
    wl_pointer_listener on{};
    on.enter = [](void*, wl_pointer* over, uint32_t serial, wl_surface*, wl_fixed_t x,
                  wl_fixed_t y) {
        wl_pointer_set_cursor(over, serial, nullptr, 0, 0);
        entered_x = x;
        entered_y = y;
    };
    on.leave = [](void*, wl_pointer*, uint32_t, wl_surface*) {};
    on.motion = [](void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        input_seen |= moved_past_4_pixels(entered_x, x) || moved_past_4_pixels(entered_y, y);
    };
    on.button = [](void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
        input_seen |= state == WL_POINTER_BUTTON_STATE_PRESSED;
    };
    on.axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) { input_seen = true; };
    on.frame = [](void*, wl_pointer*) {};
    on.axis_source = [](void*, wl_pointer*, uint32_t) {};
    on.axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {};
    on.axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {};
    on.axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {};
    return on;
}();

const wl_touch_listener touch_listener = [] {
    wl_touch_listener on{};
    on.down = [](void*, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t,
                 wl_fixed_t) { input_seen = true; };
    on.up = [](void*, wl_touch*, uint32_t, uint32_t, int32_t) {};
    on.motion = [](void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {};
    on.frame = [](void*, wl_touch*) {};
    on.cancel = [](void*, wl_touch*) {};
    on.shape = [](void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {};
    on.orientation = [](void*, wl_touch*, int32_t, wl_fixed_t) {};
    return on;
}();

const zwlr_layer_surface_v1_listener layer_surface_listener = [] {
    zwlr_layer_surface_v1_listener on{};
    on.configure = [](void* data, zwlr_layer_surface_v1* layer_surface, uint32_t serial,
                      uint32_t width, uint32_t height) {
        zwlr_layer_surface_v1_ack_configure(layer_surface, serial);
        Cover* const cover = static_cast<Cover*>(data);
        cover->scaled.configured_size =
            ScreenSize{static_cast<int>(width), static_cast<int>(height)};
        cover->configured = true;
    };
    on.closed = [](void* data, zwlr_layer_surface_v1*) {
        static_cast<Cover*>(data)->closed = true;
    };
    return on;
}();

void cover_output(int slot)
{
    Cover& cover = covers[slot];
    create_scaled_surface(&cover.scaled);
    // It is to be on this output: its scale is known before the compositor says so.
    cover.scaled.on_output[slot] = true;
    cover.layer_surface = zwlr_layer_shell_v1_get_layer_surface(layer_shell, cover.scaled.surface,
                                                                wayland.outputs[slot].output,
                                                                cover_layer, "quinesphere");
    zwlr_layer_surface_v1_add_listener(cover.layer_surface, &layer_surface_listener, &cover);
    zwlr_layer_surface_v1_set_anchor(cover.layer_surface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                              ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                              ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                              ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(cover.layer_surface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        cover.layer_surface, takes_input ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                         : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    if (!takes_input) {
        wl_region* const nowhere = wl_compositor_create_region(wayland.compositor);
        wl_surface_set_input_region(cover.scaled.surface, nowhere);
        wl_region_destroy(nowhere);
    }
    wl_surface_commit(cover.scaled.surface);
}

void let_go_of_cover(Cover& cover)
{
    if (cover.context) {
        eglMakeCurrent(wayland.egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        every_context_deleted &= eglDestroyContext(wayland.egl_display, cover.context) == EGL_TRUE;
    }
    zwlr_layer_surface_v1_destroy(cover.layer_surface);
    destroy_scaled_surface(&cover.scaled);
    cover = Cover{ScaledSurface{}, nullptr, EGL_NO_CONTEXT, false, false, cover.closed};
}

void follow_outputs()
{
    for (int slot = 0; slot < max_outputs; ++slot) {
        Output& output = wayland.outputs[slot];
        Cover& cover = covers[slot];
        if (cover.layer_surface && (output.withdrawn || cover.closed))
            let_go_of_cover(cover);
        if (output.withdrawn) {
            release_output(&output);
            cover.closed = false;
        }
        else if (output.output && !cover.layer_surface && !cover.closed)
            cover_output(slot);
    }
}
} // namespace

void bind_host_global(wl_registry* registry, uint32_t name, const char* interface)
{
    // Version 1 has all it takes: exclusive keyboard interactivity is its 1.
    if (!std::strcmp(interface, zwlr_layer_shell_v1_interface.name))
        layer_shell = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
}

void follow_host_seat(wl_seat* seat, uint32_t capabilities)
{
    if (!takes_input)
        return;
    const bool has_pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (has_pointer && !pointer) {
        pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(pointer, &pointer_listener, nullptr);
    }
    else if (!has_pointer && pointer) {
        wl_pointer_destroy(pointer);
        pointer = nullptr;
    }
    const bool has_touch = capabilities & WL_SEAT_CAPABILITY_TOUCH;
    if (has_touch && !touch) {
        touch = wl_seat_get_touch(seat);
        wl_touch_add_listener(touch, &touch_listener, nullptr);
    }
    else if (!has_touch && touch) {
        wl_touch_destroy(touch);
        touch = nullptr;
    }
}

void open_saver_display()
{
    connect_to_compositor();
    if (!wayland.compositor || !layer_shell)
        fail_setup("the Wayland compositor offers no layer shell (zwlr_layer_shell_v1) to cover "
                   "its outputs with");
    choose_egl_config();
    std::signal(SIGTERM, note_termination);
    if (!takes_input)
        std::signal(SIGINT, note_termination);
    follow_outputs();
}

bool wait_for_round()
{
    const double give_up_at = now_seconds() + 0.1;
    bool any_in_view = false;
    for (const Cover& cover : covers)
        if (cover.context && !cover.hidden) {
            any_in_view = true;
            wait_for_frame(&cover.scaled, give_up_at);
        }
    // With nothing in view, the round is paced by the bound alone.
    dispatch_events(any_in_view ? 0 : 100);
    for (Cover& cover : covers)
        cover.hidden = cover.scaled.frame_pending;
    follow_outputs();
    const bool input_ends_it = takes_input && (input_seen || wayland.key_pressed_since_poll);
    return !input_ends_it && !terminated;
}

int cover_slots()
{
    return max_outputs;
}

CoverState make_cover_current(int slot)
{
    Cover& cover = covers[slot];
    if (!cover.configured || cover.closed || (cover.hidden && !takes_input))
        return CoverState::absent;
    CoverState state = CoverState::drawing;
    if (!cover.context) {
        create_native_window(&cover.scaled);
        create_egl_surface(&cover.scaled);
        cover.context =
            eglCreateContext(wayland.egl_display, wayland.config, EGL_NO_CONTEXT, nullptr);
        if (cover.context == EGL_NO_CONTEXT)
            fail_setup("cannot create an EGL rendering context");
        state = CoverState::new_context;
    }
    const EGLSurface drawn = cover.scaled.egl_surface;
    if (!eglMakeCurrent(wayland.egl_display, drawn, drawn, cover.context))
        fail_setup("cannot make the EGL rendering context current");
    if (state == CoverState::new_context)
        eglSwapInterval(wayland.egl_display, 0);
    follow_size_and_scale(&cover.scaled);
    return state;
}

void present_cover(int slot)
{
    present_scaled_surface(&covers[slot].scaled);
}

int release_covers()
{
    for (Cover& cover : covers)
        if (cover.layer_surface)
            let_go_of_cover(cover);
    return every_context_deleted;
}

void end_process(int status)
{
    _exit(status);
}

void fail_setup(const char* what)
{
    write_failure_line(host_name, what);
    _exit(0);
}
