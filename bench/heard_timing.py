#!/usr/bin/python3
"""How steady the beat sounds through a real audio server, measured as a
listener hears it. Starts a private server (PulseAudio or a PipeWire session
with a null sink, or JACK on its dummy driver), plays a piece with one
identical hit per step with `tarnwick --play`, records what the server plays
(parec from the sink's monitor, or jack_rec from tarnwick's port), finds the
onsets and fits a grid through them.

Usage: heard_timing.py TARNWICK [--server pulse|pipewire|jack] [--step-ms MS]
                       [--seconds S] [--piece woodblock|claves|clicks]
                       [--driver pipewire|pulseaudio] [--keep DIR]

The piece "clicks" is the control: a click track written sample by sample and
played with pacat through the same chain (PulseAudio and PipeWire only). On
PipeWire, --driver pulseaudio hides PipeWire's own socket from the program, so
that it plays through the PulseAudio protocol as PipeWire serves it.

Prints the heard step against the set step (ppm), the deviations from the
fitted grid (median, 99th percentile, max), the offsets from the set grid with
the constant latency taken off (range, drift, largest jump between two
onsets, the first onset) and the onsets found against the steps played.
Exits 77 when the server cannot run here."""

import argparse
import os
import subprocess
import sys
import tempfile
import threading
import time
import wave

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import tarn_file  # noqa: E402
from audio_servers import (RATE, JackServer, PipeWireServer, PulseServer,  # noqa: E402
                           Unavailable, make_realtime)

WOODBLOCK_PROGRAM = 115
CLAVES_DRUM = 49  # drum-table entry: percussion key 75
MAJOR_SCALE = 1


def write_settings(path, piece, step_ms):
    """A settings file whose piece strikes one identical sound per step: the
    seed 0 keeps every voice on its start pitch; voices whose start pitch is
    not in the major scale rest."""
    woodblock = piece == "woodblock"
    tarn_file.write(path, seedCount=1, scaleIndex=MAJOR_SCALE,
                    instrument=[WOODBLOCK_PROGRAM, 0, 0], lowOctave=[1] * 3, highOctave=[10] * 3,
                    voiceOffset=[12 if woodblock else 1, 1, 1],  # C (plays), C sharp (rests)
                    volume=[90] * 3, beatLength=8 if woodblock else 1, stepMs=step_ms,
                    drumVolume=90, drumKit=[0 if woodblock else CLAVES_DRUM] * 8)


def find_onsets(audio, step_s):
    """Onset times in seconds: where each hit first reaches half its own peak
    (interpolated between samples), so louder and softer hits of the same
    sound compare at the same point of their attack."""
    magnitude = np.abs(audio)
    blocks = magnitude[: len(magnitude) // 4096 * 4096].reshape(-1, 4096).max(axis=1)
    if len(blocks) == 0 or blocks.max() == 0:
        return np.array([])
    level = 0.25 * np.percentile(blocks[blocks > 0], 90)
    above = magnitude >= level
    rising = np.flatnonzero(above[1:] & ~above[:-1]) + 1
    # The first rise of each hit; its later swings fall within 0.6 of a step.
    starts, at = [], 0
    while (j := np.searchsorted(rising, at)) < len(rising):
        starts.append(rising[j])
        at = rising[j] + int(0.6 * step_s * RATE)
    onsets = []
    for start in starts:
        window = magnitude[max(start - 220, 0): start + 440]
        half = 0.5 * window.max()
        i = max(start - 220, 0) + int(np.argmax(window >= half))
        before, now = magnitude[i - 1], magnitude[i]
        onsets.append((i - 1 + (half - before) / (now - before)) / RATE)
    return np.array(onsets)


def analyse(onsets, step_s, seconds, sink_rate=None):
    rows = [("first onset", f"{onsets[0]:.3f} s into the recording")]
    if sink_rate:
        # The recording's frames came at sink_rate: onsets in steady-clock time.
        rows.append(("the sink's clock", f"{sink_rate:.2f} frames a second of the steady clock "
                                         f"({(sink_rate / RATE - 1) * 1e6:+.1f} ppm), which the "
                                         "figures below take off"))
        onsets = onsets * RATE / sink_rate
    # Each onset's step on the set grid from the first: one onset far off its
    # line (a tick the busy machine delayed) cannot renumber the others.
    k = np.round((onsets - onsets[0]) / step_s).astype(int)
    slope, intercept = np.polyfit(k, onsets, 1)
    fitted = np.abs(onsets - (intercept + slope * k)) * 1000
    offsets = (onsets - k * step_s) * 1000
    offsets -= np.median(offsets)
    edge = min(20, len(offsets))
    steps_played = int(seconds / step_s)
    return rows + [
        ("onsets found", f"{len(onsets)} of about {steps_played} steps, "
                         f"{int(np.sum(np.diff(k) != 1))} gaps or doubles"),
        ("heard step", f"{slope * 1000:.4f} ms ({(slope / step_s - 1) * 1e6:+.1f} ppm)"),
        ("around the fitted grid",
         f"median {np.median(fitted):.2f} ms, p99 {np.percentile(fitted, 99):.2f} ms, "
         f"max {fitted.max():.2f} ms"),
        ("offset from the set grid",
         f"{offsets.min():+.2f} to {offsets.max():+.2f} ms, drift "
         f"{offsets[-edge:].mean() - offsets[:edge].mean():+.2f} ms, largest jump "
         f"{np.abs(np.diff(offsets)).max():.2f} ms, first onset {offsets[0]:+.2f} ms"),
    ]


def play(tarnwick, settings, seconds, env):
    return subprocess.run([tarnwick, "--play", "--settings", settings, "--seconds",
                           str(seconds), "--rand-seed", "1"], env=env, capture_output=True,
                          text=True, timeout=seconds + 120)


def play_clicks(step_ms, seconds, directory, env):
    """The control: one full-scale sample every step, exact to the sample at
    44.1 kHz (whole frames: 50 and 175 ms steps are 2205 and 7717.5 frames,
    so the clicks alternate between the two neighbouring frames)."""
    clicks = np.zeros(int(seconds * RATE), dtype="<f4")
    clicks[np.round(np.arange(0, seconds * 1000, step_ms) * RATE / 1000).astype(int)] = 0.9
    path = os.path.join(directory, "clicks.raw")
    clicks.tofile(path)
    return subprocess.run(["chrt", "-r", "10", "pacat", "--playback", f"--device={PulseServer.SINK}", "--raw",
                           "--format=float32le", f"--rate={RATE}", "--channels=1",
                           "--latency-msec=50", path], env=env, capture_output=True, text=True,
                          timeout=seconds + 60)


class TimedRecording:
    """parec's output, kept with the steady-clock moment each piece arrived:
    the null sink's clock need not run at exactly 44.1 kHz of the steady
    clock, and these moments tell its true rate."""

    def __init__(self, server, latency_ms=20):
        self.process = subprocess.Popen(
            ["parec", f"--device={server.SINK}.monitor", "--format=float32le", f"--rate={RATE}",
             "--channels=1", "--raw", f"--latency-msec={latency_ms}"], env=server.env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        make_realtime(self.process.pid)
        self.pieces, self.arrivals = [], []
        self.thread = threading.Thread(target=self._pump)
        self.thread.start()

    def _pump(self):
        received = 0
        while piece := self.process.stdout.read1(1 << 16):
            received += len(piece)
            self.pieces.append(piece)
            self.arrivals.append((time.monotonic(), received // 4))

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.thread.join()
        return np.frombuffer(b"".join(self.pieces), dtype="<f4")

    def frames_per_second(self, start, end):
        """The sink's frames per second of the steady clock, between two
        moments: a line under the arrivals (a piece never comes early)."""
        points = np.array([(t, f) for t, f in self.arrivals if start <= t <= end])
        if len(points) < 10:
            return None
        slope, intercept = np.polyfit(points[:, 0], points[:, 1], 1)
        early = points[:, 1] - (intercept + slope * points[:, 0])
        lower = points[early >= np.percentile(early, 80)]
        return np.polyfit(lower[:, 0], lower[:, 1], 1)[0]


def through_pulse(tarnwick, settings, step_ms, seconds, directory, server_class=PulseServer,
                  env=None):
    # A PipeWire graph at the recording's rate: no resampler between the click
    # track or the program and the recording (pipewire-pulse paces a
    # resampled recording stream by its own reckoning).
    server = server_class(directory, rate=RATE) if server_class is PipeWireServer \
        else server_class(directory)
    server.start(realtime=True)
    recorder = None
    try:
        # pipewire-pulse drops what a recording stream of 20 ms has not
        # fetched in time; there the arrivals are not used (see below).
        recorder = TimedRecording(server, 200 if server_class is PipeWireServer else 20)
        # An idle null sink hands its monitor's audio out in blocks of up to
        # two seconds: play only once the recording has begun.
        deadline = time.monotonic() + 10
        while not recorder.arrivals or recorder.arrivals[-1][1] < RATE // 2:
            if time.monotonic() > deadline:
                raise Unavailable("the null sink's monitor delivered no audio within 10 s")
            time.sleep(0.05)
        started = time.monotonic()
        if settings is None:
            played = play_clicks(step_ms, seconds, directory, server.env)
        else:
            played = play(tarnwick, settings, seconds, dict(server.env, **(env or {})))
        ended = time.monotonic()
        time.sleep(2.5)  # an idle null sink hands its monitor audio out late
    finally:
        audio = recorder.stop() if recorder is not None else np.array([], dtype="<f4")
        server.stop()
    # PipeWire's null sink is timed by the steady clock itself, and its
    # monitor reaches parec in uneven bursts that would mislead the estimate.
    if server_class is not PipeWireServer:
        played.sink_rate = recorder.frames_per_second(started + 3, ended - 1)
    return played, audio


def through_jack(tarnwick, settings, step_ms, seconds, directory):
    server = JackServer(f"tarnwick-timing-{os.getpid()}")
    server.start()
    recording = os.path.join(directory, "heard.wav")
    player = recorder = None
    try:
        # JACK gives tarnwick's audio thread a real-time priority of its own.
        player = subprocess.Popen([tarnwick, "--play", "--settings", settings, "--seconds",
                                   str(seconds), "--rand-seed", "1"], env=server.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 30
        while not server.ports("tarnwick") and time.monotonic() < deadline:
            time.sleep(0.01)
        ports = server.ports("tarnwick")
        if ports:
            # Long enough for the font to load and the piece to play: jack_rec
            # closes its file properly only when it ends by itself.
            recorder = server.record(recording, ports[0], seconds + 4)
            make_realtime(recorder.pid)
        _, stderr = player.communicate(timeout=seconds + 120)
        played = subprocess.CompletedProcess(player.args, player.returncode, "", stderr)
        if recorder is not None:
            recorder.wait(timeout=30)
    finally:
        for process in (player, recorder):
            if process is not None and process.poll() is None:
                process.kill()
        server.stop()
    if recorder is None:
        return played, np.array([], dtype=np.float32)
    with wave.open(recording) as wav:
        frames = wav.readframes(wav.getnframes())
    return played, np.frombuffer(frames, dtype="<i4").astype(np.float64) / 2**31


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tarnwick")
    parser.add_argument("--server", choices=("pulse", "pipewire", "jack"), default="pulse")
    parser.add_argument("--driver", choices=("pipewire", "pulseaudio"), default="pipewire")
    parser.add_argument("--step-ms", type=int, default=175)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--piece", choices=("woodblock", "claves", "clicks"), default="woodblock")
    parser.add_argument("--keep", help="a folder to keep the recording and settings in")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="tarnwick-heard-") as directory:
        directory = args.keep or directory
        os.makedirs(directory, exist_ok=True)
        settings = None
        if args.piece != "clicks":
            settings = os.path.join(directory, "piece.tarn")
            write_settings(settings, args.piece, args.step_ms)
        run = {"pulse": through_pulse, "jack": through_jack,
               "pipewire": lambda *common: through_pulse(
                   *common, server_class=PipeWireServer,
                   env={"PIPEWIRE_REMOTE": "no-such-pipewire"} if args.driver == "pulseaudio"
                   else None)}[args.server]
        try:
            played, audio = run(args.tarnwick, settings, args.step_ms, args.seconds, directory)
        except Unavailable as reason:
            print(f"SKIPPED: {reason}")
            return 77
        if played.stderr.strip():
            print(f"it said: {played.stderr.strip()}")
        audio.astype("<f4").tofile(os.path.join(directory, "heard.raw"))
        # parec's first moments may hold a click of its own.
        skipped = RATE // 4 if args.server != "jack" else 0
        onsets = find_onsets(audio[skipped:], args.step_ms / 1000)
        through = args.server + (f" ({args.driver} driver)" if args.server == "pipewire" else "")
        print(f"{args.piece} through {through}, {args.step_ms} ms steps, "
              f"{args.seconds:g} s, {len(audio) / RATE:.1f} s recorded")
        if len(onsets) < 3:
            print("too few onsets found")
            return 1
        for name, value in analyse(onsets, args.step_ms / 1000, args.seconds,
                                   getattr(played, "sink_rate", None)):
            print(f"  {name}: {value}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
