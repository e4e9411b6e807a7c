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
    """Xorg with the dummy driver as a desktop with two monitors: 1280x720 outputs side by side,
    DUMMY0 on the left and DUMMY1 on the right, the left one primary. Xorg runs only as root."""

    GEOMETRY = {"DUMMY0": (1280, 720, 0, 0), "DUMMY1": (1280, 720, 1280, 0)}
    MONITOR = """
Section "Monitor"
    Identifier "{name}"
    Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync
    Option "PreferredMode" "1280x720"
    Option "Position" "{left} 0"
    Option "{shown}" "true"
EndSection"""
    CONFIG = f"""
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
EndSection
{MONITOR.format(name="left", left=0, shown="Primary")}
{MONITOR.format(name="right", left=1280, shown="Enable")}
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 32768
    Option "Monitor-DUMMY0" "left"
    Option "Monitor-DUMMY1" "right"
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 2560 720
    EndSubSection
EndSection
"""

    def __init__(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.place = Path(self.scratch.name)
        (self.place / "xorg.conf").write_text(self.CONFIG)
        (self.place / "conf.d").mkdir()
        try:
            super().__init__(2560, 720)
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
