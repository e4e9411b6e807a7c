"""X servers of the tests' own and the effect running on them: the tools' runner, and what only
the tests need, such as a server with two monitors."""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from effect_runner import (HOOK, XServer, describe_exit, read_report,  # noqa: E402,F401
                           run_hooked, start_hooked, wait_exit)

BUILD = Path(os.environ.get("QUINESPHERE_BUILD", Path(__file__).resolve().parents[2] / "build"))
TOOLS = BUILD / "tests"


def linux_effects():
    """Every X11 build of the effect that the behaviour tests cover."""
    return [BUILD / name for name in ("quinesphere-x11", "quinesphere-4k", "quinesphere-packed")
            if (BUILD / name).exists()]


def image_figure(path, expression, *operations):
    """An ImageMagick figure of a picture, after the operations given: mean brightness, colour
    count and so on."""
    out = subprocess.run(["convert", str(path), *operations, "-format", expression, "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out)


class TwoMonitors(XServer):
    """Xorg with the dummy driver as a desktop with two 1280x720 monitors, DUMMY0 primary at the
    top left and DUMMY1 to its right, or below it where stacked. Xorg runs only as root."""

    MONITOR = """
Section "Monitor"
    Identifier "{name}"
    Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync
    Option "PreferredMode" "1280x720"
    Option "Position" "{left} {top}"
    Option "{shown}" "true"
EndSection"""
    CONFIG = """
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
EndSection
{monitors}
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 32768
    Option "Monitor-DUMMY0" "DUMMY0"
    Option "Monitor-DUMMY1" "DUMMY1"
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual {width} {height}
    EndSubSection
EndSection
"""

    def __init__(self, stacked=False):
        left, top = (0, 720) if stacked else (1280, 0)
        # Each output's monitor, as (width, height, left, top).
        self.geometry = {"DUMMY0": (1280, 720, 0, 0), "DUMMY1": (1280, 720, left, top)}
        monitors = (self.MONITOR.format(name="DUMMY0", left=0, top=0, shown="Primary")
                    + self.MONITOR.format(name="DUMMY1", left=left, top=top, shown="Enable"))
        width, height = 1280 + left, 720 + top
        self.scratch = tempfile.TemporaryDirectory()
        self.place = Path(self.scratch.name)
        (self.place / "xorg.conf").write_text(
            self.CONFIG.format(monitors=monitors, width=width, height=height))
        (self.place / "conf.d").mkdir()
        try:
            super().__init__(width, height)
        except BaseException:
            self.scratch.cleanup()
            raise

    def command(self, displayfd, extra_args):
        # A configuration directory of its own, so that none of the machine's is read.
        return ["Xorg", "-displayfd", displayfd, "-config", str(self.place / "xorg.conf"),
                "-configdir", str(self.place / "conf.d"), "-noreset", "-nolisten", "tcp",
                "-logfile", str(self.place / "Xorg.log"), *extra_args]

    def close(self):
        super().close()
        self.scratch.cleanup()

    def make_primary(self, output):
        self.run("xrandr", "--output", output, "--primary").check_returncode()
