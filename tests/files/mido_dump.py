"""Prints what mido reads from a MIDI file, one line per item:

    header TYPE TICKS_PER_BEAT TRACKS
    tempo MICROSECONDS
    program CHANNEL PROGRAM
    control CHANNEL CONTROL VALUE
    note TIME_IN_TICKS STATUS NOTE VELOCITY     (note_on and note_off)
    end TIME_IN_TICKS

Used by the tests to check our files with a MIDI parser of its own.
"""
import sys

import mido


def main(path):
    midi = mido.MidiFile(path)
    print("header", midi.type, midi.ticks_per_beat, len(midi.tracks))
    ticks = 0
    for message in midi.tracks[0]:
        ticks += message.time
        if message.type == "set_tempo":
            print("tempo", message.tempo)
        elif message.type == "program_change":
            print("program", message.channel, message.program)
        elif message.type == "control_change":
            print("control", message.channel, message.control, message.value)
        elif message.type in ("note_on", "note_off"):
            status = (0x90 if message.type == "note_on" else 0x80) | message.channel
            print("note", ticks, status, message.note, message.velocity)
        elif message.type == "end_of_track":
            print("end", ticks)


if __name__ == "__main__":
    main(sys.argv[1])
