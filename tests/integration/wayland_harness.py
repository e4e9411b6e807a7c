"""Headless Wayland compositors with XWayland, run as a throwaway user, and the effect inside them.

The compositors refuse to run as root, so each session creates a user of its own, runs the
compositor and every client as that user, and removes the user and all its processes on close.
The effect's executables are copied where that user can run them: the launcher, both hosts and
the size-coded build, side by side as the launcher expects.
"""

import os
import pwd
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from harness import BUILD, wait_exit

EXECUTABLES = ("quinesphere", "quinesphere-x11", "quinesphere-wayland", "quinesphere-4k")


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
        self.name = f"qsphere{os.getpid()}"
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
        self.env = {"HOME": str(self.home), "USER": self.name, "LOGNAME": self.name,
                    "PATH": "/usr/local/bin:/usr/bin:/bin:/usr/games",
                    "XDG_RUNTIME_DIR": str(self.runtime), "LANG": "C.UTF-8"}

    def start(self, command, env=None, **kwargs):
        """A process of the user's, with the given environment added to the user's own."""
        return subprocess.Popen([str(part) for part in command], env=dict(self.env, **(env or {})),
                                user=self.uid, group=self.gid, extra_groups=[],
                                cwd=self.home, start_new_session=True,
                                stdout=kwargs.pop("stdout", subprocess.PIPE),
                                stderr=kwargs.pop("stderr", subprocess.PIPE), text=True, **kwargs)

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
        subprocess.run(["userdel", self.name], capture_output=True)
        shutil.rmtree(self.home, ignore_errors=True)


class Compositor:
    """A compositor session: subclasses start it and supply keys, screenshots and a terminal.

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
        for name in ("DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK"):
            if name in found:
                self.session_env[name] = found[name]

    def start(self, command, env=None):
        """A client of the compositor."""
        return self.user.start(command, dict(self.session_env, **(env or {})))

    def run(self, command, env=None, timeout=30):
        return self.user.run(command, dict(self.session_env, **(env or {})), timeout)

    def effect(self, name):
        return self.user.bin / name

    def start_recorder(self):
        """A native terminal, focused, that writes every key it receives to a file; the file."""
        record = self.user.file("typed.txt")
        record.write_bytes(b"")
        os.chown(record, self.user.uid, self.user.gid)
        self.start(self.terminal_command(f"stty -icanon -echo min 1; exec cat > {record}"))
        wait_until(self.recorder_ready, 30, "the recording terminal")
        return record

    # Supplied by each compositor.
    def start_compositor(self):
        raise NotImplementedError

    def terminal_command(self, shell_command):
        raise NotImplementedError

    def recorder_ready(self):
        raise NotImplementedError

    def key(self, *keysyms):
        raise NotImplementedError

    def type_text(self, text):
        raise NotImplementedError

    def screenshot(self, path):
        raise NotImplementedError


__all__ = ["Compositor", "ThrowawayUser", "wait_until", "wait_exit"]
