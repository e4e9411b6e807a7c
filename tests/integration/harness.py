"""X servers of the tests' own and the effect running on them: the tools' runner and servers, and
what only the tests need."""

import os
import subprocess
import sys
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from effect_runner import (HOOK, WINESERVER, TwoMonitors, XServer,  # noqa: E402,F401
                           describe_exit, read_report, run_hooked, start_hooked, wait_exit,
                           why_wine_cannot_run)

BUILD = Path(os.environ.get("QUINESPHERE_BUILD", Path(__file__).resolve().parents[2] / "build"))
TOOLS = Path(os.environ.get("QUINESPHERE_TOOLS", BUILD / "tests"))
# Set, to dpkg's name for it, where BUILD is a cross build of another architecture's, which runs
# through qemu-user; the test tools are this machine's.
ARCH = os.environ.get("QUINESPHERE_ARCH")


def linux_effects():
    """Every X11 build of the effect that the behaviour tests cover; of a cross build, the launcher,
    which execs its host, and the 4k build, where there is one."""
    names = (("quinesphere", "quinesphere-4k") if ARCH else
             ("quinesphere-x11", "quinesphere-4k", "quinesphere-packed"))
    return [BUILD / name for name in names if (BUILD / name).exists()]


def setUpModule():
    """Skips the cases of a module that imports it where the cross build they run against was not
    made or does not run here."""
    if not ARCH:
        return
    if not (BUILD / "quinesphere").exists():
        raise unittest.SkipTest(f"no {ARCH} build: its cross compiler or libraries are not "
                                "installed")
    try:
        subprocess.run([BUILD / "quinesphere", "--version"], capture_output=True, timeout=60)
    except OSError as error:
        raise unittest.SkipTest(f"this kernel runs no {ARCH} programs ({error.strerror}): "
                                "qemu-user is not registered with binfmt_misc") from None


def image_figure(path, expression, *operations):
    """An ImageMagick figure of a picture, after the operations given: mean brightness, colour
    count and so on."""
    out = subprocess.run(["convert", str(path), *operations, "-format", expression, "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out)


# A stand-in for the desktop's org.freedesktop.ScreenSaver, printing each call it takes and giving
# each Inhibit the next cookie from 7; with the argument "hung", it never answers Inhibit, as a
# frozen shell. Run by Debian's Python, for which
# python3-dbus and python3-gi are installed.
SCREEN_SAVER_SERVICE = """
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
class ScreenSaver(dbus.service.Object):
    cookie = 7
    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="ss", out_signature="u",
                         async_callbacks=("reply", "error"))
    def Inhibit(self, application, reason, reply, error):
        print("Inhibit", application, flush=True)
        if sys.argv[1:] != ["hung"]:
            reply(self.cookie)
            self.cookie += 1
    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="u")
    def UnInhibit(self, cookie):
        print("UnInhibit", cookie, flush=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.ScreenSaver", bus)
ScreenSaver(bus, "/org/freedesktop/ScreenSaver")
print("ready", flush=True)
GLib.MainLoop().run()
"""


class SessionBus:
    """A session bus of its own with the stand-in screen saver service on it, or the service on the
    bus of the compositor session given; calls lists the calls the service took so far. What it
    started is stopped on close."""

    def __init__(self, hung=False, session=None):
        command = ["/usr/bin/python3", "-c", SCREEN_SAVER_SERVICE, *(["hung"] if hung else [])]
        self.daemon, self.env = None, {}
        if session:
            self.service = session.start(command)
        else:
            self.daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork",
                                            "--print-address"], stdout=subprocess.PIPE,
                                           stderr=subprocess.DEVNULL, text=True)
            self.env = {"DBUS_SESSION_BUS_ADDRESS": self.daemon.stdout.readline().strip()}
            self.service = subprocess.Popen(command, env=dict(os.environ, **self.env),
                                            stdout=subprocess.PIPE, text=True)
        self.calls = []
        self.reader = threading.Thread(
            target=lambda: self.calls.extend(line.strip() for line in self.service.stdout))
        if self.service.stdout.readline() != "ready\n":
            self.close()
            raise RuntimeError("the stand-in screen saver service did not start")
        self.reader.start()

    def calls_of(self, application):
        """What one application called: Inhibit, and UnInhibit with a cookie it was given. Mutter 48
        (Debian 13) inhibits too, as "mutter", for its Wayland clients; mutter 43 never."""
        inhibitors, verbs = [], []
        for call in list(self.calls):
            verb, argument = call.split(" ", 1)
            if verb == "Inhibit":
                inhibitors.append(argument)
                caller = argument
            else:
                given = int(argument) - 7
                caller = inhibitors[given] if 0 <= given < len(inhibitors) else None
            if caller == application:
                verbs.append(verb)
        return verbs

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        processes = [process for process in (self.service, self.daemon) if process]
        for process in processes:
            process.kill()
            process.wait()
        if self.reader.is_alive():
            self.reader.join()
        for process in processes:
            process.stdout.close()
