"""Reads a Standard MIDI File with mido and prints what it holds, one line each:
   file TYPE TICKS_PER_BEAT TRACKS
   tempo MICROSECONDS_PER_QUARTER
   msg SECONDS HEX-BYTES      (absolute time in seconds, as mido computes it)"""
import sys

import mido

midi = mido.MidiFile(sys.argv[1])
print("file", midi.type, midi.ticks_per_beat, len(midi.tracks))
now = 0.0
for message in midi:
    now += message.time
    if message.is_meta:
        if message.type == "set_tempo":
            print("tempo", message.tempo)
        continue
    print("msg %.9f %s" % (now, " ".join("%02x" % b for b in message.bytes())))
