"""The Windows screensaver, quinesphere.scr, run under Wine on Xvfb as Windows starts a screensaver:
full screen, in a preview window of another process, and for its settings; and full screen on two
monitors."""

import functools
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from harness import BUILD, TwoMonitors, describe_exit, image_figure, wait_exit
from win32_test import PROBE, WINE, WINESERVER, WineSession


class SaverSession(WineSession):
    """Runs the screensaver and what stands in for Windows around it."""

    def wine(self, program, *args, **kwargs):
        process = self.server.start([self.loader, program, *args], env={
            "WINEPREFIX": self.prefix, "WINEDEBUG": "-all"}, **kwargs)
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))
        return process

    def saver(self, *args, directory=None):
        return self.wine((directory or self.directory) / "quinesphere.scr", *args)

    def windows_of_size(self, width, height):
        tree = self.server.run("xwininfo", "-root", "-tree").stdout
        return re.findall(rf"^\s+(0x[0-9a-f]+) .*: \(.*\)\s+{width}x{height}\+", tree, re.M)

    def colours(self, window, timeout=20):
        """The most colours seen in the window within the timeout, waiting for over 2,000."""
        deadline, most = time.monotonic() + timeout, 0
        with tempfile.TemporaryDirectory() as scratch:
            while most <= 2000 and time.monotonic() < deadline:
                for found in window():
                    self.server.run("import", "-window", found, f"{scratch}/shot.png")
                    if Path(scratch, "shot.png").exists():
                        most = max(most, image_figure(Path(scratch, "shot.png"), "%k"))
                time.sleep(0.5)
        return most


class SaverUnderWine(SaverSession):
    """The same cases for each build, run by the Wine of its own architecture."""

    def test_full_screen_draws_and_ends_on_a_key_a_click_or_a_move(self):
        # From a path with a space, which the command line quotes.
        spaced = Path(tempfile.mkdtemp(prefix="saver dir "))
        self.addCleanup(shutil.rmtree, spaced)
        shutil.copy(self.directory / "quinesphere.scr", spaced)
        for trigger in (["key", "a"], ["click", "1"], ["mousemove_relative", "50", "50"]):
            with self.subTest(trigger=trigger[0]):
                trace = spaced / "relay.txt"
                run = self.start_relayed(spaced / "quinesphere.scr", "/s", trace=trace)
                self.assertGreater(self.colours(lambda: self.windows_of_size(1024, 600)), 2000)
                probe = subprocess.run([WINE, str(PROBE), "quinesphere"], env=self.env,
                                       capture_output=True, text=True, timeout=60)
                # Topmost: above every other window, the taskbar included.
                self.assertIn("rect=0,0,1024,600 style=94000000 exstyle=00000008", probe.stdout)
                # A small move is not input.
                self.server.run("xdotool", "mousemove_relative", "2", "2")
                time.sleep(0.5)
                self.assertIsNone(run.poll(), "ended on a 2-pixel move")
                self.server.run("xdotool", *trigger)
                status = wait_exit(run, 10)
                self.assertEqual(status, 1, describe_exit(status))
                self.assert_dpi_aware_before_reading_the_screen(trace)

    def test_preview_is_a_drawing_child_of_the_given_window_ending_with_it(self):
        for form in (["/p", "{}"], ["/p:{}"], ["/P", "{}"], ["-p", "{}"]):
            with self.subTest(form=" ".join(form)):
                host = self.wine(self.directory / "win_preview_host.exe", stdin=subprocess.PIPE)
                handle = host.stdout.readline().strip()
                run = self.saver(*(part.format(handle) for part in form))
                self.assertGreater(self.colours(lambda: self.windows_of_size(240, 180)), 2000)
                host.stdin.write("\n")
                host.stdin.flush()
                child = host.stdout.readline()
                self.assertIn("child=1 other_process=1 style=5", child)
                rect, client = re.search(r"rect=(\S+) client=(\S+)", child).groups()
                self.assertEqual(rect, client)
                self.assertIsNone(run.poll(), "ended before its parent")
                host.stdin.close()
                self.assertEqual(host.stdout.readline().strip(), "destroyed")
                status = wait_exit(run, 5)
                self.assertEqual(status, 1, describe_exit(status))
                wait_exit(host, 10)

    def test_settings_show_a_message_box_that_return_dismisses(self):
        for args in (["/c"], ["/c:0"], []):
            with self.subTest(args=args):
                run = self.saver(*args)
                # Wine maps the box some time after naming it; keys reach it only once it is shown.
                deadline, box = time.monotonic() + 30, []
                while not box and time.monotonic() < deadline:
                    box = self.server.run("xdotool", "search", "--onlyvisible", "--name",
                                          "^quinesphere$").stdout.split()
                    time.sleep(0.1)
                self.assertEqual(len(box), 1, "no message box")
                self.assertNotIn("Width: 1024", self.server.run("xwininfo", "-id", box[0]).stdout)
                # With no window manager, the keyboard follows the pointer unless focus is set.
                self.server.run("xdotool", "windowfocus", box[0])
                self.server.key("Return")
                status = wait_exit(run, 10)
                self.assertEqual(status, 0, describe_exit(status))


@unittest.skipUnless(os.geteuid() == 0, "Xorg with the dummy driver runs only as root")
class SaverOnTwoMonitors(SaverSession):
    """Full screen on two monitors, each once primary: where the primary is right of or below the
    other, the virtual screen starts left of or above 0,0."""

    new_server = TwoMonitors

    def test_each_monitor_shows_the_whole_picture_and_input_on_the_other_ends_it(self):
        places = self.server.geometry
        right, bottom = (max(place[i] + place[i + 2] for place in places.values()) for i in (0, 1))
        for primary, other in (("DUMMY0", "DUMMY1"), ("DUMMY1", "DUMMY0")):
            self.server.make_primary(primary)
            # Wine reads the monitors when its server starts.
            subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True, timeout=60)
            left, top = places[primary][2:]
            for trigger in (["key", "a"], ["mousemove_relative", "50", "50"]):
                with self.subTest(primary=primary, trigger=trigger[0]), \
                        tempfile.TemporaryDirectory() as scratch:
                    self.server.run("xdotool", "mousemove",
                                    *(str(at + 9) for at in places[other][2:]))
                    run = self.saver("/s")
                    self.assertGreater(self.colours(lambda: self.windows_of_size(right, bottom)),
                                       2000)
                    shot = self.server.screenshot(Path(scratch, "screen.png"))
                    shown = {name: Path(scratch, f"{name}.png") for name in places}
                    for name, (width, height, x, y) in places.items():
                        subprocess.run(["convert", shot, "-crop", f"{width}x{height}+{x}+{y}",
                                        "+repage", shown[name]], check=True)
                        self.assertGreater(image_figure(shown[name], "%k"), 2000)
                    # The other monitor shows the primary's whole picture at its own size, not a
                    # part of it or of one stretched over both.
                    resized = Path(scratch, "resized.png")
                    subprocess.run(["convert", shown[primary], "-resize",
                                    "{}x{}!".format(*places[other][:2]), resized], check=True)
                    compared = subprocess.run(["compare", "-metric", "RMSE", resized,
                                               shown[other], "null:"],
                                              capture_output=True, text=True).stderr
                    self.assertLess(float(re.search(r"\((\S+)\)", compared).group(1)), 0.02)
                    probe = subprocess.run([WINE, str(PROBE), "quinesphere"], env=self.env,
                                           capture_output=True, text=True, timeout=60)
                    self.assertIn(f"rect={-left},{-top},{right - left},{bottom - top} "
                                  "style=94000000", probe.stdout)
                    self.server.run("xdotool", *trigger)
                    status = wait_exit(run, 10)
                    self.assertEqual(status, 1, describe_exit(status))


class I686SaverOnTwoMonitors(SaverOnTwoMonitors, unittest.TestCase):
    loader = "/usr/lib/wine/wine"
    directory = BUILD / "win32"


class X8664SaverOnTwoMonitors(SaverOnTwoMonitors, unittest.TestCase):
    loader = WINE
    directory = BUILD / "win64"


# A larger monitor above, as an external screen above a laptop's.
STACKED = functools.partial(TwoMonitors, stacked=True, first=(1920, 1080))


class I686SaverOnStackedMonitors(I686SaverOnTwoMonitors):
    new_server = STACKED


class X8664SaverOnStackedMonitors(X8664SaverOnTwoMonitors):
    new_server = STACKED


class I686SaverUnderWine(SaverUnderWine, unittest.TestCase):
    loader = "/usr/lib/wine/wine"
    directory = BUILD / "win32"


class X8664SaverUnderWine(SaverUnderWine, unittest.TestCase):
    loader = WINE
    directory = BUILD / "win64"


if __name__ == "__main__":
    unittest.main()
