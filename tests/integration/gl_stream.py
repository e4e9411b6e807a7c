"""The effect's GL stream as apitrace records it, checked against the design on every platform."""

import re
import struct
import subprocess
from pathlib import Path

# What set-up makes the context do before the first frame, GLU's own bookkeeping left out:
# gluPerspective(90-ish degrees, aspect 1.0, ...) arrives as the matrix it multiplies.
SET_UP = [r"glMatrixMode\(mode = GL_PROJECTION\)",
          r"glMultMatrixd\(m = \{0\.83909963117728, 0, 0, 0, 0, 0\.83909963117728, 0, 0, 0, 0, "
          r"-1\.02020202020202, -1, 0, 0, -2\.02020202020202, 0\}\)",
          r"glMatrixMode\(mode = GL_MODELVIEW\)",
          r"glEnable\(cap = GL_BLEND\)",
          r"glEnable\(cap = GL_TEXTURE_2D\)",
          r"glBlendFunc\(sfactor = GL_SRC_ALPHA, dfactor = GL_ONE_MINUS_SRC_ALPHA\)",
          r"glColor4f\(red = 1, green = 1, blue = 1, alpha = 0\.06\)",
          *[rf"glTexImage2D\(target = GL_TEXTURE_2D, level = {level}, internalformat = 4, "
            rf"width = {16 >> level}, height = {16 >> level}, border = 0, format = GL_RGBA, "
            rf"type = GL_UNSIGNED_BYTE, pixels = blob\({4 << (8 - 2 * level)}\)\)"
            for level in range(5)]]
GLU_BOOKKEEPING = re.compile(r"glGet|glPixelStore|GL_PROXY_TEXTURE_2D")
FORBIDDEN = ("glClear", "glViewport", "glBindTexture", "glGenTextures", "glTexParameter",
             "glTexEnv", "glFlush", "glFinish")
AXES = ["x = 1, y = 0, z = 0", "x = 0, y = 1, z = 1", "x = 0, y = 0, z = 1"]


def gl_calls(trace):
    """The calls of an apitrace trace, without the ones apitrace makes up itself."""
    dump = subprocess.run(["apitrace", "dump", "--color=never", str(trace)], capture_output=True,
                          text=True, check=True).stdout
    return [line for line in dump.splitlines()
            if line[:1].isdigit() and not line.endswith("// fake")]


def level0(trace, calls, scratch):
    """The pixels the first texture image was given."""
    number = next(call for call in calls if "level = 0," in call and "glTexImage2D" in call)
    number = number.split()[0]
    subprocess.run(["apitrace", "dump", "--blobs", f"--calls={number}", str(trace)], cwd=scratch,
                   capture_output=True, check=True)
    return (Path(scratch) / f"blob_call{number}.bin").read_bytes()


def check_design_stream(test, trace, expected_image, scratch, present="SwapBuffers"):
    """Set-up in the design's order and values, then frames of one identity, three rotations by
    the same angle growing 0.3 degrees a frame, and one sphere each; nothing clears, sets the
    viewport or binds; texture level 0 holds expected_image. Returns the number of frames."""
    calls = [call.split(" ", 1)[1] for call in gl_calls(trace)]
    start = next(i for i, call in enumerate(calls) if call.startswith("glMatrixMode"))
    first_frame = calls.index("glLoadIdentity()")
    set_up = [call for call in calls[start:first_frame] if not GLU_BOOKKEEPING.search(call)]
    test.assertEqual(len(set_up), len(SET_UP), set_up)
    for call, expected in zip(set_up, SET_UP):
        test.assertRegex(call, f"^{expected}$")
    for forbidden in FORBIDDEN:
        test.assertFalse([call for call in calls if call.startswith(forbidden)], forbidden)
    # apitrace's EGL wrapper writes its trace a chunk at a time and the effect leaves through
    # _exit, so an EGL trace ends mid-frame: only the frames up to the last present count.
    last = max((i for i, call in enumerate(calls) if present in call.split("(")[0]), default=-1)
    calls = calls[:last + 1]

    starts = [i for i, call in enumerate(calls) if call == "glLoadIdentity()"]
    test.assertGreater(len(starts), 2)
    angle, spheres = 0.0, set()
    for start, end in zip(starts, starts[1:] + [len(calls)]):
        rotations = calls[start + 1:start + 4]
        for rotation, axis in zip(rotations, AXES):
            turned = re.fullmatch(rf"glRotatef\(angle = ([-\d.e]+), {axis}\)", rotation)
            test.assertTrue(turned, rotations)
            # apitrace prints seven significant digits.
            test.assertAlmostEqual(float(turned.group(1)), angle, delta=1e-6 * max(1, angle))
        angle = struct.unpack("f", struct.pack("f", angle + 0.3))[0]
        spheres.add(calls[start:end].count("glBegin(mode = GL_QUAD_STRIP)"))
    # Every frame draws the same sphere: the same number of strips, and some.
    test.assertEqual(len(spheres), 1)
    test.assertGreater(spheres.pop(), 0)
    presents = [call for call in calls if present in call.split("(")[0]]
    test.assertEqual(len(presents), len(starts))
    test.assertEqual(level0(trace, gl_calls(trace), scratch), expected_image)
    return len(starts)
