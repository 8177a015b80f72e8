#!/usr/bin/python3
"""End to end through a real audio server: starts a PulseAudio server of its
own with a null sink, records the sink's monitor with parec while
`tarnwick --play --seconds 2` plays, and looks for sound in the recording.

Usage: play_through_pulseaudio.py PATH/TO/tarnwick
Exits 0 when sound was recorded, 1 when not, and 77 (skipped) when no
PulseAudio server can be started here.
"""

import array
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
RATE = 44100
SINK = "tarnwick_test"


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def start_server(directory, env):
    """Starts pulseaudio with a null sink and a socket in `directory`."""
    socket = os.path.join(directory, "native")
    log_path = os.path.join(directory, "pulseaudio.log")
    with open(log_path, "wb") as log:
        server = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
             "--disallow-exit", "--use-pid-file=no", "--disable-shm",
             f"--load=module-null-sink sink_name={SINK}",
             f"--load=module-native-protocol-unix socket={socket} auth-anonymous=1",
             "--log-target=stderr"],
            env=env, stdout=subprocess.DEVNULL, stderr=log)
    env["PULSE_SERVER"] = f"unix:{socket}"
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if server.poll() is not None:
            with open(log_path, errors="replace") as log:
                skip(f"pulseaudio exited at start:\n{log.read()}")
        if subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return server
        time.sleep(0.1)
    server.terminate()
    server.wait(timeout=10)
    skip("pulseaudio did not answer within 10 s")


def rms_windows(samples, window):
    """Root mean square of each window of interleaved stereo 16-bit samples."""
    result = []
    for start in range(0, len(samples) - window + 1, window):
        chunk = samples[start:start + window]
        result.append(math.sqrt(sum(s * s for s in chunk) / window))
    return result


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tarnwick = sys.argv[1]
    for tool in ("pulseaudio", "pactl", "pacat", "parec"):
        if shutil.which(tool) is None:
            skip(f"{tool} is not installed (packages pulseaudio, pulseaudio-utils)")

    with tempfile.TemporaryDirectory(prefix="tarnwick-pulse-") as directory:
        env = dict(os.environ)
        # A private server: its own runtime directory, home and socket.
        env["XDG_RUNTIME_DIR"] = directory
        env["HOME"] = directory
        env.pop("PULSE_SERVER", None)
        server = start_server(directory, env)
        helpers = [server]  # every process started here, stopped at the end
        recording = os.path.join(directory, "monitor.raw")
        try:
            # A null sink with no stream renders in blocks of up to two
            # seconds; a silent stream keeps it rendering in small blocks, so
            # the monitor delivers audio as it is played.
            helpers.append(subprocess.Popen(
                ["pacat", "--playback", f"--device={SINK}", "--format=s16le",
                 f"--rate={RATE}", "--channels=2", "--latency-msec=20", "--raw",
                 "/dev/zero"],
                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            with open(recording, "wb") as raw:
                helpers.append(subprocess.Popen(
                    ["parec", f"--device={SINK}.monitor", "--format=s16le",
                     f"--rate={RATE}", "--channels=2", "--latency-msec=20", "--raw"],
                    env=env, stdout=raw, stderr=subprocess.DEVNULL))
            # The sink may finish a long idle block before it notices the
            # streams: wait until the monitor delivers audio steadily.
            deadline = time.monotonic() + 10
            while os.path.getsize(recording) < 4 * RATE // 5:  # 0.2 s
                if time.monotonic() > deadline:
                    skip("the null sink's monitor delivered no audio within 10 s")
                time.sleep(0.05)
            start = os.path.getsize(recording)
            played = subprocess.run(
                [tarnwick, "--play", "--seconds", "2", "--rand-seed", "7"],
                env=env, capture_output=True, text=True, timeout=60)
            time.sleep(0.3)
        finally:
            for process in reversed(helpers):
                process.terminate()
                process.wait(timeout=10)

        print(f"tarnwick exited with {played.returncode}; stderr: {played.stderr!r}")
        if played.returncode != 0:
            return 1
        if "No sound" in played.stderr:
            print("FAILED: tarnwick played without sound")
            return 1
        samples = array.array("h")
        with open(recording, "rb") as raw:
            raw.seek(start)
            samples.frombytes(raw.read())
        if sys.byteorder != "little":
            samples.byteswap()
        windows = rms_windows(samples, 2 * RATE // 20)  # 50 ms
        # -50 dBFS: far above the null sink's digital silence, far below music.
        loud = [w for w in windows if w > 100]
        print(f"recorded {len(samples) / 2 / RATE:.2f} s; "
              f"{len(loud) * 0.05:.2f} s above -50 dBFS; "
              f"loudest window {max(windows, default=0):.0f} of 32768")
        if len(loud) * 0.05 < 1.0:
            print("FAILED: less than one second of sound in the recording")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
