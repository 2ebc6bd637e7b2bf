"""Round trips through every entry point, checked against the original bytes
and samples."""

from __future__ import annotations

import hashlib
import io
import os
import struct
import subprocess

import numpy as np
import pytest

import qola
from conftest import tone, wav_bytes


@pytest.mark.parametrize("channels", [1, 2])
@pytest.mark.parametrize("dtype", [np.int16, np.uint8])
@pytest.mark.parametrize("samplerate", [None, 8000, 48000])
def test_write_read_layouts(tmp_path, channels, dtype, samplerate):
    data = tone(5000, channels, dtype)
    path = tmp_path / "x.qla"
    report = qola.write(path, data, samplerate, block_length=512)
    assert (report.channels, report.bits, report.samples) == (channels, data.itemsize * 8, 5000)
    assert report.header_length == (44 if samplerate else 0)
    back, rate = qola.read(path)
    assert rate == samplerate
    assert back.dtype == dtype and back.shape == (5000, channels)
    np.testing.assert_array_equal(back, data)
    assert back.flags.writeable
    facts = qola.info(path)
    assert (facts.channels, facts.sample_bits, facts.frames, facts.samplerate, facts.wav_header) == (
        channels, data.itemsize * 8, 5000, samplerate, bool(samplerate))
    assert facts.header_length == report.header_length and facts.block_length == 512
    assert facts.duration == (5000 / samplerate if samplerate else None)
    assert facts.trailer and facts.md5 == report.md5 and facts.original_size == report.original_size
    assert facts.compressed_size == path.stat().st_size == report.compressed_size
    if channels == 1:  # one channel also as a flat array
        qola.write(path.with_suffix(".flat.qla"), data[:, 0], samplerate)
        flat, _ = qola.read(path.with_suffix(".flat.qla"), always_2d=False)
        assert flat.shape == (5000,)
        np.testing.assert_array_equal(flat, data[:, 0])


def test_write_takes_any_array_layout(tmp_path, stereo16):
    # The samples go to the library from the array's memory: any layout numpy
    # holds gives the file that compressing the same WAV file gives.
    expected = qola.compress(wav_bytes(stereo16, 44100))
    layouts = {"c": stereo16, "fortran": np.asfortranarray(stereo16), "big-endian": stereo16.astype(">i2"),
               "strided": np.repeat(stereo16, 2, axis=0)[::2]}
    for name, data in layouts.items():
        qola.write(tmp_path / f"{name}.qla", data, 44100)
        assert (tmp_path / f"{name}.qla").read_bytes() == expected, name


@pytest.mark.parametrize("as_recorded", [False, True])
def test_read_ranges_and_sources(tmp_path, stereo16, as_recorded):
    # Parts across block edges (4096 frames), at both ends and empty ones. As
    # recorders write WAV files, a LIST chunk before the data runs the header
    # 16 bytes (4 frames) past the 44 stored, and a chunk follows the data:
    # neither is audio.
    plain = wav_bytes(stereo16, 44100)
    data = plain[44:]
    chunky = (b"RIFF" + struct.pack("<I", 4 + 24 + 16 + 8 + len(data) + 20) + b"WAVE" + plain[12:36]
              + b"LIST" + struct.pack("<I", 8) + b"INFOabcd" + b"data" + struct.pack("<I", len(data)) + data
              + b"id3 " + struct.pack("<I", 12) + bytes(12))
    packed = tmp_path / "x.qla"
    packed.write_bytes(qola.compress(chunky if as_recorded else plain))
    assert qola.info(packed).frames == len(stereo16) + (9 if as_recorded else 0)
    for start, stop in [(0, None), (100, 200), (-300, None), (19999, 20000), (500, 100), (0, 10**9),
                        (4095, 8193), (12288, -1), (-20000, 1), (20000, None)]:
        part, rate = qola.read(packed, start=start, stop=stop)
        np.testing.assert_array_equal(part, stereo16[start:stop])
        assert part.dtype == np.int16 and part.shape[1] == 2 and rate == 44100
    with open(packed, "rb") as handle:
        np.testing.assert_array_equal(qola.read(handle)[0], stereo16)
    np.testing.assert_array_equal(qola.read(io.BytesIO(packed.read_bytes()))[0], stereo16)


def test_bytes_and_files_agree(tmp_path, stereo16):
    qola.write(tmp_path / "a.qla", stereo16, 44100, encoder_mode="reference", trailer=False)
    wav = qola.decompress((tmp_path / "a.qla").read_bytes())
    (tmp_path / "a.wav").write_bytes(wav)
    compressed = qola.compress(wav, encoder_mode="reference", trailer=False)
    assert compressed == (tmp_path / "a.qla").read_bytes()

    report = qola.compress_file(tmp_path / "a.wav", tmp_path / "b.qla", adaptation="medium", threads=1)
    assert report.kind == "compression" and report.original_size == len(wav)
    assert report.compressed_size == (tmp_path / "b.qla").stat().st_size
    assert report.ratio == pytest.approx(len(wav) / report.compressed_size)
    assert report.checksum == qola.Checksum.OK and "compression ratio" in report.text
    restored = qola.decompress_file(str(tmp_path / "b.qla"), str(tmp_path / "b.wav"))
    assert restored.kind == "decompression" and restored.checksum == qola.Checksum.OK
    assert restored.md5 == report.md5 and restored.header_length == 44
    assert (tmp_path / "b.wav").read_bytes() == wav

    # A pipe has no size: the library keeps a copy of it and compresses that.
    os.mkfifo(tmp_path / "pipe")
    writer = subprocess.Popen(["cp", str(tmp_path / "a.wav"), str(tmp_path / "pipe")])
    try:
        piped = qola.compress_file(tmp_path / "pipe", tmp_path / "p.qla", adaptation="medium", threads=1)
    finally:
        writer.wait()
    assert piped.original_size == len(wav) and piped.md5 == report.md5
    assert (tmp_path / "p.qla").read_bytes() == (tmp_path / "b.qla").read_bytes()


def test_raw_big_endian(tmp_path):
    data = tone(3000, 2, np.int16)
    raw = data.astype(">i2").tobytes()
    packed = qola.compress(raw, wav_evaluation=False, swap_bytes=1)
    assert qola.decompress(packed) == raw
    (tmp_path / "be.qla").write_bytes(packed)
    back, rate = qola.read(tmp_path / "be.qla")  # samples come out in the host's order
    assert rate is None
    np.testing.assert_array_equal(back, data)


def test_corpus_round_trip(corpus, tmp_path):
    # Real recordings (odd headers, chunks around the data, 8-bit, 24-bit and
    # many channels coded as bytes): the bytes come back whole, the probe's
    # facts agree with them, and read gives the data chunk's samples.
    for path in corpus:
        original = path.read_bytes()
        packed = tmp_path / (path.name + ".qla")
        packed.write_bytes(qola.compress(original))
        assert qola.decompress(packed.read_bytes()) == original, path.name
        facts = qola.info(packed)
        assert facts.md5 == hashlib.md5(original).digest() and facts.original_size == len(original), path.name
        data, rate = qola.read(packed)
        # The coded frames also hold what lies between a longer header and its data chunk.
        assert data.shape[1] == facts.channels and data.shape[0] <= facts.frames, path.name
        assert rate == facts.samplerate, path.name
        assert data.astype(data.dtype.newbyteorder("<")).tobytes() in original, path.name
