"""The browser build in headless Chromium, served from 127.0.0.1: what the benchmark and the tests
run the page with.

A script injected before the page's own records its WebGL calls, as apitrace does on the desktop:
window.recorded holds every texture upload (level, internal format, size, bytes), counts the draws
and animation frames, and keeps the time of the first draw from the start of the page's navigation.
Chromium is kept off the network: it reaches only the page's server.
"""

import functools
import http.server
import os
import shutil
import tempfile
import threading
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("QUINESPHERE_BUILD", HERE.parent / "build"))
WEB = BUILD / "web"

RECORDER = """
window.recorded = {uploads: [], draws: 0, frames: 0};
{
const gl = WebGLRenderingContext.prototype, texImage2D = gl.texImage2D, drawArrays = gl.drawArrays;
gl.texImage2D = function (target, level, internalFormat, width, height, border, format, type,
                          pixels) {
  recorded.uploads.push({level, internalFormat, width, height, pixels: Array.from(pixels)});
  return texImage2D.apply(this, arguments);
};
gl.drawArrays = function () {
  if (!recorded.draws++) recorded.firstDraw = performance.now();
  return drawArrays.apply(this, arguments);
};
const requestAnimationFrame = window.requestAnimationFrame;
window.requestAnimationFrame = (callback) => requestAnimationFrame((time) => {
  recorded.frames++;
  callback(time);
});
}
"""

# Quiet and offline: no updates, sync, metrics or first-run pages.
OFFLINE_FLAGS = ["--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--no-first-run", "--disable-quic", "--disable-default-apps",
                 "--disable-domain-reliability", "--disable-client-side-phishing-detection",
                 "--no-default-browser-check", "--metrics-recording-only", "--no-pings"]
# WebGL through SwiftShader; root needs --no-sandbox.
HEADLESS_FLAGS = ["--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                  "--no-sandbox"]


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class WebSession:
    """A static file server on 127.0.0.1 over build/web and one headless Chromium of the given
    window size, stopped with everything they started on close."""

    def __init__(self, width=800, height=600):
        self.width, self.height = width, height
        self.server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Quiet, directory=str(WEB)))
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.origin = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.profile = tempfile.mkdtemp(prefix="quinesphere-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for flag in HEADLESS_FLAGS + OFFLINE_FLAGS + [f"--user-data-dir={self.profile}",
                                                      f"--window-size={width},{height}"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        try:
            self.driver = webdriver.Chrome(
                service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                options=options)
        except BaseException:
            self.stop_server()
            raise
        self.pixel_ratio(1)
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                    {"source": RECORDER})

    def pixel_ratio(self, ratio):
        """The page's viewport exactly the size asked, whatever the window's frame takes, at this
        device pixel ratio from the next page opened on."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": self.width, "height": self.height, "deviceScaleFactor": ratio,
            "mobile": False})

    def open(self, path="index.html"):
        """Loads the page afresh: a new run of the effect."""
        self.driver.get(f"{self.origin}/{path}")

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def recorded(self, field):
        return self.run(f"return window.recorded.{field}")

    def stop_server(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()
        shutil.rmtree(self.profile, ignore_errors=True)

    def close(self):
        try:
            self.driver.quit()
        finally:
            self.stop_server()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
