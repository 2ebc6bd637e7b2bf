"""The exceptions a failed job raises: one class per library status."""

from __future__ import annotations

import enum


class Status(enum.IntEnum):
    """The library's job statuses."""

    OK = 0
    ERROR_JOB = 1
    ERROR_TRANSFORM = 2
    ERROR_CODER = 3
    ERROR_WRITE = 4
    ERROR_NEEDS_SIZE = 5
    ERROR_NOT_QOLA = 6
    ERROR_ARGUMENT = 7
    CANCELLED = 8
    ERROR_CHECKSUM = 9


class Error(Exception):
    """A job failed. ``status`` is the library's status, ``message`` its text
    and ``exit_code`` the exit status the qola programs use for it."""

    status: Status = Status.ERROR_JOB

    def __init__(self, message: str, exit_code: int = 1) -> None:
        super().__init__(message)
        self.message = message
        self.exit_code = exit_code

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.message!r}, status={self.status.name})"


class JobError(Error):
    """Damaged input, short memory or a coding error."""

    status = Status.ERROR_JOB


class TransformError(Error):
    """A transform refused its length or its memory."""

    status = Status.ERROR_TRANSFORM


class CoderError(Error):
    """The arithmetic decoder met input it cannot decode: a damaged file."""

    status = Status.ERROR_CODER


class WriteError(Error):
    """The output could not be written (a full disk)."""

    status = Status.ERROR_WRITE


class NeedsSizeError(Error):
    """Compression needs the input's size up front."""

    status = Status.ERROR_NEEDS_SIZE


class NotQolaError(Error):
    """The input is not a compressed file."""

    status = Status.ERROR_NOT_QOLA


class ArgumentError(Error, ValueError):
    """A setting or an argument is out of range."""

    status = Status.ERROR_ARGUMENT


class CancelledError(Error):
    """The progress function asked the job to stop."""

    status = Status.CANCELLED


class ChecksumError(Error):
    """Restored, but not to the original: the output is damaged."""

    status = Status.ERROR_CHECKSUM


_BY_STATUS: dict[int, type[Error]] = {
    cls.status: cls
    for cls in (JobError, TransformError, CoderError, WriteError, NeedsSizeError, NotQolaError,
                ArgumentError, CancelledError, ChecksumError)
}


def _from_status(status: int, message: str, exit_code: int) -> Error:
    """The exception for a status (the native module raises what this returns)."""
    cls = _BY_STATUS.get(status)
    if cls is None:  # a status newer than this package
        error = Error(message, exit_code)
        error.status = status  # type: ignore[assignment]
        return error
    return cls(message, exit_code)
