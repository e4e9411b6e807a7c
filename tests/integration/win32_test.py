"""The Windows builds, inspected, and run under Wine on Xvfb: each by the Wine of its own
architecture, where this machine runs it."""

import re
import shutil
import sys
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from elf import symbol_address
from gl_stream import check_design_stream
from harness import (BUILD, WINESERVER, XServer, describe_exit, image_figure, wait_exit,
                     why_wine_cannot_run)

WIN32 = BUILD / "win32" / "quinesphere.exe"
WIN64 = BUILD / "win64" / "quinesphere.exe"
SIZE_LIMIT = 4096
PROBE = BUILD / "win64" / "win_probe.exe"
WINE = "/usr/lib/wine/wine64"

IMPORTS = {
    "kernel32.dll": {"ExitProcess", "SetThreadExecutionState"},
    "user32.dll": {"SetProcessDPIAware", "GetSystemMetrics", "CreateWindowExA", "GetDC",
                   "GetAsyncKeyState"},
    "gdi32.dll": {"SetPixelFormat"},
    "opengl32.dll": {"wglCreateContext", "wglMakeCurrent", "wglSwapBuffers", "wglDeleteContext",
                     "glMatrixMode", "glEnable", "glBlendFunc", "glColor4f", "glLoadIdentity",
                     "glRotatef"},
    "glu32.dll": {"gluPerspective", "gluBuild2DMipmaps", "gluNewQuadric", "gluQuadricTexture",
                  "gluSphere"},
}


def objdump(tool_prefix, *args):
    return subprocess.run([f"{tool_prefix}-objdump", *args], capture_output=True, text=True,
                          check=True).stdout


def imports_by_dll(headers):
    imports, dll = {}, None
    for line in headers.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            imports[dll] = set()
        # binutils 2.40 (Debian 12): "vma hint name", the hint in decimal; 2.44 (Debian 13):
        # "vma ordinal hint name", the ordinal "<none>" for an import by name, the hint in hex.
        elif dll and re.match(r"\s+[0-9a-f]+\s+(<none>\s+)?[0-9a-f]+\s+\w+$", line):
            imports[dll].add(line.split()[-1])
        elif not line.strip():
            dll = None
    return {name: functions for name, functions in imports.items() if functions}


def text_section(headers):
    """(start, end) virtual addresses of the code section."""
    match = re.search(r"\.text\s+([0-9a-f]+)\s+([0-9a-f]+)", headers)
    size, start = int(match.group(1), 16), int(match.group(2), 16)
    return start, start + size


def symbol(tool_prefix, path, name):
    return symbol_address(path, name, nm=f"{tool_prefix}-nm")


class Inspected(unittest.TestCase):
    def check_executable(self, path, tool_prefix, file_format, entry, main_routine, end_of_code):
        self.assertLessEqual(path.stat().st_size, SIZE_LIMIT)
        headers = objdump(tool_prefix, "-p", "-h", str(path))
        symbols = path.with_name("quinesphere-symbols.exe")
        self.assertIn(f"file format {file_format}", headers)
        self.assertRegex(headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")
        self.assertEqual(imports_by_dll(headers), IMPORTS)
        start, end = text_section(headers)
        image_base = int(re.search(r"ImageBase\s+([0-9a-f]+)", headers).group(1), 16)
        entry_point = image_base + int(
            re.search(r"AddressOfEntryPoint\s+([0-9a-f]+)", headers).group(1), 16)
        self.assertTrue(start <= entry_point < end, f"entry {entry_point:#x}")
        self.assertEqual(entry_point, symbol(tool_prefix, symbols, entry))
        # The main routine opens the code section; the code texture reads from it to the end of
        # the code, under 1,024 bytes, and the section's zero padding follows.
        main = symbol(tool_prefix, symbols, main_routine)
        code_end = symbol(tool_prefix, symbols, end_of_code)
        self.assertEqual(main, start)
        self.assertLess(code_end - main, 1024)
        self.assertLessEqual(code_end, end)

    def test_i686_build_is_a_gui_pe32_importing_exactly_what_it_calls(self):
        self.check_executable(WIN32, "i686-w64-mingw32", "pei-i386", "_entry",
                              "__Z10run_effectv", "_etext")

    def test_x86_64_build_is_the_same_program(self):
        self.check_executable(WIN64, "x86_64-w64-mingw32", "pei-x86-64", "entry",
                              "_Z10run_effectv", "etext")

    def test_screensavers_fit_and_declare_themselves_dpi_aware_as_the_effect_does(self):
        for path, prefix in ((WIN32, "i686-w64-mingw32"), (WIN64, "x86_64-w64-mingw32")):
            with self.subTest(path=path.parent.name):
                saver = path.with_suffix(".scr")
                self.assertLessEqual(saver.stat().st_size, SIZE_LIMIT)
                imports = imports_by_dll(objdump(prefix, "-p", str(saver)))
                self.assertIn("SetProcessDPIAware", imports["user32.dll"])
                # Run because the desktop is idle, they leave the display's power saving be.
                self.assertNotIn("SetThreadExecutionState", imports["kernel32.dll"])


def code_image(executable, tool_prefix, main_routine, end_of_code):
    """The code texture the executable should make: its bytes from the main routine to the end of
    the code, as the file holds them, then zeros up to 1,024."""
    symbols = executable.with_name("quinesphere-symbols.exe")
    main = symbol(tool_prefix, symbols, main_routine)
    length = min(1024, symbol(tool_prefix, symbols, end_of_code) - main)
    section = re.search(r"\.text\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)",
                        objdump(tool_prefix, "-h", str(executable)))
    offset = int(section.group(2), 16) + main - int(section.group(1), 16)
    return executable.read_bytes()[offset:offset + length] + bytes(1024 - length)


class WineSession:
    """A Wine prefix on an X server of its own (Xvfb unless the class names another), for the
    whole class, run by the Wine of the class's loader; skipped, with the reason, where that Wine
    cannot run."""

    @staticmethod
    def new_server():
        return XServer(1024, 600)

    @classmethod
    def setUpClass(cls):
        reason = why_wine_cannot_run(cls.loader)
        if reason:
            raise unittest.SkipTest(reason)
        cls.prefix = tempfile.mkdtemp(prefix="quinesphere-wine-")
        cls.server = cls.new_server()
        cls.env = dict(cls.server.env, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run([cls.loader, "wineboot", "-i"], env=cls.env, capture_output=True,
                       timeout=300)
        # Relay traces show only the calls that read the screen, make a process DPI-aware and keep
        # the display on.
        for name, value in (("RelayInclude", "user32.SetProcessDPIAware;user32.GetSystemMetrics;"
                                             "kernel32.SetThreadExecutionState"),
                            ("RelayFromInclude", "quinesphere.exe;quinesphere.scr")):
            subprocess.run([cls.loader, "reg", "add", r"HKCU\Software\Wine\Debug", "/v", name,
                            "/d", value, "/f"], env=cls.env, capture_output=True, timeout=60)

    def start_relayed(self, program, *args, trace):
        """The program under Wine, writing its relay trace to a file: Wine's desktop process, which
        outlives it, writes there too, and would fill a pipe."""
        return self.server.start(["sh", "-c", f'exec "$@" 2>"{trace}"', "sh", self.loader,
                                  program, *args],
                                 env={"WINEPREFIX": self.prefix, "WINEDEBUG": "+relay"})

    def assert_dpi_aware_before_reading_the_screen(self, trace):
        # Windows scales what a process that is not DPI-aware reads of the screen. Wine's own
        # processes, its desktop among them, trace too, but only ours makes itself DPI-aware.
        text = trace.read_text()
        ours = re.search(r"^(\w+):Call user32\.SetProcessDPIAware\(", text, re.M)
        self.assertIsNotNone(ours, "never made itself DPI-aware")
        calls = re.findall(rf"^{ours.group(1)}:Call user32\.(\w+)\(", text, re.M)
        self.assertEqual(calls[0], "SetProcessDPIAware", calls)
        self.assertIn("GetSystemMetrics", calls)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=cls.env, capture_output=True, timeout=60)
        cls.server.close()
        shutil.rmtree(cls.prefix, ignore_errors=True)


class UnderWine(WineSession):
    """The same cases for each Windows build, run by the Wine of its own architecture."""

    def wine(self, *args, debug="-all", env=None):
        return self.server.start([self.loader, *args], env=dict(
            {"WINEPREFIX": self.prefix, "WINEDEBUG": debug}, **(env or {})))

    def wait_for_effect_window(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.server.run("xdotool", "search", "--onlyvisible", "--class",
                                    "quinesphere.exe").stdout.split()
            for window in found:
                info = self.server.run("xwininfo", "-id", window).stdout
                if re.search(r"Width: 1024\n\s+Height: 600\n", info):
                    return window
            time.sleep(0.2)
        self.fail("no screen-sized window appeared")

    def test_window_drawing_escape_and_gl_stream(self):
        with tempfile.TemporaryDirectory() as scratch:
            trace = Path(scratch) / "run.trace"
            # $LIB is for the dynamic linker: each Wine process gets the tracer of its own width.
            run = self.wine(self.executable, debug="-all,+win", env={
                "TRACE_FILE": str(trace),
                "LD_PRELOAD": "/usr/$LIB/apitrace/wrappers/glxtrace.so"})
            self.wait_for_effect_window()
            probe = subprocess.run([WINE, str(PROBE)], env=self.env, capture_output=True,
                                   text=True, timeout=60)
            self.assertIn("class=Edit", probe.stdout)
            self.assertIn("rect=0,0,1024,600", probe.stdout)
            # Windows adds WS_CLIPSIBLINGS to every top-level window.
            self.assertIn("style=94000000 exstyle=00000008", probe.stdout)
            time.sleep(3)
            shot = self.server.screenshot(Path(scratch) / "wine.png")
            self.assertGreater(image_figure(shot, "%k"), 5000)
            self.server.key("Escape")
            status = wait_exit(run, 30)
            self.assertEqual(status, 1, describe_exit(status))
            # Wine shows the window's title only to Windows programs that ask the effect itself,
            # which reads no messages, so the creation call is checked as Wine saw it.
            created = [line for line in run.stderr.read().splitlines()
                       if "WIN_CreateWindowEx" in line and "L\"EDIT\"" in line]
            self.assertEqual(len(created), 1, created)
            self.assertRegex(created[0], r'"EDIT" L"EDIT" ex=00000008 style=90000000 0,0 1024x600 '
                             r"parent=0+ menu=0+ inst=0+ params=0+\b")
            frames = check_design_stream(self, trace, code_image(*self.build), scratch)
            print(f"{self.executable.parent.name}: {frames} frames traced", file=sys.stderr)

    def test_a_set_up_that_fails_exits_with_status_zero(self):
        # Beside the executable, a glu32.dll that makes no quadric, loaded in place of Wine's.
        with tempfile.TemporaryDirectory() as scratch:
            shutil.copy(self.executable, scratch)
            shutil.copy(self.executable.parent / "failing-glu" / "glu32.dll", scratch)
            run = self.wine(Path(scratch) / self.executable.name,
                            env={"WINEDLLOVERRIDES": "mscoree,mshtml=;glu32=n"})
            status = wait_exit(run, 60)
            self.assertEqual(status, 0, describe_exit(status))

    def test_escape_held_before_the_start_ends_it_with_status_one(self):
        self.server.run("xdotool", "keydown", "Escape")
        trace = Path(self.prefix) / "relay.txt"
        try:
            run = self.start_relayed(self.executable, trace=trace)
            status = wait_exit(run, 60)
        finally:
            self.server.run("xdotool", "keyup", "Escape")
        self.assertEqual(status, 1, describe_exit(status))
        self.assert_dpi_aware_before_reading_the_screen(trace)
        # ES_CONTINUOUS | ES_DISPLAY_REQUIRED: the display flag alone resets the idle timer once.
        self.assertEqual(re.findall(r"^\w+:Call kernel32\.SetThreadExecutionState\((\w+)\)",
                                    trace.read_text(), re.M | re.I), ["80000002"])


class I686UnderWine(UnderWine, unittest.TestCase):
    loader = "/usr/lib/wine/wine"
    executable = WIN32
    build = (WIN32, "i686-w64-mingw32", "__Z10run_effectv", "_etext")


class X8664UnderWine(UnderWine, unittest.TestCase):
    loader = WINE
    executable = WIN64
    build = (WIN64, "x86_64-w64-mingw32", "_Z10run_effectv", "etext")


if __name__ == "__main__":
    unittest.main()
