#!/usr/bin/python3
"""How close to the step grid the notes sent to a JACK MIDI port fall, as a
receiving JACK client timestamps them: a dummy JACK server of our own (48 kHz,
periods of 256 frames, real-time priority where allowed) and our
jack_midi_recorder as the receiver, which gives each message's frame and that
frame's time on JACK's clock. The piece strikes a note on every step; each
step's first note-on is compared with the ideal grid (first note plus k
steps), the constant latency taken off.

Both are reported: by time, what a listener hears, and by frame, what a
frame-stamping client such as jack_midi_dump -a prints. They differ only when
the dummy driver wakes up late, which on a busy machine it does: it then
drops the frames it missed, and every later frame stamp falls behind the
clock (how far the frames slipped against JACK's clock is printed).

Usage: jack_port_timing.py TARNWICK [--recorder PATH] [--step-ms MS ...]
                           [--seconds S] [--realtime]

--realtime runs Tarnwick at real-time priority (chrt), shielding its step
timer from the rest of a busy machine, so that what is measured is the way
to the port rather than the machine's load.

Prints, per step length, the deviations in milliseconds: median, 99th
percentile and maximum, and the drift (mean deviation of the last 20 notes
less that of the first 20). Exits 77 where no JACK server can start."""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import tarn_file  # noqa: E402

RATE = 48000
PERIOD = 256


def write_piece(path, step_ms):
    """Every voice on C with a seed of 0: a note-on on every step."""
    tarn_file.write(path, seedCount=1, scaleIndex=1, lowOctave=[1] * 3, highOctave=[10] * 3,
                    voiceOffset=[12] * 3, volume=[90] * 3, beatLength=8, stepMs=step_ms,
                    drumVolume=90)  # the major scale, no drums


def onsets(lines, step_ms):
    """Each step's first note-on, as (frame, JACK time in ms)."""
    notes = [(int(m.group(1)), float(m.group(2)) / 1000)
             for m in re.finditer(r"^(\d+) ([\d.]+) 9[0-8] [0-9A-F]{2} (?!00)", lines, re.M)]
    firsts = []
    for frame, ms in notes:
        if not firsts or ms - firsts[-1][1] > step_ms / 2:
            firsts.append((frame, ms))
    return firsts


def figures(times, step):
    """Deviations from the grid (in the unit of `times`, as ms): median,
    99th percentile, maximum, and the drift over the run."""
    offsets = [t - times[0] - round((t - times[0]) / step) * step for t in times]
    latency = sorted(offsets)[len(offsets) // 2]
    deviations = sorted(abs(o - latency) for o in offsets)
    edge = min(20, len(offsets))
    drift = (sum(offsets[-edge:]) - sum(offsets[:edge])) / edge
    return (deviations[len(deviations) // 2], deviations[int(0.99 * (len(deviations) - 1))],
            deviations[-1], drift)


def measure(tarnwick, recorder, step_ms, seconds, env, folder, realtime):
    piece = os.path.join(folder, f"step{step_ms}.tarn")
    write_piece(piece, step_ms)
    # Into a file: a full pipe would hold the receiver up, and it would lose
    # messages.
    received = os.path.join(folder, f"step{step_ms}.txt")
    with open(received, "w") as log:
        dump = subprocess.Popen([recorder, "-t", "listener"], env=env, stdout=log,
                                stderr=subprocess.DEVNULL)
        time.sleep(1)
        priority = ["chrt", "-r", "10"] if realtime else []
        played = subprocess.run([*priority, tarnwick, "--play", "--output",
                                 "port:listener:in", "--settings", piece, "--seconds",
                                 str(seconds)],
                                env=env, capture_output=True, text=True, timeout=seconds + 60)
        time.sleep(0.5)
        dump.send_signal(signal.SIGTERM)
        dump.wait(timeout=20)
    with open(received) as log:
        out = log.read()
    if played.stderr.strip():
        print(f"  it said: {played.stderr.strip()}")
    return onsets(out, step_ms)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarnwick")
    parser.add_argument("--recorder", help="jack_midi_recorder (default: beside TARNWICK's build)")
    parser.add_argument("--step-ms", type=int, nargs="+", default=[50, 175])
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--realtime", action="store_true")
    args = parser.parse_args()
    recorder = args.recorder or os.path.join(os.path.dirname(os.path.abspath(args.tarnwick)),
                                             "..", "bench", "jack_midi_recorder")
    if shutil.which("jackd") is None:
        print("SKIPPED: jackd is not installed (package jackd2)")
        return 77
    name = f"tarnwick-bench-{os.getpid()}"
    env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_START_SERVER="1",
               JACK_NO_AUDIO_RESERVATION="1", PULSE_SERVER="unix:/nonexistent")
    server = subprocess.Popen(["jackd", "-n", name, "-d", "dummy", "-r", str(RATE), "-p",
                               str(PERIOD)], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while subprocess.run(["jack_lsp"], env=env, capture_output=True).returncode != 0:
            if server.poll() is not None or time.monotonic() > deadline:
                print("SKIPPED: jackd did not start")
                return 77
            time.sleep(0.05)
        with tempfile.TemporaryDirectory(prefix="tarnwick-jack-") as folder:
            for step_ms in args.step_ms:
                firsts = measure(args.tarnwick, recorder, step_ms, args.seconds, env, folder,
                                 args.realtime)
                if len(firsts) < 3:
                    print(f"{step_ms} ms steps: too few notes received ({len(firsts)})")
                    return 1
                frames = [f * 1000 / RATE for f, _ in firsts]
                times = [ms for _, ms in firsts]
                slip = max(abs((frames[k] - frames[0]) - (times[k] - times[0]))
                           for k in range(len(firsts)))
                for view, values in (("by time", times), ("by frame", frames)):
                    median, p99, worst, drift = figures(values, step_ms)
                    print(f"{step_ms} ms steps, {len(firsts)} notes, {view}: median "
                          f"{median:.2f} ms, 99th pct. {p99:.2f} ms, max {worst:.2f} ms, "
                          f"drift {drift:+.2f} ms")
                print(f"  the dummy driver's frames slipped up to {slip:.2f} ms against its clock")
    finally:
        server.terminate()
        server.wait(timeout=20)
    return 0


if __name__ == "__main__":
    sys.exit(main())
