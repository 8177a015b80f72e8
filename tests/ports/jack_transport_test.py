#!/usr/bin/python3
"""Following the JACK transport of a private dummy server: a timebase master
made here with a tempo map, our port heard by jack_midi_dump.
Usage: jack_transport_test.py TARNWICK. Exits 77 (skipped) where no server
starts or python3-jack-client is missing."""

import math
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import jack_midi_test as base  # noqa: E402
from audio_servers import RATE, JackServer, wait_for  # noqa: E402

try:
    import jack
except ImportError:
    jack = None

TICKS = 1_000_000  # a fine tick, so that the reported position is near exact


class Master:
    """A timebase master whose tempo map is [(from beat, BPM), ...]: the
    position of each cycle's frame comes from the map, so it runs on
    continuously through a change of tempo. Also the transport's controller,
    and a log of (absolute frame, transport frame) of each rolling cycle."""

    def __init__(self, tempo_map, timebase=True):
        self.map = [(Fraction(b), Fraction(bpm)) for b, bpm in tempo_map]
        self.client = jack.Client("tempo-master", no_start_server=True)
        self.rolling = []
        self.client.set_process_callback(self.process)
        self.client.activate()
        assert not timebase or self.client.set_timebase_callback(self.timebase)

    def frame_of(self, beats):
        """The exact frame (a Fraction) where the map reaches `beats`."""
        frame, at = Fraction(0), Fraction(0)
        for i, (start, bpm) in enumerate(self.map):
            end = self.map[i + 1][0] if i + 1 < len(self.map) else None
            upto = beats if end is None else min(beats, end)
            frame += (upto - at) * 60 * RATE / bpm
            at = upto
            if end is None or beats <= end:
                return frame
        return frame

    def beats_at(self, frame):
        at, start_frame = Fraction(0), Fraction(0)
        for i, (start, bpm) in enumerate(self.map):
            end = self.map[i + 1][0] if i + 1 < len(self.map) else None
            end_frame = None if end is None else start_frame + (end - start) * 60 * RATE / bpm
            if end_frame is None or frame < end_frame:
                return start + (frame - start_frame) * bpm / (60 * RATE)
            start_frame = end_frame
        raise AssertionError

    def bpm_at(self, beats):
        return [bpm for start, bpm in self.map if start <= beats][-1]

    def timebase(self, state, blocksize, pos, new_pos):
        beats = self.beats_at(Fraction(pos.frame))
        whole = math.floor(beats)
        pos.valid = pos.valid | jack.POSITION_BBT
        pos.bar, pos.beat = whole // 4 + 1, whole % 4 + 1
        pos.tick = math.floor((beats - whole) * TICKS)
        pos.bar_start_tick = (whole // 4) * 4 * TICKS
        pos.beats_per_bar, pos.beat_type, pos.ticks_per_beat = 4, 4, TICKS
        pos.beats_per_minute = float(self.bpm_at(beats))

    def process(self, frames):
        state, pos = self.client.transport_query_struct()
        if state == jack.ROLLING:
            self.rolling.append((self.client.last_frame_time, pos.frame))

    def close(self):
        self.client.deactivate()
        self.client.close()


def step_frame(exact):
    """A step begins at the first frame no more than an eighth before it."""
    return math.ceil(exact - Fraction(1, 8))


class Following(unittest.TestCase):
    def follow(self, tempo_map, steps_per_beat, run_beats, *options):
        """Plays along the master's transport from frame 0 for `run_beats`
        beats, then stops it. Returns what the recorder got (frames made
        transport frames), the master, and the trace of as many steps."""
        master = Master(tempo_map or [(0, 120)], timebase=bool(tempo_map))
        recorder = base.Recorder()
        player = subprocess.Popen(
            [base.TARNWICK, "--play", "--sync", "jack", "--output", f"port:{recorder.port}",
             "--steps-per-beat", str(steps_per_beat), "--rand-seed", "5", *options],
            env=base.ENV, stderr=subprocess.PIPE, text=True)
        control = master.client
        said = []
        threading.Thread(target=lambda: said.extend(player.stderr), daemon=True).start()
        try:
            wait_for(lambda: recorder.port in base.jack("jack_lsp", "-c", "Tarnwick:out").stdout,
                     "our port to connect", 60)
            wait_for(lambda: said, "our transport client", 60)
            control.transport_locate(0)
            time.sleep(0.3)
            control.transport_start()
            end = master.frame_of(Fraction(run_beats))
            wait_for(lambda: control.transport_frame >= end, "the transport to roll", 60)
            control.transport_stop()
            time.sleep(0.5)
            player.send_signal(signal.SIGINT)
            player.wait(timeout=60)
            time.sleep(0.2)
            err = "".join(said)
        finally:
            if player.poll() is None:
                player.kill()
        frames, received = recorder.stop()
        master.close()
        last = master.rolling[-1]
        # The recorder counts frames from its own start: the set-up, at the start
        # of the run (transport frame 0), gives its frame there.
        offset = frames[0]
        self.assertIn("Following JACK transport", err)
        return [f - offset for f in frames], received, master, last[1], err

    def expected_steps(self, count, steps_per_beat, *options):
        """The trace's set-up, then the messages of each step (none for some)."""
        ticks = {}
        for line in base.tarnwick("--play", "--output", "trace", "--ticks", str(count),
                                  "--steps-per-beat", str(steps_per_beat), "--rand-seed", "5",
                                  *options).stdout.splitlines():
            tick, *message = line.split()
            ticks.setdefault(int(tick), []).append(" ".join(message))
        return ticks[0], [ticks.get(k, []) for k in range(1, count + 1)]

    def check(self, frames, received, frame_of_step, steps_per_beat, stopped_at, *options):
        set_up, steps = self.expected_steps(400, steps_per_beat, *options)
        self.assertEqual(received[:len(set_up)], set_up)
        self.assertEqual(set(frames[:len(set_up)]), {0})
        at, step, checked = len(set_up), 0, 0
        while step < len(steps) and frame_of_step(step) < stopped_at:
            for message in steps[step]:
                self.assertEqual((received[at], frames[at]), (message, frame_of_step(step)),
                                 f"step {step}")
                at += 1
            checked += 1
            step += 1
        # Stop's messages at the stop: nothing more of the steps prepared ahead.
        self.assertEqual(received[at:], ["B0 78 00", "B1 78 00", "B2 78 00"])
        self.assertTrue(all(f >= stopped_at for f in frames[at:]), frames[at:])
        return checked

    def test_steps_fall_on_the_masters_beats_through_a_change_of_tempo(self):
        for steps_per_beat in (8, 4):
            with self.subTest(steps_per_beat=steps_per_beat):
                frames, received, master, last, err = self.follow(
                    [(0, 120), (6, 150)], steps_per_beat, 10)
                self.assertIn("150.0 BPM, rolling", err)
                stopped_at = last + 256
                checked = self.check(
                    frames, received,
                    lambda step: step_frame(master.frame_of(Fraction(step, steps_per_beat))),
                    steps_per_beat, stopped_at)
                self.assertGreater(checked, 9 * steps_per_beat)

    def test_without_a_master_steps_follow_the_frames_at_the_ms_per_tempo(self):
        with tempfile.TemporaryDirectory() as folder:
            piece = os.path.join(folder, "quick.tarn")
            base.tarnwick("--save-settings", piece, "--rand-seed", "5")
            base.tarn_file.update(piece, stepMs=125)  # 4 steps a beat: 120 BPM
            frames, received, _, last, err = self.follow(None, 4, 6, "--settings", piece)
            self.assertIn("120.0 BPM, rolling", err)
            self.check(frames, received, lambda step: math.ceil(Fraction(step * 125 * RATE, 1000)),
                       4, last + 256, "--settings", piece)

    def test_a_relocation_carries_on_at_the_step_of_the_new_position(self):
        master = Master([(0, 120)])
        recorder = base.Recorder()
        player = subprocess.Popen(
            [base.TARNWICK, "--play", "--sync", "jack", "--output", f"port:{recorder.port}",
             "--rand-seed", "5"], env=base.ENV, stderr=subprocess.DEVNULL)
        far = master.frame_of(Fraction(130))  # step 1040: the score's step 16
        try:
            wait_for(lambda: recorder.port in base.jack("jack_lsp", "-c", "Tarnwick:out").stdout,
                     "our port to connect", 60)
            time.sleep(1)
            master.client.transport_locate(0)
            time.sleep(0.3)
            master.client.transport_start()
            wait_for(lambda: master.client.transport_frame > 30000, "the transport to roll")
            master.client.transport_locate(int(far))
            wait_for(lambda: master.client.transport_frame > far + 40000, "the jump")
            master.client.transport_stop()
            time.sleep(0.5)
        finally:
            player.send_signal(signal.SIGINT)
            player.wait(timeout=60)
            master.close()
        frames, received = recorder.stop()
        _, steps = self.expected_steps(60, 8)
        # The recorder's frame of each rolling cycle, from the set-up's at frame 0.
        offset = frames[0] - master.rolling[0][0]
        jump = next(a for a, t in master.rolling if t == far) + offset
        # From the jump on, the voices strike what the score's steps 16, 17, ...
        # hold (the velocities drawn go on), each at its step's frame.
        notes = [(f - jump, m[:5]) for f, m in zip(frames, received)
                 if f >= jump and m[:2] in ("90", "91", "92")]
        expected = [(step_frame(master.frame_of(Fraction(1024 + k, 8)) - far), m[:5])
                    for k in range(16, 60) for m in steps[k] if m[:2] in ("90", "91", "92")]
        self.assertGreater(len(notes), 20)
        self.assertEqual(notes, expected[:len(notes)])

    def test_a_server_that_stops_stops_the_performance_and_says_so(self):
        server = JackServer(f"tarnwick-tempo-gone-{os.getpid()}")
        server.start()
        try:
            player = subprocess.Popen(
                [base.TARNWICK, "--play", "--sync", "jack", "--output", "trace", "--seconds", "20"],
                env=server.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            said = []
            threading.Thread(target=lambda: said.extend(player.stderr), daemon=True).start()
            wait_for(lambda: said, "our transport client", 60)
            # From another process: no client of this one may outlive its server.
            subprocess.run([sys.executable, "-c", "import jack; jack.Client('control', "
                            "no_start_server=True).transport_start()"], env=server.env, check=True)
            wait_for(lambda: any("rolling" in line for line in said), "the transport to roll")
            time.sleep(0.5)
        finally:
            server.stop()
        wait_for(lambda: any("JACK server has stopped" in line for line in said), "the news", 20)
        player.send_signal(signal.SIGINT)
        out = player.communicate(timeout=60)[0].splitlines()
        self.assertEqual([line.split(" ", 1)[1] for line in out[-3:]],
                         ["B0 78 00", "B1 78 00", "B2 78 00"])
        self.assertIn("Stopped: the JACK server has stopped", "".join(said))

    def test_as_timebase_master_tarnwick_gives_its_tempo_and_the_position_of_its_frames(self):
        with tempfile.TemporaryDirectory() as folder:
            piece = os.path.join(folder, "piece.tarn")
            base.tarnwick("--save-settings", piece, "--rand-seed", "3")
            base.tarn_file.update(piece, stepMs=125)  # 1/16 steps of 125 ms: 120 BPM
            player = subprocess.Popen(
                [base.TARNWICK, "--play", "--jack-timebase", "--steps-per-beat", "4", "--settings",
                 piece, "--output", "none", "--seconds", "30"], env=base.ENV,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            client = jack.Client("tempo-reader", no_start_server=True)
            try:
                def position():
                    return client.transport_query()[1]
                wait_for(lambda: "beats_per_minute" in position(), "Tarnwick's timebase", 60)
                client.transport_frame = 0
                client.transport_start()
                wait_for(lambda: position()["frame"] > RATE, "the transport to roll")
                client.transport_stop()
                time.sleep(0.3)
                at = position()
            finally:
                client.close()
                player.send_signal(signal.SIGINT)
                player.wait(timeout=60)
        self.assertAlmostEqual(at["beats_per_minute"], 120.0)
        self.assertEqual((at["beats_per_bar"], at["ticks_per_beat"]), (4, 1920))
        beats = (at["bar"] - 1) * 4 + at["beat"] - 1 + at["tick"] / 1920
        self.assertAlmostEqual(beats, at["frame"] * 2 / RATE, delta=1 / 1920)

    def test_the_window_follows_the_transport_it_remembers(self):
        master = Master([(0, 120)], timebase=False)
        recorder = base.Recorder()
        with tempfile.TemporaryDirectory() as config:
            os.makedirs(os.path.join(config, "tarnwick"))
            with open(os.path.join(config, "tarnwick", "tarnwick.conf"), "w") as conf:
                conf.write(f"[output]\nname=port:{recorder.port}\n[tempo]\nsource=jack\n")
            window = subprocess.Popen([base.TARNWICK], env=dict(
                base.ENV, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config))
            try:
                wait_for(lambda: recorder.port in base.jack("jack_lsp", "-c", "Tarnwick:out").stdout,
                         "the window's port to connect", 60)
                time.sleep(1)  # its transport client too
                master.client.transport_start()
                time.sleep(1.5)
                master.client.transport_stop()
                time.sleep(0.5)
                window.send_signal(signal.SIGTERM)
                self.assertEqual(window.wait(timeout=30), 0)
            finally:
                if window.poll() is None:
                    window.kill()
                master.close()
                received = recorder.stop()[1]
        self.assertIn("90", " ".join(m[:2] for m in received))  # notes while rolling
        self.assertEqual(received[-3:], ["B0 78 00", "B1 78 00", "B2 78 00"])


def main():
    if jack is None:
        print("SKIPPED: python3-jack-client is not installed")
        return 77
    base.TARNWICK = sys.argv.pop(1)
    return base.run_on_private_jack("tempo")


if __name__ == "__main__":
    sys.exit(main())
