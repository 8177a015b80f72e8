"""The command line end to end: a settings file with the worked example's
settings (seed 2, -1; repeat 1; harmony offset 3; everything else at its start
value), exported by the built tarnwick binary and read back with mido, gives
the notes of the worked example's first 17 steps.

Run as: python3 worked_example_test.py PATH/TO/tarnwick
"""
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

SETTINGS = struct.pack(
    "<78i",
    1, 2,                         # version, seedCount
    2, -1, 0, 0, 0, 0, 0, 0,      # seed
    0,                            # scale "Minor"
    0, 0, 0,                      # instruments
    1, 1, 1, 10, 10, 10,          # octave ranges
    24, 12, 0,                    # voice offsets
    90, 90, 90,                   # volumes
    0, 1, 0, 0, 0, 0, 0, 0, 0,    # hold, modulation, portamento
    8, STEP_MS, 60,               # beat, ms per step, drum volume
    *[0] * 8,                     # drum kit: all "Silence"
    0, 1, 3,                      # transpose, repeat, harmony offset
    *[0] * 29)                    # reserved


def sounding(notes, steps_per_entry):
    return [(e * steps_per_entry, n) for e, n in enumerate(notes) if n != 0]


class WorkedExample(unittest.TestCase):
    def test_export_plays_the_worked_example(self):
        with tempfile.TemporaryDirectory() as folder:
            settings, midi = os.path.join(folder, "example.tarn"), os.path.join(folder, "ex.mid")
            with open(settings, "wb") as out:
                out.write(SETTINGS)
            result = subprocess.run([TARNWICK, "--export-midi", midi, "--settings", settings,
                                     "--rand-seed", "1"], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stderr)
            note_ons = {0: [], 1: [], 2: [], 9: []}
            ticks = 0
            for message in mido.MidiFile(midi).tracks[0]:
                ticks += message.time
                if message.type == "note_on" and ticks <= 16 * STEP_MS:
                    note_ons[message.channel].append((ticks // STEP_MS, message.note))

        self.assertEqual(note_ons[0], sounding(VOICE1, 1))
        # Voice 2 and the harmony share channel 1, voice 2 first within a step.
        self.assertEqual(note_ons[1], sorted(sounding(VOICE2, 2) + sounding(HARMONY, 2),
                                             key=lambda pair: pair[0]))
        self.assertEqual(note_ons[2], sounding(VOICE3, 4))
        self.assertEqual(note_ons[9], [], "every drum slot is silent")


if __name__ == "__main__":
    TARNWICK = sys.argv.pop(1)
    unittest.main()
