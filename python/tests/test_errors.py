"""Failed jobs raise the qola.Error subclass of their status, and leave no
output behind."""

from __future__ import annotations

import io
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import qola
from conftest import tone, wav_bytes


@pytest.fixture(scope="module")
def packed() -> bytes:
    return qola.compress(qola.decompress(qola.compress(tone(30000, 2, np.int16).tobytes(),
                                                       wav_evaluation=False)), wav_evaluation=False)


def flipped(data: bytes, position: int) -> bytes:
    damaged = bytearray(data)
    damaged[position] ^= 0x40
    return bytes(damaged)


@pytest.mark.parametrize("damage, error, part_reads", [
    (lambda c: c[:3], qola.JobError, False),                    # shorter than a file header
    (lambda c: c[: len(c) // 2], qola.ChecksumError, True),     # cut inside the blocks: the start restored
    (lambda c: flipped(c, len(c) // 3), qola.ChecksumError, True),  # audio changed, trailer intact
    (lambda c: flipped(c, len(c) - 5), qola.JobError, False),   # the trailer itself
])
def test_damaged_input(tmp_path, packed, damage, error, part_reads):
    with pytest.raises(error) as raised:
        qola.decompress(damage(packed))
    assert raised.value.status == error.status and raised.value.exit_code == 1
    assert raised.value.message and str(raised.value) == raised.value.message
    (tmp_path / "bad.qla").write_bytes(damage(packed))
    with pytest.raises(error):
        qola.decompress_file(tmp_path / "bad.qla", tmp_path / "out.wav")
    assert not (tmp_path / "out.wav").exists()
    # Reading the whole file fails; a part before the damage still reads.
    with pytest.raises(qola.Error):
        qola.read(io.BytesIO(damage(packed)))
    if part_reads:
        part, _ = qola.read(io.BytesIO(damage(packed)), stop=1000)
        np.testing.assert_array_equal(part, qola.read(io.BytesIO(packed), stop=1000)[0])


@pytest.mark.parametrize("call, error", [
    (lambda: qola.compress(b"\0" * 4000, block_length=100), qola.ArgumentError),  # settings out of range
    (lambda: qola.compress(b"\0" * 4000, channels=3, wav_evaluation=False), qola.ArgumentError),
    (lambda: qola.compress(b"\0" * 4000, sample_bits=12), qola.ArgumentError),
    (lambda: qola.compress(b"\0" * 4000, adaptation="medium", block_length=256), qola.ArgumentError),
    (lambda: qola.compress(b"\0" * 4000, threads=-1), qola.ArgumentError),
    (lambda: qola.compress(b"", adaptation="some"), qola.ArgumentError),
    (lambda: qola.compress(b"", encoder_mode=7), qola.ArgumentError),
    (lambda: qola.compress(b"", block_length="big"), qola.ArgumentError),
    (lambda: qola.compress(b"", colour=1), TypeError),
    (lambda: qola.decompress(b"", block_length=512), TypeError),  # a compression setting
    (lambda: qola.write("x.qla", np.zeros((4, 3), np.int16)), qola.ArgumentError),
    (lambda: qola.write("x.qla", np.zeros(4, np.float32)), qola.ArgumentError),
    (lambda: qola.write("x.qla", np.zeros(4, np.int16), channels=1), TypeError),
    (lambda: qola.write("x.qla", np.zeros(4, np.int16), 0), qola.ArgumentError),
    (lambda: qola.write("x.qla", np.zeros(4, np.int16), 2**31), qola.ArgumentError),  # bytes/s beyond 32 bits
    (lambda: qola.read("/nonexistent/x.qla"), FileNotFoundError),
    (lambda: qola.compress_file("/nonexistent/x.wav", "/tmp/x.qla"), FileNotFoundError),
    (lambda: qola.compress_file(__file__, "/nonexistent/x.qla"), FileNotFoundError),  # no output folder
])
def test_arguments_refused_before_a_job(call, error):
    with pytest.raises(error) as raised:
        call()
    if error is qola.ArgumentError:
        assert raised.value.status == qola.Status.ERROR_ARGUMENT and isinstance(raised.value, ValueError)


def test_write_error_on_file_size_limit(tmp_path, packed):
    # A child process with a 4 KB file size limit: the restore's writes fail.
    (tmp_path / "in.qla").write_bytes(packed)
    script = textwrap.dedent(f"""
        import resource, signal, qola
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
        try:
            qola.decompress_file({str(tmp_path / "in.qla")!r}, {str(tmp_path / "out.raw")!r})
        except qola.WriteError as error:
            print(int(error.status), error.exit_code)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert done.stdout.split() == [str(int(qola.Status.ERROR_WRITE)), "1"]
    assert not (tmp_path / "out.raw").exists()


def test_every_status_has_its_class():
    classes = {qola.JobError, qola.TransformError, qola.CoderError, qola.WriteError, qola.NeedsSizeError,
               qola.NotQolaError, qola.ArgumentError, qola.CancelledError, qola.ChecksumError}
    assert {cls.status for cls in classes} == set(qola.Status) - {qola.Status.OK}
    for cls in classes:
        made = qola._errors._from_status(int(cls.status), "why", 3)
        assert type(made) is cls and made.message == "why" and made.exit_code == 3
    newer = qola._errors._from_status(99, "new", 1)
    assert type(newer) is qola.Error and newer.status == 99


@pytest.mark.parametrize("call", [qola.decompress, lambda d: qola.read(io.BytesIO(d)),
                                  lambda d: qola.info(io.BytesIO(d))])
@pytest.mark.parametrize("data", [b"", wav_bytes(tone(2000, 2, np.int16), 8000)])
def test_not_qola_input(call, data):
    with pytest.raises(qola.NotQolaError) as raised:
        call(data)
    assert raised.value.status == qola.Status.ERROR_NOT_QOLA
