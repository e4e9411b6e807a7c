// What the X11 display host decides without the X server, kept apart so it can be tested alone.
#pragma once

// The Escape state from a keymap as XQueryKeymap fills it and whether a press was seen since the
// previous poll.
unsigned short escape_key_state(const char (&keymap)[32], unsigned char keycode,
                                bool pressed_since_poll);
