"""The effect beside other clients, on a bare X server and under the window managers of X11
desktops: openbox, and GNOME's mutter and KDE's KWin, which intern XWayland's atoms on any
server; and on a desktop with two monitors, bare and under openbox."""

import contextlib
import os
import time
import unittest

from harness import TOOLS, TwoMonitors, XServer, describe_exit, linux_effects, wait_exit


class Desktop:
    """Cases run on one server for each window manager, and on one without any."""

    window_manager = None

    @classmethod
    def new_server(cls):
        return XServer(1024, 600)

    @classmethod
    def setUpClass(cls):
        cls.x = cls.new_server()
        if cls.window_manager:
            try:
                cls.x.start_window_manager(cls.window_manager)
            except BaseException:
                cls.x.close()
                raise

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    def monitor_layouts(self):
        """Each arrangement of monitors the window is checked under, set up in turn: the monitor
        it must cover and the other one, as (width, height, left, top), or None."""
        yield (1024, 600, 0, 0), None

    @contextlib.contextmanager
    def server(self):
        """The class's server; what a case starts on it ends with the case."""
        first = len(self.x.children)
        try:
            yield self.x
        finally:
            self.x.end_children(first)

    def open_recorder(self, x):
        """A client that records the keys it receives, opened and focused before the effect."""
        recorder = x.start([TOOLS / "x11_poke", "window", "recorder"])
        window = x.wait_for_window("recorder")
        self.focus_on(x, window)
        return recorder, window

    def focus_on(self, x, window):
        # A window manager may still be settling its own focus: ask until the focus is there.
        deadline = time.monotonic() + 10
        while self.focus(x) != window:
            self.assertLess(time.monotonic(), deadline, "the focus never reached the recorder")
            x.run("xdotool", "windowactivate" if self.window_manager else "windowfocus",
                  str(window))
            time.sleep(0.1)

    def focus(self, x):
        """The focus window; 0 when it is the pointer root or none."""
        found = x.run("xdotool", "getwindowfocus").stdout.split()
        return int(found[0]) if found else 0

    def test_typed_keys_reach_no_other_client_and_focus_returns_after_escape(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                recorder, window = self.open_recorder(x)
                run = x.start([effect])
                effect_window = x.wait_for_window("EDIT")
                time.sleep(0.3)
                self.assertEqual(self.focus(x), effect_window)
                x.run("xdotool", "type", "--delay", "5", "hello")
                x.key("Return", "space", "Tab")
                time.sleep(0.3)
                self.assertIsNone(wait_exit(run, 0.2), describe_exit(run.returncode))
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)
                time.sleep(0.3)
                self.assertEqual(self.focus(x), window)
                recorder.kill()
                recorded = recorder.communicate()[0]
                self.assertNotIn("key ", recorded)

    def test_escape_still_ends_the_run_when_the_focus_is_moved_away(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                _, window = self.open_recorder(x)
                run = x.start([effect])
                x.wait_for_window("EDIT")
                time.sleep(0.3)
                self.focus_on(x, window)
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)

    def test_window_covers_exactly_its_monitor_with_nothing_added_and_draws_nowhere_else(self):
        for effect in linux_effects():
            for monitor, other in self.monitor_layouts():
                with self.subTest(effect=effect.name, monitor=monitor), self.server() as x:
                    before = [x.pixels(part) for part in (monitor, other) if part]
                    run = x.start([effect])
                    window = x.wait_for_window("EDIT")
                    time.sleep(0.5)
                    info = x.run("xwininfo", "-id", str(window)).stdout
                    width, height, left, top = monitor
                    for name, value in (("Absolute upper-left X", left),
                                        ("Absolute upper-left Y", top), ("Width", width),
                                        ("Height", height), ("Border width", 0)):
                        self.assertRegex(info, rf"{name}: +{value}\n")
                    # A direct child of the root: no frame was put around it.
                    tree = x.run("xwininfo", "-id", str(window), "-tree").stdout
                    self.assertRegex(tree, r"Parent window id: 0x[0-9a-f]+ \(the root window\)")
                    after = [x.pixels(part) for part in (monitor, other) if part]
                    self.assertNotEqual(after[0], before[0], "nothing drawn on its monitor")
                    self.assertEqual(after[1:], before[1:], "the other monitor was drawn on")
                    x.key("Escape")
                    self.assertEqual(wait_exit(run, 5), 1)

    def test_windows_opened_later_stay_beneath_it(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                run = x.start([effect])
                x.wait_for_window("EDIT")
                for name in ("later", "later still"):
                    x.start([TOOLS / "x11_poke", "window", name])
                    x.wait_for_window(name)
                    time.sleep(0.5)
                    self.assertEqual(x.stacking_top_first()[0], "EDIT")
                    self.assertIn(name, x.run("xwininfo", "-root", "-tree").stdout)
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)

    def test_a_set_up_that_fails_after_taking_the_focus_gives_it_back(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                _, window = self.open_recorder(x)
                run = x.start([effect], env={"LD_PRELOAD": str(TOOLS / "libx11_faults.so"),
                                             "QUINESPHERE_FAULT": "no-context"})
                self.assertEqual(wait_exit(run, 10), 0)
                self.assertIn("cannot create a GLX rendering context", run.stderr.read())
                self.assertEqual(self.focus(x), window)

    def test_close_requests_leave_it_running(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                run = x.start([effect])
                window = x.wait_for_window("EDIT")
                x.run("wmctrl", "-c", "EDIT")
                x.run(TOOLS / "x11_poke", "close", str(window))
                self.assertIsNone(wait_exit(run, 1.5), describe_exit(run.returncode))
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)


class BareServer(Desktop, unittest.TestCase):
    def test_keys_never_propagate_to_the_root_window(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), self.server() as x:
                run = x.start([effect])
                x.wait_for_window("EDIT")
                x.run("xdotool", "mousemove", "100", "100")
                # The focus moved to PointerRoot, as a user may: keys then go to the effect's
                # window under the pointer, and from there nowhere.
                watcher = x.start([TOOLS / "x11_poke", "root-keys"])
                self.assertEqual(watcher.stdout.readline(), "watching\n")
                x.key("a", "b", "Return")
                time.sleep(0.5)
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)
                watcher.kill()
                self.assertEqual(watcher.communicate()[0], "")


    def test_a_server_taken_for_xwayland_gets_a_managed_window(self):
        """Xwayland 22 and later by their release number, earlier ones by their RandR outputs'
        names, and any server with no output to judge by: none listed, or no RandR at all, where
        the window covers the whole screen."""
        with XServer(640, 480, ["-extension", "RANDR"]) as without_randr:
            for fault, x in (("xwayland-release", self.x), ("xwayland-output", self.x),
                             ("no-outputs", self.x), ("", without_randr)):
                for effect in linux_effects():
                    with self.subTest(effect=effect.name, fault=fault):
                        run = x.start([effect], env={"LD_PRELOAD": str(TOOLS / "libx11_faults.so"),
                                                     "QUINESPHERE_FAULT": fault})
                        try:
                            window = x.wait_for_window("EDIT")
                            info = x.run("xwininfo", "-id", str(window)).stdout
                            self.assertIn("Override Redirect State: no", info)
                            self.assertIn(f"-geometry {x.width}x{x.height}+0+0", info)
                            x.key("Escape")
                            self.assertEqual(wait_exit(run, 5), 1)
                        finally:
                            run.kill()
                            run.wait()


class UnderOpenbox(Desktop, unittest.TestCase):
    window_manager = ["openbox", "--sm-disable"]


class UnderMutter(Desktop, unittest.TestCase):
    """GNOME on X11."""

    window_manager = ["dbus-run-session", "--", "mutter", "--x11", "--replace"]


class UnderKWin(Desktop, unittest.TestCase):
    """KDE Plasma on X11."""

    window_manager = ["dbus-run-session", "--", "kwin_x11", "--replace"]


@unittest.skipUnless(os.geteuid() == 0, "Xorg with the dummy driver runs only as root")
class TwoMonitorsBare(Desktop, unittest.TestCase):
    """The primary monitor on the left, then on the right, where it need not start at 0,0."""

    stacked = False

    @classmethod
    def new_server(cls):
        return TwoMonitors(cls.stacked)

    def monitor_layouts(self):
        try:
            for primary, other in (("DUMMY0", "DUMMY1"), ("DUMMY1", "DUMMY0")):
                self.x.make_primary(primary)
                yield self.x.geometry[primary], self.x.geometry[other]
        finally:
            self.x.make_primary("DUMMY0")


class TwoMonitorsUnderOpenbox(TwoMonitorsBare):
    window_manager = ["openbox", "--sm-disable"]


class StackedMonitorsBare(TwoMonitorsBare):
    """The primary monitor above the other, then below it, as a laptop's under an external
    screen."""

    stacked = True


if __name__ == "__main__":
    unittest.main()
