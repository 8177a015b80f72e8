"""Prints what mido reads from a MIDI file, one line per item, times in ticks
from the start: header TYPE TICKS_PER_BEAT TRACKS, tempo US_PER_QUARTER,
meter NUM DENOM CLOCKS 32NDS, program CHANNEL PROGRAM, control CHANNEL CONTROL
VALUE, note TICKS STATUS NOTE VELOCITY (note_on and note_off), end TICKS."""
import sys

import mido

midi = mido.MidiFile(sys.argv[1])
print("header", midi.type, midi.ticks_per_beat, len(midi.tracks))
ticks = 0
for message in midi.tracks[0]:
    ticks += message.time
    if message.type == "set_tempo":
        print("tempo", message.tempo)
    elif message.type == "time_signature":
        print("meter", message.numerator, message.denominator, message.clocks_per_click,
              message.notated_32nd_notes_per_beat)
    elif message.type == "program_change":
        print("program", message.channel, message.program)
    elif message.type == "control_change":
        print("control", message.channel, message.control, message.value)
    elif message.type in ("note_on", "note_off"):
        status = (0x90 if message.type == "note_on" else 0x80) | message.channel
        print("note", ticks, status, message.note, message.velocity)
    elif message.type == "end_of_track":
        print("end", ticks)
    else:
        print("unexpected", message)
