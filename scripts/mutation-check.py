#!/usr/bin/env python3
"""Restores damaged copies of a compressed file and counts what qola does.

Each mutant is the compressed file with a few bytes changed, a stretch cut
out, bytes inserted or its end cut off. qola must refuse it (exit 1, nothing
left under the output name) or restore it exactly; a restore that differs
from the original with status 0 is a silent loss, and with the trailer
present there must be none. A cut can take the trailer with it and leave a
file that reads as one written without it, with nothing stored to check
(--require-checksum refuses those): such wrong restores are counted apart.
A crash, a signal or a hang counts as a failure.

Usage: scripts/mutation-check.py QOLA WAV [COUNT] [SEED]
"""
import hashlib
import os
import random
import subprocess
import sys
import tempfile


def mutate(data: bytes, rng: random.Random) -> bytes:
    data = bytearray(data)
    kind = rng.randrange(5)
    if kind == 0:  # flip bits
        for _ in range(rng.randint(1, 4)):
            data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
    elif kind == 1:  # overwrite a byte
        data[rng.randrange(len(data))] = rng.randrange(256)
    elif kind == 2:  # cut a stretch out
        start = rng.randrange(len(data))
        del data[start:start + rng.randint(1, 64)]
    elif kind == 3:  # insert bytes
        start = rng.randrange(len(data))
        data[start:start] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 16)))
    else:  # cut the end off
        del data[rng.randrange(1, len(data)):]
    return bytes(data)


def main() -> int:
    qola, wav = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
    with tempfile.TemporaryDirectory() as folder:
        packed = os.path.join(folder, "x.qla")
        subprocess.run([qola, "-q", "-j", "1", "-o", packed, wav], check=True)
        original = hashlib.sha256(open(wav, "rb").read()).hexdigest()
        compressed = open(packed, "rb").read()
        counts = {"refused": 0, "exact": 0, "wrong": 0, "unchecked": 0, "failed": 0}
        mutant = os.path.join(folder, "m.qla")
        out = os.path.join(folder, "m.wav")
        for _ in range(count):
            damaged = mutate(compressed, rng)
            if damaged == compressed:
                continue
            open(mutant, "wb").write(damaged)
            try:
                run = subprocess.run([qola, "-d", "-q", "-f", "-o", out, mutant], capture_output=True, timeout=60)
                status = run.returncode
            except subprocess.TimeoutExpired:
                status = -1
            left = os.path.exists(out)
            if status == 0 and left:
                same = hashlib.sha256(open(out, "rb").read()).hexdigest() == original
                if same:
                    counts["exact"] += 1
                else:
                    checked = subprocess.run([qola, "-t", "-q", "--require-checksum", mutant], capture_output=True)
                    counts["wrong" if checked.returncode == 0 else "unchecked"] += 1
            elif status == 1 and not left:
                counts["refused"] += 1
            else:
                counts["failed"] += 1
                print(f"status {status}, output left: {left}: {run.stderr.decode(errors='replace')[:200]}")
            if left:
                os.remove(out)
        tried = sum(counts.values())
        print(f"mutants tried {tried}: refused {counts['refused']}, restored exactly {counts['exact']}, "
              f"restored wrongly {counts['wrong']}, restored wrongly with no checksum left {counts['unchecked']}, "
              f"crashed/hung/left a file {counts['failed']}")
        return 0 if counts["wrong"] == 0 and counts["failed"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
