"""The Debian package and the Windows zip that scripts/package makes, installed and used as a user
would: from PATH, with the build tree out of reach."""

import os
import shutil
import struct
import subprocess
import sysconfig
import tempfile
import time
import unittest
import zipfile
from pathlib import Path
from xml.etree import ElementTree

from elf import machine
from harness import BUILD, XServer, describe_exit, image_figure, wait_exit
from wayland_harness import ThrowawayUser, wait_until
from screensaver_test import SETTINGS, running
from win32_test import WINE, why_wine_cannot_run

# What an installed program sees: no build to fall back on.
PLAIN = {name: value for name, value in os.environ.items() if name != "QUINESPHERE_BUILD"}
SOURCE = Path(__file__).resolve().parents[2]


NATIVE = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                        check=True).stdout.strip()


def package(arch=NATIVE):
    found = sorted(BUILD.glob(f"quinesphere_*_{arch}.deb"))
    if not found:
        raise AssertionError("no package in the build: scripts/test runs scripts/package first")
    return found[-1]


def run(*command, **kwargs):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          env=PLAIN, timeout=600, **kwargs)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = package()
        installed = run("apt-get", "install", "-y", "--no-install-recommends", cls.deb)
        assert installed.returncode == 0, installed.stdout + installed.stderr
        cls.files = [Path(line) for line in run("dpkg", "-L", "quinesphere").stdout.split()
                     if Path(line).is_file()]

    @classmethod
    def tearDownClass(cls):
        run("apt-get", "purge", "-y", "quinesphere")

    def test_lintian_finds_no_error_or_warning(self):
        report = run("lintian", "-EvIL", "+pedantic", self.deb).stdout
        self.assertFalse([line for line in report.splitlines() if line[:2] in ("E:", "W:")],
                         report)
        self.assertNotIn("desktop-entry-lacks-icon-entry", report)

    def test_cross_built_packages_hold_the_same_files_as_their_architectures_code(self):
        def contents(deb, triplet):
            with tempfile.TemporaryDirectory() as root:
                run("dpkg-deb", "-x", deb, root).check_returncode()
                files = [path for path in Path(root).rglob("*") if path.is_file()]
                machines = {machine(path.read_bytes()[:20]) for path in files} - {None}
                return sorted(str(path.relative_to(root)).replace(triplet, "TRIPLET")
                              for path in files), machines

        native = contents(self.deb, sysconfig.get_config_var("MULTIARCH"))[0]
        for arch, triplet, code in (("arm64", "aarch64-linux-gnu", 183),
                                    ("armhf", "arm-linux-gnueabihf", 40)):
            with self.subTest(arch=arch):
                if NATIVE != "amd64" or not list(BUILD.glob(f"quinesphere_*_{arch}.deb")):
                    self.skipTest(f"no {arch} package: built on amd64 where its cross compiler "
                                  "and libraries are installed")
                deb = package(arch)
                self.assertEqual(contents(deb, triplet), (native, {code}))
                report = run("lintian", "-EvIL", "+pedantic", deb).stdout
                self.assertFalse([line for line in report.splitlines() if line[:2] in ("E:", "W:")],
                                 report)

    def test_desktop_entry_names_an_icon_the_theme_has_at_every_size(self):
        entry = Path("/usr/share/applications/quinesphere.desktop").read_text()
        self.assertIn("\nIcon=quinesphere\n", entry)
        for size in (16, 24, 32, 48, 64, 128, 256):
            icon = Path(f"/usr/share/icons/hicolor/{size}x{size}/apps/quinesphere.png")
            self.assertIn(icon, self.files)
            # A PNG's width and height follow its signature and the header chunk's length and type.
            self.assertEqual(struct.unpack(">II", icon.read_bytes()[16:24]), (size, size))

    def test_metainfo_validates_and_lists_the_package_version_for_its_desktop_entry(self):
        metainfo, = [path for path in self.files if path.parent == Path("/usr/share/metainfo")]
        checked = run("appstreamcli", "validate", "--no-net", "--pedantic", metainfo)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        component = ElementTree.parse(metainfo).getroot()
        self.assertEqual(component.find("releases/release").get("version"),
                         run("dpkg-deb", "-f", self.deb, "Version").stdout.strip())
        self.assertIn(Path("/usr/share/applications", component.findtext("launchable")), self.files)
        for binary in component.iterfind("provides/binary"):
            self.assertIn(Path("/usr/bin", binary.text), self.files)
            self.assertIn(Path(f"/usr/share/man/man6/{binary.text}.6.gz"), self.files)

    def test_installed_effect_capture_and_manual_from_path(self):
        self.assertTrue(run("man", "-w", "quinesphere").stdout.strip().endswith("quinesphere.6.gz"))
        self.assertIn(f"quinesphere-capture {BUILD.joinpath('VERSION').read_text().strip()}",
                      run("quinesphere-capture", "--version").stdout)
        with XServer(640, 480) as x, tempfile.TemporaryDirectory() as scratch:
            effect = x.start(["quinesphere"])
            x.wait_for_window("EDIT")
            time.sleep(1.5)
            shot = x.screenshot(Path(scratch) / "installed.png")
            self.assertGreater(image_figure(shot, "%k"), 2000)
            x.key("Escape")
            self.assertEqual(wait_exit(effect, 5), 1, describe_exit(effect.returncode))
            gif = Path(scratch) / "clip.gif"
            made = run("quinesphere-capture", gif, "--frames", "1-10", "--size", "160x120",
                       cwd=scratch)
            self.assertEqual(made.returncode, 0, made.stderr)
            self.assertEqual(gif.read_bytes()[:6], b"GIF89a")

    def test_daemon_runs_the_installed_hack_by_name(self):
        with XServer(640, 480) as x:
            user = ThrowawayUser()
            self.addCleanup(user.close)
            user.file(".xscreensaver").write_text(SETTINGS.format(hack="quinesphere-saver"))
            env = {"DISPLAY": x.display}
            user.start(["xscreensaver", "-no-splash"], env)
            wait_until(lambda: user.run(["xscreensaver-command", "-version"], env).returncode == 0,
                       30, "the daemon")
            user.run(["xscreensaver-command", "-select", "1"], env)
            hack = int(wait_until(lambda: run("pgrep", "-u", user.name, "quinesphere-sav").stdout,
                                  30, "the daemon to start the hack").split()[0])
            self.assertTrue(running(hack))
            self.assertEqual(os.readlink(f"/proc/{hack}/exe"),
                             "/usr/libexec/xscreensaver/quinesphere-saver")

    def test_purge_leaves_none_of_its_files(self):
        self.assertIn(Path("/usr/bin/quinesphere"), self.files)
        self.assertIn(Path("/usr/bin/quinesphere-wayland-saver"), self.files)
        self.assertIn(Path("/usr/bin/quinesphere-wallpaper"), self.files)
        self.assertIn(Path("/usr/libexec/xscreensaver/quinesphere-saver"), self.files)
        run("apt-get", "purge", "-y", "quinesphere")
        self.assertEqual([path for path in self.files if path.exists()], [])
        reinstalled = run("apt-get", "install", "-y", "--no-install-recommends", self.deb)
        self.assertEqual(reinstalled.returncode, 0, reinstalled.stderr)


class WindowsZip(unittest.TestCase):
    def test_zip_holds_both_builds_readme_and_licence_and_its_exe_runs(self):
        archive = BUILD / "quinesphere-windows.zip"
        with zipfile.ZipFile(archive) as opened:
            self.assertEqual(sorted(opened.namelist()), [
                "LICENSE.txt", "README.txt", "quinesphere.exe", "quinesphere.scr",
                "x64/", "x64/quinesphere.exe", "x64/quinesphere.scr"])
            self.assertEqual(opened.read("quinesphere.exe"),
                             (BUILD / "win32" / "quinesphere.exe").read_bytes())
            reason = why_wine_cannot_run(WINE)
            if reason:
                self.skipTest(reason)
            with tempfile.TemporaryDirectory() as scratch, XServer(640, 480) as x:
                opened.extractall(scratch)
                prefix = Path(scratch) / "prefix"
                wine = {"WINEPREFIX": str(prefix), "WINEDEBUG": "-all",
                        "WINEDLLOVERRIDES": "mscoree,mshtml="}
                effect = x.start([WINE, Path(scratch) / "x64" / "quinesphere.exe"], env=wine)
                wait_until(lambda: x.run("xdotool", "search", "--onlyvisible", "--class",
                                         "quinesphere.exe").stdout, 120, "the effect's window")
                time.sleep(2)
                x.key("Escape")
                self.assertEqual(wait_exit(effect, 30), 1, describe_exit(effect.returncode))
                subprocess.run([WINE.replace("wine64", "wineserver64"), "-k"],
                               env=dict(os.environ, **wine), capture_output=True, timeout=60)


def changelog_entry(version, date):
    return (f"quinesphere ({version}) unstable; urgency=medium\n\n  * A release.\n\n"
            f" -- quinesphere developers <maintainers@example.org>  {date} 10:00:00 +0000\n\n")


class MetainfoFromChangelog(unittest.TestCase):
    """A copy of the source configured with a changelog of its own."""

    def configure(self, *entries):
        scratch = Path(tempfile.mkdtemp(prefix="quinesphere-source-"))
        self.addCleanup(shutil.rmtree, scratch)
        # Without what builds and packages leave in the tree, links that lead nowhere among them.
        shutil.copytree(SOURCE, scratch / "source", symlinks=True, ignore=shutil.ignore_patterns(
            "build", "obj-*", ".git", ".debhelper"))
        (scratch / "source/debian/changelog").write_text("".join(entries))
        return run("cmake", "-S", scratch / "source", "-B", scratch / "build",
                   "-DBUILD_TESTING=OFF", "-DQUINESPHERE_SIZE_CODED=OFF"), scratch / "build"

    def test_each_release_is_dated_by_its_entry_and_the_newest_must_be_the_projects(self):
        version = (BUILD / "VERSION").read_text().strip()
        configured, build = self.configure(changelog_entry(version, "Fri, 01 Jan 2027"),
                                           changelog_entry("0.9.0", "Mon, 30 Nov 2026"))
        self.assertEqual(configured.returncode, 0, configured.stderr)
        metainfo, = build.glob("*.metainfo.xml")
        self.assertEqual([(release.get("version"), release.get("date")) for release in
                          ElementTree.parse(metainfo).getroot().iter("release")],
                         [(version, "2027-01-01"), ("0.9.0", "2026-11-30")])
        # A newer entry than the project's version, the project's own just below it.
        configured, _ = self.configure(changelog_entry(f"{version}.1", "Sat, 02 Jan 2027"),
                                       changelog_entry(version, "Fri, 01 Jan 2027"))
        self.assertNotEqual(configured.returncode, 0)
        # CMake wraps the message's lines.
        self.assertIn(f"newest entry is not version {version}",
                      " ".join(configured.stderr.split()))


if __name__ == "__main__":
    unittest.main()
