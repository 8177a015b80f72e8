"""--export-midi --tracks, read by mido beside the one-track file of the same
piece: the tracks' names and instruments, the programs, and every event of
the one-track file, in its order, once the tracks are merged by time.
Usage: midi_tracks_test.py TARNWICK SETTINGS_FOLDER SCRIPTS_FOLDER"""
import os
import subprocess
import sys
import tempfile

import mido

TARNWICK, SETTINGS, SCRIPTS = sys.argv[1:4]
sys.path.insert(0, SCRIPTS)
import tarn_file  # noqa: E402


def export(settings, path, *extra):
    subprocess.run([TARNWICK, "--export-midi", path, "--settings", settings, "--rand-seed", "7",
                    *extra], check=True)
    return mido.MidiFile(path)


def absolute(track):
    tick = 0
    for message in track:
        tick += message.time
        yield tick, message


def timed_events(tracks):
    """Every message but the names and the end of track, merged by time with
    ties in track order, then the set-up (programs, controllers) ahead of the
    notes of the same tick, as the one-track file has it."""
    merged = sorted(((tick, n, i, m) for n, track in enumerate(tracks)
                     for i, (tick, m) in enumerate(absolute(track))
                     if m.type not in ("track_name", "instrument_name", "end_of_track")),
                    key=lambda e: (e[0], e[3].type not in ("program_change", "control_change")
                                   and not e[3].is_meta, e[1], e[2]))
    return [(tick, m.bytes() if not m.is_meta else (m.type, m.dict().get("tempo")))
            for tick, _, _, m in merged]


def check(name, settings, names, instruments, programs):
    with tempfile.TemporaryDirectory() as folder:
        one = export(settings, os.path.join(folder, "one.mid"))
        tracks = export(settings, os.path.join(folder, f"{name}.mid"), "--tracks")
    assert tracks.type == 1 and tracks.ticks_per_beat == one.ticks_per_beat, name
    assert [t.name for t in tracks.tracks] == [name] + names, (name, tracks.tracks)
    found = [[m.name for m in t if m.type == "instrument_name"] for t in tracks.tracks[1:]]
    assert found == [[i] for i in instruments], (name, found)
    # Each line's track starts with its program (the harmony's is voice 2's,
    # the drums have none), every message of a track is on the line's channel.
    for track, program in zip(tracks.tracks[1:], programs):
        channels = {m.channel for m in track if not m.is_meta}
        assert len(channels) <= 1, (name, track.name, channels)
        first = [m for m in track if not m.is_meta][:1]
        if program is not None:
            assert first[0].type == "program_change" and first[0].program == program, (name, first)
        else:
            assert not any(m.type == "program_change" for m in track), (name, track.name)
    assert timed_events(tracks.tracks) == timed_events(one.tracks), name
    return tracks


with tempfile.TemporaryDirectory() as scratch:
    # The start values: voice 2 held, no harmony, no drums sounding.
    check("start", os.path.join(SETTINGS, "start.tarn"),
          ["Voice 1", "Voice 2", "Voice 3", "Drums"], ["Piano 1"] * 3 + ["Percussion"],
          [0, 0, 0, None])
    # Lines 1 and 3 held, the harmony on, modulation, a drum every third step.
    check("held", os.path.join(SETTINGS, "held.tarn"),
          ["Voice 1", "Voice 2", "Harmony", "Voice 3", "Drums"],
          ["Piano 1"] * 4 + ["Percussion"], [0, 0, None, 0, None])
    # The worked-example seed, nothing held: voice 2's and the harmony's
    # note-offs interleave on channel 1, and each keeps its own in its track.
    example = os.path.join(scratch, "example.tarn")
    tarn_file.write(example, tarn_file.read(os.path.join(SETTINGS, "start.tarn")),
                    seedCount=5, seed=[3, -1, 4, -1, 5, 0, 0, 0], instrument=[40, 73, 200],
                    hold=[0, 0, 0], harmonyOffset=-5, beatLength=2,
                    drumKit=[10, 12, 0, 20, 30, 40, 50, 61])
    tracks = check("example", example, ["Voice 1", "Voice 2", "Harmony", "Voice 3", "Drums"],
                   ["Violin", "Flute", "Flute", "Gun Shot", "Percussion"],
                   [40, 73, None, 127, None])
    harmony = [m for m in tracks.tracks[3] if m.type == "note_off"]
    assert harmony and all(m.channel == 1 for m in harmony)
print("ok")
