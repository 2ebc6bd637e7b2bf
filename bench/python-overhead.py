#!/usr/bin/env python3
"""Times qola.read of a compressed file against the command line's restore of
the same file (median of several runs each, alternating, on the same
machine). Usage: PYTHONPATH=build/release/python bench/python-overhead.py
[FILE.wav] [QOLA_PROGRAM]"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

import qola

here = os.path.dirname(os.path.abspath(__file__))
source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    here, "../../shared/corpus/p01_music_midi-fluidr3_44k_st16_keep-on-rolling.wav")
program = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "../build/release/cli/qola")
runs = int(os.environ.get("RUNS", "15"))

with tempfile.TemporaryDirectory() as work:
    packed = os.path.join(work, "in.qla")
    restored = os.path.join(work, "out.wav")
    qola.compress_file(source, packed)
    read_times, cli_times = [], []
    for _ in range(runs):
        started = time.perf_counter()
        data, rate = qola.read(packed)
        read_times.append(time.perf_counter() - started)
        del data
        started = time.perf_counter()
        subprocess.run([program, "-d", "-f", "-q", "-o", restored, packed], check=True)
        cli_times.append(time.perf_counter() - started)
    for name, pick in (("median", statistics.median), ("fastest", min)):
        read_time, cli_time = pick(read_times), pick(cli_times)
        print(f"{os.path.basename(source)} ({name} of {runs}): qola.read {read_time * 1000:.1f} ms, "
              f"qola -d {cli_time * 1000:.1f} ms, read/restore {read_time / cli_time:.3f}")
