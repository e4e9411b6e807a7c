"""The browser build in one headless Chromium, its page served from 127.0.0.1 by the test."""

import json
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from web_session import WEB, WebSession  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

GL_RGBA = 0x1908
NETWORK_SCHEMES = {"http", "https", "ws", "wss", "ftp"}
IMAGE_BYTES = 1024
RUN_SEQUENCE = "_Z10run_effectv"
PIXEL_FORMAT = {"alpha": False, "depth": False, "stencil": False, "antialias": False,
                "preserveDrawingBuffer": True}

# The canvas's mean brightness, from 0 to 1.
BRIGHTNESS = """
const canvas = document.getElementById("canvas"), copy = new OffscreenCanvas(800, 600);
copy.getContext("2d").drawImage(canvas, 0, 0);
const pixels = copy.getContext("2d").getImageData(0, 0, 800, 600).data;
return pixels.reduce((sum, value, i) => i % 4 == 3 ? sum : sum + value, 0) / (800 * 600 * 3 * 255);
"""
# The canvas's size in pixels and in CSS pixels, and its context's attributes.
CANVAS = """
const canvas = document.getElementById("canvas");
return [[canvas.width, canvas.height, canvas.clientWidth, canvas.clientHeight],
        canvas.getContext("webgl").getContextAttributes()];
"""

# The greatest fall and rise of a colour channel over one of the page's frames, and the brightest
# channel after it: the page asks for each animation frame while drawing the one before, so in each
# it draws before this script's callback runs.
FRAME_CHANGE = """
const done = arguments[0], gl = document.getElementById("canvas").getContext("webgl");
const picture = () => {
  const pixels = new Uint8Array(800 * 600 * 4);
  gl.readPixels(0, 0, 800, 600, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  return pixels.filter((_, i) => i % 4 != 3);
};
requestAnimationFrame(() => {
  const before = picture();
  requestAnimationFrame(() => done(picture().reduce(([fall, rise, brightest], value, i) => [
    Math.max(fall, before[i] - value), Math.max(rise, value - before[i]),
    Math.max(brightest, value)], [0, 0, 0])));
});
"""

# What a browser without WebGL gives: no WebGL context, while other contexts are still there.
REFUSE_WEBGL = """
const getContext = HTMLCanvasElement.prototype.getContext;
HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
  return type.includes("webgl") ? null : getContext.call(this, type, ...rest);
};
"""

# Every screen wake lock the page asks for, and every release, in window.wakeLocks, whether or not
# this browser would grant one.
RECORD_WAKE_LOCKS = """
window.wakeLocks = [];
const release = () => wakeLocks.push("released") && Promise.resolve();
Object.defineProperty(Navigator.prototype, "wakeLock", {value: {request: (type) =>
  wakeLocks.push(type) && Promise.resolve({release})}});
"""


class Reader:
    """LEB128 numbers and names of a WebAssembly binary, up to the end of its data."""

    def __init__(self, data, at):
        self.data, self.at = data, at

    def byte(self):
        self.at += 1
        return self.data[self.at - 1]

    def number(self):
        value = shift = 0
        while (byte := self.byte()) & 128:
            value, shift = value | (byte & 127) << shift, shift + 7
        return value | byte << shift

    def name(self):
        length = self.number()
        self.at += length
        return self.data[self.at - length:self.at].decode()


def expected_image():
    """1,024 bytes of the module from the body of the run sequence's function, found through the
    export section, and zero past the code section's end."""
    data = (WEB / "quinesphere.wasm").read_bytes()
    module, sections = Reader(data, 8), {}
    while module.at < len(data):
        section, size = module.byte(), module.number()
        sections[section] = Reader(data[:module.at + size], module.at)
        module.at += size
    imports, exports, code = sections[2], sections[7], sections[10]
    # The module imports only functions, and they come first in the function index space.
    imported = imports.number()
    for _ in range(imported):
        imports.name(), imports.name()
        assert imports.byte() == 0
        imports.number()
    functions = {}
    for _ in range(exports.number()):
        name, _kind, index = exports.name(), exports.byte(), exports.number()
        functions[name] = index
    code.number()
    for _ in range(functions[RUN_SEQUENCE] - imported):
        size = code.number()
        code.at += size
    code.number()
    image = data[code.at:min(code.at + IMAGE_BYTES, len(code.data))]
    return image + bytes(IMAGE_BYTES - len(image))


def halved(level, width):
    """The next mipmap level: each texel the rounded mean of a 2x2 block, channel by channel."""
    row = 4 * width
    return [(level[at] + level[at + 4] + level[at + row] + level[at + row + 4] + 2) // 4
            for y in range(0, width, 2) for x in range(0, width, 2) for c in range(4)
            for at in [y * row + 4 * x + c]]


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = WebSession(800, 600)

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def tearDown(self):
        """Whatever a case did, the page logged no error and asked nothing of another origin."""
        driver = self.session.driver
        errors = [entry["message"] for entry in driver.get_log("browser")
                  if entry["level"] == "SEVERE"]
        self.assertEqual(errors, [])
        events = [json.loads(entry["message"])["message"]
                  for entry in driver.get_log("performance")]
        # Chromium's own pages (chrome://) are not on the network.
        requests = [event["params"]["request"]["url"] for event in events
                    if event["method"] == "Network.requestWillBeSent"
                    and event["params"]["request"]["url"].split(":", 1)[0] in NETWORK_SCHEMES]
        self.assertTrue(requests)
        for url in requests:
            self.assertTrue(url.startswith(self.session.origin + "/"), url)

    def wait_until(self, condition, what, seconds=15):
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > deadline:
                self.fail(f"no {what} within {seconds} s")
            time.sleep(0.05)

    def start_run(self):
        """A fresh page, once it draws; the moment it first drew."""
        self.session.open()
        self.wait_until(lambda: self.session.recorded("draws") > 0, "drawing")
        return time.monotonic()

    def wait_for_frames(self, what):
        drawn = self.session.recorded("draws")
        self.wait_until(lambda: self.session.recorded("draws") > drawn + 20, what)

    def test_draws_builds_up_and_wears_the_run_sequences_code_as_texture(self):
        started = self.start_run()
        time.sleep(max(0.0, started + 1 - time.monotonic()))
        early = self.session.run(BRIGHTNESS)
        time.sleep(max(0.0, started + 4 - time.monotonic()))
        late = self.session.run(BRIGHTNESS)
        self.assertGreater(late, early)
        self.assertGreater(early, 0)
        # One frame takes a pixel at most 6 % of the way to the sphere's colour, brighter or darker,
        # and the picture builds up past one frame's share.
        fall, rise, channel = self.session.driver.execute_async_script(FRAME_CHANGE)
        self.assertTrue(0 < fall <= 16 and 0 < rise <= 16, (fall, rise))
        self.assertGreater(channel, 16)
        # Sized to the page, with what pixel format 4 gives on the desktop.
        canvas, attributes = self.session.run(CANVAS)
        self.assertEqual(canvas, [800, 600, 800, 600])
        self.assertEqual({name: attributes[name] for name in PIXEL_FORMAT}, PIXEL_FORMAT)

        uploads = self.session.recorded("uploads")
        self.assertEqual([(upload["level"], upload["width"], upload["height"],
                           upload["internalFormat"]) for upload in uploads],
                         [(level, 16 >> level, 16 >> level, GL_RGBA) for level in range(5)])
        image = list(expected_image())
        self.assertTrue(any(image[:64]))
        level = image
        for upload in uploads:
            self.assertEqual(upload["pixels"], level, f"level {upload['level']}")
            if upload["width"] > 1:
                level = halved(level, upload["width"])

        # A canvas pixel for each device pixel.
        self.session.pixel_ratio(2)
        try:
            self.start_run()
            self.assertEqual(self.session.run(CANVAS)[0], [1600, 1200, 800, 600])
        finally:
            self.session.pixel_ratio(1)

    def test_escape_held_or_tapped_and_leaving_full_screen_end_the_run(self):
        def leave_full_screen(ask):
            ask()
            self.wait_until(lambda: self.session.run("return document.fullscreenElement?.id")
                            == "canvas", "full screen")
            # Entering ends nothing; only leaving does.
            self.wait_for_frames("frames in full screen")
            self.assertEqual(self.session.driver.title, "quinesphere")
            self.session.run("document.exitFullscreen()")

        cases = {
            "Escape held": lambda: ActionChains(self.session.driver).key_down(Keys.ESCAPE)
            .perform(),
            # Down and up in one task, so both come between two frames.
            "Escape tapped": lambda: self.session.run(
                "for (const type of ['keydown', 'keyup'])"
                "  window.dispatchEvent(new KeyboardEvent(type, {key: 'Escape'}));"),
            "full screen from a click, left": lambda: leave_full_screen(
                self.session.driver.find_element("id", "canvas").click),
            "full screen from F, left": lambda: leave_full_screen(
                ActionChains(self.session.driver).send_keys("f").perform),
        }
        for case, end in cases.items():
            with self.subTest(case):
                self.start_run()
                # Other keys change nothing.
                ActionChains(self.session.driver).send_keys("a" + Keys.ENTER).perform()
                self.wait_for_frames("more frames")
                self.assertEqual(self.session.driver.title, "quinesphere")
                end()
                self.wait_until(lambda: self.session.driver.title.endswith(" exit 1"), "end", 10)
                drawn = self.session.recorded("draws")
                time.sleep(0.5)
                self.assertEqual(self.session.recorded("draws"), drawn)
                self.assertTrue(self.session.run(
                    "return !document.getElementById('end').hidden"))
                ActionChains(self.session.driver).key_up(Keys.ESCAPE).perform()

    def test_the_screen_is_kept_on_while_it_runs_and_again_when_shown_and_let_go_at_the_end(self):
        driver = self.session.driver
        recorder = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                          {"source": RECORD_WAKE_LOCKS})
        try:
            self.start_run()
        finally:
            driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", recorder)
        shown = "document.dispatchEvent(new Event('visibilitychange'))"
        self.session.run(shown)
        self.assertEqual(self.session.run("return wakeLocks"), ["screen", "screen"])
        self.session.run("window.dispatchEvent(new KeyboardEvent('keydown', {key: 'Escape'}))")
        self.wait_until(lambda: driver.title.endswith(" exit 1"), "end", 10)
        self.session.run(shown)
        self.wait_until(lambda: self.session.run("return wakeLocks")
                        == ["screen", "screen", "released"], "the lock let go")

    def test_a_browser_without_webgl_is_told_so_on_the_page(self):
        driver = self.session.driver
        refusal = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                         {"source": REFUSE_WEBGL})
        try:
            self.session.open()
            self.wait_until(lambda: driver.title.endswith(" exit 0"), "end")
        finally:
            driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", refusal)
        self.assertEqual(self.session.run("return document.getElementById('end').textContent"),
                         "this browser gives no WebGL")


if __name__ == "__main__":
    unittest.main()
