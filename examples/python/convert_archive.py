#!/usr/bin/env python3
"""Converts a directory tree of audio files with Dask, one job per file.

    convert_archive.py SOURCE TARGET [--to qla|wav|flac] [--scheduler ADDRESS]

--to qla compresses every .wav file under SOURCE into TARGET (same relative
path, .qla added); --to wav restores every .qla file; --to flac restores
every .qla file into FLAC through the soundfile package. Files whose output
exists are skipped, so an interrupted run picks up where it stopped. Every
new output is verified (a compressed file restores to the original's bytes,
a restored file matches the stored MD5, a FLAC file holds the same samples;
one that fails is removed, so the next run tries it again), and a CSV report
lists each file with its ratio and verification.

Without --scheduler the work runs on a local cluster of --workers processes;
with it, on any Dask scheduler whose workers see SOURCE and TARGET under the
same paths (a shared file system) and have the qola package installed.
"""

from __future__ import annotations

import argparse
import contextlib
import csv
import dataclasses
import hashlib
import os
import sys
import time
from pathlib import Path
from typing import Optional

import numpy as np

import qola

SUFFIX = {"qla": ".qla", "wav": ".wav", "flac": ".flac"}


@dataclasses.dataclass
class Job:
    source: str
    target: str
    to: str
    threads: int


@dataclasses.dataclass
class Outcome:
    file: str
    output: str
    status: str          # converted, skipped or failed
    ratio: Optional[float]  # uncompressed bytes / compressed bytes
    verification: str    # ok, or what is wrong
    seconds: float


def target_name(relative: Path, to: str) -> Path:
    if to == "qla":
        return relative.with_name(relative.name + ".qla")
    stem = relative.name[:-len(".qla")]
    if to == "wav" and stem.lower().endswith(".wav"):
        return relative.with_name(stem)
    return relative.with_name(Path(stem).stem + SUFFIX[to])


def find_jobs(source: Path, target: Path, to: str, threads: int) -> list[Job]:
    wanted = ".wav" if to == "qla" else ".qla"
    jobs = []
    for path in sorted(source.rglob("*")):
        if path.is_file() and path.suffix.lower() == wanted:
            relative = path.relative_to(source)
            jobs.append(Job(str(path), str(target / target_name(relative, to)), to, threads))
    return jobs


def compress(job: Job) -> str:
    qola.compress_file(job.source, job.target, threads=job.threads)
    with open(job.source, "rb") as original, open(job.target, "rb") as packed:
        restored = qola.decompress(packed.read(), threads=job.threads)
        same = restored == original.read()
    return "ok" if same else "restores to other bytes"


def restore(job: Job) -> str:
    qola.decompress_file(job.source, job.target, threads=job.threads)
    facts = qola.info(job.source)
    with open(job.target, "rb") as restored:
        digest = hashlib.md5(restored.read()).digest()
    if facts.md5 is None:
        verdict = "ok (no stored checksum)"
    else:
        verdict = "ok" if digest == facts.md5 else "MD5 differs from the stored one"
    return verdict


def to_flac(job: Job) -> str:
    import soundfile  # only this conversion needs it

    data, samplerate = qola.read(job.source, threads=job.threads)
    if samplerate is None:
        raise ValueError("raw PCM without a sample rate cannot become FLAC")
    if data.dtype == np.uint8:  # FLAC holds signed samples: 8-bit as 16-bit values
        data = (data.astype(np.int16) - 128) * 256
    partial = job.target + ".part"
    soundfile.write(partial, data, samplerate, format="FLAC", subtype="PCM_16")
    back, _ = soundfile.read(partial, dtype="int16", always_2d=True)
    verdict = "ok" if np.array_equal(back, data) else "FLAC holds other samples"
    os.replace(partial, job.target)
    return verdict


CONVERTERS = {"qla": compress, "wav": restore, "flac": to_flac}


def ratio(job: Job) -> Optional[float]:
    """Uncompressed bytes over compressed bytes, from the files on disk, so
    that a file done by an earlier run has its ratio in the report too."""
    size = os.path.getsize
    try:
        if job.to == "qla":
            return size(job.source) / size(job.target)
        if job.to == "wav":
            return size(job.target) / size(job.source)
        facts = qola.info(job.source)  # FLAC: the samples' bytes as stored
        return facts.frames * facts.channels * facts.sample_bits // 8 / size(job.target)
    except (qola.Error, OSError, ZeroDivisionError):
        return None


def convert(job: Job) -> Outcome:
    """One file, run on a worker."""
    started = time.perf_counter()
    if os.path.exists(job.target):
        return Outcome(job.source, job.target, "skipped", ratio(job), "done before", 0.0)
    os.makedirs(os.path.dirname(job.target), exist_ok=True)
    try:
        verdict = CONVERTERS[job.to](job)
        status = "converted" if verdict.startswith("ok") else "failed"
        if status == "failed":
            os.remove(job.target)  # an output that fails its check is not done: the next run tries again
    except (qola.Error, OSError, ValueError, RuntimeError) as error:
        verdict, status = f"{type(error).__name__}: {error}", "failed"
    packed = ratio(job) if status == "converted" else None
    return Outcome(job.source, job.target, status, packed, verdict, time.perf_counter() - started)


def write_report(path: Path, outcomes: list[Outcome]) -> None:
    with open(path, "w", newline="") as handle:
        writer = csv.writer(handle)
        writer.writerow(["file", "output", "status", "ratio", "verification", "seconds"])
        for outcome in sorted(outcomes, key=lambda o: o.file):
            ratio = "" if outcome.ratio is None else f"{outcome.ratio:.4f}"
            writer.writerow([outcome.file, outcome.output, outcome.status, ratio, outcome.verification,
                             f"{outcome.seconds:.3f}"])


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source", type=Path)
    parser.add_argument("target", type=Path)
    parser.add_argument("--to", choices=sorted(CONVERTERS), default="qla")
    parser.add_argument("--scheduler", help="address of a Dask scheduler (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="local cluster processes")
    parser.add_argument("--job-threads", type=int, default=1, help="codec threads per file (0: all cores)")
    parser.add_argument("--report", type=Path, help="CSV report (default: TARGET/conversion-report.csv)")
    args = parser.parse_args(argv)

    from dask.distributed import Client, LocalCluster, as_completed

    jobs = find_jobs(args.source, args.target, args.to, args.job_threads)
    outcomes = []
    # The client closes before the local cluster it uses: a cluster gone
    # first leaves the client retrying its scheduler, with tracebacks.
    with contextlib.ExitStack() as stack:
        scheduler = args.scheduler or stack.enter_context(
            LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None))
        client = stack.enter_context(Client(scheduler))
        futures = client.map(convert, jobs, pure=False)
        for future in as_completed(futures):
            outcome = future.result()
            outcomes.append(outcome)
            print(f"{outcome.status:9} {outcome.file}: {outcome.verification}", flush=True)
    args.target.mkdir(parents=True, exist_ok=True)
    report = args.report or args.target / "conversion-report.csv"
    write_report(report, outcomes)
    failed = sum(outcome.status == "failed" for outcome in outcomes)
    print(f"{len(outcomes)} files, {failed} failed; report: {report}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
