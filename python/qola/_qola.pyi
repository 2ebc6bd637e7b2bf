"""Jobs of the QOLA library; use the qola package, not this module."""

from typing import Any, Callable, Optional, Union

class Buffer:
    """The bytes a job wrote to memory (a writable buffer)."""

    def __len__(self) -> int: ...
    def __buffer__(self, flags: int) -> memoryview: ...

def run(
    compressing: bool,
    source: Union[bytes, bytearray, memoryview],
    source_is_path: bool,
    target: Optional[bytes],
    settings: dict[str, int],
    progress: Optional[Callable[[int], Any]],
) -> tuple[Optional[Buffer], dict[str, Any]]: ...
def version() -> str: ...
def probe(source: Union[bytes, bytearray, memoryview], source_is_path: bool) -> dict[str, Any]: ...
def restore_into(
    source: Union[bytes, bytearray, memoryview],
    source_is_path: bool,
    skip: int,
    frames: Any,
    threads: int,
    progress: Optional[Callable[[int], Any]],
) -> dict[str, Any]: ...
def audio_frames(source: Union[bytes, bytearray, memoryview], source_is_path: bool) -> tuple[int, int]: ...
def decode_into(
    source: Union[bytes, bytearray, memoryview],
    source_is_path: bool,
    start: int,
    frames: Any,
    progress: Optional[Callable[[int], Any]],
) -> None: ...
