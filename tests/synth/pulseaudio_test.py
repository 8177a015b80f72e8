#!/usr/bin/python3
"""`tarnwick --play` through a private PulseAudio server, or with --pipewire a
PipeWire session: a loud piece sounds under -1 dBFS; the server killed and
restarted, it says so and sounds again, naming the server as it is
("pulseaudio", "PipeWire"). On PipeWire the virtual port is a MIDI port of
PipeWire's own, whose notes pw-mididump receives.
Usage: pulseaudio_test.py TARNWICK [--pipewire]. Exits 77 where no server starts."""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import tarn_file  # noqa: E402
from audio_servers import RATE, PipeWireServer, PulseServer, Unavailable  # noqa: E402

WINDOW = 2 * RATE // 20  # 50 ms of both channels


def measure(path, start=0):
    """From byte `start` on: seconds above -50 dBFS (in 50 ms windows), the
    peak and the RMS level of those seconds."""
    audio = np.fromfile(path, dtype="<f4", offset=start)
    windows = np.sqrt(np.mean(audio[:len(audio) // WINDOW * WINDOW].reshape(-1, WINDOW) ** 2, 1))
    sounding = windows[windows > 0.003]
    rms = np.sqrt(np.mean(sounding ** 2)) if len(sounding) else 0.0
    return len(sounding) * 0.05, np.max(np.abs(audio), initial=0), rms


def play(tarnwick, server, *arguments):
    return subprocess.Popen([tarnwick, "--play", "--rand-seed", "7", *arguments], env=server.env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def loud_piece_is_clean(tarnwick, server, folder):
    """Held distortion guitars at full volume, the harmony line and a drum on
    every step: far above full scale unless limited."""
    settings = os.path.join(folder, "loud.tarn")
    subprocess.run([tarnwick, "--save-settings", settings, "--rand-seed", "7"], check=True)
    tarn_file.update(settings, instrument=[30] * 3, volume=[90] * 3, hold=[1] * 3, beatLength=1,
                     stepMs=50, drumVolume=90, drumKit=list(range(10, 32, 3)), harmonyOffset=7)
    recording = os.path.join(folder, "loud.raw")
    helpers = server.record(recording)
    try:
        # A second try tells a starved, busy machine from a program that plays nothing.
        for _ in range(2):
            start = os.path.getsize(recording)
            stderr = play(tarnwick, server, "--seconds", "4", "--settings", settings).communicate(
                timeout=60)[1]
            time.sleep(0.3)
            seconds, peak, rms = measure(recording, start)
            print(f"{seconds:.2f} s above -50 dBFS, peak {peak:.4f}, RMS {rms:.4f}; {stderr!r}")
            if seconds >= 3.0 or "No sound" in stderr:
                break
    finally:
        for process in helpers:
            process.terminate()
            process.wait()
    return seconds >= 3.0 and peak <= 10 ** (-1 / 20) and rms >= 10 ** (-16 / 20)


def survives_a_server_restart(tarnwick, server, folder, name):
    before, after = (os.path.join(folder, name) for name in ("before.raw", "after.raw"))
    player, helpers = play(tarnwick, server, "--seconds", "12"), server.record(before)
    try:
        deadline = time.monotonic() + 30  # the font loads, then it plays
        while measure(before)[0] < 0.5 and time.monotonic() < deadline:
            time.sleep(0.2)
        server.kill()
        time.sleep(2)  # no server at all
        server.start()
        helpers += server.record(after)
        stderr = player.communicate(timeout=40)[1]
    finally:
        player.kill()
        for process in helpers:
            process.terminate()
            process.wait()
    heard = measure(after)[0]
    print(f"exit {player.returncode}; {heard:.2f} s heard after the restart; {stderr!r}")
    # Told by the server's end or, on a busy machine, first by the stalled audio.
    said = stderr.split("No sound: ", 1)
    return (player.returncode == 0 and len(said) == 2 and f"({name})" in said[1]
            and "Built-in synthesiser:" in said[1] and heard >= 1.0)


def list_outputs(tarnwick, server):
    """--list-outputs, and whether it says what is missing exactly when it
    lists no MIDI port at all (with no sequencer, PulseAudio alone offers none)."""
    listed = subprocess.run([tarnwick, "--list-outputs"], env=server.env, capture_output=True,
                            text=True, timeout=60)
    print(listed.stdout, listed.stderr)
    ports = any(line.startswith(("port:", "virtual ")) for line in listed.stdout.splitlines())
    note = ("tarnwick: no MIDI port can be listed (no ALSA sequencer, no JACK server is running, "
            "no PipeWire server is running): MIDI ports need a JACK or PipeWire server, or the "
            "ALSA sequencer (modprobe snd-seq)\n")
    return listed.stdout, listed.stderr == ("" if ports else note)


def names_pipewire_and_offers_its_midi_port(tarnwick, server):
    listed, _ = list_outputs(tarnwick, server)
    dump = subprocess.Popen(["pw-mididump"], env=server.env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    player = play(tarnwick, server, "--seconds", "4", "--output", "virtual")
    try:
        linked = False
        for _ in range(100):  # the port appears once the program has started
            if subprocess.run(["pw-link", "Tarnwick:Tarnwick", "midi-dump:input"], env=server.env,
                              capture_output=True).returncode == 0:
                linked = True
                break
            time.sleep(0.1)
        stderr = player.communicate(timeout=60)[1]
    finally:
        player.kill()
        time.sleep(0.5)
        dump.terminate()
    notes = sum("Note On" in line for line in dump.communicate()[0].splitlines())
    print(f"linked {linked}; {notes} notes dumped; {stderr!r}")
    virtual = next((line for line in listed.splitlines() if line.startswith("virtual")), "")
    return "through PipeWire" in listed and "PipeWire)" in virtual and linked and notes >= 4


def main():
    tarnwick = sys.argv[1]
    on_pipewire = sys.argv[2:] == ["--pipewire"]
    with tempfile.TemporaryDirectory(prefix="tarnwick-server-") as folder:
        try:
            # At the program's rate: a resampler's overshoot is not the program's.
            server = PipeWireServer(folder, rate=RATE) if on_pipewire else PulseServer(folder)
            server.start()
        except Unavailable as reason:
            print(f"SKIPPED: {reason}")
            return 77
        try:
            ok = loud_piece_is_clean(tarnwick, server, folder) and list_outputs(tarnwick, server)[1]
            if on_pipewire:
                ok = names_pipewire_and_offers_its_midi_port(tarnwick, server) and ok
            name = "PipeWire" if on_pipewire else "pulseaudio"
            return 0 if survives_a_server_restart(tarnwick, server, folder, name) and ok else 1
        finally:
            server.stop()


if __name__ == "__main__":
    sys.exit(main())
