#!/usr/bin/python3
"""Our JACK MIDI client through a private dummy server, heard by jack_midi_dump.
Usage: jack_midi_test.py TARNWICK. Exits 77 (skipped) where no server starts."""

import itertools
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import tarn_file  # noqa: E402
from audio_servers import RATE, JackServer, Unavailable, wait_for  # noqa: E402

TARNWICK = None
ENV = {}


def tarnwick(*arguments):
    return subprocess.run([TARNWICK, *arguments], env=ENV, capture_output=True, text=True,
                          timeout=120)


def trace(*arguments):
    """The trace's messages as byte strings, grouped by tick."""
    ticks = {}
    for line in tarnwick("--play", "--output", "trace", *arguments).stdout.splitlines():
        tick, *message = line.split()
        ticks.setdefault(int(tick), []).append(" ".join(message))
    return [ticks[k] for k in sorted(ticks)]


def jack(*command):
    return subprocess.run(command, env=ENV, capture_output=True, text=True)


class Recorder:
    """jack_midi_dump as NAME, with `source` connected to it once that appears."""

    def __init__(self, name="recorder", source=None):
        self.port = f"{name}:input"
        self.process = subprocess.Popen(["jack_midi_dump", "-a", name], env=ENV,
                                        stdout=subprocess.PIPE, text=True)
        wait_for(lambda: self.port in jack("jack_lsp").stdout, "jack_midi_dump's port")
        if source:
            threading.Thread(target=wait_for, daemon=True, args=(
                lambda: jack("jack_connect", source, self.port).returncode == 0, source)).start()

    def stop(self, how=signal.SIGTERM):
        """The frames and messages received, each message as three bytes."""
        self.process.send_signal(how)
        out = self.process.communicate(timeout=20)[0]
        frames, messages = [], []
        for frame, *fields in (line.split() for line in out.splitlines()):
            data = [f.upper() for f in itertools.takewhile(re.compile("[0-9a-f]{2}").fullmatch,
                                                           fields)]  # then a description
            frames.append(int(frame.rstrip(":")))
            messages.append(" ".join((data + ["00", "00"])[:3]))
        return frames, messages


class JackMidi(unittest.TestCase):
    def test_the_virtual_port_plays_from_its_connection_on(self):
        recorder = Recorder(source="Tarnwick:Tarnwick")
        played = tarnwick("--play", "--output", "virtual", "--seconds", "1.5", "--rand-seed", "5")
        self.assertEqual(played.returncode, 0, played.stderr)
        # Ticks, then Stop's three messages (what they hold, the port test checks).
        received = recorder.stop()[1]
        self.assertGreater(len(received), 10)
        self.assertEqual(received[-3:], ["B0 78 00", "B1 78 00", "B2 78 00"])

    def test_a_port_gets_the_trace_and_three_even_clock_pulses_a_step(self):
        # 600 ms steps: on a busy machine, pulses 200 ms apart never look like a burst.
        with tempfile.TemporaryDirectory() as folder:
            piece = os.path.join(folder, "slow.tarn")
            tarnwick("--save-settings", piece, "--rand-seed", "5")
            tarn_file.update(piece, stepMs=600)
            options = ("--settings", piece, "--rand-seed", "5", "--midi-clock")
            recorder = Recorder()
            listed = tarnwick("--list-outputs").stdout
            self.assertIn(f"port:{recorder.port} ", listed)
            self.assertIn("virtual ", listed)
            played = tarnwick("--play", "--output", f"port:{recorder.port}", "--seconds", "2.5",
                              *options)
            self.assertEqual(played.returncode, 0, played.stderr)
            frames, received = recorder.stop()
            pulses = [f for f, m in zip(frames, received) if m == "F8 00 00"]
            ticks = (len(pulses) + 2) // 3  # Stop drops the last step's later pulses
            expected = sum(trace("--ticks", str(ticks), *options), [])
        # Start after the set-up, then exactly the trace's messages; the pulses are
        # placed at their own times.
        self.assertEqual(received[12:14], ["FA 00 00", "F8 00 00"])  # after 12 of set-up
        self.assertEqual([m for m in received if m != "F8 00 00"],
                         [m for m in expected if m != "F8 00 00"])
        # Spread over the step, not three at once (the benchmark measures how evenly).
        gaps = [(b - a) / (0.2 * RATE) for a, b in zip(pulses, pulses[1:])]
        self.assertTrue(ticks >= 3 and all(0.5 < g < 1.5 for g in gaps), gaps)

    def test_a_port_that_goes_away_is_named(self):
        recorder = Recorder()
        player = subprocess.Popen([TARNWICK, "--play", "--output", f"port:{recorder.port}",
                                   "--seconds", "3"], env=ENV, stderr=subprocess.PIPE, text=True)
        time.sleep(1)
        recorder.stop(signal.SIGKILL)
        err = player.communicate(timeout=60)[1]
        self.assertEqual(player.returncode, 0)
        self.assertIn(f"No sound: the MIDI port {recorder.port} has gone", err)

    def test_the_window_stops_and_silences_the_port_when_asked_to_end(self):
        for how in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with tempfile.TemporaryDirectory() as config:
                os.makedirs(os.path.join(config, "tarnwick"))
                recorder = Recorder()
                with open(os.path.join(config, "tarnwick", "tarnwick.conf"), "w") as conf:
                    conf.write(f"[output]\nname=port:{recorder.port}\n")
                window = subprocess.Popen([TARNWICK], env=dict(
                    ENV, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config))
                wait_for(lambda: recorder.port in jack("jack_lsp", "-c", "Tarnwick:out").stdout,
                         "the window's port to connect")
                window.send_signal(how)
                self.assertEqual(window.wait(timeout=30), 0)
                self.assertEqual(recorder.stop()[1][-3:], ["B0 78 00", "B1 78 00", "B2 78 00"])


def run_on_private_jack(name, sync=True):
    """Runs the calling file's tests on a private dummy JACK server (sync: the
    server waits for every client each cycle); 77 where none starts."""
    server = None
    try:
        server = JackServer(f"tarnwick-{name}-{os.getpid()}", sync=sync)
        server.start()
    except Unavailable as reason:
        if server is not None:
            server.stop()
        print(f"SKIPPED: {reason}")
        return 77
    ENV.update(server.env)
    os.environ.update(server.env)
    try:
        return 0 if unittest.main(exit=False).result.wasSuccessful() else 1
    finally:
        server.stop()


def main():
    global TARNWICK
    TARNWICK = sys.argv.pop(1)
    return run_on_private_jack("test")


if __name__ == "__main__":
    sys.exit(main())
