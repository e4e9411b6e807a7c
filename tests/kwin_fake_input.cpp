// Keys for the KWin integration tests, through KWin's fake input protocol.
//   kwin_fake_input CHORD...   each CHORD is evdev key codes joined by '+' (56+15 is Alt+Tab),
//                              pressed in order and released in reverse
// Exits 0 once KWin has read every request, 2 when KWin offers no fake input.
#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
org_kde_kwin_fake_input* fake_input;

void on_global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
        fake_input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void on_global_remove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registry_listener = {on_global, on_global_remove};

const uint32_t released = 0;
const uint32_t pressed = 1;

void press_chord(wl_display* display, const char* chord)
{
    std::vector<uint32_t> codes;
    for (const char* at = chord; *at;) {
        char* end = nullptr;
        const unsigned long code = std::strtoul(at, &end, 10);
        if (end == at || (*end && *end != '+')) {
            std::fprintf(stderr, "not a chord: %s\n", chord);
            std::exit(1);
        }
        codes.push_back(static_cast<uint32_t>(code));
        at = *end ? end + 1 : end;
    }
    for (uint32_t code : codes)
        org_kde_kwin_fake_input_keyboard_key(fake_input, code, pressed);
    // KWin sees the whole chord held before any key of it is let go, as from a hand.
    wl_display_roundtrip(display);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        org_kde_kwin_fake_input_keyboard_key(fake_input, *code, released);
    wl_display_roundtrip(display);
}
} // namespace

int main(int argc, char** argv)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, nullptr);
    wl_display_roundtrip(display);
    if (!fake_input) {
        std::fprintf(stderr, "the compositor offers no org_kde_kwin_fake_input\n");
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(fake_input, "quinesphere tests", "typing for the tests");
    for (int i = 1; i < argc; ++i)
        press_chord(display, argv[i]);
    wl_display_roundtrip(display);
    const int error = wl_display_get_error(display);
    wl_display_disconnect(display);
    return error ? 1 : 0;
}
