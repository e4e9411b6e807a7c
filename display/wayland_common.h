// The Wayland plumbing both Wayland hosts share, the effect's full-screen window and the
// screensaver's cover of every output: the connection and its events, the globals, the outputs
// with their modes and scales, the keyboard through xkbcommon, the EGL display and configuration,
// and surfaces drawn at their outputs' device pixels.
#pragma once

#include "display/display.h"

#include <EGL/egl.h>
#include <cstdint>

struct wl_compositor;
struct wl_display;
struct wl_egl_window;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;

constexpr int max_outputs = 16;

// One slot for each output the compositor announced; a free slot has no output.
struct Output {
    wl_output* output;
    // The registry's name for it, by which it is withdrawn.
    uint32_t name;
    int32_t scale;
    // The current mode, in device pixels.
    ScreenSize mode;
    // The compositor has withdrawn it: the host lets go of what it made for it, then of the slot.
    bool withdrawn;
};

// A surface that EGL draws into at the device pixels of the outputs it is on.
struct ScaledSurface {
    wl_surface* surface;
    wp_viewport* viewport;
    wp_fractional_scale_v1* fractional_scale;
    // In 120ths, where the compositor tells it; 0 until then.
    uint32_t preferred_scale;
    // In logical pixels; 0x0 leaves the size to the client: the first output's then.
    ScreenSize configured_size;
    bool on_output[max_outputs];
    // What the compositor was last told the buffer stands for: the logical size and the scale.
    ScreenSize shown_size;
    int32_t shown_scale;
    wl_egl_window* native_window;
    EGLSurface egl_surface;
    bool frame_pending;
    bool presented;
};

struct WaylandConnection {
    wl_display* display;
    wl_compositor* compositor;
    wl_shm* shared_memory;
    wl_seat* seat;
    Output outputs[max_outputs];
    EGLDisplay egl_display;
    EGLConfig config;
    // Kept from the keyboard's events: there is no key state to ask for.
    bool escape_down;
    bool escape_pressed_since_poll;
    bool key_pressed_since_poll;
};

extern WaylandConnection wayland;

// Each host binds here the globals only it uses; the shared ones never reach it.
void bind_host_global(wl_registry* registry, uint32_t name, const char* interface);
// Each host takes here what the seat offers besides the keyboard, as the offer changes.
void follow_host_seat(wl_seat* seat, uint32_t capabilities);

// Connects, binds the globals and reads what the outputs and the seat say of themselves.
void connect_to_compositor();
// Reads and dispatches the events that arrive within timeout_ms, without blocking past it.
void dispatch_events(int timeout_ms);
double now_seconds();
void release_output(Output* output);

// The surface, told of its outputs and, where the compositor can take a fraction of a pixel, of
// its preferred scale, with a viewport to show the buffer at the logical size.
void create_scaled_surface(ScaledSurface* scaled);
// Lets go of the surface and all that was made for it, EGL's surface too.
void destroy_scaled_surface(ScaledSurface* scaled);
// The scale applies with the next buffer committed, which must be of the device size returned.
ScreenSize describe_next_buffer(ScaledSurface* scaled);
// The EGL display, and the configuration every surface is drawn with: desktop OpenGL, 8-bit red,
// green and blue, no alpha.
void choose_egl_config();
void create_native_window(ScaledSurface* scaled);
// Needs the native window and the configuration.
void create_egl_surface(ScaledSurface* scaled);
// Needs the surface's context current; waits until a first frame was presented.
void follow_size_and_scale(ScaledSurface* scaled);
// Waits for the frame callback that the last presented frame asked for, until give_up_at.
void wait_for_frame(const ScaledSurface* scaled, double give_up_at);
void present_scaled_surface(ScaledSurface* scaled);
