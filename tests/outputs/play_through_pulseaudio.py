#!/usr/bin/python3
"""`tarnwick --play --seconds 4` of a loud piece through a private PulseAudio
server with a null sink, recorded from the sink's monitor. Usage:
play_through_pulseaudio.py PATH/TO/tarnwick. Exits 0 when sound was recorded
and no sample went above -1 dBFS, 1 when not, and 77 (skipped) when no
PulseAudio server can be started here."""

import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

RATE = 44100
SINK = "tarnwick_test"


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(77)


def wait_for(condition, what):
    deadline = time.monotonic() + 10
    while not condition():
        if time.monotonic() > deadline:
            skip(f"{what} within 10 s")
        time.sleep(0.05)


def loud_settings(tarnwick, directory):
    """Held distortion guitars at full volume, the harmony line, a drum on
    every step: a piece that goes far above full scale unless limited."""
    path = os.path.join(directory, "loud.tarn")
    subprocess.run([tarnwick, "--save-settings", path, "--rand-seed", "7"], check=True)
    with open(path, "r+b") as settings:
        for offset, values in ((44, (30, 30, 30)), (92, (90, 90, 90)), (104, (1, 1, 1)),
                               (140, (1, 50, 90)), (152, (10, 13, 16, 19, 22, 25, 28, 31)),
                               (192, (7,))):
            settings.seek(offset)
            settings.write(struct.pack(f"<{len(values)}i", *values))
    return path


def main():
    tarnwick = sys.argv[1]
    for tool in ("pulseaudio", "pactl", "pacat", "parec"):
        if shutil.which(tool) is None:
            skip(f"{tool} is not installed (packages pulseaudio, pulseaudio-utils)")
    with tempfile.TemporaryDirectory(prefix="tarnwick-pulse-") as directory:
        socket = os.path.join(directory, "native")
        # A private server: its own runtime directory, home and socket.
        env = dict(os.environ, XDG_RUNTIME_DIR=directory, HOME=directory,
                   PULSE_SERVER=f"unix:{socket}")

        def run(*args, stdout=subprocess.DEVNULL):
            return subprocess.Popen(args, env=env, stdout=stdout, stderr=subprocess.DEVNULL)

        helpers = [run("pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                       "--disallow-exit", "--use-pid-file=no", "--disable-shm",
                       f"--load=module-null-sink sink_name={SINK}",
                       f"--load=module-native-protocol-unix socket={socket} auth-anonymous=1")]
        recording = os.path.join(directory, "monitor.raw")
        try:
            def answers():
                if helpers[0].poll() is not None:
                    skip("pulseaudio exited at start (--log-target=stderr tells why)")
                return subprocess.run(["pactl", "info"], env=env,
                                      capture_output=True).returncode == 0

            wait_for(answers, "pulseaudio did not answer")
            # A null sink with no stream renders in blocks of up to two
            # seconds; a silent stream keeps it rendering in small blocks, so
            # the monitor delivers audio as it is played.
            stream = ("--format=s16ne", f"--rate={RATE}", "--channels=2", "--latency-msec=20",
                      "--raw")
            helpers.append(run("pacat", "--playback", f"--device={SINK}", *stream, "/dev/zero"))
            with open(recording, "wb") as raw:
                helpers.append(run("parec", f"--device={SINK}.monitor", *stream, stdout=raw))
            wait_for(lambda: os.path.getsize(recording) >= 4 * RATE // 5,  # 0.2 s
                     "the null sink's monitor delivered no audio")
            # A machine busy with other work can starve the audio for a while:
            # a second try tells that from a program that plays nothing.
            settings = loud_settings(tarnwick, directory)
            for _ in range(2):
                measured = play_and_measure(tarnwick, env, recording, settings)
                if measured is None or measured[0] >= 3.0:
                    break
        finally:
            for process in reversed(helpers):
                process.terminate()
                process.wait(timeout=10)
        return 0 if measured is not None and measured[0] >= 3.0 and measured[1] else 1


def play_and_measure(tarnwick, env, recording, settings):
    """Plays for four seconds; the seconds recorded above -50 dBFS and whether
    the sound was clean (no sample above -1 dBFS) but not made quiet to get
    there, or None when tarnwick failed or said it played nothing."""
    start = os.path.getsize(recording)
    played = subprocess.run([tarnwick, "--play", "--seconds", "4", "--rand-seed", "7",
                             "--settings", settings],
                            env=env, capture_output=True, text=True, timeout=60)
    time.sleep(0.3)
    print(f"tarnwick exited with {played.returncode}; stderr: {played.stderr!r}")
    if played.returncode != 0 or "No sound" in played.stderr:
        return None
    with open(recording, "rb") as raw:
        raw.seek(start)
        data = raw.read()
    samples = memoryview(data[:len(data) // 2 * 2]).cast("h")  # 16-bit, native order
    # 50 ms windows above -50 dBFS: far above the null sink's digital
    # silence, far below music.
    window = 2 * RATE // 20
    levels = [math.sqrt(sum(s * s for s in samples[i:i + window]) / window)
              for i in range(0, len(samples) - window + 1, window)]
    sounding = [level for level in levels if level > 100]
    peak = max(max(samples), -min(samples)) / 32768
    rms = math.sqrt(sum(level * level for level in sounding) / max(len(sounding), 1)) / 32768
    print(f"recorded {len(samples) / 2 / RATE:.2f} s; {len(sounding) * 0.05:.2f} s above "
          f"-50 dBFS; peak {20 * math.log10(max(peak, 1e-9)):.2f} dBFS, "
          f"RMS {20 * math.log10(max(rms, 1e-9)):.2f} dBFS")
    return len(sounding) * 0.05, peak <= 10 ** (-1 / 20) and rms >= 10 ** (-16 / 20)

if __name__ == "__main__":
    sys.exit(main())
