#include "run/run_effect.h"

#include "display/display.h"
#include "scene/scene.h"

int run_effect()
{
    const DisplaySurface surface = obtain_display_surface(create_window(read_screen_size()));
    set_pixel_format(surface, 4);
    const RenderingContext context = create_rendering_context(surface);
    make_current(surface, context);
    set_up_scene();
    float angle = 0.0f;
    while (poll_escape() == 0) {
        draw_frame(angle);
        angle = advance_angle(angle);
        present_frame(surface);
    }
    make_current(DisplaySurface{}, RenderingContext{});
    return delete_rendering_context(context);
}
