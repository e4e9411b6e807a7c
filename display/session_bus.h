// The desktop's idle timer held off through the session bus: org.freedesktop.ScreenSaver, which
// GNOME, KDE Plasma, Xfce, MATE, Cinnamon and XScreenSaver 6 offer, on X11 and Wayland alike.
#pragma once

// Asks the desktop to hold off its idle timer, keeping the connection and the cookie; where there
// is no session bus, or no such service, nothing happens and nothing is said.
void inhibit_idle_on_session_bus();
// Lets the inhibition go, if there was one.
void uninhibit_idle_on_session_bus();
