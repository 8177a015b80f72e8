#!/usr/bin/python3
"""How exactly the steps follow a JACK transport: a dummy JACK server of our
own (44.1 kHz, periods of 256 frames), the timebase master of
tests/ports/jack_transport_test.py at a steady tempo, Tarnwick following it
(--sync jack) into jack_midi_dump through our JACK MIDI port. For each tempo
and step length, the deviation in frames of each step's first message from
the frame where the master's position reaches the step.

Usage: tempo_following.py TARNWICK [--beats N]
Prints one line per case: steps measured, median, maximum and the count of
steps off their frame. Exits 77 where no JACK server can start."""

import argparse
import os
import statistics
import sys
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ports"))
import jack_midi_test as base  # noqa: E402
import jack_transport_test as following  # noqa: E402
from audio_servers import JackServer, Unavailable  # noqa: E402


def measure(case, bpm, steps_per_beat, beats):
    frames, received, master, _, _ = case.follow([(0, bpm)], steps_per_beat, beats)
    set_up, steps = case.expected_steps(int(beats * steps_per_beat) + 8, steps_per_beat)
    at, deviations = len(set_up), []
    for step, messages in enumerate(steps):
        if at + len(messages) > len(received) or received[at:at + len(messages)] != messages:
            break
        if messages:
            exact = following.step_frame(master.frame_of(Fraction(step, steps_per_beat)))
            deviations.append(abs(frames[at] - exact))
        at += len(messages)
    return deviations


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarnwick")
    parser.add_argument("--beats", type=int, default=16)
    args = parser.parse_args()
    if following.jack is None:
        print("SKIPPED: python3-jack-client is not installed")
        return 77
    base.TARNWICK = args.tarnwick
    try:
        server = JackServer(f"tarnwick-tempo-bench-{os.getpid()}", sync=True)
        server.start()
    except Unavailable as reason:
        print(f"SKIPPED: {reason}")
        return 77
    base.ENV.update(server.env)
    os.environ.update(server.env)
    try:
        case = following.Following("test_without_a_master_steps_follow_the_frames_at_the_ms_per_tempo")
        print("tempo  step  steps  median  max  off")
        for bpm in (120, 150):
            for steps_per_beat, name in ((8, "1/32"), (4, "1/16")):
                d = measure(case, bpm, steps_per_beat, args.beats)
                print(f"{bpm:5}  {name:4}  {len(d):5}  {statistics.median(d):6}  {max(d):3}"
                      f"  {sum(1 for x in d if x):3}")
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
