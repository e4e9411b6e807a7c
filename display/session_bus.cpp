// The session bus over libdbus. Only DBUS_SESSION_BUS_ADDRESS names the bus: libdbus's own default
// would start a bus of its own for the X display where none runs. The connection is not registered
// with the bus through libdbus, as that waits for the bus's answer without a bound; the bus's Hello
// goes ahead of the call instead, and the call's answer is waited for half a second at most, so a
// bus or service that hangs costs the start no more. The service lets go of an inhibition when its
// connection closes, so one left by a crash or a kill goes with the process.
#include "display/session_bus.h"

#include <cstdlib>
#include <dbus/dbus.h>

namespace {
DBusConnection* bus;
dbus_uint32_t cookie;
bool inhibited;

DBusMessage* screen_saver_call(const char* method)
{
    return dbus_message_new_method_call("org.freedesktop.ScreenSaver",
                                        "/org/freedesktop/ScreenSaver",
                                        "org.freedesktop.ScreenSaver", method);
}
} // namespace

void inhibit_idle_on_session_bus()
{
    const char* const address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !(bus = dbus_connection_open_private(address, nullptr)))
        return;
    DBusMessage* const hello = dbus_message_new_method_call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello");
    dbus_connection_send(bus, hello, nullptr);
    dbus_message_unref(hello);
    DBusMessage* const inhibit = screen_saver_call("Inhibit");
    const char* application = "quinesphere";
    const char* reason = "Running full screen";
    dbus_message_append_args(inhibit, DBUS_TYPE_STRING, &application, DBUS_TYPE_STRING, &reason,
                             DBUS_TYPE_INVALID);
    DBusMessage* const reply =
        dbus_connection_send_with_reply_and_block(bus, inhibit, 500, nullptr);
    dbus_message_unref(inhibit);
    if (reply) {
        inhibited =
            dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &cookie, DBUS_TYPE_INVALID);
        dbus_message_unref(reply);
    }
}

void uninhibit_idle_on_session_bus()
{
    if (!inhibited)
        return;
    DBusMessage* const uninhibit = screen_saver_call("UnInhibit");
    dbus_message_append_args(uninhibit, DBUS_TYPE_UINT32, &cookie, DBUS_TYPE_INVALID);
    dbus_connection_send(bus, uninhibit, nullptr);
    dbus_connection_flush(bus);
}
