"""VKT2 files in memory: decompress, compress and test them, with libvkt2 compiled in or linked.

VKT2 is the compressed-file format of old Windows programs: an 8-byte header and an LZSS token
stream, decoding to at most 65,535 bytes. Files are read by the loader's rules: only the first
65,536 bytes count.

Every function takes any object with the buffer protocol (bytes, bytearray, memoryview, mmap,
a C-contiguous numpy array) and releases the GIL while it works, so threads decode and encode
in parallel; compress and decompress work on a private copy of the bytes they read.
"""

from __future__ import annotations

import enum
from dataclasses import dataclass
from typing import TYPE_CHECKING

from . import _vkt2
from ._vkt2 import (
    MAX_FILE_SIZE,
    MAX_ORIGINAL_SIZE,
    BufferTooSmallError,
    CutShortError,
    Error,
    HeaderCutShortError,
    InvalidArgumentError,
    NotVkt2Error,
    NoMemoryError,
    StreamPastLimitError,
    TooLargeError,
    compress,
    decoded_size,
    decompress,
)

if TYPE_CHECKING:
    from typing_extensions import Buffer

__version__: str = _vkt2.version

__all__ = [
    "MAX_FILE_SIZE",
    "MAX_ORIGINAL_SIZE",
    "BufferTooSmallError",
    "CutShortError",
    "Error",
    "Grade",
    "HeaderCutShortError",
    "InvalidArgumentError",
    "NotVkt2Error",
    "NoMemoryError",
    "StreamPastLimitError",
    "TooLargeError",
    "Verdict",
    "compress",
    "decoded_size",
    "decompress",
    "test",
    "__version__",
]


class Grade(enum.IntEnum):
    """The three verdicts, with the library's numbers."""

    PASS = 0
    WARN = 1  # it passes, with bytes never read
    FAIL = 2


@dataclass(frozen=True)
class Verdict:
    """What test() found; the counts are 0 where they do not apply."""

    verdict: Grade
    error: int  # 0, or the code of the Error subclass decompress() raises for this file
    reason: str  # why it fails, in `vkt2 t`'s words; empty when it passes
    warnings: tuple[str, ...]  # what `vkt2 t` warns of a file that passes, without "warning: "
    file_size: int
    decoded_size: int  # from the header, its missing bytes read as zero
    stream_used: int  # stream bytes the decoder reads, zeros past the end included
    bytes_missing: int  # cut short: decoded bytes the file lacks, the last of decoded_size
    bytes_unused: int  # bytes after the end of the stream, within the first 65,536
    bytes_ignored: int  # bytes past the first 65,536, never read

    @property
    def ok(self) -> bool:
        """True when the file passes, warnings or not."""
        return self.verdict is not Grade.FAIL


def test(data: Buffer) -> Verdict:
    """Tests a VKT2 file as `vkt2 t` does; what the file holds never raises."""
    fields = _vkt2.test(data)
    return Verdict(Grade(fields[0]), *fields[1:])
