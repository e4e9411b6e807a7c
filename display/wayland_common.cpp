// What both Wayland hosts need of the compositor, each surface drawn at device pixels.
//
// There is no asynchronous key state to read, so the keyboard's events keep one: Escape is
// recognised by keysym through the compositor's current keymap, never by key code, and every poll
// first dispatches whatever events have arrived.
//
// On a scaled output a buffer of the logical size would be magnified by the compositor. The buffer
// is the logical size times the output's scale, told with wl_surface.set_buffer_scale, or, where
// the compositor can take a fraction of a pixel, times its preferred scale, with a viewport that
// shows it at the logical size.
#include "display/wayland_common.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

#include <EGL/eglext.h>
#include <GL/gl.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

WaylandConnection wayland;

namespace {
wp_viewporter* viewporter;
wp_fractional_scale_manager_v1* fractional_scales;
wl_keyboard* keyboard;

xkb_context* keymap_context;
xkb_keymap* keymap;
xkb_state* key_state;

void check_connection()
{
    if (wl_display_get_error(wayland.display))
        fail_setup("lost the connection to the Wayland compositor");
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

// Listeners are filled by name from zeros: a member that a newer header adds, for an event of a
// version above the one bound, stays null and is never called, so any release's headers build.
const wl_keyboard_listener keyboard_listener = [] {
    wl_keyboard_listener on{};
    on.keymap = [](void*, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
        take_keymap(format, fd, size);
    };
    on.enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
        // Keys already down as the surface gets the keyboard, Escape among them perhaps; they
        // were pressed before, so they are no key pressed now.
        const auto* const key = static_cast<const uint32_t*>(keys->data);
        for (size_t i = 0; i < keys->size / sizeof *key; ++i)
            if (is_escape(key[i]))
                wayland.escape_down = wayland.escape_pressed_since_poll = true;
    };
    on.leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) { wayland.escape_down = false; };
    on.key = [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        const bool pressed = state == WL_KEYBOARD_KEY_STATE_PRESSED;
        wayland.key_pressed_since_poll |= pressed;
        if (!is_escape(key))
            return;
        wayland.escape_down = pressed;
        wayland.escape_pressed_since_poll |= pressed;
    };
    on.modifiers = [](void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                      uint32_t locked, uint32_t group) {
        if (key_state)
            xkb_state_update_mask(key_state, depressed, latched, locked, 0, 0, group);
    };
    on.repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {};
    return on;
}();

const wl_seat_listener seat_listener = [] {
    wl_seat_listener on{};
    on.capabilities = [](void*, wl_seat* with, uint32_t capabilities) {
        const bool has_keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
        if (has_keyboard && !keyboard) {
            keyboard = wl_seat_get_keyboard(with);
            wl_keyboard_add_listener(keyboard, &keyboard_listener, nullptr);
        }
        else if (!has_keyboard && keyboard) {
            wl_keyboard_destroy(keyboard);
            keyboard = nullptr;
            wayland.escape_down = false;
        }
        follow_host_seat(with, capabilities);
    };
    on.name = [](void*, wl_seat*, const char*) {};
    return on;
}();

const wl_output_listener output_listener = [] {
    wl_output_listener on{};
    on.geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                     const char*, int32_t) {};
    on.mode = [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT)
            static_cast<Output*>(data)->mode = ScreenSize{width, height};
    };
    on.done = [](void*, wl_output*) {};
    on.scale = [](void* data, wl_output*, int32_t factor) {
        static_cast<Output*>(data)->scale = factor;
    };
    on.name = [](void*, wl_output*, const char*) {};
    on.description = [](void*, wl_output*, const char*) {};
    return on;
}();

void bind_output(wl_registry* registry, uint32_t name)
{
    Output* const free_slot =
        std::find_if(wayland.outputs, wayland.outputs + max_outputs,
                     [](const Output& slot) { return slot.output == nullptr; });
    if (free_slot == wayland.outputs + max_outputs)
        return;
    *free_slot =
        Output{static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)),
               name, 1, ScreenSize{}, false};
    wl_output_add_listener(free_slot->output, &output_listener, free_slot);
}

const wl_registry_listener registry_listener = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (!std::strcmp(interface, wl_compositor_interface.name))
            wayland.compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, 3));
        else if (!std::strcmp(interface, wl_shm_interface.name))
            wayland.shared_memory =
                static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (!std::strcmp(interface, wl_seat_interface.name) && !wayland.seat) {
            wayland.seat =
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            wl_seat_add_listener(wayland.seat, &seat_listener, nullptr);
        }
        else if (!std::strcmp(interface, wl_output_interface.name))
            bind_output(registry, name);
        else if (!std::strcmp(interface, wp_viewporter_interface.name))
            viewporter = static_cast<wp_viewporter*>(
                wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
        else if (!std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name))
            fractional_scales = static_cast<wp_fractional_scale_manager_v1*>(
                wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
        else
            bind_host_global(registry, name, interface);
    },
    [](void*, wl_registry*, uint32_t name) {
        for (Output& slot : wayland.outputs)
            if (slot.output && slot.name == name)
                slot.withdrawn = true;
    },
};

// An output the compositor has let go of in the meantime is named by none.
Output* output_of(wl_output* output)
{
    return output ? static_cast<Output*>(wl_output_get_user_data(output)) : nullptr;
}

const wl_surface_listener surface_listener = [] {
    wl_surface_listener on{};
    on.enter = [](void* data, wl_surface*, wl_output* into) {
        if (Output* const entered = output_of(into))
            static_cast<ScaledSurface*>(data)->on_output[entered - wayland.outputs] = true;
    };
    on.leave = [](void* data, wl_surface*, wl_output* off) {
        if (Output* const left = output_of(off))
            static_cast<ScaledSurface*>(data)->on_output[left - wayland.outputs] = false;
    };
    return on;
}();

const wp_fractional_scale_v1_listener fractional_scale_listener = [] {
    wp_fractional_scale_v1_listener on{};
    on.preferred_scale = [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
        static_cast<ScaledSurface*>(data)->preferred_scale = scale;
    };
    return on;
}();

// The largest scale of the outputs the surface is on, or of all of them before it is on any, so
// that not even the first buffer is shown magnified.
int32_t output_scale(const ScaledSurface* scaled)
{
    int32_t largest = 1, largest_under_surface = 0;
    for (int i = 0; i < max_outputs; ++i) {
        if (!wayland.outputs[i].output)
            continue;
        largest = std::max(largest, wayland.outputs[i].scale);
        if (scaled->on_output[i])
            largest_under_surface = std::max(largest_under_surface, wayland.outputs[i].scale);
    }
    return largest_under_surface ? largest_under_surface : largest;
}

// In 120ths: a fraction only where a viewport can show a buffer of any size at the logical size.
int32_t scale_wanted(const ScaledSurface* scaled)
{
    return scaled->viewport && scaled->preferred_scale
               ? static_cast<int32_t>(scaled->preferred_scale)
               : output_scale(scaled) * 120;
}

ScreenSize logical_size(const ScaledSurface* scaled)
{
    if (scaled->configured_size.width > 0 && scaled->configured_size.height > 0)
        return scaled->configured_size;
    const int32_t scale = output_scale(scaled);
    const ScreenSize device = wayland.outputs[0].mode;
    return ScreenSize{std::max(device.width / scale, 1), std::max(device.height / scale, 1)};
}

const wl_callback_listener frame_listener = {
    [](void* data, wl_callback* callback, uint32_t) {
        wl_callback_destroy(callback);
        static_cast<ScaledSurface*>(data)->frame_pending = false;
    },
};
} // namespace

void connect_to_compositor()
{
    wayland.display = wl_display_connect(nullptr);
    if (!wayland.display)
        fail_setup("cannot connect to the Wayland compositor");
    keymap_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    wl_registry_add_listener(wl_display_get_registry(wayland.display), &registry_listener, nullptr);
    // The globals, then what the outputs and the seat say of themselves.
    wl_display_roundtrip(wayland.display);
    wl_display_roundtrip(wayland.display);
    check_connection();
}

void dispatch_events(int timeout_ms)
{
    while (wl_display_prepare_read(wayland.display) != 0)
        wl_display_dispatch_pending(wayland.display);
    wl_display_flush(wayland.display);
    pollfd ready = {wl_display_get_fd(wayland.display), POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) > 0)
        wl_display_read_events(wayland.display);
    else
        wl_display_cancel_read(wayland.display);
    wl_display_dispatch_pending(wayland.display);
    check_connection();
}

double now_seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void release_output(Output* output)
{
    wl_output_destroy(output->output);
    *output = Output{};
}

void create_scaled_surface(ScaledSurface* scaled)
{
    scaled->surface = wl_compositor_create_surface(wayland.compositor);
    wl_surface_add_listener(scaled->surface, &surface_listener, scaled);
    if (fractional_scales && viewporter) {
        scaled->viewport = wp_viewporter_get_viewport(viewporter, scaled->surface);
        scaled->fractional_scale =
            wp_fractional_scale_manager_v1_get_fractional_scale(fractional_scales, scaled->surface);
        wp_fractional_scale_v1_add_listener(scaled->fractional_scale, &fractional_scale_listener,
                                            scaled);
    }
}

void destroy_scaled_surface(ScaledSurface* scaled)
{
    if (scaled->egl_surface)
        eglDestroySurface(wayland.egl_display, scaled->egl_surface);
    if (scaled->native_window)
        wl_egl_window_destroy(scaled->native_window);
    if (scaled->viewport) {
        wp_fractional_scale_v1_destroy(scaled->fractional_scale);
        wp_viewport_destroy(scaled->viewport);
    }
    wl_surface_destroy(scaled->surface);
    *scaled = ScaledSurface{};
}

ScreenSize describe_next_buffer(ScaledSurface* scaled)
{
    scaled->shown_size = logical_size(scaled);
    scaled->shown_scale = scale_wanted(scaled);
    if (scaled->viewport)
        wp_viewport_set_destination(scaled->viewport, scaled->shown_size.width,
                                    scaled->shown_size.height);
    else
        wl_surface_set_buffer_scale(scaled->surface, scaled->shown_scale / 120);
    // Rounded half away from zero, as the fractional-scale protocol asks.
    return ScreenSize{(scaled->shown_size.width * scaled->shown_scale + 60) / 120,
                      (scaled->shown_size.height * scaled->shown_scale + 60) / 120};
}

// The first EGL configuration, in the order the implementation lists them, that draws desktop
// OpenGL into windows with 8-bit red, green and blue and no alpha. Choosing may list
// configurations with alpha first, and an alpha channel would make the never-cleared 6 % drawing
// translucent on screen, so each one is checked.
void choose_egl_config()
{
    wayland.egl_display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, wayland.display, nullptr);
    if (!eglInitialize(wayland.egl_display, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API))
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
    eglChooseConfig(wayland.egl_display, wanted, listed, 64, &count);
    for (EGLint i = 0; i < count && !wayland.config; ++i) {
        EGLint red, alpha;
        eglGetConfigAttrib(wayland.egl_display, listed[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(wayland.egl_display, listed[i], EGL_ALPHA_SIZE, &alpha);
        if (red == 8 && alpha == 0)
            wayland.config = listed[i];
    }
    if (!wayland.config)
        fail_setup("no EGL configuration without alpha");
}

void create_native_window(ScaledSurface* scaled)
{
    const ScreenSize size = describe_next_buffer(scaled);
    scaled->native_window = wl_egl_window_create(scaled->surface, size.width, size.height);
}

void create_egl_surface(ScaledSurface* scaled)
{
    scaled->egl_surface = eglCreateWindowSurface(
        wayland.egl_display, wayland.config,
        reinterpret_cast<EGLNativeWindowType>(scaled->native_window), nullptr);
    if (scaled->egl_surface == EGL_NO_SURFACE)
        fail_setup("cannot create an EGL window surface");
}

// A new size or scale takes effect before the next frame is drawn, so that frame's buffer is the
// first of the new size, committed with the new scale, and the picture spans the whole of it, its
// projection unchanged. The context lets go of the window while it is resized: Mesa 22's software
// renderer, resizing a window it draws to, frees the old buffer's texture and then presents from
// it, and the process crashes. It crashes too presenting a window resized before its first frame,
// as when the surface is first shown on an output of another scale than the largest.
void follow_size_and_scale(ScaledSurface* scaled)
{
    const ScreenSize logical = logical_size(scaled);
    if (!scaled->presented ||
        (logical.width == scaled->shown_size.width && logical.height == scaled->shown_size.height &&
         scale_wanted(scaled) == scaled->shown_scale))
        return;
    const ScreenSize size = describe_next_buffer(scaled);
    const EGLContext context = eglGetCurrentContext();
    eglMakeCurrent(wayland.egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    wl_egl_window_resize(scaled->native_window, size.width, size.height, 0, 0);
    eglMakeCurrent(wayland.egl_display, scaled->egl_surface, scaled->egl_surface, context);
    glViewport(0, 0, size.width, size.height);
}

// The compositor asks for the next frame when the last one was shown; a hidden surface is never
// asked, so the wait is bounded and events are read all the while.
void wait_for_frame(const ScaledSurface* scaled, double give_up_at)
{
    while (scaled->frame_pending && now_seconds() < give_up_at)
        dispatch_events(10);
}

void present_scaled_surface(ScaledSurface* scaled)
{
    scaled->frame_pending = scaled->presented = true;
    wl_callback_add_listener(wl_surface_frame(scaled->surface), &frame_listener, scaled);
    eglSwapBuffers(wayland.egl_display, scaled->egl_surface);
}
