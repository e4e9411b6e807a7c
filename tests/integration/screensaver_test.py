"""The XScreenSaver hack, run by the real daemon as a throwaway user (it starts no hack as root),
and on its own in windows it is given."""

import re
import signal
import tempfile
import time
import unittest
from pathlib import Path

from harness import BUILD, TOOLS, SessionBus, XServer, describe_exit, image_figure, wait_exit
from wayland_harness import ThrowawayUser, wait_until

SETTINGS = """mode: one
selected: 0
timeout: 0:30:00
lock: False
fade: False
unfade: False
splash: False
dpmsEnabled: False
programs: GL: {hack} --root
"""


def hack_state(pid):
    """The process state letter, or None once it is gone: kill -0 succeeds on a zombie too."""
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def running(pid):
    return hack_state(pid) not in (None, "Z", "X")


class UnderTheDaemon(unittest.TestCase):
    def test_daemon_runs_it_full_screen_and_ends_it_on_deactivation(self):
        with XServer(800, 600) as x:
            user = ThrowawayUser()
            self.addCleanup(user.close)
            user.file(".xscreensaver").write_text(
                SETTINGS.format(hack=user.bin / "quinesphere-saver"))
            env = {"DISPLAY": x.display}
            user.start(["xscreensaver", "-no-splash"], env)
            wait_until(lambda: user.run(["xscreensaver-command", "-version"], env).returncode == 0,
                       30, "the daemon")
            user.run(["xscreensaver-command", "-select", "1"], env)
            pid = wait_until(lambda: self.hack_pid(x), 30, "the daemon to start the hack")
            self.assertIn("quinesphere-saver", open(f"/proc/{pid}/cmdline").read())
            # The trails build up over the first second.
            time.sleep(2)
            shot = x.screenshot(user.file("saver.png"))
            self.assertGreater(image_figure(shot, "%k"), 2000)
            user.run(["xscreensaver-command", "-deactivate"], env)
            wait_until(lambda: not running(pid), 1, "the hack to end on deactivation")

    def hack_pid(self, x):
        """The pid the daemon's saver window names in _NET_WM_PID, once it runs a hack."""
        for window in x.run("xdotool", "search", "--class", "XScreenSaver").stdout.split():
            found = re.search(r"= (\d+)", x.run("xprop", "-id", window, "_NET_WM_PID").stdout)
            if found and running(int(found.group(1))):
                return int(found.group(1))
        return None


class InAGivenWindow(unittest.TestCase):
    def start_in_window(self, x, width, height, env=None):
        poke = x.start([TOOLS / "x11_poke", "window", "preview"])
        window = poke.stdout.readline().split()[1]
        x.run("xdotool", "windowsize", window, str(width), str(height))
        time.sleep(0.3)
        return poke, window, x.start([BUILD / "quinesphere-saver", "--window-id", window], env)

    def test_follows_the_windows_size_and_ends_when_it_goes_or_on_sigterm(self):
        # Run because the desktop is idle, it never holds the desktop's idle timer off.
        with XServer(640, 480) as x, tempfile.TemporaryDirectory() as scratch, SessionBus() as bus:
            poke, window, run = self.start_in_window(x, 160, 120, bus.env)
            time.sleep(1)
            x.run("xdotool", "windowsize", window, "320", "240")
            time.sleep(2)
            self.assertIsNone(run.poll(), describe_exit(run.returncode))
            # Drawn to the new size, the far corner from where GL's origin is fills too.
            shot = Path(scratch) / "preview.png"
            x.run("import", "-window", window, "-crop", "100x80+220+0", shot)
            self.assertGreater(image_figure(shot, "%k"), 500)
            poke.kill()  # its window goes with it
            self.assertEqual(wait_exit(run, 5), 1, describe_exit(run.returncode))
            self.assertEqual(bus.calls, [])

            _, _, run = self.start_in_window(x, 320, 240)
            time.sleep(1)
            run.send_signal(signal.SIGTERM)
            self.assertEqual(wait_exit(run, 5), 1, describe_exit(run.returncode))


if __name__ == "__main__":
    unittest.main()
