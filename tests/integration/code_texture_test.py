"""The code texture as the real executable builds it, recorded with apitrace."""

import tempfile
import unittest
from pathlib import Path

from elf import bytes_at, is_arm32, symbol_address
from harness import (HOOK, XServer, image_figure, linux_effects, run_hooked,  # noqa: F401
                     setUpModule, wait_exit)
from gl_stream import check_design_stream, gl_calls

IMAGE_BYTES = 1024


def expected_image(effect):
    """1,024 bytes from the main routine as the file holds them, zero from the end of the code.
    A stripped build's symbols come from the linked file it was made from; a packed build's image
    is that of the payload it runs, kept unpacked beside it; the launcher's, that of its X11 host.
    A Thumb function's address is that of its code plus one."""
    if effect.name == "quinesphere":
        effect = effect.with_name("quinesphere-x11")
    payload = effect.with_name(effect.name + ".payload")
    effect = payload if payload.exists() else effect
    symbols = effect.with_name(effect.name + ".full")
    symbols = symbols if symbols.exists() else effect
    start = symbol_address(symbols, "_Z10run_effectv") & ~int(is_arm32(effect))
    code = min(IMAGE_BYTES, symbol_address(symbols, "etext") - start)
    return bytes_at(effect, start, code) + bytes(IMAGE_BYTES - code)


class CodeTexture(unittest.TestCase):
    def trace_a_few_frames(self, effect, scratch):
        # Escape comes from the frame hook after the fifth frame, however slowly they come, as they
        # do under qemu-user.
        with XServer(640, 480) as x:
            trace = Path(scratch) / "run.trace"
            run = x.start(["apitrace", "trace", "--api", "gl", "-o", trace, effect],
                          env={"LD_PRELOAD": str(HOOK), "QUINESPHERE_HOOK_ESCAPE_AFTER": "5"})
            self.assertEqual(wait_exit(run, 60), 1)
            return trace, gl_calls(trace)

    def test_gl_stream_is_the_designs_with_the_main_routines_code_as_texture(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), tempfile.TemporaryDirectory() as scratch:
                trace, _ = self.trace_a_few_frames(effect, scratch)
                check_design_stream(self, trace, expected_image(effect), scratch)

    def test_picture_fills_with_many_colours(self):
        for effect in linux_effects():
            with self.subTest(effect=effect.name), XServer(640, 480) as x, \
                    tempfile.TemporaryDirectory() as scratch:
                self.assertEqual(run_hooked(x, effect, 200, scratch, first=200), 1)
                frame = Path(scratch) / "frame-000200.ppm"
                self.assertGreater(image_figure(frame, "%k"), 5000)
                self.assertLess(image_figure(frame, "%[fx:mean]"), 0.9)


if __name__ == "__main__":
    unittest.main()
