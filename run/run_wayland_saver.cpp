#include "display/wayland_saver_display.h"
#include "run/run_effect.h"
#include "scene/scene.h"

// The screensaver's main routine, where the effect has its own: the same scene in every cover,
// each drawn at the one angle of the round, so that every output shows the effect's own stream.
int run_effect()
{
    open_saver_display();
    float angle = 0.0f;
    while (wait_for_round()) {
        for (int cover = 0; cover < cover_slots(); ++cover) {
            const CoverState state = make_cover_current(cover);
            if (state == CoverState::absent)
                continue;
            if (state == CoverState::new_context)
                set_up_scene();
            draw_frame(angle);
            present_cover(cover);
        }
        angle = advance_angle(angle);
    }
    return release_covers();
}
