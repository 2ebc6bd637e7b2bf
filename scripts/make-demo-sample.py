#!/usr/bin/env python3
"""Synthesises samples/demo.wav: three seconds of a small stereo arrangement
(plucked bass, an electric-piano chord progression, a hi-hat pattern, a
little room delay), 16-bit 44.1 kHz with triangular dither. Deterministic."""
import math
import random
import struct
import sys

RATE = 44100
SECONDS = 3.0
FRAMES = int(RATE * SECONDS)
random.seed(7)

left = [0.0] * FRAMES
right = [0.0] * FRAMES


def add_note(start, duration, freq, amp, pan, harmonics, decay):
    first = int(start * RATE)
    count = min(int(duration * RATE), FRAMES - first)
    for i in range(count):
        t = i / RATE
        env = min(1.0, t * 200.0) * math.exp(-t * decay)
        v = 0.0
        for h, (ratio, weight) in enumerate(harmonics):
            v += weight * math.sin(2 * math.pi * freq * ratio * t + h)
        v *= amp * env
        left[first + i] += v * (1.0 - pan)
        right[first + i] += v * pan


piano = [(1, 1.0), (2, 0.45), (3, 0.2), (4, 0.1), (6, 0.04)]
bass = [(1, 1.0), (2, 0.3), (3, 0.12)]
chords = [(220.0, 277.18, 329.63), (196.0, 246.94, 293.66), (174.61, 220.0, 261.63), (196.0, 246.94, 311.13)]
beat = 0.375
for bar, chord in enumerate(chords):
    t0 = bar * 4 * beat * 0.5
    for k, f in enumerate(chord):
        add_note(t0 + 0.01 * k, 1.2, f, 2600, 0.35 + 0.15 * k, piano, 2.5)
    for step in range(4):
        add_note(t0 + step * beat * 0.5, 0.3, chord[0] / 2, 5200, 0.5, bass, 6.0)

for step in range(int(SECONDS / (beat / 2))):
    first = int(step * beat / 2 * RATE)
    for i in range(min(2500, FRAMES - first)):
        noise = (random.random() - 0.5) * 2400 * math.exp(-i / 300.0)
        left[first + i] += noise * 0.6
        right[first + i] += noise * 0.4

delay = int(0.083 * RATE)
for i in range(delay, FRAMES):
    left[i] += 0.25 * right[i - delay]
    right[i] += 0.25 * left[i - delay]

data = bytearray()
for l, r in zip(left, right):
    for v in (l, r):
        v = 3.0 * v + random.random() - random.random()
        data += struct.pack("<h", max(-32768, min(32767, int(round(v)))))

header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 2, RATE, RATE * 4, 4, 16)
header += b"data" + struct.pack("<I", len(data))
with open(sys.argv[1] if len(sys.argv) > 1 else "samples/demo.wav", "wb") as out:
    out.write(header + data)
