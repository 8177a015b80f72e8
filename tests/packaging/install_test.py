"""`cmake --install` into a temporary prefix: the files, the desktop's
validators, the *.tarn file type, the compressed man page against the help.
Run as: python3 install_test.py CMAKE BUILD_DIR"""
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

APP, ICONS, DOC = "org.tarnwick.Tarnwick", "share/icons/hicolor", "share/doc/tarnwick"
EXPECTED = {"bin/tarnwick", f"share/applications/{APP}.desktop", f"{DOC}/changelog.gz",
            f"share/metainfo/{APP}.metainfo.xml", f"share/mime/packages/{APP}.xml",
            "share/man/man1/tarnwick.1.gz", f"{ICONS}/scalable/apps/{APP}.svg", f"{DOC}/copyright",
            *(f"{ICONS}/{n}x{n}/apps/{APP}.png" for n in (48, 128, 256)),
            *(f"lib/lv2/tarnwick.lv2/{f}" for f in ("manifest.ttl", "tarnwick.ttl", "tarnwick.so"))}


def run(*command, stdin=None):
    done = subprocess.run(command, input=stdin, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, f"{command}: {done.stdout}{done.stderr}"
    return done.stdout + done.stderr


def options_in(text):
    return set(re.findall(r"(?<![\w-])--?[a-zA-Z][\w-]*", text))


class Installed(unittest.TestCase):
    def test_install(self):
        with tempfile.TemporaryDirectory() as folder:
            prefix = Path(folder)
            run(sys.argv[1], "--install", sys.argv[2], "--prefix", folder)
            found = {str(p.relative_to(prefix)) for p in prefix.rglob("*") if p.is_file()}
            self.assertEqual(found, EXPECTED)
            for n in (48, 128, 256):  # the PNG header's width and height
                header = (prefix / f"{ICONS}/{n}x{n}/apps/{APP}.png").read_bytes()[16:24]
                self.assertEqual(header, n.to_bytes(4, "big") * 2)

            entry = prefix / f"share/applications/{APP}.desktop"
            self.assertEqual(run("desktop-file-validate", str(entry)), "")
            keys = dict(line.split("=", 1) for line in entry.read_text().splitlines()[1:])
            self.assertEqual((keys["Exec"], keys["Icon"]), ("tarnwick %f", APP))
            self.assertLessEqual({"Audio", "Music"}, set(keys["Categories"].split(";")))
            self.assertIn("application/x-tarnwick", keys["MimeType"].split(";"))

            metainfo = prefix / f"share/metainfo/{APP}.metainfo.xml"
            run("appstreamcli", "validate", "--no-net", str(metainfo))
            version = run(prefix / "bin/tarnwick", "--version").split()[-1]
            self.assertIn(f'<release version="{version}"', metainfo.read_text())

            run("update-mime-database", str(prefix / "share/mime"))
            self.assertIn(":application/x-tarnwick:*.tarn",
                          (prefix / "share/mime/globs2").read_text())

            page = run("gzip", "-dc", prefix / "share/man/man1/tarnwick.1.gz")
            self.assertEqual(run("groff", "-man", "-Tutf8", "-ww", "-z", stdin=page), "")
            helped = options_in(run(prefix / "bin/tarnwick", "--help") +
                                run(prefix / "bin/tarnwick", "--play", "--help"))
            self.assertLessEqual({"--help", "--settings", "--play", "--soundfont"}, helped)
            named = options_in(run("groff", "-man", "-Tascii", "-P-cbou", stdin=page))
            self.assertEqual(helped - named, set(), "options the man page lacks")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
