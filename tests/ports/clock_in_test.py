#!/usr/bin/python3
"""Following MIDI clock on a private dummy JACK server: a clock source made
here (python3-jack-client) sends Start, pulses at exact frames, Song
Position, Continue and Stop; jack_midi_dump hears both the clock and our port,
so each step's messages are measured against the frame of their pulse.
Usage: clock_in_test.py TARNWICK. Exits 77 (skipped) where no server starts
or python3-jack-client is missing."""

import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import jack_midi_test as base  # noqa: E402
import jack_transport_test as following  # noqa: E402
from audio_servers import RATE, wait_for  # noqa: E402

jack = following.jack
CLOCK = {"F8 00 00", "FA 00 00", "FB 00 00", "FC 00 00"}


class ClockSource:
    """A JACK client that sends each (frame, bytes) of `events` at that frame
    of the server's frame count; frames are counted from a second ahead."""

    def __init__(self):
        self.client = jack.Client("clocksrc", no_start_server=True)
        self.port = self.client.midi_outports.register("out")
        self.events, self.sent = [], 0
        self.client.set_process_callback(self.process)
        self.client.activate()

    def send(self, events):
        start = self.client.frame_time + RATE
        self.events = sorted((start + f, bytes(d)) for f, d in events)

    def process(self, frames):
        self.port.clear_buffer()
        first = self.client.last_frame_time
        while self.sent < len(self.events) and self.events[self.sent][0] < first + frames:
            frame, data = self.events[self.sent]
            self.port.write_midi_event(max(frame - first, 0), data)
            self.sent += 1

    def close(self):
        self.client.deactivate()
        self.client.close()


def pulses(first, count, bpm):
    """The frames of `count` pulses from `first` on, at `bpm`."""
    return [round(first + k * RATE * 60 / (bpm * 24)) for k in range(count)]


class ClockIn(unittest.TestCase):
    def play(self, events, seconds, steps_per_beat=8, leave=False):
        """Follows the clock source playing `events`; returns the frames and
        messages heard (the clock's and ours), with frames counted from the
        clock's Start (the first event), and our stderr. `leave`: the clock
        source quits after `seconds`."""
        source = ClockSource()
        recorder = base.Recorder()
        player = subprocess.Popen(
            [base.TARNWICK, "--play", "--sync", "clock:clocksrc:out", "--output",
             f"port:{recorder.port}", "--steps-per-beat", str(steps_per_beat), "--rand-seed", "5"],
            env=base.ENV, stderr=subprocess.PIPE, text=True)
        said = []
        reader = threading.Thread(target=lambda: said.extend(player.stderr), daemon=True)
        reader.start()
        try:
            base.jack("jack_connect", "clocksrc:out", recorder.port)
            wait_for(lambda: "Tarnwick:clock in" in base.jack("jack_lsp", "-c", "clocksrc:out")
                     .stdout, "our clock input", 60)
            wait_for(lambda: said, "our first status line", 60)
            source.send(events)
            time.sleep(1 + seconds)
            if leave:
                source.close()
                time.sleep(0.5)
            player.send_signal(signal.SIGINT)
            player.wait(timeout=60)
        finally:
            if player.poll() is None:
                player.kill()
            reader.join(timeout=10)
            player.stderr.close()
            if not leave:
                source.close()
        frames, received = recorder.stop()
        start = frames[received.index("FA 00 00")]
        return [(f - start, m) for f, m in zip(frames, received)], "".join(said)

    def test_steps_land_on_their_pulses_from_start_to_stop(self):
        for steps_per_beat, bpm in ((8, 120), (4, 150)):
            with self.subTest(steps_per_beat=steps_per_beat):
                pps = 24 // steps_per_beat
                beat = pulses(0, 97, bpm)  # Start, then 4 beats of pulses from a pulse on
                stop = beat[96] - 100
                events = [(0, [0xFA])] + [(f, [0xF8]) for f in beat[1:97]] + [(stop, [0xFC])]
                heard, err = self.play(events, 3, steps_per_beat)
                self.assertIn(f"Following MIDI clock: {bpm}.0 BPM, rolling", err)
                ours = [(f, m) for f, m in heard if m not in CLOCK]
                clock = [f for f, m in heard if m == "F8 00 00"]
                self.assertEqual(clock, beat[1:97])
                set_up, steps = following.Following.expected_steps(
                    self, 96 // pps + 1, steps_per_beat)
                expected = [(clock[0], m) for m in set_up] + [
                    (clock[k * pps], m) for k in range(96 // pps) for m in steps[k]]
                self.assertEqual(ours[:len(expected)], expected)
                # Stop's messages at the stop: nothing of the steps prepared ahead.
                self.assertEqual([m for _, m in ours[len(expected):]],
                                 ["B0 78 00", "B1 78 00", "B2 78 00"])
                self.assertTrue(all(stop <= f < stop + RATE // 20 for f, _ in ours[len(expected):]))

    def test_song_position_relocates_and_silence_stops(self):
        beat = pulses(0, 49, 120)
        # Sixteenth 260 = pulse 1560 = step 520, where Continue resumes.
        events = ([(0, [0xFA])] + [(f, [0xF8]) for f in beat[1:25]] + [(beat[25], [0xFC])] +
                  [(beat[26], [0xF2, 260 & 0x7F, 260 >> 7]), (beat[27], [0xFB])] +
                  [(f, [0xF8]) for f in beat[28:49]])
        heard, err = self.play(events, 4)
        self.assertIn("Stopped: no MIDI clock for two seconds", err)
        _, steps = following.Following.expected_steps(self, 528, 8)
        resumed = [f for f, m in heard if m == "F8 00 00"][24:]
        notes = [(f, m[:5]) for f, m in heard
                 if f >= beat[27] and m[:2] in ("90", "91", "92")]
        expected = [(resumed[3 * (k - 520)], m[:5]) for k in range(520, 527)
                    for m in steps[k] if m[:2] in ("90", "91", "92")]
        self.assertGreater(len(expected), 5)
        self.assertEqual(notes[:len(expected)], expected)
        # Two seconds after the last pulse: Stop's messages, and nothing after.
        tail = [(f, m) for f, m in heard if m not in CLOCK][-3:]
        self.assertEqual([m for _, m in tail], ["B0 78 00", "B1 78 00", "B2 78 00"])
        self.assertTrue(all(2 * RATE <= f - beat[48] < 2.2 * RATE for f, _ in tail))

    def test_a_clock_port_that_goes_away_stops_the_performance(self):
        beat = pulses(0, 600, 120)
        heard, err = self.play([(0, [0xFA])] + [(f, [0xF8]) for f in beat[1:]], 2, leave=True)
        self.assertIn("Stopped: the clock port clocksrc:out has gone", err)
        self.assertEqual([m for _, m in heard if m not in CLOCK][-3:],
                         ["B0 78 00", "B1 78 00", "B2 78 00"])

    def test_the_window_follows_the_clock_port_it_remembers(self):
        source = ClockSource()
        recorder = base.Recorder()
        with tempfile.TemporaryDirectory() as config:
            os.makedirs(os.path.join(config, "tarnwick"))
            with open(os.path.join(config, "tarnwick", "tarnwick.conf"), "w") as conf:
                conf.write(f"[output]\nname=port:{recorder.port}\n"
                           "[tempo]\nsource=clock\nclockPort=clocksrc:out\n")
            window = subprocess.Popen([base.TARNWICK], env=dict(
                base.ENV, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config))
            try:
                wait_for(lambda: "Tarnwick clock:clock in" in base.jack(
                    "jack_lsp", "-c", "clocksrc:out").stdout, "the window's clock input", 60)
                beat = pulses(0, 49, 120)
                source.send([(0, [0xFA])] + [(f, [0xF8]) for f in beat[1:]] +
                            [(beat[48] + 100, [0xFC])])
                time.sleep(3)
                window.send_signal(signal.SIGTERM)
                self.assertEqual(window.wait(timeout=30), 0)
            finally:
                if window.poll() is None:
                    window.kill()
                source.close()
                received = recorder.stop()[1]
        self.assertIn("90", " ".join(m[:2] for m in received))  # notes while running
        self.assertEqual(received[-3:], ["B0 78 00", "B1 78 00", "B2 78 00"])


def main():
    if jack is None:
        print("SKIPPED: python3-jack-client is not installed")
        return 77
    base.TARNWICK = sys.argv.pop(1)
    return base.run_on_private_jack("clock")


if __name__ == "__main__":
    sys.exit(main())
