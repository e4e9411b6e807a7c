// The display host of the screensaver for Wayland desktops: a cover over every output, each a
// layer-shell surface with an OpenGL context of its own. The run sequence calls these in the
// order they are declared here. Built as the wallpaper, its covers lie behind every window, take
// no input and end only on a signal.
#pragma once

// Connects and asks for a cover over every output; a compositor without the layer shell ends the
// run as a set-up that cannot be completed. From here on SIGTERM ends the run.
void open_saver_display();
// Waits until every cover in view has asked for its next frame, a tenth of a second at most;
// covers the outputs added since and lets go of those withdrawn and of covers the compositor
// closed. False once any input arrived (the wallpaper takes none), or SIGTERM (or SIGINT for the
// wallpaper).
bool wait_for_round();
// The covers are numbered from 0 up to this.
int cover_slots();
enum class CoverState { absent, new_context, drawing };
// Makes the cover's context current on its surface, at its output's size: a new context needs
// the scene set up before it draws. An absent cover is not drawn.
CoverState make_cover_current(int cover);
void present_cover(int cover);
// Releases and deletes every context; 1 when each one, those let go before too, was deleted
// cleanly, 0 when not.
int release_covers();
