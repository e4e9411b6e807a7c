"""Headless Wayland compositors with XWayland, run as a throwaway user, and the effect inside them.

The compositors refuse to run as root, so each session creates a user of its own, runs the
compositor and every client as that user, and removes the user and all its processes on close.
The effect's executables are copied where that user can run them: the launcher, both hosts and
the size-coded build, side by side as the launcher expects.
"""

import itertools
import os
import pwd
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from harness import ARCH, BUILD, TOOLS, describe_exit, image_figure, wait_exit

X11_SOCKETS = Path("/tmp/.X11-unix")
# Numbers the users of one test process: a case may need a session of its own beside the class's.
USERS = itertools.count()
EXECUTABLES = ("quinesphere", "quinesphere-x11", "quinesphere-wayland", "quinesphere-4k",
               "quinesphere-packed", "quinesphere-saver", "quinesphere-wayland-saver",
               "quinesphere-wallpaper")


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)


class ThrowawayUser:
    """A user that exists while the session runs, with a home and a runtime directory."""

    def __init__(self):
        self.name = f"qsphere{os.getpid()}u{next(USERS)}"
        self.home = Path(tempfile.mkdtemp(prefix="quinesphere-user-"))
        subprocess.run(["useradd", "--no-create-home", "--home-dir", str(self.home),
                        "--shell", "/bin/sh", self.name], check=True, capture_output=True)
        entry = pwd.getpwnam(self.name)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        self.runtime = self.home / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.bin = self.home / "bin"
        self.bin.mkdir()
        for name in EXECUTABLES:
            if (BUILD / name).exists():
                shutil.copy2(BUILD / name, self.bin / name)
        for path in [self.home, *self.home.rglob("*")]:
            os.chown(path, self.uid, self.gid)
        # XWayland's socket directory must be root's or the user's own: it is neither when
        # another throwaway user's server made it.
        X11_SOCKETS.mkdir(exist_ok=True)
        os.chown(X11_SOCKETS, 0, 0)
        X11_SOCKETS.chmod(0o1777)
        self.processes = []
        self.env = {"HOME": str(self.home), "USER": self.name, "LOGNAME": self.name,
                    "PATH": "/usr/local/bin:/usr/bin:/bin:/usr/games",
                    "XDG_RUNTIME_DIR": str(self.runtime), "LANG": "C.UTF-8"}
        # Mesa's driver, where the cases choose one: llvmpipe draws nothing under qemu-arm.
        if "GALLIUM_DRIVER" in os.environ:
            self.env["GALLIUM_DRIVER"] = os.environ["GALLIUM_DRIVER"]

    def start(self, command, env=None, **kwargs):
        """A process of the user's, with the given environment added to the user's own."""
        self.processes.append(subprocess.Popen(
            [str(part) for part in command], env=dict(self.env, **(env or {})), user=self.uid,
            group=self.gid, extra_groups=[], cwd=self.home, start_new_session=True,
            stdout=kwargs.pop("stdout", subprocess.PIPE),
            stderr=kwargs.pop("stderr", subprocess.PIPE), text=True, **kwargs))
        return self.processes[-1]

    def run(self, command, env=None, timeout=30):
        process = self.start(command, env)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            out, err = process.communicate()
        return subprocess.CompletedProcess(process.args, process.returncode, out, err)

    def file(self, name):
        """A path in the user's home that the user may write and the tests may read."""
        return self.home / name

    def close(self):
        for _ in range(50):
            if subprocess.run(["pkill", "-KILL", "-u", self.name]).returncode != 0:
                break
            time.sleep(0.1)
        for process in self.processes:
            process.wait()
            for stream in (process.stdin, process.stdout, process.stderr):
                if stream:
                    stream.close()
        # Killed servers leave sockets and locks in the sticky /tmp that no later user may remove,
        # and a lock keeps its X display number taken.
        for stale in [*Path("/tmp").iterdir(), *X11_SOCKETS.iterdir()]:
            try:
                if stale.lstat().st_uid == self.uid and not stale.is_dir():
                    stale.unlink()
            except FileNotFoundError:
                pass
        subprocess.run(["userdel", self.name], capture_output=True)
        shutil.rmtree(self.home, ignore_errors=True)


class Compositor:
    """A compositor session. Each subclass supplies:
    start_compositor(); terminal_command(shell_command), a native terminal running it;
    wait_for_terminal(focus), which returns once it is mapped and, if focus, has the keyboard;
    terminal_share(screenshot), the fraction of the picture that shows it; focus_effect(), which
    gives the effect the keyboard back as a user would; key(*keysyms); type_text(text);
    screenshot(path), which returns the path.

    `session_env` holds the environment the compositor gives its own clients (WAYLAND_DISPLAY and
    DISPLAY among them), read from a file that the session's first client writes.
    """

    def __init__(self):
        self.user = ThrowawayUser()
        self.session_env = {}
        try:
            self.start_compositor()
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self.user.close()

    def env_dump_command(self):
        """A shell command for the session to run first: it records the session's environment."""
        return f"env > {self.user.file('session.env')}; exec sleep 100000"

    def read_session_env(self, timeout=60):
        dump = self.user.file("session.env")

        def complete():
            if not dump.exists():
                return None
            pairs = dict(line.split("=", 1) for line in dump.read_text().splitlines()
                         if "=" in line)
            return pairs if "WAYLAND_DISPLAY" in pairs and "DISPLAY" in pairs else None

        found = wait_until(complete, timeout, "the compositor's session to start")
        self.session_env = {name: found[name] for name in ("WAYLAND_DISPLAY", "DISPLAY")}
        for name in ("DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK", "XAUTHORITY"):
            if name in found:
                self.session_env[name] = found[name]

    def start(self, command, env=None):
        """A client of the compositor."""
        return self.user.start(command, dict(self.session_env, **(env or {})))

    def run(self, command, env=None, timeout=30):
        return self.user.run(command, dict(self.session_env, **(env or {})), timeout)

    def effect(self, name):
        return self.user.bin / name

    def start_program(self, name, protocol_log=None):
        """One of the user's copies of the programs; with protocol_log, writing its side of the
        Wayland protocol there."""
        command = [self.effect(name)]
        if protocol_log:
            command = ["sh", "-c", f'WAYLAND_DEBUG=client exec "$0" 2>{protocol_log}', *command]
        return self.start(command)

    def start_recorder(self, focus=True, options=()):
        """A native terminal, with the terminal's options given, that writes every key it
        receives to a file, and has the keyboard when focus is true; the terminal's process and
        the file."""
        record = self.user.file("typed.txt")
        record.write_bytes(b"")
        os.chown(record, self.user.uid, self.user.gid)
        terminal = self.start(self.terminal_command(
            f"stty -icanon -echo min 1; exec cat > {record}") + list(options))
        self.wait_for_terminal(focus)
        return terminal, record


# What joins an object's interface to its number in a protocol log: wl_buffer@12 in libwayland 1.21
# (Debian 12), wl_buffer#12 in 1.23 (Debian 13).
AT = "[@#]"


def buffer_sizes(protocol_log):
    """Width and height of every buffer the effect made, its black first one and then EGL's."""
    return [(int(width), int(height)) for width, height in re.findall(
        rf"wl_shm_pool{AT}\d+\.create_buffer\(new id wl_buffer{AT}\d+, \d+, (\d+), (\d+),",
        protocol_log.read_text())]


def colours(path):
    return image_figure(path, "%k")


class DesktopCases:
    """What every compositor must give the user, for the effect, which runs natively on Wayland,
    and for the size-coded builds, which run through XWayland. Subclasses name the compositor;
    one session serves all the cases."""

    compositor = None
    # A cross build's cases are those of the native host alone.
    effects = ("quinesphere",) if ARCH else ("quinesphere", "quinesphere-4k", "quinesphere-packed")

    @classmethod
    def setUpClass(cls):
        cls.session = cls.compositor()

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def start_effect(self, name, protocol_log=None):
        """The effect, started and drawing over the whole output; with protocol_log, writing its
        side of the Wayland protocol there."""
        run = self.session.start_program(name, protocol_log)
        # A case that fails leaves no effect over the output for the next one.
        self.addCleanup(run.kill)
        shot = self.session.user.file("covered.png")
        wait_until(lambda: run.poll() is not None or (self.session.screenshot(shot) and
                                                      colours(shot) > 2000),
                   30, f"{name} to cover the output")
        self.assertIsNone(run.poll(), run.stderr.read() if run.poll() is not None else "")
        return run

    def end_with_escape(self, run):
        self.session.key("Escape")
        status = wait_exit(run, 10)
        self.assertEqual(status, 1, describe_exit(status))

    def test_covers_the_output_takes_the_keys_and_ends_on_escape(self):
        for name in self.effects:
            with self.subTest(effect=name):
                terminal, record = self.session.start_recorder()
                try:
                    run = self.start_effect(name)
                    self.session.type_text("hello")
                    time.sleep(0.5)
                    self.assertIsNone(run.poll(), describe_exit(run.returncode))
                    self.end_with_escape(run)
                    time.sleep(0.5)
                    self.assertEqual(record.read_bytes(), b"")
                finally:
                    terminal.kill()

    def test_a_window_opened_later_never_takes_keys_unseen(self):
        for name in self.effects:
            with self.subTest(effect=name):
                run = self.start_effect(name)
                terminal, record = self.session.start_recorder(focus=False)
                try:
                    time.sleep(1)
                    self.session.type_text("hello")
                    time.sleep(0.5)
                    shot = self.session.screenshot(self.session.user.file("later.png"))
                    if self.session.terminal_share(shot) > 0.05:
                        # In view, the later window may have the keys; the user switches back.
                        self.session.focus_effect()
                    else:
                        self.assertEqual(record.read_bytes(), b"", "keys reached a hidden window")
                    self.end_with_escape(run)
                finally:
                    terminal.kill()

    def test_a_configuration_with_alpha_listed_first_is_passed_over(self):
        # Alpha would make the 6 % drawing translucent over whatever lies beneath.
        run = self.session.start([self.session.effect("quinesphere-wayland")], env={
            "LD_PRELOAD": str(TOOLS / "libegl_alpha_first.so"), "WAYLAND_DEBUG": "client"})
        self.addCleanup(run.kill)
        # The format the compositor is told of the black first frame's buffer, then of EGL's,
        # shared memory too with no GPU: XRGB8888 is 1, ARGB8888 0.
        created = (re.search(rf"wl_shm_pool{AT}\d+\.create_buffer\(.*, (\d+)\)$", line)
                   for line in itertools.islice(run.stderr, 5000))
        formats = [found.group(1) for found in itertools.islice(filter(None, created), 2)]
        self.assertEqual(formats, ["1", "1"])


__all__ = ["AT", "Compositor", "DesktopCases", "ThrowawayUser", "buffer_sizes", "wait_until",
           "wait_exit"]
