#!/usr/bin/python3
"""How closely two Tarnwick peers of one Ableton Link session play together:
both follow the session (--sync link) into their own bench/jack_midi_recorder
on one dummy JACK server (44.1 kHz, periods of 256 frames), in a private
network namespace with only loopback up; the test's Link peer sets the tempo
and starts and stops the session. Both play the same piece from the same
bar 1, so their note-ons pair up by step. For each note-on: the difference
between the two peers' frames, and its deviation, by JACK's clock, from the
step grid of the session's tempo (placed where the notes fall on median).

Usage: link_peers.py TARNWICK LINK_TEST_PEER [--recorder PATH] [--seconds S]
Exits 77 where no private network or JACK server can be had."""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ports"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "link"))
import jack_midi_test as base  # noqa: E402
import link_follow_test as link  # noqa: E402
from audio_servers import JackServer, Unavailable  # noqa: E402


def notes(path):
    """(frame, microseconds, step-unique message) of each note-on recorded."""
    with open(path) as log:
        rows = [line.split() for line in log]
    return [(int(r[0]), float(r[1]), " ".join(r[2:])) for r in rows
            if len(r) > 2 and r[2] in ("90", "91", "92")]


def measure(recorder, bpm, steps_per_beat, seconds, folder):
    logs = [os.path.join(folder, f"peer{i}.txt") for i in range(2)]
    recorders = [subprocess.Popen([recorder, "-t", f"rec{i}"], env=base.ENV,
                                  stdout=open(log, "w"), stderr=subprocess.DEVNULL)
                 for i, log in enumerate(logs)]
    time.sleep(1)
    players = [subprocess.Popen(
        [base.TARNWICK, "--play", "--sync", "link", "--output", f"port:rec{i}:in",
         "--steps-per-beat", str(steps_per_beat), "--rand-seed", "5"],
        env=base.ENV, stderr=subprocess.DEVNULL) for i in range(2)]
    peer = link.Peer()
    try:
        peer("peers 2")
        peer(f"tempo {bpm}")  # after meeting, so that this tempo holds
        time.sleep(1)
        peer("start")
        time.sleep(seconds)
        peer("stop")
        time.sleep(0.5)
    finally:
        for p in players:
            p.send_signal(signal.SIGINT)
            p.wait(timeout=60)
        peer.leave()
        for r in recorders:
            r.send_signal(signal.SIGTERM)
            r.wait(timeout=20)
    a, b = (notes(log) for log in logs)
    # Each note by its step (from the first note heard) and its message: its
    # frame, and its distance from the step grid by JACK's clock.
    origin, step_us = min(a[0][1], b[0][1]), 60e6 / bpm / steps_per_beat
    placed = [{(round((us - origin) / step_us), m): (f, us - origin - round((us - origin) / step_us)
                                                     * step_us) for f, us, m in peer_notes}
              for peer_notes in (a, b)]
    between = [abs(f - placed[1][key][0]) for key, (f, _) in placed[0].items() if key in placed[1]]
    # The grid's own offset (where the first bar line falls) taken off.
    residuals = [r for peer in placed for _, r in peer.values()]
    offset = statistics.median(residuals)
    return between, [abs(r - offset) / 1000 for r in residuals]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarnwick")
    parser.add_argument("peer")
    parser.add_argument("--recorder", help="jack_midi_recorder (default: beside TARNWICK's build)")
    parser.add_argument("--seconds", type=float, default=8)
    code = link.in_private_network([sys.argv[0], *sys.argv[1:]])
    if code is not None:
        return code
    args = parser.parse_args()
    recorder = args.recorder or os.path.join(os.path.dirname(os.path.abspath(args.tarnwick)),
                                             "..", "bench", "jack_midi_recorder")
    base.TARNWICK, link.PEER = args.tarnwick, args.peer
    try:
        server = JackServer(f"tarnwick-link-bench-{os.getpid()}")
        server.start()
    except Unavailable as reason:
        print(f"SKIPPED: {reason}")
        return 77
    base.ENV.update(server.env)
    print("                      between peers (frames)   from the grid (ms)")
    print("tempo  step  notes    median  max              median  max     over 1 ms")
    try:
        with tempfile.TemporaryDirectory() as folder:
            for bpm in (120, 150):
                for steps_per_beat, name in ((8, "1/32"), (4, "1/16")):
                    d, g = measure(recorder, bpm, steps_per_beat, args.seconds, folder)
                    print(f"{bpm:5}  {name:4}  {len(d):5}    {statistics.median(d):6}  {max(d):4}"
                          f"             {statistics.median(g):6.3f}  {max(g):6.3f}"
                          f"  {sum(1 for x in g if x > 1):5}")
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
