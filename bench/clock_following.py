#!/usr/bin/python3
"""How exactly the steps follow MIDI clock: a dummy JACK server of our own
(44.1 kHz, periods of 256 frames), the clock source of
tests/ports/clock_in_test.py sending Start and a steady tempo of pulses,
Tarnwick following it (--sync clock:PORT) into jack_midi_dump through our
JACK MIDI port. For each tempo and step length, the deviation in frames of
each step's first message from the frame of the pulse that begins the step.

Usage: clock_following.py TARNWICK [--beats N]
Prints one line per case: steps measured, median, maximum and the count of
steps off their pulse, and how many frames after the clock's Stop our Stop's
first message went out. Exits 77 where no JACK server can start."""

import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ports"))
import clock_in_test as clock_in  # noqa: E402
import jack_midi_test as base  # noqa: E402
from audio_servers import JackServer, Unavailable  # noqa: E402


def measure(case, bpm, steps_per_beat, beats):
    count = beats * 24
    beat = clock_in.pulses(0, count + 1, bpm)
    events = ([(0, [0xFA])] + [(f, [0xF8]) for f in beat[1:]] +
              [(beat[count] + 100, [0xFC])])
    heard, _ = case.play(events, beats * 60 / bpm + 1, steps_per_beat)
    pulses = [f for f, m in heard if m == "F8 00 00"]
    ours = [(f, m) for f, m in heard if m not in clock_in.CLOCK]
    set_up, steps = clock_in.following.Following.expected_steps(
        case, count * steps_per_beat // 24 + 1, steps_per_beat)
    at, deviations = len(set_up), []
    for step, messages in enumerate(steps[:-1]):
        got = [m for _, m in ours[at:at + len(messages)]]
        if got != messages:
            break
        if messages:
            deviations.append(abs(ours[at][0] - pulses[step * 24 // steps_per_beat]))
        at += len(messages)
    # How long after the clock's Stop our Stop's first message went out.
    stop_lag = next(f for f, m in ours if m == "B0 78 00" and f > beat[count]) - (beat[count] + 100)
    return deviations, stop_lag


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarnwick")
    parser.add_argument("--beats", type=int, default=16)
    args = parser.parse_args()
    if clock_in.jack is None:
        print("SKIPPED: python3-jack-client is not installed")
        return 77
    base.TARNWICK = args.tarnwick
    try:
        server = JackServer(f"tarnwick-clock-bench-{os.getpid()}", sync=True)
        server.start()
    except Unavailable as reason:
        print(f"SKIPPED: {reason}")
        return 77
    base.ENV.update(server.env)
    os.environ.update(server.env)
    try:
        case = clock_in.ClockIn("test_steps_land_on_their_pulses_from_start_to_stop")
        print("tempo  step  steps  median  max  off  stop after FC (frames)")
        for bpm in (120, 150):
            for steps_per_beat, name in ((8, "1/32"), (4, "1/16")):
                d, lag = measure(case, bpm, steps_per_beat, args.beats)
                print(f"{bpm:5}  {name:4}  {len(d):5}  {statistics.median(d):6}  {max(d):3}"
                      f"  {sum(1 for x in d if x):3}  {lag:5}", flush=True)
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
