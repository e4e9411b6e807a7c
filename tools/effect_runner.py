"""The effect on an Xvfb screen of its own, frame-exact through the frame hook: what the capture
and benchmark tools are made of, and what the tests run the effect with.

In a source tree the builds are in build/; installed, the frame hook lies in the package's library
directory, the version beside this file, and the effect is on PATH.
"""

import os
import shutil
import signal
import subprocess
import sysconfig
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("QUINESPHERE_BUILD", HERE.parent / "build"))
INSTALLED_HOOK = Path(f"/usr/lib/{sysconfig.get_config_var('MULTIARCH')}/quinesphere/"
                      "libquinesphere-hook.so")
HOOK = BUILD / "libquinesphere-hook.so"
if not HOOK.exists() and INSTALLED_HOOK.exists():
    HOOK = INSTALLED_HOOK


def default_effect():
    """The effect a tool runs unless told otherwise: the build's, or the one installed."""
    built = BUILD / "quinesphere"
    return built if built.exists() else Path(shutil.which("quinesphere") or built)


def version():
    for place in (BUILD / "VERSION", HERE / "VERSION"):
        if place.exists():
            return place.read_text().strip()
    return "unknown"


class XServer:
    """An X server, Xvfb unless its command says otherwise, on a display number it picks itself;
    stopped, with all it started, on close."""

    def __init__(self, width=1024, height=600, extra_args=()):
        self.width, self.height = width, height
        self.children = []
        read_end, write_end = os.pipe()
        command = self.command(str(write_end), extra_args)
        self.process = subprocess.Popen(command, pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError(f"{command[0]} did not start")
        self.display = ":" + number
        # X11 whatever desktop the tests run in.
        self.env = {name: value for name, value in os.environ.items()
                    if name not in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET")}
        self.env.update(DISPLAY=self.display, QUINESPHERE_HOST="x11")

    def command(self, displayfd, extra_args):
        """The server's command line, telling its display number on the descriptor displayfd."""
        return ["Xvfb", "-displayfd", displayfd, "-screen", "0", f"{self.width}x{self.height}x24",
                "-nolisten", "tcp", "-br", "-noreset", *extra_args]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self.end_children()
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def end_children(self, first=0):
        """Ends what was started from the given child on, with whatever each started in turn."""
        for child in self.children[first:]:
            try:
                os.killpg(child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            child.wait()
            for pipe in (child.stdout, child.stderr):
                if pipe:
                    pipe.close()
        del self.children[first:]

    def start(self, command, env=None, **kwargs):
        """A client in a process group of its own, so that what it starts ends with it."""
        child = subprocess.Popen([str(part) for part in command], env=dict(self.env, **(env or {})),
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                 start_new_session=True, **kwargs)
        self.children.append(child)
        return child

    def start_window_manager(self, command):
        """A window manager, started and ready to manage windows: one may name itself a little
        before that, and a window mapped in between is never managed, so a probe window is mapped
        until it is."""
        self.start(command)
        deadline = time.monotonic() + 30
        while self.run("wmctrl", "-m").returncode != 0:
            if time.monotonic() > deadline:
                raise AssertionError(f"{command[-1]} did not start")
            time.sleep(0.05)
        probe = self.start(["xmessage", "-title", "window-manager-probe", "probe"])
        while not any("window state" in self.run("xprop", "-id", window, "WM_STATE").stdout
                      for window in self.window_ids("window-manager-probe")):
            if time.monotonic() > deadline:
                raise AssertionError("the window manager never managed a window")
            self.run("xdotool", "search", "--name", "^window-manager-probe$", "windowmap")
            time.sleep(0.1)
        probe.kill()
        probe.wait()

    def run(self, *command):
        return subprocess.run([str(part) for part in command], env=self.env, capture_output=True,
                              text=True, timeout=30)

    def window_ids(self, name):
        """The shown windows of that name: a client may name a window a moment before mapping it.
        Not a frame: mutter 48 (Debian 13) draws a frame in a window of a client of its own, named
        as the window it frames, which _MUTTER_FRAME_FOR names; mutter 43 draws frames itself."""
        found = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{name}$")
        return [int(line) for line in found.stdout.split() if "window id" not in
                self.run("xprop", "-id", line, "_MUTTER_FRAME_FOR").stdout]

    def wait_for_window(self, name, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ids = self.window_ids(name)
            if ids:
                return ids[0]
            time.sleep(0.05)
        raise AssertionError(f"no window named {name} was shown on {self.display}")

    def stacking_top_first(self):
        """Names of the root's mapped children, top-most first."""
        listing = self.run("xwininfo", "-root", "-children").stdout
        return [line.split('"')[1] for line in listing.splitlines()
                if line.strip().startswith("0x") and '"' in line]

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "0", *keys)

    def pixels(self, geometry):
        """The screen's pixels in (width, height, left, top), as raw RGB."""
        width, height, left, top = geometry
        crop = f"{width}x{height}+{left}+{top}"
        return subprocess.run(["import", "-window", "root", "-crop", crop, "rgb:-"], env=self.env,
                              capture_output=True, check=True, timeout=30).stdout

    def screenshot(self, path):
        self.run("import", "-window", "root", str(path))
        return path


def wait_exit(process, timeout):
    """The exit status, or None if the process is still running after timeout seconds."""
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        return None
    return process.returncode


def describe_exit(status):
    if status is None:
        return "still running"
    if status < 0:
        return f"killed by {signal.Signals(-status).name}"
    return f"exit status {status}"


def start_hooked(server, effect, escape_after, capture_dir=None, first=1, last=-1, report=None):
    """Starts the effect with the frame hook, to end through Escape after the given frame."""
    env = {"LD_PRELOAD": str(HOOK), "QUINESPHERE_HOOK_ESCAPE_AFTER": str(escape_after)}
    if capture_dir:
        env.update(QUINESPHERE_HOOK_CAPTURE_DIR=str(capture_dir),
                   QUINESPHERE_HOOK_CAPTURE_FIRST=str(first),
                   QUINESPHERE_HOOK_CAPTURE_LAST=str(last))
    if report:
        env["QUINESPHERE_HOOK_REPORT"] = str(report)
    return server.start([effect], env=env)


def run_hooked(server, effect, escape_after, capture_dir=None, first=1, last=-1, report=None,
               timeout=60):
    """Runs the effect with the frame hook until Escape after the given frame; the exit status."""
    return wait_exit(start_hooked(server, effect, escape_after, capture_dir, first, last, report),
                     timeout)


def read_report(path):
    return {name: float(value) for name, value in
            (line.split() for line in Path(path).read_text().splitlines())}


class TwoMonitors(XServer):
    """Xorg with the dummy driver as a desktop with two monitors: DUMMY0 primary at the top left,
    1280x720 unless another size is given, and the 1280x720 DUMMY1 to its right, or below it where
    stacked. Xorg runs only as root."""

    MODELINES = {(1280, 720): "74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync",
                 (1920, 1080): "148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync"}
    MONITOR = """
Section "Monitor"
    Identifier "{name}"
    HorizSync 30-70
    VertRefresh 50-70
    Modeline "{width}x{height}" {timings}
    Option "PreferredMode" "{width}x{height}"
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

    def __init__(self, stacked=False, first=(1280, 720)):
        left, top = (0, first[1]) if stacked else (first[0], 0)
        # Each output's monitor, as (width, height, left, top).
        self.geometry = {"DUMMY0": (*first, 0, 0), "DUMMY1": (1280, 720, left, top)}
        monitors = "".join(self.MONITOR.format(
            name=name, width=width, height=height, timings=self.MODELINES[width, height],
            left=x, top=y, shown="Enable" if x or y else "Primary")
            for name, (width, height, x, y) in self.geometry.items())
        width, height = max(first[0], left + 1280), max(first[1], top + 720)
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


WINESERVER = "/usr/lib/wine/wineserver64"


def why_wine_cannot_run(loader):
    """None when the Wine loader runs here; otherwise why not."""
    if not Path(loader).exists():
        return f"{loader} is not installed"
    try:
        subprocess.run([loader, "--version"], capture_output=True, timeout=60)
    except OSError as error:
        return f"this kernel runs no programs of this architecture ({error.strerror})"
    return None
