"""The packed build's own unpacking: where the effect runs from, what it is given, and what happens
when there is nothing to unpack with. Its behaviour as the effect is covered with the other
builds."""

import os
import signal
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BUILD, XServer, wait_exit

PACKED = BUILD / "quinesphere-packed"


@unittest.skipUnless(PACKED.exists(), "no packed build")
class Unpacking(unittest.TestCase):
    def test_effect_runs_from_memory_in_the_same_process_with_its_arguments_and_environment(self):
        with XServer(320, 240) as x, tempfile.TemporaryDirectory() as scratch:
            # Directories a careless unpacker would write to: private ones, to see them stay empty.
            places = {name: Path(scratch) / name for name in ("tmp", "runtime", "home")}
            for place in places.values():
                place.mkdir()
            run = x.start([PACKED, "one", "two words"],
                          env={"TMPDIR": places["tmp"], "XDG_RUNTIME_DIR": places["runtime"],
                               "HOME": places["home"], "QUINESPHERE_MARK": "packed"},
                          cwd=scratch)
            x.wait_for_window("EDIT")
            process = Path("/proc", str(run.pid))
            self.assertRegex(os.readlink(process / "exe"), r"^/memfd:.* \(deleted\)$")
            self.assertEqual((process / "cmdline").read_bytes(),
                             f"{PACKED}\0one\0two words\0".encode())
            environment = b"\0" + (process / "environ").read_bytes()
            self.assertIn(b"\0QUINESPHERE_MARK=packed\0", environment)
            # Past the standard three only the X connection is open, and Mesa's own memory (Mesa 25,
            # Debian 13, keeps llvmpipe's in a memory file; Mesa 22 in none): not the memory file
            # the effect runs from, the script's own file or a pipe to xz. No file was written.
            links = [os.readlink(fd) for fd in (process / "fd").iterdir() if int(fd.name) > 2]
            self.assertEqual([link for link in links if not link.startswith("socket:")
                              and link != "/memfd:allocation fd (deleted)"], [])
            self.assertEqual(sorted(p.name for p in Path(scratch).rglob("*")),
                             ["home", "runtime", "tmp"])
            x.key("Escape")
            self.assertEqual(wait_exit(run, 5), 1)

    def test_unpacks_whatever_its_parent_leaves_it(self):
        # Where SIGCHLD is ignored a wait may see no status; the Perl settings would change how a
        # payload copied by Perl is read and written, or reject the script.
        base = {name: value for name, value in os.environ.items() if name != "DISPLAY"}
        for change, disposition in (({}, signal.SIG_IGN), ({"PERL_UNICODE": ""}, signal.SIG_DFL),
                                    ({"PERLIO": ":crlf"}, signal.SIG_DFL),
                                    ({"PERL5OPT": "-Mstrict"}, signal.SIG_DFL)):
            with self.subTest(change=change, disposition=disposition):
                done = subprocess.run([PACKED], env={**base, **change}, capture_output=True,
                                      text=True, timeout=10,
                                      preexec_fn=lambda: signal.signal(signal.SIGCHLD, disposition))
                self.assertEqual((done.returncode, done.stderr),
                                 (0, "quinesphere: cannot open the X display\n"))

    def run_confined(self, *unshare_args, set_up):
        """The packed build run in namespaces of its own, after a shell command that changes what it
        may do there; its exit status and what it wrote on stderr."""
        done = subprocess.run(["unshare", "--user", "--map-root-user", *unshare_args, "sh", "-c",
                               f'{set_up} && exec "$0"', PACKED],
                              capture_output=True, text=True, timeout=10)
        if done.stderr.startswith(("unshare:", "sh:")):
            self.skipTest(f"cannot confine it here: {done.stderr.strip()}")
        return done.returncode, done.stderr

    def test_with_no_way_to_unpack_one_line_and_status_zero(self):
        # xz hidden behind an empty file; memory files that may not be run.
        for unshare_args, set_up in ((["--mount"], "mount --bind /dev/null /usr/bin/xz"),
                                     (["--pid", "--fork", "--mount", "--mount-proc"],
                                      "echo 2 > /proc/sys/vm/memfd_noexec")):
            with self.subTest(set_up=set_up):
                self.assertEqual(self.run_confined(*unshare_args, set_up=set_up),
                                 (0, "quinesphere: cannot unpack\n"))

if __name__ == "__main__":
    unittest.main()
