// What the XScreenSaver host takes from its command line before the run starts.
#pragma once

// --root, --window-id ID, or nothing, with one dash or two; anything else ends the process with a
// usage line and status 0, as a set-up that cannot be completed does.
void take_saver_arguments(int argc, char** argv);
