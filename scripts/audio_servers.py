"""Private audio servers for measurements and tests: a PulseAudio server with a
null sink, recorded from the sink's monitor with parec, a PipeWire session
with the same (PipeWire serves the PulseAudio protocol too), and a JACK server
on its dummy driver, recorded with jack_rec. Each lives in a folder or under a
name of its own, so it never meets another server on the machine, and is
stopped with everything it started."""

import os
import shutil
import signal
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


class PipeWireServer(PulseServer):
    """A PipeWire session in `directory` (its runtime folder, home, settings
    and state): pipewire, wireplumber and pipewire-pulse on a session bus of
    their own, with a null sink as the default output. `env` reaches it, by
    PipeWire's own protocol and by PulseAudio's, and no other server."""

    SESSION = """pipewire & echo $! > pipewire.pid
while [ ! -S pipewire-0 ]; do sleep 0.02; done
wireplumber & pipewire-pulse & echo $! > pipewire-pulse.pid
wait"""

    def __init__(self, directory, rate=None):
        """rate: the graph's rate (else PipeWire's default, 48 kHz)."""
        _require("pipewire", "wireplumber", "pipewire-pulse", package="pipewire-pulse, wireplumber")
        _require("dbus-run-session", package="dbus-daemon")
        _require("pactl", "parec", package="pulseaudio-utils")
        super().__init__(directory)
        self.socket = os.path.join(directory, "pulse", "native")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("PIPEWIRE_", "PULSE_", "DBUS_", "JACK_"))}
        self.env.update(XDG_RUNTIME_DIR=directory, HOME=directory,
                        XDG_CONFIG_HOME=os.path.join(directory, "config"),
                        XDG_STATE_HOME=os.path.join(directory, "state"),
                        PULSE_SERVER=f"unix:{self.socket}", JACK_NO_START_SERVER="1")
        # No Bluetooth in a private session: its monitor needs logind, and
        # where /run/systemd is missing (a chroot, a container) wireplumber
        # quits on it and no sink ever becomes the default.
        bluetooth = os.path.join(directory, "config", "wireplumber", "bluetooth.lua.d")
        os.makedirs(bluetooth, exist_ok=True)
        with open(os.path.join(bluetooth, "90-enable-all.lua"), "w") as off:
            off.write("-- Bluetooth stays off in this session\n")
        if rate:
            settings = os.path.join(directory, "config", "pipewire", "pipewire.conf.d")
            os.makedirs(settings, exist_ok=True)
            with open(os.path.join(settings, "rate.conf"), "w") as conf:
                conf.write(f"context.properties = {{ default.clock.rate = {rate} }}\n")

    def start(self, realtime=False):
        for stale in ("pipewire-0", "pipewire-0.lock", "pipewire.pid", "pipewire-pulse.pid"):
            if os.path.lexists(path := os.path.join(self.directory, stale)):
                os.remove(path)
        # A group of its own, so that kill() and stop() reach all of it.
        self.process = subprocess.Popen(["dbus-run-session", "--", "sh", "-c", self.SESSION],
                                        cwd=self.directory, env=self.env, start_new_session=True,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def answers():
            if self.process.poll() is not None:
                raise Unavailable("the PipeWire session ended at start")
            return subprocess.run(["pactl", "info"], env=self.env,
                                  capture_output=True).returncode == 0

        wait_for(answers, "pipewire-pulse did not answer")

        def pactl(*command):
            return subprocess.run(["pactl", *command], env=self.env,
                                  capture_output=True).returncode == 0

        try:
            if not pactl("load-module", "module-null-sink", f"sink_name={self.SINK}"):
                raise Unavailable("pactl load-module failed on PipeWire")
            # The sink appears a moment after the module loads.
            wait_for(lambda: pactl("set-default-sink", self.SINK), "the null sink did not appear")
        except Unavailable:
            self.stop()
            raise
        if realtime:
            for name in ("pipewire.pid", "pipewire-pulse.pid"):
                with open(os.path.join(self.directory, name)) as pid:
                    make_realtime(int(pid.read()))

    def server_name(self):
        info = subprocess.run(["pactl", "info"], env=self.env, capture_output=True, text=True)
        return next((line.split(":", 1)[1].strip() for line in info.stdout.splitlines()
                     if line.startswith("Server Name:")), "")

    def _signal_all(self, number, seconds=10):
        """Sends the signal to every process of the session and waits until
        none is left; True when none is."""
        if self.process is None:
            return True
        deadline = time.monotonic() + seconds
        try:
            os.killpg(self.process.pid, number)
            while time.monotonic() < deadline:
                self.process.poll()
                os.killpg(self.process.pid, 0)
                time.sleep(0.05)
        except ProcessLookupError:
            self.process.wait()
            return True
        return False

    def kill(self):
        self._signal_all(signal.SIGKILL)

    def stop(self):
        if not self._signal_all(signal.SIGTERM):
            self.kill()


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
