"""X servers of the tests' own and the effect running on them: the tools' runner and servers, and
what only the tests need."""

import os
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from effect_runner import (HOOK, WINESERVER, TwoMonitors, XServer,  # noqa: E402,F401
                           describe_exit, read_report, run_hooked, start_hooked, wait_exit,
                           why_wine_cannot_run)

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

