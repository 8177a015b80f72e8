#!/usr/bin/python3
"""The plugin in a real host: jalv on a private dummy JACK server whose
timebase master (the transport tests' own, precise to the frame) rolls,
stops, relocates and changes tempo, the plugin's output heard by
jack_midi_dump. Usage: jalv_test.py TARNWICK BUNDLE_FOLDER PLUGIN_URI.
Exits 77 (skipped) where no server starts or a tool is missing."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from fractions import Fraction

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "ports"))
import jack_midi_test as base  # noqa: E402
import jack_transport_test as transport  # noqa: E402
from audio_servers import RATE, wait_for  # noqa: E402

try:
    import mido
except ImportError:
    mido = None

BUNDLES = URI = None
VOICE_NOTES = ("80", "81", "82", "90", "91", "92")  # note-offs and note-ons, channels 0-2


def controls(piece):
    """jalv's -c options that set every control to the settings file's field."""
    options = []
    for name, count in base.tarn_file.FIELDS[:-1]:  # all but the reserved block
        values = base.tarn_file.read(piece)[name]
        for i, value in enumerate([values] if count == 1 else values):
            options += ["-c", f"{name}{'' if count == 1 else i + 1}={value}"]
    return options


class Host:
    """jalv running the plugin, its output connected to a recorder."""

    def __init__(self, *options):
        self.recorder = base.Recorder()
        env = dict(base.ENV, LV2_PATH=BUNDLES)
        if os.environ.get("TARNWICK_PRELOAD"):  # a sanitized plugin in a plain host
            env.update(LD_PRELOAD=os.environ["TARNWICK_PRELOAD"], ASAN_OPTIONS="detect_leaks=0")
        self.jalv = subprocess.Popen(["jalv", "-x", "-n", "tarnwick", *options, URI], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        try:
            wait_for(lambda: "tarnwick:midi_out" in base.jack("jack_lsp").stdout, "jalv's port",
                     60)
            wait_for(lambda: base.jack("jack_connect", "tarnwick:midi_out",
                                       self.recorder.port).returncode == 0, "the connection")
        except Exception:
            self.close()
            raise

    def close(self):
        """The (transport frame, message) of everything the recorder heard."""
        self.jalv.send_signal(signal.SIGINT)
        self.jalv.stdin.close()
        try:
            self.jalv.wait(timeout=30)
        finally:
            if self.jalv.poll() is None:
                self.jalv.kill()
        return self.recorder.stop()


def on_transport(frames, received, master, set_up):
    """The messages from the transport's first start on, with their transport
    frames, and those before it (the free run) with the recorder's. Until
    the transport first moves, jalv often says nothing of it and the plugin
    runs freely (where jalv's first report does arrive, the plugin waits,
    silent, and there is no free run); the transport's start stops that run,
    then plays Play's set-up at
    the start of the first rolling cycle, which ties the recorder's count of
    frames (from its own start) to the server's. A message outside a rolling
    cycle (a stop's) belongs to the cycle after the last one before it."""
    start = next(i for i in range(len(received))
                 if received[i:i + len(set_up)] == set_up
                 and (i == 0 or received[i - 1] == "B2 78 00"))
    starts = [a for a, _ in master.rolling]
    transport_frame = dict(master.rolling)
    offset = frames[start] - starts[0]
    out = []
    for frame, message in zip(frames[start:], received[start:]):
        at = frame - offset
        cycle = max(a for a in starts if a <= at)
        out.append((transport_frame[cycle] + at - cycle, message))
    return out, list(zip(frames[:start], received[:start]))


def exported_steps(piece, count):
    """The voice notes of each of the first `count` steps of --export-midi."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "canon.mid")
        done = base.tarnwick("--export-midi", path, "--settings", piece, "--rand-seed", "5")
        assert done.returncode == 0, done.stderr
        step_ms = base.tarn_file.read(piece)["stepMs"]
        steps, tick = [[] for _ in range(count)], 0
        for message in mido.MidiFile(path).tracks[0]:
            tick += message.time
            if message.type in ("note_on", "note_off") and message.channel < 3:
                kind = "9" if message.type == "note_on" and message.velocity else "8"
                if tick // step_ms < count:
                    steps[tick // step_ms].append(f"{kind}{message.channel} {message.note:02X}")
        return steps


def hanging(events):
    """Voice notes switched on and never off (All Sound Off not counted)."""
    on = set()
    for _, m in events:
        if m[:2] in ("90", "91", "92") and m[6:] != "00":
            on.add((m[1], m[3:5]))
        elif m[:1] in ("8", "9") and m[1] in "012":
            on.discard((m[1], m[3:5]))
    return on


class InTheHost(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.piece = os.path.join(self.folder, "piece.tarn")
        base.tarnwick("--save-settings", self.piece, "--rand-seed", "5")
        # Harmony on and nothing held: every line sends note-ons and note-offs.
        base.tarn_file.update(self.piece, harmonyOffset=7, hold=[0, 0, 0])

    def tearDown(self):
        shutil.rmtree(self.folder)

    def host(self):
        """jalv with the piece's settings, and Play's set-up for them."""
        set_up = base.trace("--ticks", "1", "--settings", self.piece, "--rand-seed", "5")[0]
        return Host(*controls(self.piece)), set_up

    def roll(self, master, until_beats):
        master.client.transport_locate(0)
        time.sleep(0.5)
        master.client.transport_start()
        end = master.frame_of(Fraction(until_beats))
        wait_for(lambda: master.client.transport_frame >= end, "the transport to roll", 60)
        master.client.transport_stop()
        time.sleep(0.5)

    def test_the_canon_plays_on_the_hosts_beats_through_a_change_of_tempo(self):
        master = transport.Master([(0, 120), (6, 150)])
        host, set_up = self.host()
        try:
            time.sleep(1.5)
            self.roll(master, 9)
        finally:
            frames, received = host.close()
            master.close()
        events, free = on_transport(frames, received, master, set_up)
        self.assertEqual(events[:len(set_up)], [(0, m) for m in set_up])
        # The free run's steps, if jalv let one happen: "ms per" apart, to the frame.
        ons = [f for f, m in free if m[:2] in ("90", "91", "92")]
        step = Fraction(175 * RATE, 1000)
        self.assertTrue(all(abs(f - ons[0] - round((f - ons[0]) / step) * step) <= 1 for f in ons))
        self.assertEqual(hanging(free), set())
        steps = exported_steps(self.piece, 64)
        expected = [(transport.step_frame(master.frame_of(Fraction(k, 8))), m)
                    for k in range(64) for m in steps[k]]
        end = transport.step_frame(master.frame_of(Fraction(64, 8)))
        notes = [(f, m[:5]) for f, m in events if m[:2] in VOICE_NOTES and f < end]
        self.assertGreater(len(expected), 60)
        # A line's first note-off names the last note of the free run, as after
        # any earlier Play; the export's names none (0). Once every line has
        # struck a note, the note-offs agree too.
        settled = transport.step_frame(master.frame_of(Fraction(16, 8)))
        self.assertEqual([n for n in notes if n[1][0] == "9" or n[0] >= settled],
                         [n for n in expected if n[1][0] == "9" or n[0] >= settled])
        # Stopped: each note still on gets its note-off, then Stop's messages.
        self.assertEqual([m for _, m in events[-3:]], ["B0 78 00", "B1 78 00", "B2 78 00"])
        self.assertEqual(hanging(events), set())

    def test_relocation_stop_and_start_again(self):
        master = transport.Master([(0, 120)])
        host, set_up = self.host()
        far = master.frame_of(Fraction(130))  # step 1040: the score's step 16
        control = master.client
        try:
            time.sleep(0.5)
            control.transport_locate(0)
            time.sleep(0.3)
            control.transport_start()
            wait_for(lambda: control.transport_frame > 30000, "the transport to roll")
            control.transport_locate(int(far))
            wait_for(lambda: control.transport_frame > far + 40000, "the jump")
            control.transport_stop()
            time.sleep(0.5)
            again = control.transport_frame
            control.transport_start()
            wait_for(lambda: control.transport_frame > again + 20000, "the second start")
            control.transport_stop()
            time.sleep(0.5)
        finally:
            frames, received = host.close()
            master.close()
        events, _ = on_transport(frames, received, master, set_up)
        steps = exported_steps(self.piece, 60)
        expected = [(transport.step_frame(master.frame_of(Fraction(1024 + k, 8))), m)
                    for k in range(16, 30) for m in steps[k] if m[:1] == "9"]
        after = [(f, m[:5]) for f, m in events
                 if far <= f < expected[-1][0] + 1 and m[:2] in ("90", "91", "92")]
        self.assertEqual(after, expected)
        # Before the jump's notes: a note-off for each note sounding there.
        at_jump = [m for f, m in events if f == far and m[:1] == "8"]
        self.assertGreater(len(at_jump), 0)
        # Stopped, then started again from where it stood with Play's set-up
        # (a set-up and a stop each end with B2 78 00), then stopped.
        stops = [i for i, (_, m) in enumerate(events) if m == "B2 78 00"]
        self.assertEqual(events[stops[-3]][0], events[stops[-2]][0])
        self.assertEqual(events[stops[-2] + 1][1], "C2 00 00")
        self.assertEqual(hanging(events), set())


def main():
    global BUNDLES, URI
    if mido is None or transport.jack is None or not shutil.which("jalv"):
        print("SKIPPED: needs python3-mido, python3-jack-client and jalv")
        return 77
    base.TARNWICK, BUNDLES, URI = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    del sys.argv[1:4]
    return base.run_on_private_jack("lv2")


if __name__ == "__main__":
    sys.exit(main())
