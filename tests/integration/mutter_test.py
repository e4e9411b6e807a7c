"""The effect under mutter, headless, with XWayland.

Keys and screenshots go through mutter's remote-desktop and screen-cast D-Bus interfaces. Mutter
ends both sessions when the D-Bus connection that made them closes, so one helper process, run
as the session's user, holds them for the whole class.
"""

import os
import select
import subprocess
import time
import unittest
from pathlib import Path

from harness import SessionBus
from wayland_harness import Compositor, DesktopCases, wait_until

KEYSYMS = {"Escape": 0xff1b, "Tab": 0xff09, "Alt_L": 0xffe9, "Shift_L": 0xffe1}
TERMINAL_COLOUR = "#00ff00"

# Reads "KEYSYM PRESSED" lines and answers "ok" once mutter took each; says "node N" when the
# output's PipeWire stream is up.
HELPER = r"""
import sys, dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
def session(name, *args):
    service = "org.gnome.Mutter." + name
    path = bus.get_object(service, "/org/gnome/Mutter/" + name).CreateSession(
        *args, dbus_interface=service)
    return dbus.Interface(bus.get_object(service, path), service + ".Session")
keyboard = session("RemoteDesktop")
keyboard.Start()
cast = session("ScreenCast", {})
stream = cast.RecordMonitor("", {})
bus.add_signal_receiver(lambda node: print("node", node, flush=True), "PipeWireStreamAdded",
                        path=stream)
cast.Start()
def command(*_):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    keysym, pressed = line.split()
    keyboard.NotifyKeyboardKeysym(dbus.UInt32(int(keysym)), pressed == "1")
    print("ok", flush=True)
    return True
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
loop = GLib.MainLoop()
loop.run()
"""


class Mutter(Compositor):
    def start_compositor(self):
        # Screen casts need PipeWire and its session manager on the session's own bus.
        session = ("pipewire & until [ -S $XDG_RUNTIME_DIR/pipewire-0 ]; do sleep 0.1; done; "
                   f"wireplumber & {self.env_dump_command()}")
        with open(self.user.file("mutter.log"), "w") as log:
            self.user.start(
                ["dbus-run-session", "--", "mutter", "--headless", "--wayland",
                 "--virtual-monitor", "1024x768", "--", "sh", "-c", session],
                stdout=log, stderr=subprocess.STDOUT)
        try:
            self.read_session_env()
        except AssertionError:
            raise AssertionError(self.user.file("mutter.log").read_text()) from None
        self.helper = self.user.start(["python3", "-c", HELPER], self.session_env,
                                      stdin=subprocess.PIPE)
        self.node, = self.reply("node")
        # The first key after a keyboard appears may be lost.
        self.key("Shift_L")

    def reply(self, expected):
        # One line at a time, so what select sees is all the reader holds.
        ready = select.select([self.helper.stdout], [], [], 30)[0]
        words = (self.helper.stdout.readline() if ready else "").split() or ["nothing"]
        if words[0] != expected:
            self.helper.kill()
            raise AssertionError(f"the D-Bus helper said {words}: {self.helper.stderr.read()}")
        return words[1:]

    def send(self, name, *states):
        for pressed in states:
            self.helper.stdin.write(f"{KEYSYMS.get(name) or ord(name)} {int(pressed)}\n")
            self.helper.stdin.flush()
            self.reply("ok")

    def key(self, *names):
        for name in names:
            self.send(name, True, False)

    def type_text(self, text):
        self.key(*text)

    def recorders(self):
        return set(subprocess.run(["pgrep", "-u", self.user.name, "-x", "cat"],
                                  capture_output=True, text=True).stdout.split())

    def terminal_command(self, shell_command):
        self.earlier_recorders = self.recorders()
        # Appending, so that emptying the record after the focus probe leaves no gap in it.
        return ["foot", "--log-level=error", "-o", f"colors.background={TERMINAL_COLOUR[1:]}",
                "sh", "-c", shell_command.replace("cat >", "cat >>")]

    def wait_for_terminal(self, focus):
        wait_until(lambda: self.recorders() - self.earlier_recorders, 30, "the terminal's shell")
        if not focus:
            return
        record = self.user.file("typed.txt")

        def probed():
            self.key("x")
            return wait_until_or_none(lambda: record.stat().st_size, 2)

        wait_until(probed, 30, "the terminal to take the keyboard")
        time.sleep(0.3)
        os.truncate(record, 0)

    def terminal_share(self, screenshot):
        return float(subprocess.run(
            ["convert", str(screenshot), "-alpha", "off", "-fuzz", "3%", "-fill", "black",
             "+opaque", TERMINAL_COLOUR, "-fill", "white", "-opaque", TERMINAL_COLOUR,
             "-format", "%[fx:mean]", "info:"], capture_output=True, text=True,
            check=True).stdout)

    def focus_effect(self):
        self.send("Alt_L", True)
        self.key("Tab")
        self.send("Alt_L", False)

    def screenshot(self, path):
        path, errors = Path(path), []

        def taken():
            path.unlink(missing_ok=True)
            done = self.run(["gst-launch-1.0", "-q", "pipewiresrc", f"path={self.node}",
                             "num-buffers=1", "!", "videoconvert", "!", "pngenc", "!",
                             "filesink", f"location={path}"])
            errors[:] = [done.stderr]
            return path.exists() and path.stat().st_size > 0

        if not wait_until_or_none(taken, 30):
            raise AssertionError(f"no screenshot: {errors}")
        return path


def wait_until_or_none(condition, timeout):
    try:
        return wait_until(condition, timeout, "")
    except AssertionError:
        return None


def quarter_colours(path):
    return [int(count) for count in subprocess.run(
        ["convert", str(path), "-crop", "2x2@", "+repage", "-format", "%k\\n", "info:"],
        capture_output=True, text=True, check=True).stdout.split()]


class UnderMutter(DesktopCases, unittest.TestCase):
    compositor = Mutter

    def test_the_picture_fills_every_quarter_of_the_output(self):
        # The desktop's gradient has a few hundred colours, the black around a window mutter
        # centres two: the picture has many thousands wherever it is drawn.
        for name in self.effects:
            with self.subTest(effect=name):
                run = self.start_effect(name)
                shot, counts = self.session.user.file("quarters.png"), []

                def filled():
                    counts[:] = quarter_colours(self.session.screenshot(shot))
                    return min(counts) > 1000

                wait_until_or_none(filled, 20)
                self.assertGreater(min(counts), 1000, f"colours by quarter: {counts}")
                self.end_with_escape(run)

    def test_the_native_host_holds_the_idle_timer_off_on_the_session_bus_for_the_run(self):
        # Mutter offers no idle protocol: on GNOME the shell's bus service is the only way.
        with SessionBus(session=self.session) as bus:
            run = self.start_effect("quinesphere")
            self.assertEqual(bus.calls_of("quinesphere"), ["Inhibit"])
            self.end_with_escape(run)
            wait_until_or_none(lambda: len(bus.calls_of("quinesphere")) > 1, 5)
            self.assertEqual(bus.calls_of("quinesphere"), ["Inhibit", "UnInhibit"])

    def test_the_wayland_saver_says_in_one_line_that_there_is_no_layer_shell_or_no_compositor(self):
        for name in ("quinesphere-wayland-saver", "quinesphere-wallpaper"):
            for env, missing in (({}, "zwlr_layer_shell_v1"),
                                 ({"WAYLAND_DISPLAY": "none"}, "connect")):
                with self.subTest(name=name, missing=missing):
                    done = self.session.run([self.session.effect(name)], env)
                    self.assertEqual((done.returncode, done.stderr.count("\n")), (0, 1),
                                     done.stderr)
                    self.assertIn(f"{name}: ", done.stderr)
                    self.assertIn(missing, done.stderr)


if __name__ == "__main__":
    unittest.main()
