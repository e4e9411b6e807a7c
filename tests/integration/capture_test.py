"""The frame hook and tools/capture: frame-exact recording and its error paths."""

import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import XServer, linux_effects, read_report, run_hooked

CAPTURE = Path(__file__).resolve().parents[2] / "tools" / "capture"


def capture(*args):
    return subprocess.run([str(CAPTURE), *map(str, args)], capture_output=True, text=True,
                          timeout=300)


class FrameExact(unittest.TestCase):
    def test_same_frames_every_run_and_each_frame_differs_from_the_last(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), tempfile.TemporaryDirectory() as scratch:
                runs = []
                for attempt in range(2):
                    out = Path(scratch) / f"run{attempt}"
                    done = capture(out, "--frames", "1-24", "--size", "320x240", "--effect",
                                   effect)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertIn("exit status 1", done.stdout)
                    runs.append([(out / f"frame-{n:06d}.png").read_bytes()
                                 for n in range(1, 25)])
                self.assertEqual(runs[0], runs[1])
                for n in range(1, 24):
                    self.assertNotEqual(runs[0][n - 1], runs[0][n], f"frames {n} and {n + 1}")

    def test_asked_for_sixty_frames_it_presents_exactly_sixty_then_ends_with_status_one(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), XServer(320, 240) as x, \
                    tempfile.TemporaryDirectory() as scratch:
                report = Path(scratch) / "report"
                self.assertEqual(run_hooked(x, effect, 60, report=report), 1)
                self.assertEqual(read_report(report)["frames"], 60)

    def test_a_later_range_records_only_those_frames(self):
        with tempfile.TemporaryDirectory() as scratch:
            out = Path(scratch) / "later"
            done = capture(out, "--frames", "30-32", "--size", "64x48")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(sorted(p.name for p in out.iterdir()),
                             ["frame-000030.png", "frame-000031.png", "frame-000032.png"])
            self.assertIn("3/3 frames recorded, 0 to go", done.stderr)

    def test_encodes_gif_and_video(self):
        with tempfile.TemporaryDirectory() as scratch:
            for name in ("clip.gif", "clip.webm", "clip.mp4"):
                out = Path(scratch) / name
                done = capture(out, "--frames", "1-12", "--size", "160x120", "--fps", "24")
                self.assertEqual(done.returncode, 0, done.stderr)
                probe = subprocess.run(
                    ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                     "-show_entries", "stream=nb_read_frames,width,height", "-of", "csv=p=0",
                     str(out)], capture_output=True, text=True, check=True).stdout.strip()
                self.assertEqual(probe, "160,120,12", name)
            self.assertEqual(sorted(p.name for p in Path(scratch).iterdir()),
                             ["clip.gif", "clip.mp4", "clip.webm"])


class CaptureErrors(unittest.TestCase):
    def assert_refused(self, scratch, *args, says, progress=False):
        done = capture(*args)
        self.assertNotEqual(done.returncode, 0)
        lines = done.stderr.strip().splitlines()
        # One line of error, after the progress line when the run had started.
        self.assertEqual(len(lines), 2 if progress else 1, done.stderr)
        self.assertIn(says, lines[-1])
        self.assertEqual(list(Path(scratch).iterdir()), [])

    def test_bad_arguments_get_one_line_and_leave_nothing(self):
        with tempfile.TemporaryDirectory() as scratch:
            out = Path(scratch) / "out.gif"
            for size in ("0x100", "100x0", "100", "axb", "100x-5", "9000x100"):
                self.assert_refused(scratch, out, "--size", size, says="bad size")
            for frames in ("5-4", "0-3", "3", "1-", "x-y"):
                self.assert_refused(scratch, out, "--frames", frames, says="bad frame range")
            self.assert_refused(scratch, out, "--fps", "0", says="bad frame rate")

    def test_output_it_cannot_write_is_refused_before_running(self):
        with tempfile.TemporaryDirectory() as scratch:
            self.assert_refused(scratch, Path(scratch) / "missing" / "out.mp4",
                                says="cannot write in")
            blocker = Path(scratch) / "file"
            blocker.write_text("")
            done = capture(blocker / "out.mp4")
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("cannot write in", done.stderr)
            self.assertEqual(list(Path(scratch).iterdir()), [blocker])

    def test_a_run_that_ends_early_leaves_nothing_half_written(self):
        with tempfile.TemporaryDirectory() as scratch, \
                tempfile.TemporaryDirectory() as elsewhere:
            quitter = Path(elsewhere) / "quits"
            quitter.write_text("#!/bin/sh\nexit 0\n")
            quitter.chmod(0o755)
            self.assert_refused(scratch, Path(scratch) / "out.mp4", "--effect", quitter,
                                "--frames", "1-5", says="after 0 of 5 frames", progress=True)


if __name__ == "__main__":
    unittest.main()
