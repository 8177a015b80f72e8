"""`cmake --install` into a temporary prefix: every file in its standard
place and nothing else, the desktop entry and the metainfo pass their
validators, the file type maps *.tarn, the icons have their sizes, and the man
page names every option the program's own help names.

Run as: python3 install_test.py CMAKE BUILD_DIR
"""
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CMAKE = BUILD = None
APP = "org.tarnwick.Tarnwick"
ICONS = "share/icons/hicolor"
EXPECTED = {
    "bin/tarnwick",
    f"share/applications/{APP}.desktop",
    f"share/metainfo/{APP}.metainfo.xml",
    f"share/mime/packages/{APP}.xml",
    "share/man/man1/tarnwick.1",
    f"{ICONS}/scalable/apps/{APP}.svg",
    *(f"{ICONS}/{n}x{n}/apps/{APP}.png" for n in (48, 128, 256)),
}


def run(*command, check=True):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, check=check)


def png_size(path):
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", header[16:24])


def options_in(text):
    return set(re.findall(r"(?<![\w-])--?[a-zA-Z][\w-]*", text))


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.prefix = Path(cls.folder.name)
        run(CMAKE, "--install", BUILD, "--prefix", str(cls.prefix))
        cls.program = str(cls.prefix / "bin/tarnwick")

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_every_file_and_nothing_else(self):
        found = {str(p.relative_to(self.prefix)) for p in self.prefix.rglob("*") if p.is_file()}
        self.assertEqual(found, EXPECTED)
        for size in (48, 128, 256):
            self.assertEqual(png_size(self.prefix / f"{ICONS}/{size}x{size}/apps/{APP}.png"),
                             (size, size))

    def test_desktop_entry_passes_and_opens_tarn_files(self):
        entry = self.prefix / f"share/applications/{APP}.desktop"
        checked = run("desktop-file-validate", str(entry), check=False)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
        keys = dict(line.split("=", 1) for line in entry.read_text().splitlines() if "=" in line)
        self.assertEqual(keys["Exec"], "tarnwick %f")
        self.assertEqual(keys["Icon"], APP)
        self.assertLessEqual({"Audio", "Music"}, set(keys["Categories"].split(";")))
        self.assertIn("application/x-tarnwick", keys["MimeType"].split(";"))

    def test_metainfo_passes_and_names_this_release(self):
        metainfo = self.prefix / f"share/metainfo/{APP}.metainfo.xml"
        checked = run("appstreamcli", "validate", "--no-net", str(metainfo), check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        text = metainfo.read_text()
        version = run(self.program, "--version").stdout.split()[-1]
        self.assertIn(f'<release version="{version}"', text)
        self.assertIn(f'<launchable type="desktop-id">{APP}.desktop</launchable>', text)

    def test_mime_database_maps_tarn_files(self):
        mime = self.prefix / "share/mime"
        run("update-mime-database", str(mime))
        try:
            self.assertIn(":application/x-tarnwick:*.tarn", (mime / "globs2").read_text())
        finally:  # the database is no file of the install
            for generated in mime.iterdir():
                if generated.name != "packages":
                    shutil.rmtree(generated) if generated.is_dir() else generated.unlink()

    def test_man_page_names_every_option_of_the_help(self):
        page = str(self.prefix / "share/man/man1/tarnwick.1")
        warnings = run("groff", "-man", "-Tutf8", "-ww", "-z", page)
        self.assertEqual(warnings.stderr, "")
        text = run("groff", "-man", "-Tascii", "-P-cbou", page).stdout
        helped = options_in(run(self.program, "--help").stdout)
        helped |= options_in(run(self.program, "--play", "--help").stdout)
        self.assertLessEqual({"--help", "--settings", "--play"}, helped)
        self.assertEqual(helped - options_in(text), set(), "options the man page lacks")


if __name__ == "__main__":
    CMAKE, BUILD = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main()
