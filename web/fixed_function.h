// The part of OpenGL 1.x that the scene and our GLU use, over WebGL 1, which has none of it.
#pragma once

// Gives the context current in this thread the fixed-function state a fresh GL 1.x context has:
// identity matrices, white, and a default texture to build into.
void start_fixed_function();
