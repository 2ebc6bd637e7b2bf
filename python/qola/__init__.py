"""QOLA: lossless compression of 8/16-bit mono/stereo PCM audio.

Read and write compressed ``.qla`` files as numpy arrays, the way
``soundfile`` reads and writes WAV files::

    data, samplerate = qola.read("speech.wav.qla")   # frames x channels
    qola.write("copy.qla", data, samplerate)

or compress and restore whole files and byte strings::

    report = qola.compress_file("speech.wav", "speech.wav.qla")
    print(report.ratio)

Every job runs in the library with the interpreter lock released, so jobs on
several Python threads run at once. A failed job raises a subclass of
:class:`qola.Error` that carries the library's status and message.

Settings (keyword arguments of the compressing functions): ``channels`` (1
or 2) and ``sample_bits`` (8 or 16) for raw input, ``block_length`` (128 to
4096; 0, the default: the encoder's choice, 4096 in this release), ``adaptation`` ("none", "medium" or "full"), ``wav_evaluation``,
``joint_stereo``, ``swap_bytes`` (positive: big-endian samples), ``threads``
(0: all cores), ``encoder_mode`` ("reference", "default", "best" or "fast")
and ``trailer``. Restoring takes ``swap_bytes`` and ``threads``.
"""

from __future__ import annotations

import dataclasses
import enum
import os
import sys
from typing import IO, Any, Callable, Optional, Union

import numpy as np

from qola._errors import (
    ArgumentError,
    CancelledError,
    ChecksumError,
    CoderError,
    Error,
    JobError,
    NeedsSizeError,
    NotQolaError,
    Status,
    TransformError,
    WriteError,
)
from qola import _qola

__all__ = [
    "read", "write", "info", "compress", "decompress", "compress_file", "decompress_file",
    "Report", "Info", "Checksum", "Status", "Error", "JobError", "TransformError", "CoderError",
    "WriteError", "NeedsSizeError", "NotQolaError", "ArgumentError", "CancelledError",
    "ChecksumError", "library_version",
]

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Source = Union[PathLike, IO[bytes]]
#: Called with 0..100 while a job runs; a true answer cancels the job.
Progress = Callable[[int], Any]


class Checksum(enum.IntEnum):
    """What a restore learned of the original's MD5."""

    NONE = 0          # the file has no trailer
    OK = 1            # every restored byte matches the original
    MISMATCH = 2      # the output differs from the original
    NOT_COMPARED = 3  # restored in another byte order than the original's


@dataclasses.dataclass(frozen=True)
class Report:
    """What a finished job measured (the numbers of the closing report)."""

    kind: str                  # "compression" or "decompression"
    samples: int               # per channel
    channels: int
    bits: int                  # 8 or 16
    header_length: int         # bytes of the stored WAV header
    original_size: int         # bytes of the PCM file, header included
    compressed_size: int       # compression only
    ratio: float               # original / compressed (compression only)
    bits_per_sample: float     # compression only
    file_version: int          # tenths: 17 is 1.7 (decompression only)
    platform: str              # decompression only
    checksum: Checksum
    md5: Optional[bytes]       # the original's MD5 where known
    ignored_bytes: int         # decompression: bytes after the audio that are no trailer
    text: str                  # the report as the qola programs show it

    @classmethod
    def _from_facts(cls, facts: dict[str, Any]) -> "Report":
        facts = dict(facts)
        facts["checksum"] = Checksum(facts["checksum"])
        facts["text"] = facts.pop("report")
        return cls(**facts)


@dataclasses.dataclass(frozen=True)
class Info:
    """The facts of a compressed file, read from its header and trailer."""

    channels: int
    sample_bits: int
    frames: int
    samplerate: Optional[int]       # from the stored WAV header; None for raw PCM
    wav_header: bool                # a WAV header is stored and restored first
    header_length: int              # its bytes (0 without one)
    block_length: int
    file_version: int               # tenths: 17 is 1.7
    channel_mask: int               # speaker positions from an extensible WAV header; 0: none
    trailer: Optional[bool]         # None: unknown (the input could not be searched to its end)
    md5: Optional[bytes]            # the original's MD5, from the trailer
    big_endian: bool                # the original's 16-bit samples were big-endian
    original_size: Optional[int]    # bytes a restore writes, where the trailer tells
    compressed_size: Optional[int]
    index: Optional[bool]           # the trailer holds a block index (fast seeking)

    @property
    def duration(self) -> Optional[float]:
        """Seconds, where the sample rate is known."""
        return self.frames / self.samplerate if self.samplerate else None

    @classmethod
    def _from_facts(cls, facts: dict[str, Any]) -> "Info":
        def known(value: int) -> Optional[int]:
            return None if value < 0 else value
        return cls(channels=facts["channels"], sample_bits=facts["sample_bits"], frames=facts["frames"],
                   samplerate=facts["samplerate"], wav_header=facts["header_length"] > 0,
                   header_length=facts["header_length"], block_length=facts["block_length"],
                   file_version=facts["file_version"], channel_mask=facts["channel_mask"],
                   trailer=None if facts["trailer"] < 0 else bool(facts["trailer"]), md5=facts["md5"],
                   big_endian=facts["big_endian"], original_size=known(facts["original_size"]),
                   compressed_size=known(facts["compressed_size"]),
                   index=None if facts["index"] < 0 else bool(facts["index"]))


_ADAPTATIONS = {"none": 1, "medium": 2, "full": 3}
_ENCODER_MODES = {"reference": 0, "default": 1, "best": 2, "fast": 3}
_BOOLEANS = ("wav_evaluation", "joint_stereo", "trailer")
_INTEGERS = ("channels", "sample_bits", "block_length", "swap_bytes", "threads")
_RESTORE_SETTINGS = ("swap_bytes", "threads")


def _named(value: Union[str, int], names: dict[str, int], setting: str) -> int:
    if isinstance(value, str):
        if value.lower() in names:
            return names[value.lower()]
    elif isinstance(value, int) and value in names.values():
        return value
    raise ArgumentError(f"{setting} must be one of {', '.join(names)}", 2)


def _settings(given: dict[str, Any], allowed: tuple[str, ...]) -> dict[str, int]:
    """The settings as the library's integer fields; unknown names raise TypeError."""
    chosen: dict[str, int] = {}
    for name, value in given.items():
        if name not in allowed:
            raise TypeError(f"unexpected setting {name!r}")
        if name == "adaptation":
            chosen[name] = _named(value, _ADAPTATIONS, name)
        elif name == "encoder_mode":
            chosen[name] = _named(value, _ENCODER_MODES, name)
        elif name in _BOOLEANS:
            chosen[name] = 1 if value else 0
        elif isinstance(value, (int, np.integer)) and -2**31 <= int(value) < 2**31:
            chosen[name] = int(value)
        else:
            raise ArgumentError(f"{name} must be an integer", 2)
    return chosen


_COMPRESS_SETTINGS = _INTEGERS + _BOOLEANS + ("adaptation", "encoder_mode")


def _is_path(source: Any) -> bool:
    return isinstance(source, (str, bytes, os.PathLike))


def _run(compressing: bool, source: Any, source_is_path: bool, target: Optional[PathLike],
         settings: dict[str, int], progress: Optional[Progress]) -> tuple[Any, Report]:
    if source_is_path:
        source = os.fsencode(source)
    target_bytes = None if target is None else os.fsencode(target)
    output, facts = _qola.run(compressing, source, source_is_path, target_bytes, settings, progress)
    return output, Report._from_facts(facts)


def _input(file: Source) -> tuple[Any, bool]:
    """A path as file system bytes, or a file object's bytes."""
    if _is_path(file):
        return os.fsencode(file), True  # type: ignore[arg-type]
    return file.read(), False  # type: ignore[union-attr]


def read(file: Source, start: int = 0, stop: Optional[int] = None, *, always_2d: bool = True,
         threads: int = 0, progress: Optional[Progress] = None) -> tuple[np.ndarray, Optional[int]]:
    """Restores a compressed file's samples.

    Returns ``(data, samplerate)``: ``data`` has one row per frame and one
    column per channel (a 1-D array for mono when ``always_2d`` is false),
    ``int16`` for 16-bit files and ``uint8`` (128 is silence) for 8-bit ones;
    ``samplerate`` comes from the stored WAV header and is None for raw PCM.
    ``file`` is a path or a binary file object.

    The frames are those of the stored WAV file's data chunk: header bytes
    past the 44 a file stores and chunks after the data, which the codec
    keeps among its samples, are left out (``info().frames`` counts them).

    ``start`` and ``stop`` select frames as a slice does (negative values
    count from the end). A whole file is restored on ``threads`` threads (0:
    all cores) and checked against its stored MD5 (:class:`ChecksumError`);
    a part is decoded from the nearest entry point on.
    """
    source, is_path = _input(file)
    facts = _qola.probe(source, is_path)
    audio_start, audio_frames = 0, facts["frames"]
    if facts["header_length"]:
        try:
            audio_start, audio_frames = _qola.audio_frames(source, is_path)
        except Error:
            pass  # a damaged start: the restore below says what is wrong
    first, last, _ = slice(start, stop).indices(audio_frames)
    count = max(0, last - first)
    dtype = np.dtype(np.int16) if facts["sample_bits"] == 16 else np.dtype(np.uint8)
    frames = np.empty((count, facts["channels"]), dtype)
    if count and count == audio_frames:
        skip = facts["header_length"] + audio_start * frames.itemsize * facts["channels"]
        _qola.restore_into(source, is_path, skip, frames, int(threads), progress)
        if dtype.itemsize == 2 and sys.byteorder == "big":
            frames.byteswap(inplace=True)  # the restore wrote little-endian samples
    elif count:
        _qola.decode_into(source, is_path, audio_start + first, frames, progress)
    if not always_2d and facts["channels"] == 1:
        frames = frames[:, 0]
    return frames, facts["samplerate"]


def write(file: PathLike, data: np.ndarray, samplerate: Optional[int] = None, *,
          progress: Optional[Progress] = None, **settings: Any) -> Report:
    """Compresses samples into a ``.qla`` file.

    ``data`` is ``int16`` (16-bit) or ``uint8`` (8-bit, 128 is silence),
    one row per frame and one or two columns (a 1-D array is mono). With a
    ``samplerate`` the file carries a WAV header and restores to a WAV file;
    without one it holds raw PCM. Further keywords are compression settings.
    The samples are compressed from the array's memory (a copy is made only
    of an array that is not C-contiguous in the host's byte order).
    """
    array = np.asarray(data)
    if array.ndim == 1:
        array = array[:, np.newaxis]
    if array.ndim != 2 or array.shape[1] not in (1, 2):
        raise ArgumentError("data must have one or two channels (frames x channels)", 2)
    if array.dtype.kind == "i" and array.dtype.itemsize == 2:
        native = np.dtype(np.int16)
    elif array.dtype.kind == "u" and array.dtype.itemsize == 1:
        native = np.dtype(np.uint8)
    else:
        raise ArgumentError(f"data must be int16 or uint8, not {array.dtype}", 2)
    for name in ("channels", "sample_bits", "wav_evaluation"):
        if name in settings:
            raise TypeError(f"write() takes {name} from the data")
    array = np.ascontiguousarray(array, dtype=native)
    rate = None
    if samplerate is not None:
        if not isinstance(samplerate, (int, np.integer)) or not 0 < int(samplerate) < 2**32:
            raise ArgumentError("samplerate must be a positive integer", 2)
        rate = int(samplerate)
    _, facts = _qola.compress_samples(array, rate, os.fsencode(file), _settings(settings, _COMPRESS_SETTINGS),
                                      progress)
    return Report._from_facts(facts)


def info(file: Source) -> Info:
    """The facts of a compressed file (layout, frame count, sample rate,
    stored MD5), read from its header and trailer without decoding."""
    return Info._from_facts(_qola.probe(*_input(file)))


def compress(data: Union[bytes, bytearray, memoryview], *, progress: Optional[Progress] = None,
             **settings: Any) -> bytes:
    """Compresses the bytes of a PCM or WAV file into the bytes of a ``.qla`` file."""
    output, _ = _run(True, data, False, None, _settings(settings, _COMPRESS_SETTINGS), progress)
    return bytes(output)


def decompress(data: Union[bytes, bytearray, memoryview], *, progress: Optional[Progress] = None,
               **settings: Any) -> bytes:
    """Restores the bytes of a ``.qla`` file to the bytes of the original file."""
    output, _ = _run(False, data, False, None, _settings(settings, _RESTORE_SETTINGS), progress)
    return bytes(output)


def compress_file(source: PathLike, target: PathLike, *, progress: Optional[Progress] = None,
                  **settings: Any) -> Report:
    """Compresses one file into another; returns the report's numbers.

    The target appears only when the job succeeds."""
    return _run(True, source, True, target, _settings(settings, _COMPRESS_SETTINGS), progress)[1]


def decompress_file(source: PathLike, target: PathLike, *, progress: Optional[Progress] = None,
                    **settings: Any) -> Report:
    """Restores one file into another; returns the report's numbers.

    The target appears only when the job succeeds."""
    return _run(False, source, True, target, _settings(settings, _RESTORE_SETTINGS), progress)[1]


def library_version() -> str:
    """The version of the QOLA library inside this package."""
    return str(_qola.version())
