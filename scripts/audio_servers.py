"""Private audio servers for measurements and tests: a PulseAudio server with a
null sink, recorded from the sink's monitor with parec, and a JACK server on
its dummy driver, recorded with jack_rec. Each lives in a folder or under a
name of its own, so it never meets another server on the machine, and is
stopped with everything it started."""

import os
import shutil
import subprocess
import time

RATE = 44100


class Unavailable(Exception):
    """The server cannot run here (a tool is missing, or it did not start)."""


def wait_for(condition, what, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise Unavailable(f"{what} within {seconds} s")
        time.sleep(0.05)


def _require(*tools, package):
    for tool in tools:
        if shutil.which(tool) is None:
            raise Unavailable(f"{tool} is not installed (package {package})")


def make_realtime(pid, priority=20):
    """Every thread of process `pid` at real-time priority, if allowed."""
    subprocess.run(["chrt", "-a", "-r", "-p", str(priority), str(pid)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _stop(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class PulseServer:
    """A PulseAudio server in `directory`: its socket, runtime folder and home.
    `env` is the environment in which clients reach it and no other."""

    SINK = "tarnwick_null"

    def __init__(self, directory):
        _require("pulseaudio", "pactl", "parec", package="pulseaudio, pulseaudio-utils")
        self.directory = directory
        self.socket = os.path.join(directory, "native")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=directory, HOME=directory,
                        PULSE_RUNTIME_PATH=directory, PULSE_SERVER=f"unix:{self.socket}")
        self.process = None

    def start(self, realtime=False):
        """Starts the server (again, after stop) and waits until it answers.
        realtime: every thread of it at real-time priority, shielded from
        other work on the machine (where the user may; else ignored)."""
        self.process = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
             "--use-pid-file=no",
             f"--load=module-null-sink sink_name={self.SINK}",
             f"--load=module-native-protocol-unix socket={self.socket} auth-anonymous=1"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def answers():
            if self.process.poll() is not None:
                raise Unavailable("pulseaudio exited at start (--log-target=stderr tells why)")
            return subprocess.run(["pactl", "info"], env=self.env,
                                  capture_output=True).returncode == 0

        wait_for(answers, "pulseaudio did not answer")
        if realtime:
            make_realtime(self.process.pid)

    def kill(self):
        """Ends the server at once, as a crash would."""
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stop(self):
        _stop(self.process)

    def record(self, path):
        """Records the null sink's monitor into `path` as raw stereo float32 at
        RATE; a silent stream keeps the sink rendering in small blocks, so that
        audio arrives as it is played. Returns the processes, to terminate."""
        stream = ("--format=float32le", f"--rate={RATE}", "--channels=2", "--latency-msec=20",
                  "--raw")
        quiet = subprocess.Popen(["pacat", "--playback", f"--device={self.SINK}", *stream,
                                  "/dev/zero"], env=self.env, stderr=subprocess.DEVNULL)
        with open(path, "wb") as raw:
            return [quiet, subprocess.Popen(["parec", f"--device={self.SINK}.monitor", *stream],
                                            env=self.env, stdout=raw, stderr=subprocess.DEVNULL)]


class JackServer:
    """A JACK server on its dummy driver (no sound card), under `name`.
    sync: the server waits for every client each cycle, so a client late on a
    busy machine delays the cycle instead of losing its messages."""

    def __init__(self, name, period=256, sync=False):
        _require("jackd", "jack_lsp", "jack_rec", package="jackd2")
        self.name = name
        self.period = period
        self.sync = sync
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_START_SERVER="1",
                        JACK_NO_AUDIO_RESERVATION="1", PULSE_SERVER="unix:/nonexistent")
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["jackd", "-n", self.name, "-R", "-P", "70", *(["--sync"] if self.sync else []),
             "-d", "dummy", "-r", str(RATE), "-p", str(self.period)],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def answers():
            if self.process.poll() is not None:
                raise Unavailable("jackd exited at start")
            return subprocess.run(["jack_lsp"], env=self.env,
                                  capture_output=True).returncode == 0

        wait_for(answers, "jackd did not answer")

    def stop(self):
        _stop(self.process)

    def ports(self, client):
        listed = subprocess.run(["jack_lsp"], env=self.env, capture_output=True, text=True)
        return [p for p in listed.stdout.split("\n") if p.lower().startswith(client.lower() + ":")]

    def record(self, path, port, seconds):
        """Records one port into the WAV file `path` for `seconds`."""
        return subprocess.Popen(["jack_rec", "-f", path, "-d", str(seconds), "-b", "32", port],
                                env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
