// The tumbling sphere: fixed render state set once, one textured sphere per frame.
#pragma once

// Needs the rendering context current; called once before the first frame.
void set_up_scene();
void draw_frame(float angle);
// The next frame's angle: the step is added in double precision and the sum rounded to float, then
// brought back into [0, 360).
float advance_angle(float angle);
