"""The command line end to end: a settings file with the worked example's
settings (seed 2, -1; repeat 1; harmony offset 3; everything else at its start
value), exported by the built tarnwick binary and read back with mido, gives
the notes of the worked example's first 17 steps.

Run as: python3 worked_example_test.py PATH/TO/tarnwick
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import mido

TARNWICK = None
STEP_MS = 175

# Entry e of each line sounds at step e (voice 1), 2e (voice 2, harmony) or 4e
# (voice 3); 0 is a rest.
VOICE1 = [74, 75, 77, 75, 77, 0, 80, 80, 82, 0, 0, 82, 84, 0, 87, 87, 89]
VOICE2 = [62, 63, 62, 63, 67, 68, 62, 63, 0]
HARMONY = [65, 0, 65, 0, 70, 0, 65, 0, 74]
VOICE3 = [50, 50, 53, 50, 55]


def worked_example_file():
    words = [1, 2]                        # version, seedCount
    words += [2, -1, 0, 0, 0, 0, 0, 0]    # seed
    words += [0]                          # scale "Minor"
    words += [0, 0, 0]                    # instruments
    words += [1, 1, 1, 10, 10, 10]        # octave ranges
    words += [24, 12, 0]                  # voice offsets
    words += [90, 90, 90]                 # volumes
    words += [0, 1, 0, 0, 0, 0, 0, 0, 0]  # hold, modulation, portamento
    words += [8, STEP_MS, 60]             # beat, ms per step, drum volume
    words += [0] * 8                      # drum kit: all "Silence"
    words += [0, 1, 3]                    # transpose, repeat, harmony offset
    words += [0] * 29                     # reserved
    return struct.pack("<78i", *words)


def run(*arguments):
    return subprocess.run([TARNWICK, *arguments], capture_output=True, text=True, check=False)


class WorkedExample(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.settings = os.path.join(self.folder.name, "example.tarn")
        with open(self.settings, "wb") as out:
            out.write(worked_example_file())

    def tearDown(self):
        self.folder.cleanup()

    def test_export_plays_the_worked_example(self):
        midi_path = os.path.join(self.folder.name, "example.mid")
        result = run("--export-midi", midi_path, "--settings", self.settings, "--rand-seed", "1")
        self.assertEqual(result.returncode, 0, result.stderr)

        midi = mido.MidiFile(midi_path)
        ticks = 0
        note_ons = {0: [], 1: [], 2: [], 9: []}
        note_offs = []
        for message in midi.tracks[0]:
            ticks += message.time
            if ticks > 16 * STEP_MS:
                break
            if message.type == "note_on":
                note_ons[message.channel].append((ticks // STEP_MS, message.note))
            elif message.type == "note_off":
                note_offs.append((ticks // STEP_MS, message.channel, message.note))

        def sounding(notes, steps_per_entry):
            return [(e * steps_per_entry, n) for e, n in enumerate(notes) if n != 0]

        self.assertEqual(note_ons[0], sounding(VOICE1, 1))
        # Voice 2 and the harmony share channel 1, voice 2 first within a step.
        self.assertEqual(note_ons[1], sorted(sounding(VOICE2, 2) + sounding(HARMONY, 2),
                                             key=lambda pair: pair[0]))
        self.assertEqual(note_ons[1][:2], [(0, 62), (0, 65)])
        self.assertEqual(note_ons[2], sounding(VOICE3, 4))
        self.assertEqual(note_ons[9], [], "every drum slot is silent")
        # Voices 1 and 3 end their previous note (0 at first); voice 2 holds.
        expected_offs = []
        for channel, notes, steps in ((0, VOICE1, 1), (2, VOICE3, 4)):
            previous = 0
            for step, note in sounding(notes, steps):
                expected_offs.append((step, channel, previous))
                previous = note
        self.assertEqual(sorted(note_offs), sorted(expected_offs))

    def test_print_score_shows_the_worked_example(self):
        result = run("--print-score", "--settings", self.settings)
        self.assertEqual(result.returncode, 0, result.stderr)
        score = json.loads(result.stdout)
        self.assertEqual(score["voice1"][:17], VOICE1)
        self.assertEqual(score["voice2"][:9], VOICE2)
        self.assertEqual(score["harmony"][:9], HARMONY)
        self.assertEqual(score["voice3"][:5], VOICE3)

    def test_saving_again_gives_the_same_file(self):
        saved = os.path.join(self.folder.name, "again.tarn")
        result = run("--save-settings", saved, "--settings", self.settings)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(saved, "rb") as again:
            self.assertEqual(again.read(), worked_example_file())


if __name__ == "__main__":
    TARNWICK = sys.argv.pop(1)
    unittest.main()
