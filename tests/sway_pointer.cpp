// A pointer device on sway's seat for the tests, through wlroots' virtual pointer protocol: sway
// offers its clients a pointer only while the seat has a pointer device, and headless it has none.
// It holds the device until it is killed; the tests move the seat's cursor with swaymsg.
// Exits 2 when the compositor offers no virtual pointers.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstring>

namespace {
zwlr_virtual_pointer_manager_v1* manager;

const wl_registry_listener registry_listener = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (!std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
            manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    },
    [](void*, wl_registry*, uint32_t) {},
};
} // namespace

int main()
{
    wl_display* const display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("no Wayland display\n", stderr);
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fputs("the compositor offers no zwlr_virtual_pointer_manager_v1\n", stderr);
        return 2;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    while (wl_display_dispatch(display) != -1) {
    }
    return 1;
}
