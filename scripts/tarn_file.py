"""Tarnwick's settings file (*.tarn) by field name: 78 little-endian 32-bit
signed integers (312 bytes), the version word 1 and then the fields of the
settings record in their order, each list element by element. A field with
several values (seed, the per-voice fields, drumKit, reserved) is a list.

    write(path, stepMs=50, volume=[90] * 3)  # every other field 0
    update(path, stepMs=600)                  # the other fields as they are
"""

import struct

FIELDS = (("seedCount", 1), ("seed", 8), ("scaleIndex", 1),
          ("instrument", 3), ("lowOctave", 3), ("highOctave", 3), ("voiceOffset", 3),
          ("volume", 3), ("hold", 3), ("modulation", 3), ("portamento", 3),
          ("beatLength", 1), ("stepMs", 1), ("drumVolume", 1), ("drumKit", 8),
          ("transpose", 1), ("repeatLength", 1), ("harmonyOffset", 1), ("reserved", 29))
VERSION = 1
FORMAT = "<78i"
SIZE = struct.calcsize(FORMAT)


def zeros():
    return {name: 0 if count == 1 else [0] * count for name, count in FIELDS}


def read(path):
    """The fields of a settings file, by name; the version word is skipped."""
    with open(path, "rb") as file:
        words = iter(struct.unpack(FORMAT, file.read(SIZE))[1:])
    return {name: next(words) if count == 1 else [next(words) for _ in range(count)]
            for name, count in FIELDS}


def write(path, start=None, **fields):
    """Writes `start` (all zeros if None) with `fields` put over it."""
    values = dict(zeros() if start is None else start)
    unknown = set(fields) - values.keys()
    if unknown:
        raise KeyError(f"no such settings field: {', '.join(sorted(unknown))}")
    values.update(fields)
    words = [VERSION]
    for name, count in FIELDS:
        value = [values[name]] if count == 1 else list(values[name])
        if len(value) != count:
            raise ValueError(f"{name} takes {count} values, not {len(value)}")
        words += value
    with open(path, "wb") as file:
        file.write(struct.pack(FORMAT, *words))


def update(path, **fields):
    """Puts `fields` over the settings file at `path`."""
    write(path, read(path), **fields)
