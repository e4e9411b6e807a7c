#pragma once

// The main routine: the whole run from opening the display to deleting the rendering context.
// Returns the deletion's result, which becomes the exit status.
int run_effect();
