"""Prints what mido reads from a MIDI file: the header (format, ticks per
quarter note, tracks), then each message of the first track as its tick
from the start and its bytes (a meta message as FF, type, length, data)."""
import sys

import mido

midi = mido.MidiFile(sys.argv[1])
print("header", midi.type, midi.ticks_per_beat, len(midi.tracks))
ticks = 0
for message in midi.tracks[0]:
    ticks += message.time
    print(ticks, *message.bytes())
