"""The built program: arguments run a command; no arguments and no display
explain what to run instead. Run as: python3 entry_point_test.py TARNWICK"""
import os
import pty
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import tarn_file  # noqa: E402

TARNWICK = None
NO_DISPLAY = {k: v for k, v in os.environ.items()
              if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


def run(*arguments):
    return subprocess.run([TARNWICK, *arguments], capture_output=True, text=True,
                          env=NO_DISPLAY, timeout=60)


class EntryPoint(unittest.TestCase):
    def test_commands_report_through_stream_and_status(self):
        score, bogus = run("--print-score", "--rand-seed=77"), run("--bogus")
        self.assertEqual((score.returncode, score.stderr, score.stdout[:11]),
                         (0, "", '{"voice1":['))
        self.assertEqual((bogus.returncode, bogus.stdout, bogus.stderr.split("\n")[0]),
                         (2, "", "tarnwick: unknown option '--bogus'"))

    def test_a_render_shows_progress_only_on_a_terminal(self):
        with tempfile.TemporaryDirectory() as folder:
            fast = os.path.join(folder, "fast.tarn")
            self.assertEqual(run("--save-settings", fast).returncode, 0)
            tarn_file.update(fast, stepMs=50)  # a short piece
            out = os.path.join(folder, "a.wav")
            piped = run("--render-audio", out, "--settings", fast)
            self.assertEqual((piped.returncode, piped.stderr), (0, ""))
            master, terminal = pty.openpty()
            status = subprocess.run([TARNWICK, "--render-audio", out, "--settings", fast],
                                    stderr=terminal, env=NO_DISPLAY, timeout=120).returncode
            os.close(terminal)
            shown = b""
            try:
                while chunk := os.read(master, 4096):
                    shown += chunk
            except OSError:  # the terminal's other end has closed
                pass
            self.assertEqual(status, 0)
            self.assertIn(b"\rtarnwick: rendering " + out.encode() + b"  100%", shown)
            self.assertEqual(sorted(os.listdir(folder)), ["a.wav", "fast.tarn"])

    def test_without_arguments_or_display_it_says_what_to_run(self):
        result = run()
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertIn(TARNWICK + " --export-midi canon.mid\n", result.stderr)


if __name__ == "__main__":
    TARNWICK = sys.argv.pop(1)
    unittest.main()
