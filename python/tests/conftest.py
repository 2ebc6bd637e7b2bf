"""Shared fixtures: synthetic recordings and the corpus."""

from __future__ import annotations

import os
import struct
from pathlib import Path

import numpy as np
import pytest


def tone(frames: int, channels: int, dtype: type, seed: int = 1) -> np.ndarray:
    """A decaying chord with noise: audio the coder has real work on."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames)[:, np.newaxis]
    wave = np.sin(t * np.array([0.031, 0.047][:channels])) * np.exp(-t / (frames + 1))
    noise = rng.normal(0, 0.01, (frames, channels))
    if dtype == np.uint8:
        return np.clip(128 + 100 * (wave + noise), 0, 255).astype(np.uint8)
    return np.clip(20000 * (wave + noise), -32768, 32767).astype(np.int16)


def wav_bytes(data: np.ndarray, samplerate: int) -> bytes:
    """The bytes of a plain PCM WAV file of frames x channels samples."""
    block_align = data.shape[1] * data.itemsize
    size = data.shape[0] * block_align
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + size, b"WAVE", b"fmt ", 16, 1, data.shape[1],
                         samplerate, samplerate * block_align, block_align, data.itemsize * 8, b"data", size)
    return header + data.astype(data.dtype.newbyteorder("<")).tobytes()


@pytest.fixture
def stereo16() -> np.ndarray:
    return tone(20000, 2, np.int16)


@pytest.fixture(scope="session")
def corpus() -> list[Path]:
    folder = Path(os.environ.get("QOLA_SHARED_DIR", Path(__file__).resolve().parents[3] / "shared")) / "corpus"
    files = sorted(folder.glob("*.wav"))
    if not files:
        pytest.skip(f"no corpus at {folder}")
    return files

