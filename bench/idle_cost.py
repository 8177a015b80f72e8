#!/usr/bin/python3
"""What an idle window costs: opens tarnwick's window (Qt's offscreen platform)
with a private PulseAudio server, lets the sound font load, then reads the
process's clock ticks from /proc over 10 seconds while nothing plays.

Usage: idle_cost.py TARNWICK [--seconds S]"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from audio_servers import PulseServer, Unavailable  # noqa: E402


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarnwick")
    parser.add_argument("--seconds", type=float, default=10)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="tarnwick-idle-") as directory:
        try:
            server = PulseServer(directory)
            server.start()
        except Unavailable as reason:
            print(f"SKIPPED: {reason}")
            return 77
        env = dict(server.env, QT_QPA_PLATFORM="offscreen")
        window = subprocess.Popen([args.tarnwick], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            time.sleep(5)  # the font loads; the stream opens and pauses
            hertz = os.sysconf("SC_CLK_TCK")
            before, started = cpu_ticks(window.pid), time.monotonic()
            time.sleep(args.seconds)
            used, elapsed = cpu_ticks(window.pid) - before, time.monotonic() - started
        finally:
            window.terminate()
            window.wait(timeout=10)
            server.stop()
    print(f"idle window: {used} of {round(elapsed * hertz)} clock ticks in {elapsed:.1f} s, "
          f"{100 * used / (elapsed * hertz):.2f}% of a core")
    return 0


if __name__ == "__main__":
    sys.exit(main())
