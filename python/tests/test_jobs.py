"""Progress, cancelling and jobs on several threads at once."""

from __future__ import annotations

import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import qola
from conftest import tone


@pytest.fixture(scope="module")
def pcm() -> bytes:
    return tone(400000, 2, np.int16).tobytes()


def test_progress_rises_to_completion(pcm):
    seen: list[int] = []
    qola.compress(pcm, wav_evaluation=False, block_length=1024, progress=seen.append)
    assert seen == sorted(seen) and len(seen) == len(set(seen))  # each percentage once
    assert seen[-1] == 100 and len(seen) > 10


class Stop(Exception):
    pass


def raise_at_half(percent: int) -> None:
    if percent >= 50:
        raise Stop(percent)


# A progress callback stops the job by its answer, or by an exception that
# comes through as itself.
@pytest.mark.parametrize("job", ["compress", "decompress", "compress_file", "decompress_file", "read",
                                 "read_part"])
@pytest.mark.parametrize("stop, error", [(lambda percent: percent >= 30, qola.CancelledError),
                                         (raise_at_half, Stop)])
def test_cancel_leaves_nothing(tmp_path, pcm, job, stop, error):
    source = tmp_path / "in"
    packed = qola.compress(pcm, wav_evaluation=False)
    source.write_bytes(pcm if job.startswith("compress") else packed)
    target = tmp_path / "out"
    calls = {
        "compress": lambda p: qola.compress(pcm, wav_evaluation=False, progress=p),
        "decompress": lambda p: qola.decompress(packed, progress=p),
        "compress_file": lambda p: qola.compress_file(source, target, wav_evaluation=False, progress=p),
        "decompress_file": lambda p: qola.decompress_file(source, target, progress=p),
        "read": lambda p: qola.read(source, progress=p),
        "read_part": lambda p: qola.read(source, start=1000, progress=p),
    }
    with pytest.raises(error) as raised:
        calls[job](stop)
    assert error is Stop or raised.value.status == qola.Status.CANCELLED
    assert not target.exists()


def test_threads_give_the_serial_results(pcm):
    inputs = [pcm[: len(pcm) // (k + 1) // 4 * 4] for k in range(6)]
    expected = [qola.compress(data, wav_evaluation=False, threads=1) for data in inputs]

    def work(data: bytes) -> bytes:
        packed = qola.compress(data, wav_evaluation=False, threads=2)
        assert qola.decompress(packed, threads=2) == data
        return packed

    with ThreadPoolExecutor(len(inputs)) as pool:
        assert list(pool.map(work, inputs)) == expected


def test_jobs_release_the_interpreter(pcm):
    # While a long job runs on another thread, this thread keeps running
    # Python; were the lock held through each job, this loop would run a few
    # times at most.
    worker = threading.Thread(
        target=lambda: [qola.compress(pcm, wav_evaluation=False, threads=1) for _ in range(3)])
    ticks, started = 0, time.perf_counter()
    worker.start()
    while worker.is_alive():
        ticks += 1
        time.sleep(0.001)
    assert ticks > (time.perf_counter() - started) * 20
