"""The Linux executables on Xvfb screens of the tests' own."""

import os
import socket
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

from gl_stream import gl_calls
from harness import (BUILD, TOOLS, SessionBus, XServer, describe_exit, image_figure,  # noqa: F401
                     linux_effects, run_hooked, setUpModule, wait_exit)
from wayland_harness import wait_until

EFFECTS = linux_effects()
FAULTS = TOOLS / "libx11_faults.so"


class WindowAndExit(unittest.TestCase):
    def test_window_spans_a_non_square_screen_named_and_classed_edit(self):
        # Also where RandR, older than 1.5, lists no monitors.
        for effect in EFFECTS:
            for fault in ("", "old-randr"):
                with self.subTest(effect=effect.name, fault=fault), XServer(1024, 600) as x:
                    run = x.start([effect], env={"LD_PRELOAD": str(FAULTS),
                                                 "QUINESPHERE_FAULT": fault})
                    window = x.wait_for_window("EDIT")
                    info = x.run("xwininfo", "-id", str(window)).stdout
                    for field, value in (("Absolute upper-left X", "0"),
                                         ("Absolute upper-left Y", "0"), ("Width", "1024"),
                                         ("Height", "600"), ("Border width", "0"),
                                         ("Map State", "IsViewable")):
                        self.assertRegex(info, rf"\n *{field}: +{value}\n")
                    props = x.run("xprop", "-id", str(window), "WM_NAME", "WM_CLASS").stdout
                    self.assertIn('WM_NAME(STRING) = "EDIT"', props)
                    self.assertIn('WM_CLASS(STRING) = "EDIT", "EDIT"', props)
                    x.key("Escape")
                    self.assertEqual(wait_exit(run, 5), 1)

    def test_window_is_above_one_opened_before_it(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(800, 600) as x:
                x.start([TOOLS / "x11_poke", "window", "earlier"])
                x.wait_for_window("earlier")
                run = x.start([effect])
                x.wait_for_window("EDIT")
                self.assertEqual(x.stacking_top_first()[:2], ["EDIT", "earlier"])
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)

    def test_without_a_display_it_says_so_and_exits_zero(self):
        for effect in EFFECTS:
            for display in (None, ":4095"):
                with self.subTest(effect=effect.name, display=display):
                    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
                    if display:
                        env["DISPLAY"] = display
                    done = subprocess.run([effect], env=env, capture_output=True, text=True,
                                          timeout=10)
                    self.assertEqual(done.returncode, 0)
                    self.assertEqual(done.stderr, "quinesphere: cannot open the X display\n")

    def test_server_without_glx_is_a_clean_failure(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(640, 480, ["-extension", "GLX"]) as x:
                done = x.start([effect])
                self.assertEqual(wait_exit(done, 10), 0, describe_exit(done.returncode))
                self.assertIn("GLX", done.stderr.read())

    def test_server_going_away_mid_run_ends_with_status_zero_not_a_signal(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(640, 480) as x:
                run = x.start([effect])
                x.wait_for_window("EDIT")
                time.sleep(0.5)
                x.process.kill()
                x.process.wait()
                status = wait_exit(run, 10)
                self.assertEqual(status, 0, describe_exit(status))


class ExitStatus(unittest.TestCase):
    def test_status_is_the_deletions_own_result_and_nothing_earlier(self):
        # An error from the deletion makes it 0; one raised just before it must not.
        for effect in EFFECTS:
            for fault, expected in (("deletion", 0), ("before-teardown", 1)):
                with self.subTest(effect=effect.name, fault=fault), XServer(320, 240) as x:
                    run = x.start([effect], env={"LD_PRELOAD": str(FAULTS),
                                                 "QUINESPHERE_FAULT": fault})
                    x.wait_for_window("EDIT")
                    time.sleep(0.3)
                    x.key("Escape")
                    self.assertEqual(wait_exit(run, 5), expected)


class HostChoice(unittest.TestCase):
    """build/quinesphere runs the Wayland host only where a compositor answers, and neither host
    for --help, --version or any other argument."""

    def launch(self, *args, **env):
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QUINESPHERE_HOST")}
        done = subprocess.run([BUILD / "quinesphere", *args], env=dict(base, **env),
                              capture_output=True, text=True, timeout=10)
        self.assertEqual(done.returncode, 0)
        return done

    def run_launcher(self, **env):
        return self.launch(**env).stderr

    def test_wayland_where_a_compositor_answers_x11_otherwise_or_as_forced(self):
        x11 = "quinesphere: cannot open the X display\n"
        with tempfile.TemporaryDirectory() as runtime:
            self.assertEqual(self.run_launcher(XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="w-0"), x11)
            # A socket that answers and then hangs up: the Wayland host is chosen, and says so.
            with socket.socket(socket.AF_UNIX) as listener:
                listener.bind(f"{runtime}/w-0")
                listener.listen()
                # Once for the launcher's probe, once for the host.
                threading.Thread(target=lambda: [listener.accept()[0].close()
                                                 for _ in range(2)]).start()
                wayland = self.run_launcher(XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="w-0")
                self.assertEqual(wayland, "quinesphere: lost the connection to the Wayland "
                                          "compositor\n")
                self.assertEqual(self.run_launcher(XDG_RUNTIME_DIR=runtime,
                                                   WAYLAND_DISPLAY=f"{runtime}/w-0",
                                                   QUINESPHERE_HOST="x11"), x11)
        # libwayland may add a line of its own about the missing runtime directory.
        self.assertTrue(self.run_launcher(QUINESPHERE_HOST="wayland").endswith(
            "quinesphere: cannot connect to the Wayland compositor\n"))
        self.assertIn("QUINESPHERE_HOST must be wayland or x11",
                      self.run_launcher(QUINESPHERE_HOST="X11"))

    def test_help_and_version_start_no_host_and_other_arguments_point_to_help(self):
        # A host started with no display would say so on standard error.
        helped, version, other = (self.launch(argument, QUINESPHERE_HOST="x11")
                                  for argument in ("--help", "--version", "--window"))
        self.assertRegex(helped.stdout, r"(?s)Escape ends it.*QUINESPHERE_HOST=wayland.*"
                                        r"Exit status: 1.*man quinesphere")
        self.assertEqual((helped.stderr, version.stdout, version.stderr, other.stdout, other.stderr),
                         ("", f"quinesphere {(BUILD / 'VERSION').read_text()}", "", "",
                          "quinesphere: unknown argument --window (see quinesphere --help)\n"))


class Escape(unittest.TestCase):
    def test_held_before_start_ends_the_run_with_no_frame_and_status_one(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(640, 480) as x, \
                    tempfile.TemporaryDirectory() as scratch:
                x.run("xdotool", "keydown", "Escape")
                trace = Path(scratch) / "run.trace"
                run = x.start(["apitrace", "trace", "--api", "gl", "-o", trace, effect])
                self.assertEqual(wait_exit(run, 20), 1)
                x.run("xdotool", "keyup", "Escape")
                calls = gl_calls(trace)
                self.assertTrue(any("glXMakeCurrent" in call for call in calls))
                visuals = [call for call in calls if " glXChooseVisual(" in call]
                self.assertEqual(len(visuals), 1)
                self.assertIn("attribList = {GLX_RGBA, GLX_DOUBLEBUFFER, 0}", visuals[0])
                for drawing in ("glXSwapBuffers", "glBegin", "glRotatef"):
                    self.assertFalse([c for c in calls if drawing in c], drawing)

    def test_a_tap_the_moment_the_window_is_shown_ends_the_run(self):
        # The window is held shown, set-up not yet done, while the key is tapped.
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(320, 240) as x:
                run = x.start([effect], env={"LD_PRELOAD": str(FAULTS),
                                             "QUINESPHERE_FAULT": "slow-map"})
                x.wait_for_window("EDIT")
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)

    def test_zero_length_tap_ends_the_run_within_a_second_every_time(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(320, 240) as x:
                for attempt in range(20):
                    run = x.start([effect])
                    x.wait_for_window("EDIT")
                    time.sleep(0.2)
                    x.key("Escape")
                    status = wait_exit(run, 1)
                    self.assertEqual(status, 1, f"try {attempt}: {describe_exit(status)}")

    def test_taps_end_the_run_while_another_client_holds_a_keyboard_grab(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(320, 240) as x:
                grab = x.start([TOOLS / "x11_poke", "grab"])
                self.assertEqual(grab.stdout.readline(), "grabbed\n")
                for attempt in range(3):
                    run = x.start([effect])
                    x.wait_for_window("EDIT")
                    time.sleep(0.3)
                    x.key("Escape")
                    status = wait_exit(run, 2)
                    self.assertEqual(status, 1, f"try {attempt}: {describe_exit(status)}")

    def test_escape_is_found_again_when_the_keymap_changes(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(320, 240) as x:
                run = x.start([effect])
                x.wait_for_window("EDIT")
                # Escape moves to the key that was "h", and "h" to the key Escape had.
                x.run("xmodmap", "-e", "keycode 9 = h", "-e", "keycode 43 = Escape")
                time.sleep(0.3)
                x.key("h")
                self.assertIsNone(wait_exit(run, 1), describe_exit(run.returncode))
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)

    def test_other_keys_clicks_and_close_requests_leave_it_running(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(640, 480) as x:
                run = x.start([effect])
                window = x.wait_for_window("EDIT")
                x.key("a", "Return", "space", "F1", "q", "alt+F4", "ctrl+c")
                x.run("xdotool", "click", "1")
                x.run(TOOLS / "x11_poke", "close", str(window))
                self.assertIsNone(wait_exit(run, 1.5), describe_exit(run.returncode))
                x.key("Escape")
                self.assertEqual(wait_exit(run, 5), 1)


class ScreenStaysOn(unittest.TestCase):
    def test_the_servers_saver_and_the_desktops_are_held_off_for_the_run_only(self):
        # The size-coded builds leave both out.
        with XServer(320, 240) as x, SessionBus() as bus:
            x.run("xset", "s", "3", "0")
            run = x.start([BUILD / "quinesphere-x11"], env=bus.env)
            x.wait_for_window("EDIT")
            time.sleep(5)
            self.assertEqual(x.run(TOOLS / "x11_poke", "saver").stdout, "off\n")
            self.assertEqual(bus.calls, ["Inhibit quinesphere"])
            x.key("Escape")
            self.assertEqual(wait_exit(run, 5), 1)
            wait_until(lambda: x.run(TOOLS / "x11_poke", "saver").stdout == "on\n", 10,
                       "the saver to come on after the run")
            self.assertEqual(bus.calls, ["Inhibit quinesphere", "UnInhibit 7"])

    def test_a_desktop_that_never_answers_holds_up_the_start_half_a_second_at_most(self):
        with XServer(320, 240) as x, SessionBus(hung=True) as bus:
            run = x.start([BUILD / "quinesphere-x11"], env=bus.env)
            x.wait_for_window("EDIT")
            x.key("Escape")
            self.assertEqual(wait_exit(run, 5), 1, describe_exit(run.returncode))
            self.assertEqual(bus.calls, ["Inhibit quinesphere"])


class Picture(unittest.TestCase):
    def test_picture_builds_up_frame_by_frame_over_the_black_screen(self):
        for effect in EFFECTS:
            with self.subTest(effect=effect.name), XServer(640, 480) as x, \
                    tempfile.TemporaryDirectory() as scratch:
                self.assertEqual(run_hooked(x, effect, 21, scratch), 1)
                means = [image_figure(Path(scratch) / f"frame-{n:06d}.ppm", "%[fx:mean]")
                         for n in (1, 5, 21)]
                self.assertEqual(means, sorted(set(means)))


if __name__ == "__main__":
    unittest.main()
