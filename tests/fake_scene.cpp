// Scene that records what the run sequence asks of it; each advance adds 1 so angles are easy to
// follow through the log.
#include "scene/scene.h"

#include "tests/call_log.h"

#include <string>

void set_up_scene()
{
    log_call("set_up_scene");
}

void draw_frame(float angle)
{
    log_call("draw_frame " + std::to_string(static_cast<int>(angle)));
}

float advance_angle(float angle)
{
    log_call("advance_angle " + std::to_string(static_cast<int>(angle)));
    return angle + 1.0f;
}
