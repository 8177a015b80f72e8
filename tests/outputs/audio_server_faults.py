#!/usr/bin/python3
"""The sound server goes away while `tarnwick --play` plays through it, stays
away a while and comes back: the program says so, plays on silently, sounds
again through the new server, stops on time and exits cleanly. Usage:
audio_server_faults.py PATH/TO/tarnwick. Exits 0 on success, 1 on failure and
77 (skipped) when no PulseAudio server can be started here."""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from audio_servers import RATE, PulseServer, Unavailable  # noqa: E402

PLAY_SECONDS = 9


def loud_seconds(path):
    """Seconds of the recording in 50 ms windows above -50 dBFS."""
    audio = np.fromfile(path, dtype="<f4")
    windows = audio[: len(audio) // 2205 * 2205].reshape(-1, 2205)
    return float(np.sum(np.sqrt(np.mean(windows**2, axis=1)) > 0.003) * 0.05)


def main():
    tarnwick = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="tarnwick-faults-") as directory:
        try:
            server = PulseServer(directory)
            server.start()
        except Unavailable as reason:
            print(f"SKIPPED: {reason}")
            return 77
        recorder = None
        player = subprocess.Popen([tarnwick, "--play", "--seconds", str(PLAY_SECONDS),
                                   "--rand-seed", "7"], env=server.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            time.sleep(3)  # the font loads, then it plays
            server.kill()
            time.sleep(2)  # no server at all
            server.start()
            recording = os.path.join(directory, "after.raw")
            recorder = server.record(recording)
            started = time.monotonic()
            _, stderr = player.communicate(timeout=PLAY_SECONDS + 30)
            waited = time.monotonic() - started
        finally:
            if player.poll() is None:
                player.kill()
            if recorder is not None:
                recorder.terminate()
                recorder.wait()
            server.stop()
        heard = loud_seconds(recording)
        print(f"exit {player.returncode} after {waited:.1f} s more; {heard:.2f} s heard "
              f"after the server came back; stderr: {stderr!r}")
        said = stderr.split("the sound server went away (pulseaudio)")
        return 0 if (player.returncode == 0 and len(said) == 2 and "Built-in synthesiser:" in said[1]
                     and heard >= 1.0) else 1


if __name__ == "__main__":
    sys.exit(main())
