"""The built program: arguments run a command, with its output and exit
status; no arguments and no display explain what to run instead.

Run as: python3 entry_point_test.py PATH/TO/tarnwick
"""
import os
import subprocess
import sys
import unittest

TARNWICK = None
NO_DISPLAY = {k: v for k, v in os.environ.items()
              if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


def run(*arguments):
    return subprocess.run([TARNWICK, *arguments], capture_output=True, text=True,
                          env=NO_DISPLAY, timeout=60)


class EntryPoint(unittest.TestCase):
    def test_commands_report_through_stream_and_status(self):
        score = run("--print-score", "--rand-seed=77")
        self.assertEqual((score.returncode, score.stderr), (0, ""))
        self.assertTrue(score.stdout.startswith('{"voice1":['), score.stdout[:40])
        self.assertEqual(run("--rand-seed", "77", "--print-score").stdout, score.stdout)
        self.assertEqual(run("--export-midi", "/nonexistent/a.mid").returncode, 1)
        bogus = run("--bogus")
        self.assertEqual((bogus.returncode, bogus.stdout), (2, ""))
        self.assertTrue(bogus.stderr.startswith("tarnwick: unknown option '--bogus'\n"))

    def test_without_arguments_or_display_it_says_what_to_run(self):
        result = run()
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertIn(TARNWICK + " --export-midi canon.mid\n", result.stderr)


if __name__ == "__main__":
    TARNWICK = sys.argv.pop(1)
    unittest.main()
