// What the two X11 hosts, the effect's and the XScreenSaver hack's, share: the connection, the
// visual each of them chooses, and the GLX rendering context made, presented and deleted on it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern Display* display;
extern XVisualInfo* visual;

// Opens the display, with X errors counted rather than fatal, as a failed draw or present must
// not end the run; on_loss runs if the connection goes.
void open_display_counting_errors(XIOErrorHandler on_loss);
