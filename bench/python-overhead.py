#!/usr/bin/env python3
"""Times qola.read of a compressed file against the command line's restore of
the same file: wall and CPU time (all threads), median and fastest of several
runs each, alternating, on all cores and on one thread; then the first read
of a fresh interpreter (the array's pages new to the process).
Usage: PYTHONPATH=build/release/python bench/python-overhead.py [FILE.wav] [QOLA_PROGRAM]
RUNS sets the number of runs (15)."""

import os
import resource
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


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(action, cpu_clock):
    wall, cpu = time.perf_counter(), cpu_clock()
    action()
    return time.perf_counter() - wall, cpu_clock() - cpu


def compare(packed: str, restored: str, threads: int) -> None:
    reads, restores = [], []
    for _ in range(runs):
        reads.append(timed(lambda: qola.read(packed, threads=threads), time.process_time))
        restores.append(timed(lambda: subprocess.run([program, "-d", "-f", "-q", f"-j{threads}", "-o", restored,
                                                      packed], check=True), children_cpu))
    label = f"{threads} thread" + ("s" if threads != 1 else "") if threads else "all cores"
    for name, pick in (("median", statistics.median), ("fastest", min)):
        read_wall, read_cpu = (pick(run[i] for run in reads) for i in (0, 1))
        cli_wall, cli_cpu = (pick(run[i] for run in restores) for i in (0, 1))
        print(f"{label:9s} {name:7s} of {runs}: qola.read {read_wall * 1000:6.1f} ms (CPU {read_cpu * 1000:6.1f}), "
              f"qola -d {cli_wall * 1000:6.1f} ms (CPU {cli_cpu * 1000:6.1f}), "
              f"read/restore wall {read_wall / cli_wall:.3f} CPU {read_cpu / cli_cpu:.3f}")


def first_read(packed: str) -> None:
    """The read's time in a new interpreter, after the import."""
    script = ("import time, qola; t = time.perf_counter(); qola.read(%r); "
              "print(time.perf_counter() - t)" % packed)
    times = [float(subprocess.run([sys.executable, "-c", script], check=True, capture_output=True,
                                  text=True).stdout) for _ in range(max(3, runs // 3))]
    print(f"first read in a fresh interpreter: median {statistics.median(times) * 1000:.1f} ms, "
          f"fastest {min(times) * 1000:.1f} ms")


with tempfile.TemporaryDirectory() as work:
    packed = os.path.join(work, "in.qla")
    restored = os.path.join(work, "out.wav")
    qola.compress_file(source, packed)
    print(os.path.basename(source))
    compare(packed, restored, 0)
    compare(packed, restored, 1)
    first_read(packed)
