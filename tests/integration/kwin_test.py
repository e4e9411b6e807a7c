"""The effect under KWin, headless (virtual backend), with XWayland: the native host and the
size-coded build.

Keys come through KWin's fake input protocol (tests/kwin_fake_input), screenshots
through its ScreenShot2 D-Bus interface, and what KWin itself thinks of its windows (which one is
active, which are kept above or full screen) from a script loaded into it, which prints to KWin's
log.
"""

import json
import os
import re
import shutil
import subprocess
import time
import unittest
from pathlib import Path

from harness import TOOLS, describe_exit, image_figure, wait_exit
from wayland_harness import AT, Compositor, DesktopCases, buffer_sizes, colours, wait_until

# evdev codes of the US layout KWin starts with.
ROWS = {16: "qwertyuiop", 30: "asdfghjkl", 44: "zxcvbnm"}
CODES = {letter: str(first + i) for first, row in ROWS.items() for i, letter in enumerate(row)}
CODES.update({"Escape": "1", "Tab": "15", "Return": "28", "space": "57", " ": "57",
              "Next": "109", "alt": "56", "super": "125"})

SCREENSHOT = """
import dbus, os, sys
shots = dbus.Interface(dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                       "org.kde.KWin.ScreenShot2")
read_end, write_end = os.pipe()
found = shots.CaptureActiveScreen({}, dbus.types.UnixFd(write_end))
os.close(write_end)
with os.fdopen(read_end, "rb") as pipe:
    data = pipe.read()
width, height, stride = (int(found[name]) for name in ("width", "height", "stride"))
with open(sys.argv[1], "wb") as raw:
    raw.write(b"".join(data[row * stride:row * stride + width * 4] for row in range(height)))
print(width, height)
"""

WINDOWS = """print("%s " + JSON.stringify({active: workspace.activeClient ?
    workspace.activeClient.caption : null, windows: workspace.clientList().map(function (w) {
    return {caption: w.caption, above: w.keepAbove, full: w.fullScreen, x11: !!w.windowId,
            stacking: w.stackingOrder, minimized: w.minimized};
})}));"""

TERMINAL = "Wayland Terminal"
# What KWin adds to a caption that another window has too.
NUMBERED = re.compile(r" <\d+>$")


class KWin(Compositor):
    output = ("--width", "1024", "--height", "768")

    def start_compositor(self):
        # A plain copy of KWin: the packaged file carries a capability this user may not take up.
        for source in (Path("/usr/bin/kwin_wayland"), TOOLS / "kwin_fake_input"):
            shutil.copy(source, self.user.bin)
            os.chown(self.user.bin / source.name, self.user.uid, self.user.gid)
        self.log = self.user.file("kwin.log")
        self.queries = 0
        with open(self.log, "w") as log:
            self.user.start(["dbus-run-session", "--", self.user.bin / "kwin_wayland", "--virtual",
                             "--xwayland", *self.output, "--no-lockscreen",
                             "--exit-with-session", f"sh -c '{self.env_dump_command()}'"],
                            env={"KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1",
                                 "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1"},
                            stdout=log, stderr=log)
        self.read_session_env()

    def windows(self):
        """KWin's own view: the active window's caption and every managed window. The script is
        unloaded only once it has printed, as unloading may overtake a start KWin has queued; a
        start that never prints, as under load, is tried again."""
        for _ in range(3):
            self.queries += 1
            marker = f"windows{self.queries}"
            script = self.user.file(f"{marker}.js")
            script.write_text(WINDOWS % marker)
            self.scripting("loadScript", f"string:{script}", f"string:{marker}")
            self.scripting("start")

            def printed():
                for line in self.log.read_text(errors="replace").splitlines():
                    if f"{marker} " in line:
                        return json.loads(line.split(f"{marker} ", 1)[1])
            try:
                state = wait_until(printed, 10, "KWin's list of windows")
                break
            except AssertionError:
                pass
            finally:
                self.scripting("unloadScript", f"string:{marker}")
        else:
            raise AssertionError("KWin never printed its list of windows")
        # KWin numbers a caption that another window still has, as "EDIT <2>" while the last run's
        # window is still closing: the caption is the window's own.
        state["active"] = state["active"] and NUMBERED.sub("", state["active"])
        for window in state["windows"]:
            window["caption"] = NUMBERED.sub("", window["caption"])
        return state

    def scripting(self, method, *args):
        self.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", "/Scripting",
                  f"org.kde.kwin.Scripting.{method}", *args])

    def terminal_command(self, shell_command):
        # weston-terminal runs its shell without arguments: the command becomes a script.
        script = self.user.file("recorder.sh")
        script.write_text(f"#!/bin/sh\n{shell_command}\n")
        script.chmod(0o755)
        return ["weston-terminal", f"--shell={script}"]

    def wait_for_terminal(self, focus):
        def ready():
            state = self.windows()
            shown = any(window["caption"] == TERMINAL for window in state["windows"])
            return shown and (state["active"] == TERMINAL or not focus)
        wait_until(ready, 30, "the terminal")

    def terminal_share(self, screenshot):
        """The box around the terminal's frame, the one place of that exact grey, if it shows."""
        figures = subprocess.run(
            ["convert", screenshot, "-fill", "black", "-opaque", "white", "-fill", "white",
             "-opaque", "#CCCCCC", "-fill", "black", "+opaque", "white",
             "-format", "%[fx:mean*w*h] %@ %[fx:w*h]", "info:"],
            capture_output=True, text=True, check=True).stdout.split()
        if float(figures[0]) < 1000:
            return 0.0
        width, height = figures[1].split("+")[0].split("x")
        return int(width) * int(height) / float(figures[2])

    def window(self, caption):
        return next((window for window in self.windows()["windows"]
                     if window["caption"] == caption), None)

    def focus_effect(self):
        self.key("alt+Tab")
        wait_until(lambda: self.windows()["active"] == "EDIT", 30, "the effect to be active")

    def fake_input(self, *chords):
        sent = self.run([self.user.bin / "kwin_fake_input", *chords])
        if sent.returncode != 0:
            raise AssertionError(f"fake input failed: {sent.stderr}")

    def key(self, *keysyms):
        self.fake_input(*["+".join(CODES[part] for part in keysym.split("+"))
                          for keysym in keysyms])

    def type_text(self, text):
        self.fake_input(*[CODES[letter] for letter in text])

    def screenshot(self, path):
        raw = self.user.file("screenshot.raw")
        size = self.run(["python3", "-c", SCREENSHOT, raw]).stdout.split()
        subprocess.run(["convert", "-size", "x".join(size), "-depth", "8", f"bgra:{raw}",
                        "-alpha", "off", path], check=True, capture_output=True)
        return path


class ScaledKWin(KWin):
    # Logical sizes: 1280 x 720 device pixels at 150 %.
    output = ("--width", "853", "--height", "480", "--scale", "1.5")


class UnderKWin(DesktopCases, unittest.TestCase):
    compositor = KWin

    def test_managed_full_screen_and_active_but_never_kept_above(self):
        for name in self.effects:
            with self.subTest(effect=name):
                run = self.start_effect(name)
                self.addCleanup(run.kill)
                state = self.session.windows()
                # An override-redirect X window would be missing here: KWin leaves it unmanaged.
                effect = [window for window in state["windows"] if window["caption"] == "EDIT"]
                self.assertEqual([(w["full"], w["above"], w["x11"]) for w in effect],
                                 [(True, False, name != "quinesphere")], state)
                self.assertEqual(state["active"], "EDIT")
                self.end_with_escape(run)

    def test_minimized_it_keeps_running_and_ends_on_escape_once_restored(self):
        for name in self.effects:
            with self.subTest(effect=name):
                run = self.start_effect(name)
                self.addCleanup(run.kill)
                self.assertIsNotNone(self.session.window("EDIT"), "KWin manages no EDIT window")
                self.session.key("super+Next")
                wait_until(lambda: self.session.window("EDIT")["minimized"], 30, "minimized")
                time.sleep(3)
                self.assertIsNone(run.poll(), describe_exit(run.returncode))
                self.session.focus_effect()
                self.assertFalse(self.session.window("EDIT")["minimized"])
                self.end_with_escape(run)

    def test_the_wayland_saver_covers_a_full_screen_window_takes_its_keys_and_ends_on_one(self):
        terminal, record = self.session.start_recorder(options=["--fullscreen"])
        self.addCleanup(terminal.kill)
        self.assertTrue(self.session.window(TERMINAL)["full"])
        run = self.session.start([self.session.effect("quinesphere-wayland-saver")])
        self.addCleanup(run.kill)
        shot = self.session.user.file("saver.png")
        wait_until(lambda: run.poll() is not None or colours(self.session.screenshot(shot)) > 2000,
                   30, "the saver over the full-screen window")
        self.session.key("a")
        status = wait_exit(run, 10)
        self.assertEqual(status, 1, describe_exit(status))
        self.assertEqual(record.read_bytes(), b"")

    def test_the_wallpaper_is_drawn_behind_a_window_that_keeps_its_keys(self):
        terminal, record = self.session.start_recorder()
        self.addCleanup(terminal.kill)
        before, after = (self.session.user.file(name) for name in ("desktop.png", "behind.png"))
        time.sleep(1)
        self.session.screenshot(before)
        # The terminal's frame, the one box of that grey, less the edge that blends with what lies
        # beneath.
        frame = subprocess.run(["convert", before, "-fill", "black", "+opaque", "#CCCCCC",
                                "-format", "%@", "info:"], capture_output=True, text=True,
                               check=True).stdout
        run = self.start_effect("quinesphere-wallpaper")
        self.session.screenshot(after)
        self.assertEqual(image_figure(before, "%[max]", after, "-crop", frame, "+repage",
                                      "-shave", "4x4", "-compose", "difference", "-composite"), 0,
                         f"the terminal's frame {frame} changed")
        self.session.type_text("hello")
        wait_until(lambda: record.read_bytes() == b"hello", 10, "the keys in the terminal")
        self.assertIsNone(run.poll(), describe_exit(run.returncode))

    def test_at_scale_1_5_it_draws_device_pixels_through_a_viewport(self):
        # A session of its own, for this case only, closed once the effect is ended.
        self.session = ScaledKWin()
        self.addCleanup(self.session.close)
        log = self.session.user.file("protocol.log")
        self.end_with_escape(self.start_effect("quinesphere", protocol_log=log))
        self.assertEqual(set(buffer_sizes(log)), {(1280, 720)})
        self.assertRegex(log.read_text(), rf"wp_viewport{AT}\d+\.set_destination\(853, 480\)")


if __name__ == "__main__":
    unittest.main()
